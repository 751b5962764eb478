#include "TestMain.h"
#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "import/MobileNumbers.h"
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
        QCOMPARE(analysis.skipped,
                 (std::vector<SkippedRow>{{13, "after the fourth blank row", "13700000000", "在第4个空行之后，未读取"}}));
    }

    // Sheets laid out before headings and written-out numbers were read give
    // what they gave then (recorded in contacts/before/), except that a number
    // seen before no longer makes a second contact.
    void sheetsAsBefore_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QList<int>>("duplicates"); // contacts of the recording now passed over
        const auto add = [](const QString& file, int sheet, QList<int> duplicates = {}) {
            QTest::addRow("%s sheet %d", qPrintable(file), sheet) << file << sheet << duplicates;
        };
        for (const char* file : {"contacts/cases.xls", "contacts/cases.xlsx", "contacts/many.xlsx",
                                 "contacts/one_sheet.xlsx", "xls/hand_biff5_cp936.xls", "xls/xlwt_values.xls",
                                 "xlsx/excel_forms.xlsx", "xlsx/values.xlsx"})
            add(file, 1);
        for (int sheet : {1, 10})
            add("contacts/ten_sheets.xlsx", sheet);
        for (const char* file : {"contacts/three_sheets.xls", "contacts/three_sheets.xlsx"}) {
            add(file, 1);
            add(file, 3);
        }
        add("cli/contacts.xlsx", 1);
        add("cli/contacts.xlsx", 2, {7});
        for (const char* file : {"../../examples/客户通讯录.xls", "../../examples/客户通讯录.xlsx"}) {
            add(file, 1);
            add(file, 2);
        }
    }
    void sheetsAsBefore()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        QFETCH(QList<int>, duplicates);
        const QString recording = QString(file).remove(QStringLiteral("../../")).replace(u'/', u'_');
        QFile before(QStringLiteral(VELTRIN_TEST_DATA "/contacts/before/%1.%2.csv").arg(recording).arg(sheet));
        QVERIFY2(before.open(QIODevice::ReadOnly), qPrintable(before.fileName()));
        // Contacts end in CRLF; a line feed alone lies inside a quoted field.
        QList<QByteArray> lines = before.readAll().split('\r');
        for (auto it = duplicates.crbegin(); it != duplicates.crend(); ++it)
            lines.removeAt(*it);
        const SheetAnalysis analysis = AnalyseSheet(QStringLiteral(VELTRIN_TEST_DATA "/") + file, sheet - 1);
        QCOMPARE(analysis.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(ContactsCsv(analysis.table), lines.join('\r'));
        const auto passedOver = std::count_if(analysis.skipped.begin(), analysis.skipped.end(), [](const SkippedRow& row) {
            return row.reason.startsWith(QStringLiteral("手机号码与"));
        });
        QCOMPARE(passedOver, duplicates.size());
    }

    // The same sheets written by three independent writers give the same.
    void sheetsAsPeopleKeepThem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<QStringList>("skipped");
        struct Case {
            const char* name;
            QString columns;
            QStringList contacts;
            QStringList skipped;
        };
        const QList<Case> cases{
            {"部门", "姓名：B列　手机：D列　电话：—　备注：E列",
             {"张三|13812345678||老客户", "李四|13912345678||", "王五|||没有手机"}, {}},
            {"地址", "姓名：C列　手机：D列　电话：B列　备注：A列",
             {"赵六|15012345678|010-12345678|VIP", "钱七|18612345678|0755-1234567|"}, {}},
            {"写法", "姓名：A列　手机：B列　电话：—　备注：—",
             {"空格|13812345678||", "连字符|13912345678||", "国家码|15012345678||", "零零|15112345678||",
              "全角|18612345678||", "全角空格|18712345678||", "长破折号|18812345678||", "八六|13312345678||"},
             {}},
            {"第12位", "姓名：A列　手机：B列　电话：C列　备注：—",
             {"甲|13812345678||", "乙||1381234567890|", "丙||138123456789|", "丁|13912345678|13812345679|",
              "戊|13712345678|转8001|"},
             {}},
            {"重复", "姓名：A列　手机：B列　电话：—　备注：C列",
             {"甲|13800000001||第一次", "乙|13800000002||", "丁|||没有手机", "戊|||也没有手机"},
             {"第4行 丙 13800000001：手机号码与第2行重复", "第7行 己 13800000002：手机号码与第3行重复"}},
            {"空行之后", "姓名：A列　手机：B列　电话：C列　备注：D列", {"甲|13800000011||", "乙|13800000012||"},
             {"第7行 丙 13800000013：在第4个空行之后，未读取", "第10行 丁 13800000014：在第4个空行之后，未读取",
              "第11行 139 0000 0015 13900000015：在第4个空行之后，未读取"}},
            {"错误值", "姓名：A列　手机：B列　电话：—　备注：—", {"张三|13812345678||"}, {}},
            {"只有手机", "姓名：—　手机：B列　电话：—　备注：—", {"13812345678|13812345678||"}, {}},
            {"标题在下", "姓名：A列　手机：B列　电话：C列　备注：D列", {"张三|13812345678|010-1|r"}, {}},
        };
        for (const char* file : {"people.xlsx", "people.xls", "lo_people.xls", "lo_people.xlsx"}) {
            for (int sheet = 0; sheet < cases.size(); ++sheet) {
                const Case& c = cases[sheet];
                QTest::addRow("%s %s", file, c.name) << file << sheet << c.columns << c.contacts << c.skipped;
            }
        }
    }
    void sheetsAsPeopleKeepThem()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        QFETCH(QString, columns);
        QFETCH(QStringList, contacts);
        QFETCH(QStringList, skipped);
        const SheetAnalysis analysis = AnalyseSheet(QStringLiteral(VELTRIN_TEST_DATA "/sheets/") + file, sheet);
        QCOMPARE(analysis.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(ColumnsLine(analysis.columns), columns);
        QCOMPARE(rowsOf(analysis.table), contacts);
        QStringList lines;
        for (const SkippedRow& row : analysis.skipped)
            lines.append(SkippedLine(row));
        QCOMPARE(lines, skipped);
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
        QTest::newRow("full stop") << "1381234567." << DataTypeOther;
        QTest::newRow("letter") << "1381234567x" << DataTypeOther;
        QTest::newRow("exponent") << "13812345E10" << DataTypeOther;
        QTest::newRow("arabic-indic digits") << "13\u0668\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668" << DataTypeOther;
        QTest::newRow("tab in front") << "\t13812345678" << DataTypeOther;
        QTest::newRow("separators only") << " - \u3000" << DataTypeOther;
        QTest::newRow("landline with area code") << "010-12345678" << DataTypeOther;
        QTest::newRow("eleven digits after the country code") << "+86 010 1234 5678" << DataTypeOther;
        QTest::newRow("country code twice") << "+86 86 138 1234 5678" << DataTypeOther;
        QTest::newRow("plus inside") << "138+12345678" << DataTypeOther;
        QTest::newRow("brackets") << "(86)13812345678" << DataTypeOther;
    }
    void getDataType()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QCOMPARE(GetDataType(text), kind);
    }

    // Every written-out form gives the 11 digits; only the plain form is the
    // text itself.
    void writtenMobileNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << "13812345678" << "13812345678" << true;
        QTest::newRow("spaces") << "138 1234 5678" << "13812345678" << false;
        QTest::newRow("space in front") << " 13812345678" << "13812345678" << false;
        QTest::newRow("hyphens") << "138-1234-5678" << "13812345678" << false;
        QTest::newRow("+86 and spaces") << "+86 138 1234 5678" << "13812345678" << false;
        QTest::newRow("+86 and hyphen") << "+86-13812345678" << "13812345678" << false;
        QTest::newRow("0086") << "008613812345678" << "13812345678" << false;
        QTest::newRow("86") << "8613812345678" << "13812345678" << false;
        QTest::newRow("full-width digits") << "１３８１２３４５６７８" << "13812345678" << false;
        QTest::newRow("full-width plus, digits and hyphen") << "＋８６　１３８－１２３４－５６７８" << "13812345678"
                                                             << false;
        QTest::newRow("ideographic and no-break spaces") << "138\u30001234\u00A05678" << "13812345678" << false;
        for (char16_t dash : {u'\u2010', u'\u2011', u'\u2012', u'\u2013', u'\u2014', u'\u2015', u'\uFF0D'}) {
            const QString text = QStringLiteral("138") + QChar(dash) + "1234" + QChar(dash) + "5678";
            QTest::addRow("dash U+%04X", unsigned(dash)) << text << "13812345678" << false;
        }
    }
    void writtenMobileNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, digits);
        QFETCH(bool, plain);
        const MobileNumber number = ReadMobileNumber(text);
        QVERIFY(number);
        QCOMPARE(number.digits(), digits);
        QCOMPARE(number.plain, plain);
        QCOMPARE(GetDataType(text), DataTypeMobile);
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
            << QStringList{"a|13812345671", "b|13812345672-  0101|x", "c|13812345673x|t"}
            << AnalysisOutcome::Analysed
            << QStringList{"a|13812345671||", "b|13812345672|0101|", "c|13812345673||"};
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
        QTest::newRow("spaces around the number: found by the search, trimmed in the pass")
            << QStringList{"a| 13800000001", "b|13800000002", "c| 13800000003  "} << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "b|13800000002||", "c|13800000003||"};
        QTest::newRow("a tab is no separator, an ideographic space is")
            << QStringList{"a|13800000001", "b|\t13800000002", "c|\u300013800000003"} << AnalysisOutcome::Analysed
            << QStringList{"a|13800000001||", "b||\t13800000002|", "c|13800000003||"};
        QTest::newRow("written-out numbers: the 11 digits are listed, the name keeps the text")
            << QStringList{"|+86 138 1234 5678|t|r", "b|１３９１２３４５６７８", "c|#8615012345678"}
            << AnalysisOutcome::Analysed
            << QStringList{"+86 138 1234 5678|13812345678|t|r", "b|13912345678||", "c|15012345678||"};
        QTest::newRow("a written-out number is the start cell")
            << QStringList{"a|010-1234|x", "b|139-1234-5678|y"} << AnalysisOutcome::Analysed
            << QStringList{"b|13912345678|y|"};
        QTest::newRow("name, telephone and remark are not trimmed")
            << QStringList{" 张三 |13800000001| 010 | r "} << AnalysisOutcome::Analysed
            << QStringList{" 张三 |13800000001| 010 | r "};
        QTest::newRow("an error value before the start cell is no mobile number")
            << QStringList{"!#N/A", "a|13800000001"} << AnalysisOutcome::Analysed << QStringList{"a|13800000001||"};
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

    // The first 11 characters are a mobile number of their own only when the
    // 12th is no digit; a longer run of digits is a telephone, never a wrong
    // mobile number.
    void twelfthCharacter_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("contact");
        QTest::newRow("13 digits") << "1381234567890" << "x||1381234567890|";
        QTest::newRow("12 digits as a number") << "#138123456789" << "x||138123456789|";
        QTest::newRow("12 digits as text") << "138123456789" << "x||138123456789|";
        QTest::newRow("a full-width 12th digit") << "13812345678１" << "x||13812345678１|";
        QTest::newRow("two numbers split by a slash") << "13912345678/13812345679" << "x|13912345678|13812345679|";
        QTest::newRow("extension after a space") << "13712345678 转8001" << "x|13712345678|转8001|";
        QTest::newRow("written-out first eleven") << "１３８１２３４５６７８/1" << "x|13812345678|1|";
    }
    void twelfthCharacter()
    {
        QFETCH(QString, cell);
        QFETCH(QString, contact);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf({"a|13800000001", "x|" + cell + "|tel"}));
        QCOMPARE(result.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(rowsOf(result.table).value(1), contact);
    }

    // Headings found in the nearest non-blank row above the first mobile number.
    void headings_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QStringList>("contacts");
        QTest::newRow("department is no name, remark no telephone")
            << QStringList{"序号|姓名|部门|手机号码|备注", "#1|张三|销售部|13812345678|老客户"}
            << "姓名：B列　手机：D列　电话：—　备注：E列" << QStringList{"张三|13812345678||老客户"};
        QTest::newRow("headings in another order, address left out")
            << QStringList{"备注|联系电话|客户姓名|手机|地址", "VIP|010-12345678|赵六|15012345678|北京"}
            << "姓名：C列　手机：D列　电话：B列　备注：A列" << QStringList{"赵六|15012345678|010-12345678|VIP"};
        QTest::newRow("title row above the headings")
            << QStringList{"2024年客户名单", "", "姓名|手机|电话|备注", "张三|13812345678|010-1|r"}
            << "姓名：A列　手机：B列　电话：C列　备注：D列" << QStringList{"张三|13812345678|010-1|r"};
        QTest::newRow("headings above a title row: the title names nothing")
            << QStringList{"备注|电话|手机|姓名", "2024年名单", "张三|13812345678|010-1|r"}
            << "姓名：A列　手机：B列　电话：C列　备注：D列" << QStringList{"张三|13812345678|010-1|r"};
        QTest::newRow("only the mobile column named: the other fields stay empty")
            << QStringList{"|手机号码", "张三|13812345678|010-1|r"} << "姓名：—　手机：B列　电话：—　备注：—"
            << QStringList{"13812345678|13812345678||"};
        QTest::newRow("two other fields make a heading row")
            << QStringList{"电话|姓名||", "010-1|张三|13812345678|r"} << "姓名：B列　手机：C列　电话：A列　备注：—"
            << QStringList{"张三|13812345678|010-1|"};
        QTest::newRow("one other field alone makes none")
            << QStringList{"|||备注", "x|张三|13812345678|010-1|r"} << "姓名：B列　手机：C列　电话：D列　备注：E列"
            << QStringList{"张三|13812345678|010-1|r"};
        QTest::newRow("the mobile column under 联系电话 is no telephone column")
            << QStringList{"姓名|联系电话|备注", "张三|13812345678|r"} << "姓名：A列　手机：B列　电话：—　备注：C列"
            << QStringList{"张三|13812345678||r"};
        QTest::newRow("under 联系电话 the mobile column leaves the telephone to another heading")
            << QStringList{"姓名|联系电话|办公电话", "张三|13812345678|010-1"}
            << "姓名：A列　手机：B列　电话：C列　备注：—" << QStringList{"张三|13812345678|010-1|"};
        QTest::newRow("letters in any case, spaces around, a word inside a heading")
            << QStringList{" NAME |Mobile Phone| Tel. |Notes", "Bob|13812345678|8001|n"}
            << "姓名：A列　手机：B列　电话：C列　备注：D列" << QStringList{"Bob|13812345678|8001|n"};
        QTest::newRow("a heading holding another field's word names the telephone")
            << QStringList{"客户电话|客户姓名|手机号码1", "010-1|张三|13812345678"}
            << "姓名：B列　手机：C列　电话：A列　备注：—" << QStringList{"张三|13812345678|010-1|"};
        QTest::newRow("an exact heading before one holding the word; else the leftmost")
            << QStringList{"客户经理|姓名|手机|备注1|备注", "王经理|张三|13812345678|a|b"}
            << "姓名：B列　手机：C列　电话：—　备注：E列" << QStringList{"张三|13812345678||b"};
        QTest::newRow("the same word twice: the leftmost")
            << QStringList{"手机|姓名|姓名", "13812345678|张三|李四"} << "姓名：B列　手机：A列　电话：—　备注：—"
            << QStringList{"张三|13812345678||"};
        QTest::newRow("no row above: by place") << QStringList{"张三|13812345678|010-1|r"}
                                                << "姓名：A列　手机：B列　电话：C列　备注：D列"
                                                << QStringList{"张三|13812345678|010-1|r"};
        QTest::newRow("mobile column 1 by place") << QStringList{"13812345678|010-1|r"}
                                                  << "姓名：—　手机：A列　电话：B列　备注：C列"
                                                  << QStringList{"13812345678|13812345678|010-1|r"};
        QTest::newRow("numbers and errors in the row above name nothing")
            << QStringList{"#1|!#N/A|#3", "张三|13812345678|010-1|r"} << "姓名：A列　手机：B列　电话：C列　备注：D列"
            << QStringList{"张三|13812345678|010-1|r"};
        QTest::newRow("headings beyond column 100 are not read")
            << QStringList{QString(99, u'|') + "姓名|电话", QString(98, u'|') + "13812345678|张三|010-1"}
            << "姓名：CT列　手机：CU列　电话：CV列　备注：CW列" << QStringList{"13812345678|13812345678|张三|010-1"};
    }
    void headings()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, columns);
        QFETCH(QStringList, contacts);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf(rows));
        QCOMPARE(result.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(ColumnsLine(result.columns), columns);
        QCOMPARE(rowsOf(result.table), contacts);
    }

    // Rows holding a mobile number that become no contact are reported, with
    // their row in the sheet.
    void passedOver_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<QString>("summary");
        QTest::newRow("a number seen before, however written")
            << QStringList{"姓名|手机", "甲|#13800000001", "乙|13800000002", "丙|138 0000 0001", "丁|", "戊|",
                           "己|+86 138-0000-0002"}
            << QStringList{"甲|13800000001||", "乙|13800000002||", "丁|||", "戊|||"}
            << QStringList{"第4行 丙 13800000001：手机号码与第2行重复", "第7行 己 13800000002：手机号码与第3行重复"}
            << "找到联系人4个（其中2个没有手机号码），跳过2行。";
        QTest::newRow("a number split from a telephone counts too")
            << QStringList{"x|13900000000", "甲|13800000001 8001", "乙|13800000001"}
            << QStringList{"x|13900000000||", "甲|13800000001|8001|"}
            << QStringList{"第3行 乙 13800000001：手机号码与第2行重复"} << "找到联系人2个，跳过1行。";
        QTest::newRow("rows named across blank rows")
            << QStringList{"x|13900000000", "", "甲|13800000001", "", "", "乙|13800000001", "丙|13900000000"}
            << QStringList{"x|13900000000||", "甲|13800000001||"}
            << QStringList{"第6行 乙 13800000001：手机号码与第3行重复", "第7行 丙 13900000000：手机号码与第1行重复"}
            << "找到联系人2个，跳过2行。";
        QTest::newRow("the same telephone twice is no duplicate")
            << QStringList{"甲|13800000001", "乙|010-1", "丙|010-1"}
            << QStringList{"甲|13800000001||", "乙||010-1|", "丙||010-1|"} << QStringList{}
            << "找到联系人3个（其中2个没有手机号码），跳过0行。";
        QTest::newRow("below the fourth blank row")
            << QStringList{"甲|13800000011", "", "", "", "乙|13800000012", "", "丙|13800000013", "", "only a name",
                           "丁|13800000014 8001", "|139 0000 0015", "戊|010-1", "己|!#N/A", "|13800000011"}
            << QStringList{"甲|13800000011||", "乙|13800000012||"}
            << QStringList{"第7行 丙 13800000013：在第4个空行之后，未读取",
                           "第10行 丁 13800000014：在第4个空行之后，未读取",
                           "第11行 139 0000 0015 13900000015：在第4个空行之后，未读取",
                           "第14行 13800000011 13800000011：在第4个空行之后，未读取"}
            << "找到联系人2个，跳过4行。";
        QTest::newRow("error values below the pass stop nothing")
            << QStringList{"甲|13800000001", "", "", "", "", "!#REF!|!#N/A|!#N/A", "乙|13800000002"}
            << QStringList{"甲|13800000001||"} << QStringList{"第7行 乙 13800000002：在第4个空行之后，未读取"}
            << "找到联系人1个，跳过1行。";
        QTest::newRow("the mobile column below the pass is the one of the headings")
            << QStringList{"手机|姓名", "13800000001|甲", "", "", "", "", "乙|13800000002"}
            << QStringList{"甲|13800000001||"} << QStringList{} << "找到联系人1个，跳过0行。";
    }
    void passedOver()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, contacts);
        QFETCH(QStringList, skipped);
        QFETCH(QString, summary);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf(rows));
        QCOMPARE(result.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(rowsOf(result.table), contacts);
        QCOMPARE(result.entries.size(), contacts.size());
        QStringList lines;
        for (const SkippedRow& row : result.skipped)
            lines.append(SkippedLine(row));
        QCOMPARE(lines, skipped);
        QCOMPARE(SummaryLine(result), summary);
    }

    // A sheet with a title and a total row, as people keep them: errors among
    // the cells the search reads are no mobile numbers.
    void errorValuesInTheSearchArea()
    {
        const SheetAnalysis result =
            AnalyseWorksheet(sheetOf({"合计|!#DIV/0!|!#N/A", "姓名|手机|!#VALUE!", "张三|13812345678"}));
        QCOMPARE(result.outcome, AnalysisOutcome::Analysed);
        QCOMPARE(rowsOf(result.table), QStringList{"张三|13812345678||"});
        QCOMPARE(result.columns.headingRow, 2);
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

    // In the row pass an error value in a cell that is read still fails,
    // naming the cell; the contacts read so far replace the caller's.
    void failures_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<int>("entryCount");
        QTest::newRow("error in the telephone cell: an empty last row")
            << QStringList{"a|13800000001|t1", "b|13800000002", "c|13800000003|!#VALUE!|r"} << "C3"
            << QStringList{"a|13800000001|t1|", "b|13800000002||", "|||"} << 2;
        QTest::newRow("error in the remark cell: the telephone is kept")
            << QStringList{"a|13800000001", "b|13800000002|t2|!#DIV/0!"} << "D2"
            << QStringList{"a|13800000001||", "||t2|"} << 1;
        QTest::newRow("error in the name cell ends before the row")
            << QStringList{"a|13800000001", "!#REF!|13800000002"} << "A2" << QStringList{"a|13800000001||"} << 1;
        QTest::newRow("error in the mobile cell")
            << QStringList{"a|13800000001", "b|!#NAME?"} << "B2" << QStringList{"a|13800000001||"} << 1;
        QTest::newRow("error in a column named by its heading")
            << QStringList{"手机|备注", "13800000001|r", "13800000002|!#N/A"} << "B3"
            << QStringList{"13800000001|13800000001||r", "|||"} << 1;
    }
    void failures()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, cell);
        QFETCH(QStringList, contacts);
        QFETCH(int, entryCount);
        const SheetAnalysis result = AnalyseWorksheet(sheetOf(rows));
        QCOMPARE(result.outcome, AnalysisOutcome::Failed);
        QVERIFY2(result.description.contains(cell), qPrintable(result.description));
        QCOMPARE(rowsOf(result.table), contacts);
        QCOMPARE(result.entries.size(), entryCount);
        QVERIFY(result.replacesContacts);
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
        QTest::newRow("error cell in the pass closes") << 3 << AnalysisOutcome::Failed << "one" << 1;
        QTest::newRow("index beyond the count closes") << 4 << AnalysisOutcome::Failed << "" << 1;
        QTest::newRow("largest index closes") << INT_MAX << AnalysisOutcome::Failed << "" << 1;
    }
    void workbookSheets()
    {
        QFETCH(int, sheetIndex);
        QFETCH(AnalysisOutcome, outcome);
        QFETCH(QString, firstName);
        QFETCH(int, closes);
        std::vector<Worksheet> sheets{sheetOf({"one|13800000001"}), sheetOf({"two|13800000002"}), sheetOf({"!#N/A"}),
                                      sheetOf({"one|13800000001", "!#N/A|13800000002"})};
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

    void skippedRowsCsv()
    {
        const std::vector<SkippedRow> rows{{4, "丙", "13800000001", "手机号码与第2行重复"},
                                           {12, "Li, \"Si\"", "13800000002", "在第4个空行之后，未读取"}};
        QCOMPARE(SkippedRowsCsv(rows), QByteArray("\xEF\xBB\xBF"
                                                  "row,name,mobile,reason\r\n"
                                                  "4,丙,13800000001,手机号码与第2行重复\r\n"
                                                  "12,\"Li, \"\"Si\"\"\",13800000002,在第4个空行之后，未读取\r\n"));
        QCOMPARE(SkippedRowsCsv({}), QByteArray("\xEF\xBB\xBF"
                                                "row,name,mobile,reason\r\n"));
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

VELTRIN_TEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
