// The readers of the files people hand over besides .xls and .xlsx: CSV and
// text, web pages with tables, Excel 2003 XML, OpenDocument spreadsheets, and
// the other members of the Excel family. Each gives the contacts that the
// same sheet gives as .xlsx, and hostile files end in a description within
// bounded memory.
#include "TestMain.h"
#include "filedialog/FilePattern.h"
#include "fuzz/OdsPackage.h"
#include "import/ContactAnalysis.h"
#include "tests/PeakMemory.h"
#include "tests/ScratchFile.h"
#include "tests/TestPlatform.h"
#include "workbook/Readers.h"
#include "workbook/TextFile.h"
#include "workbook/Workbook.h"
#include "workbook/XlsxFormats.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QStringDecoder>
#include <QtTest>


using namespace workbook;
using Kind = CellValue::Kind;

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(VELTRIN_TEST_DATA "/formats/") + name;
}

// Cells given as "A1=text" pairs, so a table row reads like the sheet.
using Cells = QStringList;

// Every cell of the sheet as "A1=text", row by row; line breaks and tabs shown as \n and \t.
Cells cellsOf(const Worksheet& sheet)
{
    Cells cells;
    for (int row = 1; row <= sheet.lastRow(); ++row) {
        for (int column = 1; column <= sheet.lastColumn(row); ++column) {
            if (sheet.cell(row, column).kind == Kind::Empty)
                continue;
            QString text;
            try {
                text = sheet.text(row, column);
            } catch (const WorkbookError& error) {
                text = error.description();
            }
            text.replace(u'\n', QStringLiteral("\\n")).replace(u'\t', QStringLiteral("\\t"));
            cells << CellAddress(row, column) + u'=' + text;
        }
    }
    return cells;
}

QStringList sheetNames(Workbook& book)
{
    QStringList names;
    for (int position = 1; position <= book.Count(); ++position)
        names << book.Name(position);
    return names;
}

// A zip package of the given parts, stored uncompressed.
void writeZip(const QString& path, const std::vector<std::pair<const char*, QByteArray>>& parts)
{
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    QVERIFY(archive);
    for (const auto& [name, bytes] : parts) {
        zip_source_t* source = zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_OVERWRITE);
        QVERIFY(index >= 0);
        QCOMPARE(zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0), 0);
    }
    QCOMPARE(zip_close(archive), 0);
}

QByteArray spreadsheetMl(const QByteArray& worksheets)
{
    return "<?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
           "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">"
           + worksheets + "</Workbook>";
}

