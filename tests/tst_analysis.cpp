#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "support/CodePage.h"
#include "workbook/Workbook.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

using namespace contacts;
using workbook::CellValue;
using workbook::Worksheet;

namespace {

// A sheet written row by row from its top-left cell: "|" separates the cells
// of a row, a cell starting with "#" holds that number, one starting with "!"
// that error value, any other non-empty cell that text.
Worksheet sheetOf(const QStringList& rows, int left = 1)
{
    Worksheet sheet;
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = rows[r].split(u'|');
        for (int c = 0; c < cells.size(); ++c) {
            const QString& cell = cells[c];
            if (cell.isEmpty())
                continue;
            CellValue value;
            if (cell.startsWith(u'#') && cell.size() > 1 && cell[1].isDigit())
                value = CellValue::fromNumber(cell.mid(1).toDouble());
            else if (cell.startsWith(u'!'))
                value = CellValue::fromError(cell.mid(1));
            else
                value = CellValue::fromText(cell);
            sheet.set(r + 1, left + c, value);
        }
    }
    return sheet;
}

// A contact written as "name|mobile|tel|remark".
QStringList rowsOf(const LinkmanTable& table)
{
    QStringList rows;
    for (const Linkman& contact : table)
        rows << QStringList{contact.name, contact.mobile, contact.tel, contact.remark}.join(u'|');
    return rows;
}

QString spaces(int count)
{
    return QString(count, u' ');
}

