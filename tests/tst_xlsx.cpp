#include "TestMain.h"
#include "workbook/NumberFormats.h"
#include "workbook/Workbook.h"
#include "workbook/XlsxFormats.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

using namespace workbook;

namespace {

using Kind = CellValue::Kind;

QString fixture(const QString& name)
{
    return QStringLiteral(VELTRIN_TEST_DATA "/xlsx/") + name;
}

// Reads every cell of every sheet the way the sheet analysis does; error
// values are a normal outcome of reading a cell, so they are counted, not thrown.
int readEverything(Workbook& book)
{
    int errorCells = 0;
    for (int position = 1; position <= book.Count(); ++position) {
        const Worksheet& sheet = book.GetWorksheet(position);
        for (int row = 1; row <= sheet.lastRow(); ++row) {
            for (int column = 1; column <= sheet.lastColumn(row); ++column) {
                try {
                    (void)sheet.text(row, column);
                } catch (const WorkbookError&) {
                    ++errorCells;
                }
            }
        }
    }
    return errorCells;
}

// A workbook of one sheet named `sheetName` (as written in XML) whose part is `sheetPart`.
void writeWorkbook(const QString& path, const QByteArray& sheetName, const QByteArray& sheetPart)
{
    const QByteArray workbookPart = "<workbook><sheets><sheet name=\"" + sheetName + "\"/></sheets></workbook>";
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    QVERIFY(archive);
    for (const auto& [name, bytes] : {std::pair{"xl/workbook.xml", &workbookPart}, std::pair{"xl/worksheets/sheet1.xml", &sheetPart}}) {
        zip_source_t* source = zip_source_buffer(archive, bytes->constData(), static_cast<zip_uint64_t>(bytes->size()), 0);
        QVERIFY(zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) >= 0);
    }
    QCOMPARE(zip_close(archive), 0);
}

QByteArray sheetOf(const QByteArray& sheetData)
{
    return "<worksheet><sheetData>" + sheetData + "</sheetData></worksheet>";
}

QByteArray rowsOfText(int rows)
{
    QByteArray data;
    for (int row = 1; row <= rows; ++row) {
        const QByteArray r = QByteArray::number(row);
        data += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"inlineStr\"><is><t>&#29579;" + r + "</t></is></c></row>";
    }
    return data;
}

bool startsWithZipSignature(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("PK\x03\x04", 4);
}

} // namespace

class TestXlsx : public QObject {
    Q_OBJECT

private slots:
    void cellValues_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");

        const auto add = [](const char* name, const char* file, int sheet, const char* cell, Kind kind,
                            const QString& text) {
            QTest::newRow(name) << QString::fromUtf8(file) << sheet << QString::fromUtf8(cell)
                                << static_cast<int>(kind) << text;
        };
        const char* values = "values.xlsx";
        add("mobile stored as number", values, 1, "A1", Kind::Number, QStringLiteral("13812345678"));
        add("mobile stored as text", values, 1, "B1", Kind::Text, QStringLiteral("13812345678"));
        add("fraction", values, 1, "C1", Kind::Number, QStringLiteral("1.5"));
        add("0.1+0.2 shows 15 digits", values, 1, "D1", Kind::Number, QStringLiteral("0.3"));
        add("true", values, 1, "E1", Kind::Boolean, QStringLiteral("TRUE"));
        add("false", values, 1, "F1", Kind::Boolean, QStringLiteral("FALSE"));
        add("negative", values, 1, "G1", Kind::Number, QStringLiteral("-42"));
        add("15 digits", values, 1, "H1", Kind::Number, QStringLiteral("123456789012345"));
        add("date", values, 1, "A2", Kind::Date, QStringLiteral("2021-03-04"));
        add("date and time", values, 1, "B2", Kind::Date, QStringLiteral("2021-03-04 05:06:07"));
        add("time alone", values, 1, "C2", Kind::Date, QStringLiteral("13:30:15"));
        add("Chinese date format", values, 1, "D2", Kind::Date, QStringLiteral("2021-03-04"));
        add("elapsed hours are a time", values, 1, "E2", Kind::Date, QStringLiteral("1900-01-01 06:00:00"));
        add("quoted d is no date", values, 1, "F2", Kind::Number, QStringLiteral("44259"));
        add("colour bracket is no date", values, 1, "G2", Kind::Number, QStringLiteral("44259"));
        add("decimal format", values, 1, "H2", Kind::Number, QStringLiteral("44259"));
        add("Chinese text", values, 1, "A3", Kind::Text, QStringLiteral("张三"));
        add("leading space kept", values, 1, "B3", Kind::Text, QStringLiteral(" 13912345678"));
        add("spaces kept", values, 1, "D3", Kind::Text, QStringLiteral("  两端空格  "));
        add("far row", values, 1, "A100", Kind::Text, QStringLiteral("最后一行"));
        add("last column", values, 1, "XFD1", Kind::Text, QStringLiteral("最右一列"));
        add("absent cell", values, 1, "B100", Kind::Empty, QString());
        add("second sheet", values, 2, "B2", Kind::Text, QStringLiteral("第二页的内容"));
        add("third sheet after the chart sheet", values, 3, "C1", Kind::Number, QStringLiteral("3"));