QByteArray odsDocument(const QByteArray& tables)
{
    return "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\">"
           "<office:body><office:spreadsheet>"
           + tables + "</office:spreadsheet></office:body></office:document-content>";
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    QString scratchFile(const QString& name, const QByteArray& content)
    {
        return WriteScratchFile(scratch, name, content);
    }

    // Reads sheet 1 of a file holding `content`, or the description of its refusal.
    Cells readFirstSheet(const QString& name, const QByteArray& content)
    {
        try {
            auto book = Workbook::Bind(scratchFile(name, content));
            return cellsOf(book->GetWorksheet(1));
        } catch (const WorkbookError& error) {
            return {error.description()};
        }
    }

    void compareCells(const Cells& found, const Cells& expected)
    {
        if (expected.size() == 1 && !expected.front().contains(u'=')) {
            QCOMPARE(found.size(), qsizetype(1));
            QVERIFY2(found.front().contains(expected.front()), qPrintable(found.front()));
        } else {
            QCOMPARE(found, expected);
        }
    }

private slots:
    // Files written by real writers, and by hand the way web systems write
    // them, hold the sheets of contacts.xlsx.
    void sameContactsAsTheWorkbook_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        const QStringList both{QStringLiteral("客户"), QStringLiteral("供应商")};
        const auto add = [](const char* file, const QStringList& names) {
            QTest::newRow(file) << QString::fromUtf8(file) << names;
        };
        add("utf8.csv", {"utf8"});
        add("utf8_bom.csv", {"utf8_bom"});
        add("gbk.csv", {"gbk"});
        add("semicolon.csv", {"semicolon"});
        add("unicode_text.txt", {"unicode_text"});
        add("crm_export.xls", {"crm_export"});
        add("web_export.xls", {"web_export"});
        add("web_page.html", both);
        add("excel_2003.xml", both);
        add("web_system_2003.xls", {QStringLiteral("客户")});
        add("contacts.ods", both);
        add("contacts.xlsm", both);
        add("contacts.xltx", both);
        add("contacts.xltm", both);
        add("contacts.xlt", both);
    }

    void sameContactsAsTheWorkbook()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        auto book = Workbook::Bind(fixture(file));
        QCOMPARE(sheetNames(*book), names);
        for (int index = 0; index < names.size(); ++index) {
            const contacts::SheetAnalysis expected = contacts::AnalyseSheet(fixture(QStringLiteral("contacts.xlsx")), index);
            const contacts::SheetAnalysis found = contacts::AnalyseSheet(fixture(file), index);
            QCOMPARE(contacts::AnalysisMessage(found), QString());
            QVERIFY(found.table == expected.table);
            QCOMPARE(found.entries, expected.entries);
        }
    }

    // Numbers, dates, times, errors and texts read from an .ods as from the
    // .xlsx that LibreOffice saved from it.
    void odsCellTextsAsInTheWorkbook()
    {
        auto ods = Workbook::Bind(fixture(QStringLiteral("values.ods")));
        auto xlsx = Workbook::Bind(fixture(QStringLiteral("values.xlsx")));
        const Cells cells = cellsOf(ods->GetWorksheet(1));
        QCOMPARE(cells, cellsOf(xlsx->GetWorksheet(1)));
        QCOMPARE(cells.size(), qsizetype(25));
        for (int row = 1; row <= 5; ++row)
            for (int column = 1; column <= 5; ++column)
                QCOMPARE(ods->GetWorksheet(1).cell(row, column).kind, xlsx->GetWorksheet(1).cell(row, column).kind);
    }

    void delimitedText_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Cells>("cells");
        QTest::newRow("comma") << QByteArray("a,b\r\nc,d\r\n") << Cells{"A1=a", "B1=b", "A2=c", "B2=d"};
        QTest::newRow("tab, commas in the text") << QByteArray("a,1\tb\nc,2\td\n") << Cells{"A1=a,1", "B1=b", "A2=c,2", "B2=d"};
        QTest::newRow("semicolon, commas in the text")
            << QByteArray("1,5;x\n2,5;y\n") << Cells{"A1=1,5", "B1=x", "A2=2,5", "B2=y"};
        QTest::newRow("the delimiter giving the most columns consistently")
            << QByteArray("a;b,c;d\ne;f,g;h\n") << Cells{"A1=a", "B1=b,c", "C1=d", "A2=e", "B2=f,g", "C2=h"};
        QTest::newRow("ragged lines: the delimiter splitting the most")
            << QByteArray("a\tb\tc\nd\te\nf\n") << Cells{"A1=a", "B1=b", "C1=c", "A2=d", "B2=e", "A3=f"};
        QTest::newRow("one column") << QByteArray("13812345678\n13912345678") << Cells{"A1=13812345678", "A2=13912345678"};
        QTest::newRow("quoted delimiter, quote and line break")
            << QByteArray("\"a,b\",\"say \"\"hi\"\"\",\"x\r\ny\"\r\nz\r\n") << Cells{"A1=a,b", "B1=say \"hi\"", "C1=x\\ny", "A2=z"};
        QTest::newRow("text after the closing quote joins the field")
            << QByteArray("\"ab\"cd,e\n") << Cells{"A1=abcd", "B1=e"};
        QTest::newRow("quote inside an unquoted field") << QByteArray("a\"b,c\n") << Cells{"A1=a\"b", "B1=c"};
        QTest::newRow("LF, CR and CRLF line ends, blank lines kept")
            << QByteArray("a\rb\n\nc\r\n\r\nd") << Cells{"A1=a", "A2=b", "A4=c", "A6=d"};
        QTest::newRow("empty fields are empty cells") << QByteArray(",x,,\n\"\",y\n") << Cells{"B1=x", "B2=y"};
        QTest::newRow("every cell is text")
            << QByteArray("007,0755-1234567, 13812345678 ,=1+2,1.50\n")
            << Cells{"A1=007", "B1=0755-1234567", "C1= 13812345678 ", "D1==1+2", "E1=1.50"};
        QTest::newRow("UTF-8 byte order mark") << QByteArray("\xEF\xBB\xBF张三,1\n") << Cells{QStringLiteral("A1=张三"), "B1=1"};
        QTest::newRow("UTF-16 LE byte order mark")
            << QByteArray(QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom).encode(QStringLiteral("张三\t1\r\n")))
            << Cells{QStringLiteral("A1=张三"), "B1=1"};
        QTest::newRow("UTF-16 BE byte order mark")
            << QByteArray(QStringEncoder(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom).encode(QStringLiteral("张三\t1\r\n")))
            << Cells{QStringLiteral("A1=张三"), "B1=1"};
        QTest::newRow("GBK") << QByteArray("\xD5\xC5\xC8\xFD,1\n") << Cells{QStringLiteral("A1=张三"), "B1=1"};
        if (testplatform::HasGb18030())
            QTest::newRow("GB18030 beyond GBK") << QByteArray("\x81\x30\x81\x30,\xD5\xC5\n")
                                                << Cells{QStringLiteral("A1=\u0080"), QStringLiteral("B1=张")};
        // The start is plain ASCII, valid UTF-8 either way; only the end shows GBK.
        QTest::newRow("GBK only far into the file")
            << QByteArray("x,y\n").repeated(40000) + "\xD5\xC5\xC8\xFD,1\n"
            << [] {
                   Cells cells;
                   for (int row = 1; row <= 40000; ++row)
                       cells << QStringLiteral("A%1=x").arg(row) << QStringLiteral("B%1=y").arg(row);
                   return cells << QStringLiteral("A40001=张三") << QStringLiteral("B40001=1");
               }();
        // The UTF-8 parse unquotes fields in the file's bytes before the GBK
        // shows, past the first block checked: the GBK reading must not see
        // those changed bytes.
        QTest::newRow("GBK past the first megabyte, after quoted fields")
            << QByteArray("\"q\"\"" + QByteArray(1000, 'x') + "\",y\n").repeated(1100) + "\xD5\xC5\xC8\xFD,1\n"
            << [] {
                   Cells cells;
                   const QString quoted = QStringLiteral("q\"") + QString(1000, u'x');
                   for (int row = 1; row <= 1100; ++row)
                       cells << QStringLiteral("A%1=%2").arg(row).arg(quoted) << QStringLiteral("B%1=y").arg(row);
                   return cells << QStringLiteral("A1101=张三") << QStringLiteral("B1101=1");
               }();
        QTest::newRow("quote left open") << QByteArray("a,b\n\"c,d\ne,f\n") << Cells{QStringLiteral("第2行开始的带引号字段没有结束引号")};
        QTest::newRow("more than 16384 columns") << QByteArray(",").repeated(16384) + "x\n" << Cells{QStringLiteral("第1行超过16384列")};
    }

    void delimitedText()
    {
        QFETCH(QByteArray, content);
        QFETCH(Cells, cells);
        compareCells(readFirstSheet(QStringLiteral("list.csv"), content), cells);
    }

    // The failures file of the import subcommand is one more CSV file: its
    // contacts are found as in any sheet with a row number before the name.
    // The decoder of the Windows build's GB18030 gives the same text wherever
    // the pieces are cut, inside a character too.
    void gb18030PiecesCutAnywhere()
    {
        QByteArray bytes = "\xD5\xC5\xC8\xFD,\xC0\xEE\xCB\xC4 1\n<\xB1\xED>";
        QString expected = QStringLiteral("张三,李四 1\n<表>");
        if (testplatform::HasGb18030()) {
            bytes += "\x81\x30\x81\x30\xD5\xC5";
            expected += QStringLiteral("\u0080张");
        }
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            workbook::text::Gb18030PieceDecoder decoder;
            QString text = decoder.decode(QByteArrayView(bytes).first(cut));
            text += decoder.decode(QByteArrayView(bytes).sliced(cut));
            text += decoder.finish();
            QCOMPARE(text, expected);
        }
    }

    void failuresFileIsAnOrdinarySheet()
    {
        const QString path = scratchFile(QStringLiteral("left.csv"),
                                         "\xEF\xBB\xBFrow,name,mobile,tel,remark,reason\r\n"
                                         "3,张三,13812345678,010-1,\"备注,有逗号\",连接失败\r\n"
                                         "7,,13912345678,,,已存在\r\n");
        const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, 0);
        QCOMPARE(contacts::AnalysisMessage(analysis), QString());
        const contacts::LinkmanTable expected{{QStringLiteral("张三"), "13812345678", "010-1", QStringLiteral("备注,有逗号")},
                                              {"13912345678", "13912345678", "", ""}};
        QVERIFY(analysis.table == expected);
        QCOMPARE(Workbook::Bind(path)->Name(1), QStringLiteral("left"));
    }

    void webPage_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<Cells>("cells");
        QTest::newRow("blanks collapsed and trimmed as a browser shows them")
            << QByteArray("<table><tr><td>\n  张  三\n</td><td> a\tb </td></tr></table>") << Cells{QStringLiteral("A1=张 三"), "B1=a b"};
        QTest::newRow("<br> and blocks break lines")
            << QByteArray("<table><tr><td>a<br>b<br><br>c</td><td><p>x</p><p> y </p>z</td></tr></table>")
            << Cells{"A1=a\\nb\\n\\nc", "B1=x\\ny\\nz"};
        QTest::newRow("no-break spaces: an empty cell, spaces inside")
            << QByteArray("<table><tr><td>&nbsp;</td><td>a&nbsp;&nbsp;b&nbsp;</td></tr></table>") << Cells{"B1=a  b"};
        QTest::newRow("entities and formatting")
            << QByteArray("<table><tr><th><b>A&amp;B</b> &lt;c&gt;</th><td><font color=red>1</font>3</td></tr></table>")
            << Cells{"A1=A&B <c>", "B1=13"};
        QTest::newRow("colspan moves the later cells")
            << QByteArray("<table><tr><td colspan=3>title</td><td>d</td></tr><tr><td>a</td><td>b</td></tr></table>")
            << Cells{"A1=title", "D1=d", "A2=a", "B2=b"};
        QTest::newRow("rowspan moves cells of later rows")
            << QByteArray("<table><tr><td rowspan=2>g</td><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr>"
                          "<tr><td>e</td></tr></table>")
            << Cells{"A1=g", "B1=a", "C1=b", "B2=c", "C2=d", "A3=e"};
        QTest::newRow("a rowspan ends with its group of rows")
            << QByteArray("<table><tbody><tr><td rowspan=5>g</td><td>a</td></tr></tbody><tbody><tr><td>b</td></tr></tbody></table>")
            << Cells{"A1=g", "B1=a", "A2=b"};
        QTest::newRow("cells and rows without their tags")
            << QByteArray("<table><tr><td>a<td>b<tr><td>c</table>") << Cells{"A1=a", "B1=b", "A2=c"};
        QTest::newRow("scripts and styles are no text")
            << QByteArray("<table><tr><td>a<script>var s = '<td>x</td>';</script><style>td{}</style></td></tr></table>")
            << Cells{"A1=a"};
        QTest::newRow("an inner table is its own sheet")
            << QByteArray("<table><tr><td>before<table><tr><td>inner</td></tr></table>after</td><td>b</td></tr></table>")
            << Cells{"A1=before\\nafter", "B1=b"};
        QTest::newRow("UTF-8 without a declaration") << QByteArray("<table><tr><td>张三</td></tr></table>") << Cells{QStringLiteral("A1=张三")};
        QTest::newRow("GBK without a declaration") << QByteArray("<table><tr><td>\xD5\xC5\xC8\xFD</td></tr></table>")
                                                   << Cells{QStringLiteral("A1=张三")};
        QTest::newRow("declared GB2312, written in GBK")
            << QByteArray("<html><head><meta charset=\"gb2312\"></head><body><table><tr><td>\xD5\xC5\x88\xD2</td></tr></table>")
            << Cells{QStringLiteral("A1=张堃")};
        // Big5 needs Qt's ICU, which the Windows build's Qt lacks.
        if (QStringDecoder("Big5").isValid())
            QTest::newRow("declared Big5") << QByteArray("<meta http-equiv=Content-Type content='text/html; charset=big5'>"
                                                         "<table><tr><td>\xB1\x69\xA4\x54</td></tr></table>")
                                           << Cells{QStringLiteral("A1=張三")};
        QTest::newRow("the byte order mark goes before the declaration")
            << QByteArray("\xEF\xBB\xBF<meta charset=gbk><table><tr><td>张三</td></tr></table>") << Cells{QStringLiteral("A1=张三")};
        QTest::newRow("UTF-16 declared in bytes that are no UTF-16")
            << QByteArray("<meta charset=\"utf-16\"><table><tr><td>张三</td></tr></table>") << Cells{QStringLiteral("A1=张三")};
        QTest::newRow("an unknown declared encoding")
            << QByteArray("<meta charset=x-unknown><table><tr><td>a</td></tr></table>") << Cells{QStringLiteral("字符编码“x-unknown”无法识别")};
        QTest::newRow("no table") << QByteArray("<html><body><p>张三 13812345678</p></body></html>")
                                  << Cells{QStringLiteral("没有含内容的表格")};
    }

    void webPage()
    {
        QFETCH(QByteArray, page);
        QFETCH(Cells, cells);
        compareCells(readFirstSheet(QStringLiteral("export.xls"), page), cells);
    }

    void webPageSheetNames_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QStringList>("names");
        const QByteArray cell = "<tr><td>x</td></tr>";
        QTest::newRow("the only table after the file") << "<table>" + cell + "</table>" << QStringList{"export"};
        QTest::newRow("captions") << "<table><caption> 客户 </caption>" + cell + "</table><table><caption>b</caption>" + cell + "</table>"
                                  << QStringList{QStringLiteral("客户"), "b"};
        QTest::newRow("places among the tables, empty tables left out")
            << "<table></table><table>" + cell + "<tr><td><table>" + cell + "</table></td></tr></table><table><tr><td> </td></tr></table>"
            << QStringList{QStringLiteral("表格2"), QStringLiteral("表格3")};
    }

    void webPageSheetNames()
    {
        QFETCH(QByteArray, page);
        QFETCH(QStringList, names);
        auto book = Workbook::Bind(scratchFile(QStringLiteral("export.html"), page));
        QCOMPARE(sheetNames(*book), names);
    }

    void xmlSpreadsheet_data()
    {
        QTest::addColumn<QByteArray>("worksheets");
        QTest::addColumn<Cells>("cells");
        QTest::newRow("data types")
            << QByteArray("<Worksheet ss:Name=\"s\"><Table><Row>"
                          "<Cell><Data ss:Type=\"Number\">13812345678</Data></Cell>"
                          "<Cell><Data ss:Type=\"Number\"> 1.5E1 </Data></Cell>"
                          "<Cell><Data ss:Type=\"DateTime\">2021-03-04T05:06:07.000</Data></Cell>"
                          "<Cell><Data ss:Type=\"DateTime\">1899-12-31T13:30:15.000</Data></Cell>"
                          "<Cell><Data ss:Type=\"Boolean\">1</Data></Cell>"
                          "<Cell><Data ss:Type=\"Error\">#N/A</Data></Cell>"
                          "<Cell><Data ss:Type=\"String\"> 007 </Data></Cell>"
                          "<Cell><Data ss:Type=\"Number\">12a</Data></Cell>"
                          "</Row></Table></Worksheet>")
            << Cells{"A1=13812345678", "B1=15", "C1=2021-03-04 05:06:07", "D1=13:30:15", "E1=TRUE",
                     QStringLiteral("F1=单元格 F1 含有错误值 #N/A"), "G1= 007 ", "H1=12a"};
        QTest::newRow("indexes and merged cells place the cells")
            << QByteArray("<Worksheet ss:Name=\"s\"><Table><Row ss:Index=\"2\"><Cell ss:MergeAcross=\"2\"><Data>t</Data></Cell>"
                          "<Cell><Data>d</Data></Cell><Cell ss:Index=\"7\"><Data>g</Data></Cell><Cell><Data>h</Data></Cell></Row>"
                          "<Row><Cell><Data>a</Data></Cell></Row></Table></Worksheet>")
            << Cells{"A2=t", "D2=d", "G2=g", "H2=h", "A3=a"};
        QTest::newRow("formatted text, comments and formulas")
            << QByteArray("<Worksheet ss:Name=\"s\"><Table><Row><Cell ss:Formula=\"=1+1\"><Data ss:Type=\"Number\">2</Data></Cell>"
                          "<Cell><ss:Data ss:Type=\"String\" xmlns=\"http://www.w3.org/TR/REC-html40\"><B>粗</B>体&#10;<Font>字</Font></ss:Data>"
                          "<Comment><Data>批注</Data></Comment></Cell><Cell><Comment><Data>只有批注</Data></Comment></Cell>"
                          "<Cell><Data ss:Type=\"String\"></Data></Cell><Cell><Data>x</Data></Cell></Row></Table></Worksheet>")
            << Cells{"A1=2", QStringLiteral("B1=粗体\\n字"), "E1=x"};
        QTest::newRow("a row beyond the sheet")
            << QByteArray("<Worksheet ss:Name=\"s\"><Table><Row ss:Index=\"1048577\"/></Table></Worksheet>")
            << Cells{QStringLiteral("行号“1048577”无效或超出范围")};
        QTest::newRow("a column beyond the sheet")
            << QByteArray("<Worksheet ss:Name=\"s\"><Table><Row><Cell ss:Index=\"16384\" ss:MergeAcross=\"2\"><Data>a</Data></Cell>"
                          "<Cell><Data>b</Data></Cell></Row></Table></Worksheet>")
            << Cells{QStringLiteral("第1行超过16384列")};
        QTest::newRow("malformed") << QByteArray("<Worksheet ss:Name=\"s\"><Table></Worksheet>")
                                   << Cells{QStringLiteral("不是格式正确的XML（第2行")};
    }

    void xmlSpreadsheet()
    {
        QFETCH(QByteArray, worksheets);
        QFETCH(Cells, cells);
        compareCells(readFirstSheet(QStringLiteral("export.xml"), spreadsheetMl(worksheets)), cells);
    }

    void odsContent_data()
    {
        QTest::addColumn<QByteArray>("tables");
        QTest::addColumn<Cells>("cells");
        QTest::newRow("value types from the attributes")
            << QByteArray("<table:table table:name=\"t\"><table:table-row>"
                          "<table:table-cell office:value-type=\"float\" office:value=\"13812345678\"><text:p>1.38E+10</text:p></table:table-cell>"
                          "<table:table-cell office:value-type=\"percentage\" office:value=\"0.5\"><text:p>50%</text:p></table:table-cell>"
                          "<table:table-cell office:value-type=\"currency\" office:value=\"-3\"><text:p>¥-3.00</text:p></table:table-cell>"
                          "<table:table-cell office:value-type=\"date\" office:date-value=\"2021-03-04T05:06:07\"/>"
                          "<table:table-cell office:value-type=\"time\" office:time-value=\"PT13H30M15S\"/>"
                          "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
                          "<table:table-cell office:value-type=\"string\" office:string-value=\"ab\" calcext:value-type=\"string\"><text:p>ignored</text:p></table:table-cell>"
                          "<table:table-cell office:value-type=\"string\" calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
                          "<table:table-cell><text:p>no type</text:p></table:table-cell>"
                          "<table:table-cell office:value-type=\"date\" office:date-value=\"0099-01-01\"><text:p>99年</text:p></table:table-cell>"
                          "</table:table-row></table:table>")
            << Cells{"A1=13812345678", "B1=0.5", "C1=-3", "D1=2021-03-04 05:06:07", "E1=13:30:15", "F1=TRUE", "G1=ab",
                     QStringLiteral("H1=单元格 H1 含有错误值 #DIV/0!"), "I1=no type", QStringLiteral("J1=99年")};
        QTest::newRow("paragraphs, spaces, tabs and line breaks; notes left out")
            << QByteArray("<table:table table:name=\"t\"><table:table-row><table:table-cell office:value-type=\"string\">"
                          "<office:annotation><text:p>批注</text:p></office:annotation>"
                          "<text:p>a<text:s text:c=\"3\"/>b<text:tab/>c<text:line-break/>d</text:p>"
                          "<text:p><text:span>e</text:span><text:s/>f<text:note><text:note-body><text:p>脚注</text:p></text:note-body></text:note></text:p>"
                          "</table:table-cell></table:table-row></table:table>")
            << Cells{"A1=a   b\\tc\\nd\\ne f"};
        QTest::newRow("repeated cells and rows of values, covered cells")
            << QByteArray("<table:table table:name=\"t\"><table:table-header-rows><table:table-row>"
                          "<table:table-cell table:number-columns-repeated=\"2\"/><table:table-cell table:number-columns-repeated=\"2\" "
                          "office:value-type=\"string\"><text:p>x</text:p></table:table-cell></table:table-row></table:table-header-rows>"
                          "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell office:value-type=\"float\" office:value=\"1\"/>"
                          "<table:covered-table-cell/><table:table-cell office:value-type=\"float\" office:value=\"3\"/></table:table-row>"
                          "<table:table-row table:number-rows-repeated=\"1048571\"><table:table-cell table:number-columns-repeated=\"16384\"/>"
                          "</table:table-row><table:table-row><table:table-cell office:value-type=\"string\"><text:p>last</text:p>"
                          "</table:table-cell></table:table-row></table:table>")
            << Cells{"C1=x", "D1=x", "A2=1", "C2=3", "A3=1", "C3=3", "A1048575=last"};
        QTest::newRow("no sheet") << QByteArray() << Cells{QStringLiteral("里没有工作表")};
        QTest::newRow("values past the last row")
            << QByteArray("<table:table table:name=\"t\"><table:table-row table:number-rows-repeated=\"1048576\"/>"
                          "<table:table-row><table:table-cell><text:p>x</text:p></table:table-cell></table:table-row></table:table>")
            << Cells{QStringLiteral("超过1048576行")};
    }

    void odsContent()
    {
        QFETCH(QByteArray, tables);
        QFETCH(Cells, cells);
        const QString path = scratch.filePath(QStringLiteral("book.ods"));
        QVERIFY(WriteOdsPackage(path, odsDocument(tables)));
        try {
            auto book = Workbook::Bind(path);
            compareCells(cellsOf(book->GetWorksheet(1)), cells);
        } catch (const WorkbookError& error) {
            compareCells({error.description()}, cells);
        }
    }

    void isoDurations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("days");
        QTest::newRow("time") << "PT13H30M15S" << (13 * 3600 + 30 * 60 + 15) / 86400.0;
        QTest::newRow("more than a day") << "PT36H" << 1.5;
        QTest::newRow("days and fractional seconds") << "P1DT0H0M0.5S" << 1 + 0.5 / 86400;
        QTest::newRow("negative") << "-PT1H" << -1.0;
        QTest::newRow("no unit") << "PT12" << -1.0;
        QTest::newRow("hours before T") << "P1H" << -1.0;
        QTest::newRow("empty") << "PT" << -1.0;
    }

    void isoDurations()
    {
        QFETCH(QString, text);
        QFETCH(double, days);
        QCOMPARE(xlsx::ParseIsoDuration(text.toStdString()).value_or(-1.0), days);
    }

    // What a file holds decides how it is read, or why it is not.
    void refusedWithAReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("binary file named .csv") << "picture.csv" << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)
                                                << QStringLiteral("不是本程序能读取的表格文件");
        QTest::newRow("other XML") << "data.xml" << QByteArray("<?xml version=\"1.0\"?><rss><channel/></rss>")
                                   << QStringLiteral("不是Excel 2003 XML表格");
        QTest::newRow("XML spreadsheet with a DTD")
            << "bomb.xls" << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE Workbook [<!ENTITY a \"a\">]><Workbook/>")
            << QStringLiteral("含有DTD声明");
    }

    void refusedWithAReason()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        compareCells(readFirstSheet(name, content), {reason});
    }

    void zipPackagesRefusedWithAReason_data()
    {
        QTest::addColumn<QByteArray>("mimeType");
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QString>("reason");
        QTest::newRow("encrypted spreadsheet")
            << QByteArray("application/vnd.oasis.opendocument.spreadsheet")
            << QByteArray("<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
                          "<manifest:file-entry manifest:full-path=\"content.xml\"><manifest:encryption-data/>"
                          "</manifest:file-entry></manifest:manifest>")
            << QStringLiteral("设有打开密码");
        QTest::newRow("text document") << QByteArray("application/vnd.oasis.opendocument.text") << QByteArray("<manifest/>")
                                       << QStringLiteral("是OpenDocument文档，但不是表格");
    }

    void zipPackagesRefusedWithAReason()
    {
        QFETCH(QByteArray, mimeType);
        QFETCH(QByteArray, manifest);
        QFETCH(QString, reason);
        const QString path = scratch.filePath(QStringLiteral("document.ods"));
        writeZip(path, {{"mimetype", mimeType}, {"META-INF/manifest.xml", manifest}, {"content.xml", "\x93\x11\xFE encrypted"}});
        try {
            Workbook::Bind(path);
            QFAIL("the package must be refused");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(reason), qPrintable(error.description()));
        }
    }

    // Damage shows as bytes that are no XML before the checksum at the part's
    // end says what it is; the user learns that the file is damaged.
    void damagedXlsxIsDescribedAsDamaged_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<QString>("description");
        QTest::newRow("bad checksum") << false << QStringLiteral("已损坏：部件 xl/worksheets/sheet1.xml 无法解压（数据校验（CRC）失败）");
        QTest::newRow("cut short") << true << QStringLiteral("已损坏或不完整");
    }

    void damagedXlsxIsDescribedAsDamaged()
    {
        QFETCH(bool, cutShort);
        QFETCH(QString, description);
        const QString path = scratch.filePath(QStringLiteral("damaged.xlsx"));
        writeZip(path, {{"xl/workbook.xml", "<workbook><sheets><sheet name=\"s\"/></sheets></workbook>"},
                        {"xl/worksheets/sheet1.xml",
                         "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>ok</t></is></c></row></sheetData></worksheet>"}});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        // The part is stored, so its damaged text reaches the XML scanner as it is.
        bytes[bytes.indexOf("<t>ok</t>") + 3] = '<';
        if (cutShort)
            bytes.truncate(bytes.size() / 2);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size() && file.resize(bytes.size()));
        file.close();
        try {
            auto book = Workbook::Bind(path);
            (void)book->GetWorksheet(1);
            QFAIL("a damaged workbook must be refused");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(description), qPrintable(error.description()));
        }
    }

    // Files made to hurt the readers end in a description, holding far less
    // memory than their claims.
    void hostileFilesRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("100,000 nested tables") << "nested.html" << QByteArray("<table><tr><td>").repeated(100000)
                                               << QStringLiteral("嵌套超过1000层");
        QTest::newRow("entity bomb") << "bomb.xml"
                                     << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE Workbook [<!ENTITY a \"aaaaaaaaaa\">"
                                                   "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                                                   "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                                                   "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
                                                   "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\"><!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]>"
                                                   "<?mso-application progid=\"Excel.Sheet\"?><Workbook><Worksheet ss:Name=\"s\"><Table><Row>"
                                                   "<Cell><Data ss:Type=\"String\">&i;</Data></Cell></Row></Table></Worksheet></Workbook>")
                                     << QStringLiteral("实体炸弹");
    }

    void hostileFilesRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        compareCells(readFirstSheet(name, content), {reason});
        VERIFY_MEMORY_BOUND();
    }

    void odsRepeatingACellOverTheWholeSheet()
    {
        const QString path = scratch.filePath(QStringLiteral("repeat.ods"));
        QVERIFY(WriteOdsPackage(path, odsDocument("<table:table table:name=\"t\"><table:table-row table:number-rows-repeated=\"1048576\">"
                                                 "<table:table-cell table:number-columns-repeated=\"16384\" office:value-type=\"float\" "
                                                 "office:value=\"1\"/></table:table-row></table:table>")));
        try {
            Workbook::Bind(path);
            QFAIL("17 thousand million cells must be refused");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(QStringLiteral("单元格超过16777216个")), qPrintable(error.description()));
        }
        VERIFY_MEMORY_BOUND();
    }

    // A file of one 2 GB line: the first 2 MiB are written, the rest is a
    // hole in the file, and the field is refused before the hole is reached.
    void csvWithOneTwoGigabyteLine()
    {
        const QString path = scratch.filePath(QStringLiteral("line.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(2 << 20, 'a')) == 2 << 20);
        QVERIFY(file.resize(qint64(2) << 30));
        file.close();
        try {
            auto book = Workbook::Bind(path);
            (void)book->GetWorksheet(1);
            QFAIL("the line must be refused");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(QStringLiteral("第1行第1列的字段过长")), qPrintable(error.description()));
        }
        VERIFY_MEMORY_BOUND();
    }

    // What the fuzz targets found, kept in fuzz/regressions/<target>/: each
    // is read or refused with a description.
    void fuzzFindingsReadOrRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        for (const char* target : {"fuzz_csv", "fuzz_html", "fuzz_spreadsheetml", "fuzz_ods"}) {
            QDirIterator files(QStringLiteral(VELTRIN_FUZZ_REGRESSIONS "/") + QLatin1String(target), QDir::Files);
            while (files.hasNext()) {
                const QString path = files.next();
                QTest::newRow(qPrintable(QLatin1String(target) + u'/' + files.fileName())) << QString::fromLatin1(target) << path;
            }
        }
    }

    void fuzzFindingsReadOrRefused()
    {
        if (!QTest::currentDataTag())
            QSKIP("no findings kept");
        QFETCH(QString, target);
        QFETCH(QString, path);
        QString input = path;
        if (target == u"fuzz_ods") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            input = scratch.filePath(QStringLiteral("finding.ods"));
            QVERIFY(WriteOdsPackage(input, file.readAll()));
        }
        const auto open = target == u"fuzz_csv"    ? &OpenCsv
                          : target == u"fuzz_html" ? &OpenHtml
                          : target == u"fuzz_ods"  ? &OpenOds
                                                   : &OpenSpreadsheetMl;
        try {
            auto book = open(input);
            for (int position = 1; position <= book->Count(); ++position)
                (void)cellsOf(book->GetWorksheet(position));
        } catch (const WorkbookError& error) {
            QVERIFY(!error.description().isEmpty());
        }
    }

    // The file dialog offers every kind of file that is read.
    void fileDialogFilterListsEveryKind()
    {
        const auto pattern = filedialog::FilePattern::parse(FileDialogFilter());
        QVERIFY(pattern);
        const QDir fixtures(fixture(QString()));
        for (const QString& name : fixtures.entryList(QDir::Files)) {
            if (!name.endsWith(QStringLiteral(".py")))
                QVERIFY2(pattern->matches(name), qPrintable(name));
        }
        for (const char* name : {"Book.XLSX", "book.xls", "list.TXT", "page.htm"})
            QVERIFY2(pattern->matches(QString::fromLatin1(name)), name);
        QVERIFY(!pattern->matches(QStringLiteral("book.xlsb")));
    }

    // Every .ods of the corpus reads or is refused with a description.
    void corpusOdsReadsOrFailsClearly()
    {
        const QDir corpus(QStringLiteral(VELTRIN_CORPUS_DIR "/calamine"));
        if (!corpus.exists())
            QSKIP("the workbook corpus is not there");
        int read = 0;
        for (const QString& name : corpus.entryList({QStringLiteral("*.ods")}, QDir::Files)) {
            try {
                auto book = Workbook::Bind(corpus.filePath(name));
                for (int position = 1; position <= book->Count(); ++position)
                    (void)cellsOf(book->GetWorksheet(position));
                ++read;
            } catch (const WorkbookError& error) {
                QVERIFY2(!error.description().trimmed().isEmpty(), qPrintable(name));
            }
        }
        QVERIFY(read > 10);
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
