#include "TestMain.h"
#include "workbook/NumberFormats.h"
#include "workbook/Workbook.h"

#include <QtTest>

#include <optional>

using namespace workbook;

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(VELTRIN_TEST_DATA "/sheets/") + name;
}

QString kindName(CellValue::Kind kind)
{
    switch (kind) {
    case CellValue::Kind::Empty:
        return QStringLiteral("empty");
    case CellValue::Kind::Number:
        return QStringLiteral("number");
    case CellValue::Kind::Text:
        return QStringLiteral("text");
    case CellValue::Kind::Date:
        return QStringLiteral("date");
    case CellValue::Kind::Boolean:
        return QStringLiteral("boolean");
    case CellValue::Kind::Error:
        return QStringLiteral("error");
    }
    return {};
}

// Every cell of the first sheet as "C5 date 2024-03-15", error values by their names.
QStringList cellsOf(const QString& file)
{
    const auto book = Workbook::Bind(fixture(file));
    const Worksheet& sheet = book->GetWorksheet(1);
    QStringList cells;
    for (int row = 1; row <= sheet.lastRow(); ++row) {
        for (int column = 1; column <= sheet.lastColumn(row); ++column) {
            const CellValue value = sheet.cell(row, column);
            if (value.kind == CellValue::Kind::Empty)
                continue;
            const QString text = value.kind == CellValue::Kind::Error ? value.text : CellText(value, row, column);
            cells.append(CellAddress(row, column) + u' ' + kindName(value.kind) + u' ' + text);
        }
    }
    return cells;
}

} // namespace

class TestReadersAgree : public QObject {
    Q_OBJECT

private slots:
    // One content written as .xls and .xlsx by three writers, in both date
    // systems: every cell must read the same, kind and text.
    void sameCellsInEveryFile_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* file : {"values.xlsx", "lo_values.xls", "lo_values.xlsx", "values1904.xls",
                                 "values1904.xlsx", "lo_values1904.xls", "lo_values1904.xlsx"})
            QTest::newRow(file) << file;
    }
    void sameCellsInEveryFile()
    {
        QFETCH(QString, file);
        QCOMPARE(cellsOf(file), cellsOf(QStringLiteral("values.xls")));
    }

    // What they all agree on is right.
    void cellsAsWritten_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::newRow("Chinese text") << "A1 text 张三";
        QTest::newRow("text with spaces") << "C1 text   13812345678 ";
        QTest::newRow("11-digit number") << "A2 number 13812345678";
        QTest::newRow("fraction") << "D2 number 0.1";
        QTest::newRow("15 digits") << "E2 number 123456789012345";
        QTest::newRow("small number") << "F2 number 2.5E-07";
        QTest::newRow("truth value") << "A3 boolean TRUE";
        QTest::newRow("error value") << "C3 error #DIV/0!";
        QTest::newRow("last error value") << "I3 error #NULL!";
        QTest::newRow("date") << "A4 date 2024-03-15";
        QTest::newRow("date and time") << "B4 date 2024-03-15 08:30:45";
        QTest::newRow("time alone") << "C4 date 08:30:00";
        QTest::newRow("time alone shown without seconds") << "D4 date 23:59:59";
        QTest::newRow("leap day") << "F4 date 2000-02-29";
        QTest::newRow("number format with decimals") << "A5 number 45366";
        QTest::newRow("quoted letter is no date") << "B5 number 45366";
        QTest::newRow("percentage") << "C5 number 0.5";
    }
    void cellsAsWritten()
    {
        QFETCH(QString, cell);
        QVERIFY2(cellsOf(QStringLiteral("values.xls")).contains(cell), qPrintable(cell));
    }

    void dateSerial_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<double>("serial"); // -1: shown as a number
        QTest::newRow("1900 date") << 45366.0 << false << 45366.0;
        QTest::newRow("1904 date") << 43904.0 << true << 45366.0;
        QTest::newRow("1900 time alone") << 0.5 << false << 0.5;
        QTest::newRow("1904 time alone") << 0.5 << true << 0.5;
        QTest::newRow("1904 day zero") << 0.0 << true << 1462.0;
        QTest::newRow("1904 first day and a time") << 1.5 << true << 1463.5;
        QTest::newRow("negative") << -1.0 << false << -1.0;
        QTest::newRow("negative 1904") << -0.5 << true << -1.0;
        QTest::newRow("last day") << 2958465.0 << false << 2958465.0;
        QTest::newRow("after the last day") << 2958466.0 << false << -1.0;
        QTest::newRow("after the last day in 1904") << 2957004.0 << true << -1.0;
        QTest::newRow("infinite") << qInf() << false << -1.0;
    }
    void dateSerial()
    {
        QFETCH(double, value);
        QFETCH(bool, date1904);
        QFETCH(double, serial);
        const std::optional<double> result = DateSerial(value, date1904);
        QCOMPARE(result.value_or(-1), serial);
    }

    // An Excel 95 workbook without a CODEPAGE record was written in the
    // system's code page; for this tool's users that is GBK.
    void biff5WithoutCodePageIsGbk()
    {
        const auto book = Workbook::Bind(fixture(QStringLiteral("biff5_no_codepage.xls")));
        QCOMPARE(book->Name(1), QStringLiteral("联系人"));
        const Worksheet& sheet = book->GetWorksheet(1);
        QCOMPARE(sheet.text(1, 1), QStringLiteral("张三"));
        QCOMPARE(sheet.text(1, 2), QStringLiteral("13812345678"));
        QCOMPARE(sheet.text(1, 3), QStringLiteral("北京市朝阳区"));
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestReadersAgree)
#include "tst_readers_agree.moc"