        add("1904 date", "date1904.xlsx", 1, "A1", Kind::Date, QStringLiteral("2021-03-04"));
        add("1904 date and time", "date1904.xlsx", 1, "B1", Kind::Date, QStringLiteral("1904-01-02 12:00:00"));
        add("1904 plain number", "date1904.xlsx", 1, "C1", Kind::Number, QStringLiteral("5"));
        add("ISO date", "iso_dates.xlsx", 1, "A1", Kind::Date, QStringLiteral("2021-01-01"));
        add("ISO date and time", "iso_dates.xlsx", 1, "B1", Kind::Date, QStringLiteral("2021-01-01 10:10:10"));
        add("ISO time", "iso_dates.xlsx", 1, "C1", Kind::Date, QStringLiteral("10:10:10"));

        const char* forms = "excel_forms.xlsx";
        add("rich text runs joined", forms, 1, "A1", Kind::Text, QStringLiteral("张 三"));
        add("formula number result", forms, 1, "B1", Kind::Number, QStringLiteral("13812345678"));
        add("formula text result", forms, 1, "C1", Kind::Text, QStringLiteral("ab"));
        add("formula truth result", forms, 1, "D1", Kind::Boolean, QStringLiteral("TRUE"));
        add("formula without result", forms, 1, "E1", Kind::Empty, QString());
        add("inline rich text", forms, 1, "F1", Kind::Text, QStringLiteral("内联"));
        add("phonetic runs left out", forms, 1, "A2", Kind::Text, QStringLiteral("課きく　毛こ"));
        add("_x000D_ escape", forms, 1, "B2", Kind::Text, QStringLiteral("ABC\r\nDEF"));
        add("escaped escape", forms, 1, "C2", Kind::Text, QStringLiteral("_x000D_ stays"));
        add("preserved space", forms, 1, "D2", Kind::Text, QStringLiteral(" "));
        add("entities", forms, 1, "E2", Kind::Text, QStringLiteral("a&b<c>"));
        add("cell without position", forms, 1, "A3", Kind::Text, QStringLiteral("x"));
        add("next cell without position", forms, 1, "B3", Kind::Number, QStringLiteral("2"));
        add("after a positioned cell", forms, 1, "F3", Kind::Number, QStringLiteral("6"));
        add("row without position", forms, 1, "A4", Kind::Number, QStringLiteral("7"));
        add("typed ISO date", forms, 1, "A6", Kind::Date, QStringLiteral("2021-01-01 10:10:10"));
        add("typed false", forms, 1, "C6", Kind::Boolean, QStringLiteral("FALSE"));
        add("empty formula text", forms, 1, "D6", Kind::Text, QString());
        add("pretty-printed number", forms, 1, "E6", Kind::Number, QStringLiteral("42"));
        add("pretty-printed string index", forms, 1, "F6", Kind::Text, QStringLiteral("a&b<c>"));
        add("blank number", forms, 1, "G6", Kind::Empty, QString());