class FakeWorkbook : public workbook::Workbook {
public:
    explicit FakeWorkbook(std::vector<Worksheet> sheets) : sheets_(std::move(sheets))
    {
        for (const Worksheet& sheet : sheets_)
            names_ << sheet.name();
    }
    void Close() override
    {
        ++closes;
        Workbook::Close();
    }
    int closes = 0;

protected:
    Worksheet readSheet(int index) override { return sheets_[static_cast<size_t>(index)]; }

private:
    std::vector<Worksheet> sheets_;
};

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void sheetsWrittenByRealWriters_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("openpyxl .xlsx") << "cases.xlsx";
        QTest::newRow("xlwt .xls") << "cases.xls";
    }
    void sheetsWrittenByRealWriters()
    {
        QFETCH(QString, file);
        const SheetAnalysis analysis = AnalyseSheet(QStringLiteral(VELTRIN_TEST_DATA "/contacts/") + file, 0);
        QCOMPARE(analysis.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(QString::fromUtf8(ContactsCsv(analysis.table)),
                 QStringLiteral("name,mobile,tel,remark\r\n"
                                "张三,13812345678,010-1,老客户\r\n"
                                "Alice Cooper Smith Jr,15912345678,8001,\r\n"
                                "18612345678 010-12345678,18612345678,010-12345678,r\r\n"
                                "李四,,010-87654321,\r\n"
                                "王五,,,kept\r\n"
                                "赵六,19912345678,,\r\n"));
        QCOMPARE(analysis.entries,
                 (QStringList{"张三             13812345678", "Alice Cooper Smit15912345678",
                              "18612345678 010-118612345678", "李四             Tel:010-87654321",
                              "王五             Tel:", "赵六             19912345678"}));
    }

    void getDataType_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::newRow("13x") << "13812345678" << DataTypeMobile;
        QTest::newRow("15x") << "15012345678" << DataTypeMobile;
        QTest::newRow("18x") << "18912345678" << DataTypeMobile;
        QTest::newRow("19x") << "19912345678" << DataTypeMobile;
        QTest::newRow("12x") << "12012345678" << DataTypeOther;
        QTest::newRow("10x") << "10012345678" << DataTypeOther;
        QTest::newRow("2x") << "23812345678" << DataTypeOther;
        QTest::newRow("10 digits") << "1381234567" << DataTypeOther;
        QTest::newRow("12 digits") << "138123456789" << DataTypeOther;
        QTest::newRow("empty") << "" << DataTypeOther;
        QTest::newRow("leading space") << " 13812345678" << DataTypeOther;
        QTest::newRow("full stop") << "1381234567." << DataTypeOther;
        QTest::newRow("inner space") << "138 1234567" << DataTypeOther;
        QTest::newRow("letter") << "1381234567x" << DataTypeOther;
        QTest::newRow("exponent") << "13812345E10" << DataTypeOther;
        QTest::newRow("full-width digits") << "１３８１２３４５６７８" << DataTypeOther;
        QTest::newRow("arabic-indic digits") << "13\u0668\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668" << DataTypeOther;
    }
    void getDataType()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QCOMPARE(GetDataType(text), kind);
    }

    void formatName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << "" << spaces(17);
        QTest::newRow("two Chinese characters") << "张三" << "张三" + spaces(13);
        QTest::newRow("five ASCII characters") << "Alice" << "Alice" + spaces(12);
        QTest::newRow("17 ASCII characters") << "ABCDEFGHIJKLMNOPQ" << "ABCDEFGHIJKLMNOPQ";
        QTest::newRow("20 ASCII characters cut to 17") << "ABCDEFGHIJKLMNOPQRST" << "ABCDEFGHIJKLMNOPQ";
        QTest::newRow("nine Chinese characters: the ninth is halved")
            << "一二三四五六七八九" << "一二三四五六七八" + spaces(1);
        QTest::newRow("one ASCII and eight Chinese fill 17 bytes") << "a一二三四五六七八九" << "a一二三四五六七八";
        QTest::newRow("mixed, cut inside a character") << "ab一二三四五六七八" << "ab一二三四五六七" + spaces(1);
        QTest::newRow("tab is one byte") << "\tA" << "\tA" + spaces(15);
        QTest::newRow("emoji becomes ?") << "😀名" << "?名" + spaces(14);
        QTest::newRow("hangul becomes ?") << "한국" << "??" + spaces(15);
        QTest::newRow("ideographic space is two bytes") << "\u3000a" << "\u3000a" + spaces(14);
        QTest::newRow("emoji at the 17th character") << "ABCDEFGHIJKLMNOP😀" << "ABCDEFGHIJKLMNOP?";
    }
    void formatName()
    {
        QFETCH(QString, name);
        QFETCH(QString, field);
        const QString formatted = FormatName(name);
        QCOMPARE(formatted, field);
        QCOMPARE(support::ToGbk(formatted).size(), 17);
    }

    void analyse_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<AnalysisOutcome>("outcome");
        QTest::addColumn<QStringList>("contacts");

        QTest::newRow("heading row and two data rows")
            << QStringList{"姓名|手机|电话|备注", "张三|13812345678|010-88886666|同事", "李四|#13912345678|#85551234|"}
            << AnalysisOutcome::Analysed
            << QStringList{"张三|13812345678|010-88886666|同事", "李四|13912345678|85551234|"};
        QTest::newRow("mobile column 1: the name is the mobile number")
            << QStringList{"#13812345678|t|r", "13912345678"} << AnalysisOutcome::Analysed
            << QStringList{"13812345678|13812345678|t|r", "13912345678|13912345678||"};
        QTest::newRow("topmost row wins over leftmost column")
            << QStringList{"||||13800000005", "13900000001"} << AnalysisOutcome::Analysed
            << QStringList{"13800000005|13800000005||"};
        QTest::newRow("two mobiles in the first row: the left one is the mobile column")
            << QStringList{"王五|13800000001|13800000002|13800000003"} << AnalysisOutcome::Analysed
            << QStringList{"王五|13800000001|13800000002|13800000003"};
        QTest::newRow("15x 16x 17x 18x 19x are mobile numbers")
            << QStringList{"a|15012345678", "b|16612345678", "c|17012345678", "d|18912345678", "e|19912345678"}
            << AnalysisOutcome::Analysed
            << QStringList{"a|15012345678||", "b|16612345678||", "c|17012345678||", "d|18912345678||",
                           "e|19912345678||"};
        QTest::newRow("12x 10x 2x only: unknown format")
            << QStringList{"a|12012345678", "b|10012345678", "c|23812345678", "d|#11012345678"}
            << AnalysisOutcome::UnknownFormat << QStringList{};
        QTest::newRow("12x in the pass is a telephone number")
            << QStringList{"a|13812345678", "b|12012345678|t"} << AnalysisOutcome::Analysed
            << QStringList{"a|13812345678||", "b||12012345678|"};
        QTest::newRow("mobile, space and landline replace the telephone cell")
            << QStringList{"a|13800000001", "|13812345678 010-12345678|0755-1|r"} << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "13812345678 010-12345678|13812345678|010-12345678|r"};
        QTest::newRow("the 12th character is dropped, leading spaces of the rest too")
            << QStringList{"a|13812345678", "b|13812345678-  0101|x", "c|13812345678x|t"}
            << AnalysisOutcome::Analysed
            << QStringList{"a|13812345678||", "b|13812345678|0101|", "c|13812345678||"};
        QTest::newRow("landline alone")
            << QStringList{"a|13812345678", "b|010-12345678|0755-1|r"} << AnalysisOutcome::Analysed
            << QStringList{"a|13812345678||", "b||010-12345678|r"};
        QTest::newRow("name without mobile drops the telephone cell")
            << QStringList{"a|13812345678", "b||0755-1|r"} << AnalysisOutcome::Analysed
            << QStringList{"a|13812345678||", "b|||r"};
        QTest::newRow("three blank rows passed over, the fourth ends the pass")
            << QStringList{"a|13800000001", "", "b|13800000002", "", "", "c|13800000003", "", "d|13800000004"}
            << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "b|13800000002||", "c|13800000003||"};
        QTest::newRow("a mobile cell of spaces without a name is blank")
            << QStringList{"a|13800000001", "|  ", "| ", "|   ", "|    ", "b|13800000002"}
            << AnalysisOutcome::Analysed << QStringList{"a|13800000001||"};
        QTest::newRow("leading space: not found by the search, trimmed in the pass")
            << QStringList{"a| 13800000001", "b|13800000002", "c| 13800000003  "} << AnalysisOutcome::Analysed
            << QStringList{"b|13800000002||", "c|13800000003||"};
        QTest::newRow("leading space only: unknown format")
            << QStringList{"a| 13800000001", "b|13800000002 "} << AnalysisOutcome::UnknownFormat << QStringList{};
        QTest::newRow("tab and ideographic space are not trimmed")
            << QStringList{"a|13800000001", "b|\t13800000002", "c|\u300013800000003"} << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "b||\t13800000002|", "c||\u300013800000003|"};
        QTest::newRow("name, telephone and remark are not trimmed")
            << QStringList{" 张三 |13800000001| 010 | r "} << AnalysisOutcome::Analysed
            << QStringList{" 张三 |13800000001| 010 | r "};
        QTest::newRow("cells the analysis never reads may hold errors")
            << QStringList{"a|13800000001|t|r|!#N/A", "||!#N/A|!#N/A", "b|13800000002||"}
            << AnalysisOutcome::Analysed << QStringList{"a|13800000001|t|r", "b|13800000002||"};
        QTest::newRow("the pass goes on below row 100")
            << QStringList(99) + QStringList{"a|13800000001", "b|13800000002", "c|13800000003"}
            << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "b|13800000002||", "c|13800000003||"};
        QTest::newRow("empty sheet") << QStringList{} << AnalysisOutcome::UnknownFormat << QStringList{};
    }
    void analyse()
    {
        QFETCH(QStringList, rows);
        QFETCH(AnalysisOutcome, outcome);
        QFETCH(QStringList, contacts);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf(rows));
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.description, QString());
        QCOMPARE(rowsOf(result.table), contacts);
        QCOMPARE(result.entries.size(), contacts.size());
        QCOMPARE(result.replacesContacts, outcome == AnalysisOutcome::Analysed);
    }

    void searchBounds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("found");
        QTest::newRow("row 100, column 100") << 100 << 100 << true;
        QTest::newRow("row 101") << 101 << 1 << false;
        QTest::newRow("column 101") << 1 << 101 << false;
    }
    void searchBounds()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(bool, found);
        Worksheet sheet;
        sheet.set(row, column, CellValue::fromNumber(13812345678.0));
        const SheetAnalysis result = AnalyseWorksheet(sheet);
        QCOMPARE(result.outcome, found ? AnalysisOutcome::Analysed : AnalysisOutcome::UnknownFormat);
        QCOMPARE(result.table.size(), found ? 1u : 0u);
    }

    void entries_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("Chinese and ASCII names line up")
            << QStringList{"张三|13812345678", "Alice|13912345678"}
            << QStringList{"张三" + spaces(13) + "13812345678", "Alice" + spaces(12) + "13912345678"};
        QTest::newRow("long name: the number follows the 17th byte")
            << QStringList{"ABCDEFGHIJKLMNOPQRST|13812345678"} << QStringList{"ABCDEFGHIJKLMNOPQ13812345678"};
        QTest::newRow("landline alone and no mobile")
            << QStringList{"a|13812345678", "b|010-12345678", "c||0755-1"}
            << QStringList{"a" + spaces(16) + "13812345678", "b" + spaces(16) + "Tel:010-12345678",
                           "c" + spaces(16) + "Tel:"};
        QTest::newRow("no name: the whole mobile text is the name")
            << QStringList{"|13800000001", "|13812345678 010-123456"}
            << QStringList{"13800000001" + spaces(6) + "13800000001", "13812345678 010-1" "13812345678"};
    }
    void entries()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, entries);
        const workbook::Worksheet sheet = sheetOf(rows);
        const SheetAnalysis withEntries = AnalyseWorksheet(sheet);
        QCOMPARE(withEntries.entries, entries);
        const SheetAnalysis withoutEntries = AnalyseWorksheet(sheet, ListEntries::Omitted);
        QVERIFY(withoutEntries.entries.isEmpty());
        QCOMPARE(withoutEntries.table, withEntries.table);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<int>("entryCount");
        QTest::addColumn<bool>("replaces");
        QTest::newRow("error before the start cell keeps the previous contacts")
            << QStringList{"!#N/A", "a|13800000001"} << "A1" << QStringList{} << 0 << false;
        QTest::newRow("error in the telephone cell: an empty last row")
            << QStringList{"a|13800000001|t1", "b|13800000002", "c|13800000003|!#VALUE!|r"} << "C3"
            << QStringList{"a|13800000001|t1|", "b|13800000002||", "|||"} << 2 << true;
        QTest::newRow("error in the remark cell: the telephone is kept")
            << QStringList{"a|13800000001", "b|13800000002|t2|!#DIV/0!"} << "D2"
            << QStringList{"a|13800000001||", "||t2|"} << 1 << true;
        QTest::newRow("error in the name cell ends before the row")
            << QStringList{"a|13800000001", "!#REF!|13800000002"} << "A2" << QStringList{"a|13800000001||"} << 1
            << true;
        QTest::newRow("error in the mobile cell")
            << QStringList{"a|13800000001", "b|!#NAME?"} << "B2" << QStringList{"a|13800000001||"} << 1 << true;
    }
    void failures()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, cell);
        QFETCH(QStringList, contacts);
        QFETCH(int, entryCount);
        QFETCH(bool, replaces);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf(rows));
        QCOMPARE(result.outcome, AnalysisOutcome::Failed);
        QVERIFY2(result.description.contains(cell), qPrintable(result.description));
        QCOMPARE(rowsOf(result.table), contacts);
        QCOMPARE(result.entries.size(), entryCount);
        QCOMPARE(result.replacesContacts, replaces);
    }

    void messages()
    {
        SheetAnalysis result;
        result.outcome = AnalysisOutcome::Analysed;
        QCOMPARE(AnalysisMessage(result), QString());
        result.outcome = AnalysisOutcome::UnknownFormat;
        QCOMPARE(AnalysisMessage(result), QStringLiteral("未知的数据格式！"));
        result.outcome = AnalysisOutcome::Failed;
        result.description = QStringLiteral("单元格 C3 含有错误值 #N/A");
        QCOMPARE(AnalysisMessage(result), QStringLiteral("数据分析失败！单元格 C3 含有错误值 #N/A"));
    }

    void workbookSheets_data()
    {
        QTest::addColumn<int>("sheetIndex");
        QTest::addColumn<AnalysisOutcome>("outcome");
        QTest::addColumn<QString>("firstName");
        QTest::addColumn<int>("closes");
        QTest::newRow("first sheet") << 0 << AnalysisOutcome::Analysed << "one" << 0;
        QTest::newRow("second sheet") << 1 << AnalysisOutcome::Analysed << "two" << 0;
        QTest::newRow("negative index means the first sheet") << -3 << AnalysisOutcome::Analysed << "one" << 0;
        QTest::newRow("unknown format does not close") << 2 << AnalysisOutcome::UnknownFormat << "" << 0;
        QTest::newRow("error cell closes") << 3 << AnalysisOutcome::Failed << "" << 1;
        QTest::newRow("index beyond the count closes") << 4 << AnalysisOutcome::Failed << "" << 1;
        QTest::newRow("largest index closes") << INT_MAX << AnalysisOutcome::Failed << "" << 1;
    }
    void workbookSheets()
    {
        QFETCH(int, sheetIndex);
        QFETCH(AnalysisOutcome, outcome);
        QFETCH(QString, firstName);
        QFETCH(int, closes);
        std::vector<Worksheet> sheets{sheetOf({"one|13800000001"}), sheetOf({"two|13800000002"}), sheetOf({"x"}),
                                      sheetOf({"!#N/A"})};
        FakeWorkbook book(std::move(sheets));
        const SheetAnalysis result = AnalyseSheet(book, sheetIndex);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.table.empty() ? QString() : result.table.front().name, firstName);
        QCOMPARE(result.description.isEmpty(), outcome != AnalysisOutcome::Failed);
        QCOMPARE(book.closes, closes);
    }

    void unboundPathFails()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("无此文件.xls"));
        const SheetAnalysis result = AnalyseSheet(path, 0);
        QCOMPARE(result.outcome, AnalysisOutcome::Failed);
        QVERIFY2(result.description.contains(QStringLiteral("无此文件.xls")), qPrintable(result.description));
        QVERIFY(!result.replacesContacts);
        QVERIFY(AnalysisMessage(result).startsWith(QStringLiteral("数据分析失败！")));
    }

    void csvQuoting_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain UTF-8") << QStringList{"张三", "13800000001", "010-1", "同事"}
                                     << QByteArray("张三,13800000001,010-1,同事\r\n");
        QTest::newRow("empty fields") << QStringList{"a", "", "", ""} << QByteArray("a,,,\r\n");
        QTest::newRow("spaces and tabs stay bare") << QStringList{" a ", "\tb", "", ""}
                                                   << QByteArray(" a ,\tb,,\r\n");
        QTest::newRow("comma") << QStringList{"Li, Si", "", "", ""} << QByteArray("\"Li, Si\",,,\r\n");
        QTest::newRow("quotes doubled") << QStringList{"say \"hi\"", "", "", "\""}
                                        << QByteArray("\"say \"\"hi\"\"\",,,\"\"\"\"\r\n");
        QTest::newRow("every UTF-8 length")
            << QStringList{"aé中", QString::fromUcs4(U"\U00020000😀"), "", ""}
            << QByteArray("a\xC3\xA9\xE4\xB8\xAD,\xF0\xA0\x80\x80\xF0\x9F\x98\x80,,\r\n");
        QTest::newRow("lone surrogates as toUtf8 writes them")
            << QStringList{QString(QChar(0xD800)) + "a", "b" + QString(QChar(0xDC00)), QString(QChar(0xD83D)), ""}
            << (QString(QChar(0xD800)) + "a," + "b" + QString(QChar(0xDC00)) + "," + QString(QChar(0xD83D)) + ",\r\n")
                   .toUtf8();
        QTest::newRow("quoted beside non-ASCII") << QStringList{"张\"三\"", "", "", ""}
                                                  << QByteArray("\"张\"\"三\"\"\",,,\r\n");
        QTest::newRow("line breaks") << QStringList{"", "", "a\nb", "c\rd"}
                                     << QByteArray(",,\"a\nb\",\"c\rd\"\r\n");
    }
    void csvQuoting()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, line);
        const LinkmanTable table{{fields[0], fields[1], fields[2], fields[3]}};
        QCOMPARE(ContactsCsv(table), "name,mobile,tel,remark\r\n" + line);
    }

    void csvToDevice()
    {
        const LinkmanTable table{{"a", "13800000001", "", ""}, {"b", "", "010-1", "r"}};
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(WriteContactsCsv(buffer, table));
        QCOMPARE(buffer.data(), QByteArray("name,mobile,tel,remark\r\na,13800000001,,\r\nb,,010-1,r\r\n"));
        QBuffer readOnly;
        QVERIFY(readOnly.open(QIODevice::ReadOnly));
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        QVERIFY(!WriteContactsCsv(readOnly, table));
    }

    // The device gets the output in blocks; no contact may be lost or doubled
    // where one block ends and the next begins.
    void csvToDeviceInBlocks()
    {
        LinkmanTable table;
        for (int i = 0; i < 60000; ++i)
            table.push_back({QStringLiteral("名字%1").arg(i), QStringLiteral("138%1").arg(i, 8, 10, QChar(u'0')),
                             QStringLiteral("a,b"), QStringLiteral("备注")});
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(WriteContactsCsv(buffer, table));
        QVERIFY(buffer.data().size() > 2 * 1024 * 1024);
        QCOMPARE(buffer.data(), ContactsCsv(table));
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