        const char* unusual = "unusual_layout.xlsx";
        add("custom date format", unusual, 1, "A1", Kind::Date, QStringLiteral("2021-03-04"));
        add("custom format with quoted d", unusual, 1, "B1", Kind::Number, QStringLiteral("44259"));
        add("built-in id redefined", unusual, 1, "C1", Kind::Number, QStringLiteral("44259"));
        add("CJK built-in date id", unusual, 1, "D1", Kind::Date, QStringLiteral("2021-03-04"));
        add("style beyond the list", unusual, 1, "E1", Kind::Number, QStringLiteral("44259"));
        add("shared strings with a space in the name", unusual, 1, "F1", Kind::Text, QStringLiteral("共享"));
        add("relative target with ..", unusual, 2, "B2", Kind::Text, QStringLiteral("第二个工作表"));
        add("conventional names without relationships", "no_relationships.xlsx", 1, "A1", Kind::Text,
            QStringLiteral("按惯例找到"));
        add("second conventional sheet", "no_relationships.xlsx", 2, "B2", Kind::Number, QStringLiteral("2"));
    }

    void cellValues()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        QFETCH(QString, cell);
        QFETCH(int, kind);
        QFETCH(QString, text);

        const auto reference = xlsx::ParseCellReference(cell.toStdString());
        QVERIFY(reference);
        auto book = Workbook::Bind(fixture(file));
        const Worksheet& worksheet = book->GetWorksheet(sheet);
        QCOMPARE(static_cast<int>(worksheet.cell(reference->row, reference->column).kind), kind);
        QCOMPARE(worksheet.text(reference->row, reference->column), text);
    }

    void errorValueHasNoText_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("description");
        QTest::newRow("formula error") << QStringLiteral("C5") << QStringLiteral("单元格 C5 含有错误值 #DIV/0!");
        QTest::newRow("constant error") << QStringLiteral("D5") << QStringLiteral("单元格 D5 含有错误值 #N/A");
    }

    void errorValueHasNoText()
    {
        QFETCH(QString, cell);
        QFETCH(QString, description);
        const auto reference = xlsx::ParseCellReference(cell.toStdString());
        auto book = Workbook::Bind(fixture(QStringLiteral("excel_forms.xlsx")));
        const Worksheet& sheet = book->GetWorksheet(1);
        QCOMPARE(sheet.cell(reference->row, reference->column).kind, Kind::Error);
        try {
            (void)sheet.text(reference->row, reference->column);
            QFAIL("an error value must not give a text");
        } catch (const WorkbookError& error) {
            QCOMPARE(error.description(), description);
        }
    }

    void sheetsInWorkbookOrder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("chart sheet left out")
            << QStringLiteral("values.xlsx")
            << QStringList{QStringLiteral("联系人"), QStringLiteral("第二页"), QStringLiteral("Sheet 3")};
        QTest::newRow("prefixed elements, parts outside xl/")
            << QStringLiteral("unusual_layout.xlsx") << QStringList{QStringLiteral("甲"), QStringLiteral("乙")};
    }

    void sheetsInWorkbookOrder()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        auto book = Workbook::Bind(fixture(file));
        QStringList found;
        for (int position = 1; position <= book->Count(); ++position)
            found << book->Name(position);
        QCOMPARE(found, names);
        QCOMPARE(book->GetWorksheet(static_cast<int>(names.size())).name(), names.last());
    }

    void sheetClaimingTheLargestExtent()
    {
        auto book = Workbook::Bind(fixture(QStringLiteral("large_claims.xlsx")));
        const Worksheet& sheet = book->GetWorksheet(1);
        QCOMPARE(sheet.cellCount(), qsizetype(3));
        QCOMPARE(sheet.lastRow(), xlsx::MaxRows);
        QCOMPARE(sheet.text(1, 1), QStringLiteral("角"));
        QCOMPARE(sheet.text(xlsx::MaxRows, xlsx::MaxColumns), QStringLiteral("1"));
        QCOMPARE(sheet.text(xlsx::MaxRows, 1), QStringLiteral("2"));
    }

    // Readers store cells in file order, which need not be the sheet's order;
    // a later value for a cell replaces the earlier one.
    void cellsStoredInAnyOrder_data()
    {
        QTest::addColumn<bool>("reversed");
        QTest::newRow("row by row") << false;
        QTest::newRow("last cell first") << true;
    }

    void cellsStoredInAnyOrder()
    {
        QFETCH(bool, reversed);
        struct Entry {
            int row;
            int column;
            QString text;
        };
        std::vector<Entry> entries{{1, 1, "a"}, {1, 3, "b"}, {2, 2, "c"}, {7, 1, "d"}, {xlsx::MaxRows, 5, "e"}};
        if (reversed)
            std::reverse(entries.begin(), entries.end());
        Worksheet sheet;
        auto strings = std::make_shared<std::vector<QString>>(std::vector<QString>{"shared"});
        sheet.useSharedStrings(strings);
        for (const Entry& entry : entries)
            sheet.set(entry.row, entry.column, CellValue::fromText(entry.text + "?"));
        for (const Entry& entry : entries)
            sheet.set(entry.row, entry.column, CellValue::fromText(entry.text));
        sheet.setSharedText(2, 1, 0);
        sheet.set(0, 1, CellValue::fromNumber(1));
        sheet.set(3, 16385, CellValue::fromNumber(1));

        QCOMPARE(sheet.cellCount(), qsizetype(6));
        QCOMPARE(sheet.lastRow(), xlsx::MaxRows);
        QCOMPARE(sheet.lastColumn(1), 3);
        QCOMPARE(sheet.lastColumn(3), 0);
        QCOMPARE(sheet.text(2, 1), QStringLiteral("shared"));
        for (const Entry& entry : entries)
            QCOMPARE(sheet.text(entry.row, entry.column), entry.text);
        QCOMPARE(sheet.cell(1, 2).kind, CellValue::Kind::Empty);
        QCOMPARE(sheet.cell(6, 1).kind, CellValue::Kind::Empty);
    }

    void closeReleasesTheFileAndReadsAgain()
    {
        auto book = Workbook::Bind(fixture(QStringLiteral("values.xlsx")));
        QCOMPARE(book->GetWorksheet(2).text(2, 2), QStringLiteral("第二页的内容"));
        book->Close();
        QCOMPARE(book->GetWorksheet(1).text(3, 1), QStringLiteral("张三"));
    }

    // A sheet this big is inflated on a second thread while it is scanned:
    // the cells, and a failure at the end, come out as they would otherwise.
    void bigSheet_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<qint64>("damageAt");
        QTest::addColumn<QString>("failure");
        QTest::newRow("read whole") << QByteArray() << qint64(-1) << QString();
        QTest::newRow("bad cell at the end") << QByteArray("<row><c r=\"A0\"/></row>") << qint64(-1)
                                             << QStringLiteral("单元格地址“A0”");
        QTest::newRow("compressed data damaged") << QByteArray() << qint64(400000) << QStringLiteral("部件 xl/worksheets/sheet1.xml");
    }

    void bigSheet()
    {
        QFETCH(QByteArray, tail);
        QFETCH(qint64, damageAt);
        QFETCH(QString, failure);
        QTemporaryDir scratch;
        const QString path = scratch.filePath(QStringLiteral("big.xlsx"));
        constexpr int Rows = 100000;
        writeWorkbook(path, "大表", sheetOf(rowsOfText(Rows) + tail));
        if (damageAt >= 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(damageAt));
            QVERIFY(file.write(QByteArray(64, '\x55')) == 64);
        }
        try {
            auto book = Workbook::Bind(path);
            const Worksheet& sheet = book->GetWorksheet(1);
            QVERIFY2(failure.isEmpty(), "read without a failure");
            QCOMPARE(sheet.lastRow(), Rows);
            QCOMPARE(sheet.text(1, 1), QStringLiteral("王1"));
            QCOMPARE(sheet.text(Rows, 1), QStringLiteral("王%1").arg(Rows));
        } catch (const WorkbookError& error) {
            QVERIFY2(!failure.isEmpty(), qPrintable(error.description()));
            QVERIFY2(error.description().contains(failure), qPrintable(error.description()));
        }
    }

    // References in attribute values are decoded like those in text.
    void sheetNameWithReferences()
    {
        QTemporaryDir scratch;
        const QString path = scratch.filePath(QStringLiteral("names.xlsx"));
        writeWorkbook(path, "R&amp;D &lt;&#x738B;&gt;\t&quot;", sheetOf("<row><c t=\"inlineStr\"><is><t>a&amp;b</t></is></c></row>"));
        auto book = Workbook::Bind(path);
        QCOMPARE(book->Name(1), QStringLiteral("R&D <王> \""));
        QCOMPARE(book->GetWorksheet(1).text(1, 1), QStringLiteral("a&b"));
    }

    // Each way a sheet part can be written or damaged, as the reader ends up
    // with it: the text of A1, or a description naming the part.
    void sheetPartForms_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QString>("outcome");
        const QByteArray cell = "<row><c r=\"A1\" t=\"inlineStr\"><is><t>张三</t></is></c></row>";
        const QByteArray declared = "<?xml version=\"1.0\" encoding=\"%1\"?>\r\n";
        QTest::newRow("UTF-8") << sheetOf(cell) << QStringLiteral("张三");
        QTest::newRow("GBK") << QByteArray(declared).replace("%1", "GBK")
                                    + sheetOf("<row><c r=\"A1\" t=\"inlineStr\"><is><t>\xD5\xC5\xC8\xFD</t></is></c></row>")
                             << QStringLiteral("张三");
        QTest::newRow("UTF-16 with BOM")
            << QByteArray(QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                              .encode(QString::fromUtf8(declared).arg("UTF-16") + QString::fromUtf8(sheetOf(cell))))
            << QStringLiteral("张三");
        QTest::newRow("unknown encoding") << QByteArray(declared).replace("%1", "x-no-such") + sheetOf(cell)
                                          << QStringLiteral("部件 xl/worksheets/sheet1.xml 使用了无法识别的字符编码“x-no-such”");
        QTest::newRow("invalid UTF-8") << sheetOf("<row><c r=\"A1\" t=\"inlineStr\"><is><t>\xE5\x28</t></is></c></row>")
                                       << QStringLiteral("部件 xl/worksheets/sheet1.xml 不是格式正确的XML（第1行：无效的UTF-8字节）");
        QTest::newRow("mismatched tags, on line 3") << QByteArray("<worksheet>\n<sheetData>\n</worksheet>")
                                                    << QStringLiteral("（第3行：结束标签</worksheet>与开始标签<sheetData>不匹配）");
        QTest::newRow("DTD") << "<!DOCTYPE worksheet [<!ENTITY e \"x\">]>" + sheetOf(cell) << QStringLiteral("含有DTD声明");
        QTest::newRow("nested too deep") << QByteArray("<a>").repeated(1001) << QStringLiteral("元素嵌套超过1000层");
    }

    void sheetPartForms()
    {
        QFETCH(QByteArray, part);
        QFETCH(QString, outcome);
        QTemporaryDir scratch;
        const QString path = scratch.filePath(QStringLiteral("forms.xlsx"));
        writeWorkbook(path, "表", part);
        try {
            auto book = Workbook::Bind(path);
            QCOMPARE(book->GetWorksheet(1).text(1, 1), outcome);
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(outcome), qPrintable(error.description()));
        }
    }

    void refusedWithAReason_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated zip") << "truncated.xlsx" << QStringLiteral("已损坏或不完整");
        QTest::newRow("zip entries with a password") << "password_zip.xlsx" << QStringLiteral("压缩包设有密码");
        QTest::newRow("zip bomb") << "bomb.xlsx" << QStringLiteral("解压后超过1 GiB");
        QTest::newRow("no workbook part") << "no_workbook.xlsx" << QStringLiteral("没有工作簿部件");
        QTest::newRow("word document") << "not_a_workbook.xlsx" << QStringLiteral("主文档不是工作簿");
        QTest::newRow("binary workbook") << "binary_workbook.xlsx" << QStringLiteral("不支持二进制格式");
        QTest::newRow("sheet part missing") << "missing_sheet.xlsx" << QStringLiteral("找不到工作表“丢失”的数据部件");
        QTest::newRow("malformed XML") << "bad_xml.xlsx" << QStringLiteral("不是格式正确的XML");
        QTest::newRow("DTD") << "dtd.xlsx" << QStringLiteral("含有DTD声明");
        QTest::newRow("column beyond XFD") << "bad_reference.xlsx" << QStringLiteral("单元格地址“XFE1”无效");
        QTest::newRow("row beyond 1048576") << "bad_row.xlsx" << QStringLiteral("行号 1048577 超出范围");
        QTest::newRow("rows counted past 1048576") << "too_many_rows.xlsx" << QStringLiteral("行数超过1048576行");
        QTest::newRow("cell text past 1 MiB") << "too_long_text.xlsx" << QStringLiteral("单元格 A1 的内容超过1 MiB");
        QTest::newRow("shared string beyond the table")
            << "bad_shared_string.xlsx" << QStringLiteral("单元格 A1 引用的共享字符串“3”不存在");
    }

    void refusedWithAReason()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        try {
            auto book = Workbook::Bind(fixture(file));
            readEverything(*book);
            QFAIL("the workbook must be refused");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(reason), qPrintable(error.description()));
        }
    }

    void dateFormatCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("isDate");
        QTest::newRow("general") << "General" << false;
        QTest::newRow("decimal") << "#,##0.00" << false;
        QTest::newRow("scientific") << "0.00E+00" << false;
        QTest::newRow("text") << "@" << false;
        QTest::newRow("date") << "yyyy-mm-dd" << true;
        QTest::newRow("upper case") << "YYYY/MM/DD" << true;
        QTest::newRow("time") << "h:mm AM/PM" << true;
        QTest::newRow("Chinese date") << QStringLiteral("yyyy\"年\"m\"月\"d\"日\"") << true;
        QTest::newRow("locale bracket") << "[$-804]yyyy-mm-dd" << true;
        QTest::newRow("elapsed hours") << "[h]:mm:ss" << true;
        QTest::newRow("elapsed minutes") << "[mm]" << true;
        QTest::newRow("quoted letters") << "0\" days\"" << false;
        QTest::newRow("escaped letter") << "0\\m" << false;
        QTest::newRow("colour") << "[Red]0.00" << false;
        QTest::newRow("condition") << "[>=100]0;0.0" << false;
        QTest::newRow("padding and fill") << "_s* #,##0_y" << false;
        QTest::newRow("date only in a later section") << "0;yyyy" << false;
    }

    void dateFormatCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, isDate);
        QCOMPARE(workbook::IsDateFormatCode(code), isDate);
    }

    void isoDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("serial");
        QTest::newRow("date") << "2021-03-04" << 44259.0;
        QTest::newRow("date-time") << "2021-03-04T12:00:00" << 44259.5;
        QTest::newRow("time zone ignored") << "2021-03-04T06:00:00Z" << 44259.25;
        QTest::newRow("fractional seconds") << "1900-03-01T00:00:00.5" << 61 + 0.5 / 86400;
        QTest::newRow("time alone") << "18:00:00" << 0.75;
        QTest::newRow("before the leap day that never was") << "1900-02-28" << 59.0;
        QTest::newRow("not a date") << "2021-02-30" << -1.0;
        QTest::newRow("garbage") << "yesterday" << -1.0;
        QTest::newRow("trailing text") << "2021-03-04x" << -1.0;
    }

    void isoDates()
    {
        QFETCH(QString, text);
        QFETCH(double, serial);
        const auto parsed = xlsx::ParseIsoDate(text.toStdString());
        QCOMPARE(parsed.value_or(-1.0), serial);
    }

    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("none") << "plain_text" << "plain_text";
        QTest::newRow("carriage return") << "a_x000D_b" << "a\rb";
        QTest::newRow("lower-case hex") << "_x000a_" << "\n";
        QTest::newRow("escaped underscore") << "_x005F_x0041_" << "_x0041_";
        QTest::newRow("surrogate pair") << "_xD83D__xDE00_" << QStringLiteral("😀");
        QTest::newRow("not hex") << "_x00G0_" << "_x00G0_";
        QTest::newRow("cut short") << "_x004" << "_x004";
    }

    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(xlsx::DecodeEscapes(text.toStdString()), decoded);
    }

    void cellReferences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::newRow("A1") << "A1" << 1 << 1;
        QTest::newRow("AA10") << "AA10" << 10 << 27;
        QTest::newRow("largest") << "XFD1048576" << 1048576 << 16384;
        QTest::newRow("column too far") << "XFE1" << 0 << 0;
        QTest::newRow("row too far") << "A1048577" << 0 << 0;
        QTest::newRow("huge row") << "A99999999999999" << 0 << 0;
        QTest::newRow("row 0") << "A0" << 0 << 0;
        QTest::newRow("no row") << "A" << 0 << 0;
        QTest::newRow("absolute") << "$A$1" << 0 << 0;
    }

    void cellReferences()
    {
        QFETCH(QString, text);
        QFETCH(int, row);
        QFETCH(int, column);
        const auto reference = xlsx::ParseCellReference(text.toStdString());
        QCOMPARE(reference ? reference->row : 0, row);
        QCOMPARE(reference ? reference->column : 0, column);
    }

    // Every zip-based file of the corpus either reads completely or is refused
    // with a description; none may crash or hang.
    void corpusReadsOrFailsClearly()
    {
        const QDir corpus(QStringLiteral(VELTRIN_CORPUS_DIR));
        if (!corpus.exists())
            QSKIP("the workbook corpus is not there");
        int read = 0;
        int refused = 0;
        for (const QString& folder : {QStringLiteral("calamine"), QStringLiteral("xlrd")}) {
            QDirIterator files(corpus.filePath(folder), QDir::Files);
            while (files.hasNext()) {
                const QString path = files.next();
                if (!path.endsWith(QStringLiteral(".xlsx")) && !startsWithZipSignature(path))
                    continue;
                try {
                    auto book = Workbook::Bind(path);
                    readEverything(*book);
                    ++read;
                } catch (const WorkbookError& error) {
                    QVERIFY2(!error.description().trimmed().isEmpty(), qPrintable(path));
                    ++refused;
                }
            }
        }
        QVERIFY(read > 50);
        qInfo("%d corpus workbooks read, %d refused", read, refused);
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestXlsx)
#include "tst_xlsx.moc"
