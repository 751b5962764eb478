#include "TestMain.h"
#include "workbook/NumberFormats.h"
#include "workbook/Rc4.h"
#include "workbook/Workbook.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace workbook;

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(VELTRIN_TEST_DATA "/xls/") + name;
}

int kindOf(CellValue::Kind kind)
{
    return static_cast<int>(kind);
}

constexpr int Empty = static_cast<int>(CellValue::Kind::Empty);
constexpr int Number = static_cast<int>(CellValue::Kind::Number);
constexpr int Text = static_cast<int>(CellValue::Kind::Text);
constexpr int Date = static_cast<int>(CellValue::Kind::Date);
constexpr int Boolean = static_cast<int>(CellValue::Kind::Boolean);
constexpr int Error = static_cast<int>(CellValue::Kind::Error);

// The text of row i of xlwt_long_sst.xls, as make_fixtures.py writes it.
QString longString(int i)
{
    const QString prefix = QStringLiteral("%1-").arg(i, 4, 10, QLatin1Char('0'));
    return i % 2 ? prefix + QStringLiteral("abcdefghij").repeated(i % 17 + 1)
                 : prefix + QStringLiteral("联系人备注abc").repeated(i % 13 + 1);
}

// Lists and reads every cell of every sheet; false when something failed
// without saying what.
bool readsOrDescribesFailure(const QString& path)
{
    try {
        const auto book = Workbook::Bind(path);
        for (int s = 1; s <= book->Count(); ++s) {
            book->Name(s);
            const Worksheet& sheet = book->GetWorksheet(s);
            for (int row = 1; row <= sheet.lastRow(); ++row) {
                for (int column = 1; column <= 256; ++column) {
                    try {
                        sheet.text(row, column);
                    } catch (const WorkbookError& error) {
                        if (error.description().isEmpty())
                            return false;
                    }
                }
            }
        }
        return true;
    } catch (const WorkbookError& error) {
        return !error.description().isEmpty();
    }
}

// Every cell of read holds what the same cell of expected holds.
void compareCells(const Worksheet& read, const Worksheet& expected)
{
    QCOMPARE(read.cellCount(), expected.cellCount());
    for (int row = 1; row <= expected.lastRow(); ++row) {
        for (int column = 1; column <= expected.lastColumn(row); ++column) {
            const CellValue cell = read.cell(row, column);
            const CellValue wanted = expected.cell(row, column);
            QCOMPARE(cell.kind, wanted.kind);
            QCOMPARE(cell.number, wanted.number);
            QCOMPARE(cell.text, wanted.text);
        }
    }
}

bool isOle2(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(8) == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

} // namespace

class TestXls : public QObject {
    Q_OBJECT

private slots:
    void cells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text"); // the error's name for an error cell

        const auto add = [](const char* name, const char* file, int sheet, int row, int column, int kind, const QString& text) {
            QTest::newRow(name) << fixture(QString::fromUtf8(file)) << sheet << row << column << kind << text;
        };
        // Numbers as xlwt stores them: NUMBER, RK (integer, scaled by 100), MULRK.
        add("mobile stored as number", "xlwt_values.xls", 1, 1, 1, Number, QStringLiteral("13812345678"));
        add("mobile stored as text", "xlwt_values.xls", 1, 1, 2, Text, QStringLiteral("13812345678"));
        add("RK scaled 1.5", "xlwt_values.xls", 1, 1, 3, Number, QStringLiteral("1.5"));
        add("RK negative integer", "xlwt_values.xls", 1, 1, 4, Number, QStringLiteral("-42"));
        add("RK 0.01", "xlwt_values.xls", 1, 1, 5, Number, QStringLiteral("0.01"));
        add("15 digits", "xlwt_values.xls", 1, 1, 6, Number, QStringLiteral("123456789012345"));
        add("small negative", "xlwt_values.xls", 1, 1, 7, Number, QStringLiteral("-3.25E-07"));
        add("MULRK first", "xlwt_values.xls", 1, 2, 1, Number, QStringLiteral("1"));
        add("MULRK last integer", "xlwt_values.xls", 1, 2, 5, Number, QStringLiteral("5"));
        add("MULRK scaled", "xlwt_values.xls", 1, 2, 6, Number, QStringLiteral("2.5"));
        add("true", "xlwt_values.xls", 1, 3, 1, Boolean, QStringLiteral("TRUE"));
        add("false", "xlwt_values.xls", 1, 3, 2, Boolean, QStringLiteral("FALSE"));
        add("error #N/A", "xlwt_values.xls", 1, 5, 4, Error, QStringLiteral("#N/A"));
        add("chinese text", "xlwt_values.xls", 1, 6, 1, Text, QStringLiteral("张三"));
        add("spaces kept", "xlwt_values.xls", 1, 6, 2, Text, QStringLiteral("  13912345678 "));
        add("last column", "xlwt_values.xls", 1, 8, 256, Text, QStringLiteral("IV8"));
        add("absent cell", "xlwt_values.xls", 1, 4, 1, Empty, QString());
        // Number formats decide dates.
        add("custom date", "xlwt_values.xls", 2, 1, 1, Date, QStringLiteral("2024-03-15"));
        add("date and time", "xlwt_values.xls", 2, 1, 2, Date, QStringLiteral("2024-03-15 08:30:45"));
        add("time alone", "xlwt_values.xls", 2, 1, 3, Date, QStringLiteral("08:30:00"));
        add("built-in date format 14", "xlwt_values.xls", 2, 1, 4, Date, QStringLiteral("2024-03-15"));
        add("0.00 is no date", "xlwt_values.xls", 2, 1, 5, Number, QStringLiteral("45366"));
        add("elapsed hours", "xlwt_values.xls", 2, 1, 6, Date, QStringLiteral("1900-01-01 06:00:00"));
        add("[Red] is no date", "xlwt_values.xls", 2, 1, 7, Number, QStringLiteral("45366"));
        add("quoted d is no date", "xlwt_values.xls", 2, 1, 8, Number, QStringLiteral("45366"));
        add("chinese date format", "xlwt_values.xls", 2, 1, 9, Date, QStringLiteral("2024-03-15"));
        add("first day of 1900", "xlwt_values.xls", 2, 1, 10, Date, QStringLiteral("1900-01-01"));
        add("1904 date", "xlwt_1904.xls", 1, 1, 1, Date, QStringLiteral("2024-03-15"));
        add("1904 date and time", "xlwt_1904.xls", 1, 1, 2, Date, QStringLiteral("2024-03-15 12:00:00"));
        add("1904 time alone", "xlwt_1904.xls", 1, 1, 3, Date, QStringLiteral("12:00:00"));
        add("1904 plain number", "xlwt_1904.xls", 1, 1, 4, Number, QStringLiteral("100"));
        // Cached formula results as LibreOffice writes them.
        add("LO formula number", "lo_formulas.xls", 1, 1, 3, Number, QStringLiteral("13812345679"));
        add("LO formula string", "lo_formulas.xls", 1, 1, 4, Text, QStringLiteral("电话13812345678"));
        add("LO formula boolean", "lo_formulas.xls", 1, 2, 2, Boolean, QStringLiteral("TRUE"));
        add("LO formula error", "lo_formulas.xls", 1, 2, 3, Error, QStringLiteral("#DIV/0!"));
        add("LO formula empty string", "lo_formulas.xls", 1, 2, 4, Text, QString());
        add("LO formula date", "lo_formulas.xls", 1, 2, 5, Date, QStringLiteral("2024-03-15"));
        // Every kind of cached result, built record by record.
        add("formula number", "hand_formulas.xls", 1, 1, 1, Number, QStringLiteral("13812345678"));
        add("formula string", "hand_formulas.xls", 1, 1, 2, Text, QStringLiteral("文本结果"));
        add("formula true", "hand_formulas.xls", 1, 1, 3, Boolean, QStringLiteral("TRUE"));
        add("formula false", "hand_formulas.xls", 1, 1, 4, Boolean, QStringLiteral("FALSE"));
        add("formula error", "hand_formulas.xls", 1, 1, 5, Error, QStringLiteral("#DIV/0!"));
        add("formula empty string", "hand_formulas.xls", 1, 1, 6, Text, QString());
        add("formula date", "hand_formulas.xls", 1, 1, 7, Date, QStringLiteral("2024-03-15 12:00:00"));
        add("string after shared formula", "hand_formulas.xls", 1, 1, 8, Text, QStringLiteral("after SHRFMLA"));
        add("embedded chart is no cell", "hand_formulas.xls", 1, 2, 1, Empty, QString());
        add("cell after embedded chart", "hand_formulas.xls", 1, 2, 2, Text, QStringLiteral("共享"));
        add("BOOLERR error", "hand_formulas.xls", 1, 3, 1, Error, QStringLiteral("#N/A"));
        add("BOOLERR true", "hand_formulas.xls", 1, 3, 2, Boolean, QStringLiteral("TRUE"));
        add("RK negative scaled", "hand_formulas.xls", 1, 3, 3, Number, QStringLiteral("-123.45"));
        // Shared strings cut by CONTINUE records.
        add("width changes in CONTINUE", "hand_sst_split.xls", 1, 1, 1, Text, QStringLiteral("abcdefghij"));
        add("rich and phonetic across CONTINUE", "hand_sst_split.xls", 1, 2, 1, Text, QStringLiteral("富文本ab"));
        add("string starting a CONTINUE", "hand_sst_split.xls", 1, 3, 1, Text, QStringLiteral("start"));
        add("wide string cut", "hand_sst_split.xls", 1, 4, 1, Text, QStringLiteral("中文字符串被截断"));
        // Excel 95 in code page 936.
        add("BIFF5 LABEL", "hand_biff5_cp936.xls", 1, 1, 1, Text, QStringLiteral("张三"));
        add("BIFF5 NUMBER", "hand_biff5_cp936.xls", 1, 1, 2, Number, QStringLiteral("13812345678"));
        add("BIFF5 RSTRING", "hand_biff5_cp936.xls", 1, 1, 3, Text, QStringLiteral("北京市"));
        add("BIFF5 formula string", "hand_biff5_cp936.xls", 1, 1, 4, Text, QStringLiteral("公式文本"));
        add("BIFF5 chinese date format", "hand_biff5_cp936.xls", 1, 1, 5, Date, QStringLiteral("2024-03-15"));
        add("BIFF5 second worksheet", "hand_biff5_cp936.xls", 2, 1, 1, Text, QStringLiteral("李四"));
        add("stream name in capitals", "hand_capitalised.xls", 1, 1, 1, Text, QStringLiteral("大写"));
        add("cyclic sector chain read as far as it goes", "hostile_fat_cycle.xls", 1, 1, 1, Text, QStringLiteral("大写"));
        // Cells beyond Excel's 256 columns are left out, the last row is kept.
        add("column 301 left out", "hostile_extent.xls", 1, 1, 301, Empty, QString());
        add("MULRK up to column 256", "hostile_extent.xls", 1, 2, 256, Number, QStringLiteral("2"));
        add("MULRK beyond column 256", "hostile_extent.xls", 1, 2, 257, Empty, QString());
        add("row 65536", "hostile_extent.xls", 1, 65536, 1, Number, QStringLiteral("2"));
    }

    void cells()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const auto book = Workbook::Bind(file);
        const Worksheet& worksheet = book->GetWorksheet(sheet);
        const CellValue& value = worksheet.cell(row, column);
        QCOMPARE(kindOf(value.kind), kind);
        if (kind == Error) {
            QCOMPARE(value.text, text);
            QVERIFY_THROWS_EXCEPTION(WorkbookError, worksheet.text(row, column));
        } else {
            QCOMPARE(worksheet.text(row, column), text);
        }
    }

    void sheetNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("xlwt") << fixture(QStringLiteral("xlwt_values.xls"))
                              << QStringList{QStringLiteral("数值"), QStringLiteral("日期"), QStringLiteral("空表"),
                                             QStringLiteral("第四张 Sheet")};
        QTest::newRow("LibreOffice") << fixture(QStringLiteral("lo_formulas.xls"))
                                     << QStringList{QStringLiteral("联系人"), QStringLiteral("第二页")};
        // libgsf leaked on this one; the root's siblings are no part of the tree.
        QTest::newRow("root entry with a sibling")
            << QStringLiteral(VELTRIN_FUZZ_REGRESSIONS "/fuzz_xlsx/libgsf-root-sibling-leak.xls")
            << QStringList{QStringLiteral("数值"), QStringLiteral("日期"), QStringLiteral("空表"), QStringLiteral("第四张 Sheet")};
        QTest::newRow("BIFF5 without its chart sheet")
            << fixture(QStringLiteral("hand_biff5_cp936.xls")) << QStringList{QStringLiteral("联系人"), QStringLiteral("第二页")};
    }

    void sheetNames()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        const auto book = Workbook::Bind(file);
        QStringList read;
        for (int s = 1; s <= book->Count(); ++s)
            read << book->Name(s);
        QCOMPARE(read, names);
        QCOMPARE(book->GetWorksheet(book->Count()).name(), names.last());
    }

    // The workbook lets go of its stream once the last unread sheet is read;
    // sheets read before and after that, in any order, must be unchanged.
    void sheetsReadInAnyOrder()
    {
        const QString file = fixture(QStringLiteral("xlwt_values.xls"));
        const auto inOrder = Workbook::Bind(file);
        const auto reversed = Workbook::Bind(file);
        const int count = inOrder->Count();
        QCOMPARE(count, 4);
        for (int s = count; s >= 1; --s)
            reversed->GetWorksheet(s);
        for (int s = 1; s <= count; ++s) {
            compareCells(reversed->GetWorksheet(s), inOrder->GetWorksheet(s));
        }
    }

    void errorCellTextNamesCellAndError()
    {
        const auto book = Workbook::Bind(fixture(QStringLiteral("xlwt_values.xls")));
        const Worksheet& sheet = book->GetWorksheet(1);
        try {
            sheet.text(5, 3);
            QFAIL("an error value has no text");
        } catch (const WorkbookError& error) {
            QCOMPARE(error.description(), QStringLiteral("单元格 C5 含有错误值 #DIV/0!"));
        }
    }

    void sharedStringsAcrossContinueRecords()
    {
        const auto book = Workbook::Bind(fixture(QStringLiteral("xlwt_long_sst.xls")));
        const Worksheet& sheet = book->GetWorksheet(1);
        QCOMPARE(sheet.lastRow(), 600);
        for (int i = 1; i <= 600; ++i) {
            QCOMPARE(sheet.text(i, 1), longString(i));
            QCOMPARE(sheet.text(i, 2), QString::number(i));
        }
    }

    void refused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("atOpen");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("encrypted") << fixture(QStringLiteral("hand_encrypted.xls")) << true << QStringLiteral("工作簿已加密");
        QTest::newRow("RC4 with a password of its own")
            << fixture(QStringLiteral("encrypted_rc4_password.xls")) << true << QStringLiteral("工作簿已加密（设有打开密码）");
        QTest::newRow("RC4 CryptoAPI with a password of its own")
            << fixture(QStringLiteral("encrypted_cryptoapi_password.xls")) << true << QStringLiteral("工作簿已加密（设有打开密码）");
        QTest::newRow("XOR obfuscation") << fixture(QStringLiteral("hand_xor.xls")) << true << QStringLiteral("XOR");
        QTest::newRow("Excel 4.0") << fixture(QStringLiteral("hand_excel4.xls")) << true << QStringLiteral("Excel 2.x～4.0格式");
        QTest::newRow("record beyond the stream")
            << fixture(QStringLiteral("hostile_record_length.xls")) << false << QStringLiteral("超出了数据流的末尾");
        QTest::newRow("missing shared string")
            << fixture(QStringLiteral("hostile_sst_index.xls")) << false << QStringLiteral("单元格 B3 引用的共享字符串（第 8 个）不存在");
    }

    void refused()
    {
        QFETCH(QString, file);
        QFETCH(bool, atOpen);
        QFETCH(QString, fragment);
        try {
            const auto book = Workbook::Bind(file);
            QVERIFY2(!atOpen, "the file opened");
            book->GetWorksheet(1);
            QFAIL("the sheet was read");
        } catch (const WorkbookError& error) {
            QVERIFY2(error.description().contains(fragment), qPrintable(error.description()));
        }
    }

    // Encrypted with Excel's built-in password, they read as the workbook they were made from.
    void defaultPasswordDecrypts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("RC4") << fixture(QStringLiteral("encrypted_rc4.xls"));
        QTest::newRow("RC4 CryptoAPI") << fixture(QStringLiteral("encrypted_cryptoapi.xls"));
        QTest::newRow("RC4 CryptoAPI, 40-bit key") << fixture(QStringLiteral("encrypted_cryptoapi_40bit.xls"));
    }

    void defaultPasswordDecrypts()
    {
        QFETCH(QString, file);
        const auto plain = Workbook::Bind(fixture(QStringLiteral("xlwt_contacts.xls")));
        const auto decrypted = Workbook::Bind(file);
        QCOMPARE(decrypted->Count(), plain->Count());
        for (int s = 1; s <= plain->Count(); ++s) {
            QCOMPARE(decrypted->Name(s), plain->Name(s));
            compareCells(decrypted->GetWorksheet(s), plain->GetWorksheet(s));
        }
        QCOMPARE(decrypted->GetWorksheet(1).text(300, 3), QStringLiteral("备注：第6组"));
    }

    void rc4KnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipher");
        QTest::newRow("Key") << QByteArray("Key") << QByteArray("Plaintext") << QByteArray::fromHex("bbf316e8d940af0ad3");
        QTest::newRow("Wiki") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray::fromHex("1021bf0420");
        QTest::newRow("Secret") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                << QByteArray::fromHex("45a01f645fc35b383552544b9bf5");
    }

    void rc4KnownAnswers()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipher);
        Rc4 rc4(key);
        // In two pieces: the keystream goes on where the last call left it.
        rc4.apply(plain.data(), 2);
        rc4.apply(plain.data() + 2, plain.size() - 2);
        QCOMPARE(plain, cipher);
    }

    void damagedCopiesReadOrFail_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xlwt") << fixture(QStringLiteral("xlwt_values.xls"));
        QTest::newRow("LibreOffice") << fixture(QStringLiteral("lo_formulas.xls"));
        QTest::newRow("shared strings") << fixture(QStringLiteral("hand_sst_split.xls"));
        QTest::newRow("BIFF5") << fixture(QStringLiteral("hand_biff5_cp936.xls"));
    }

    // Cut and scrambled copies: each must read or fail with a description, and
    // the run ends (the test's time limit catches a hang).
    void damagedCopiesReadOrFail()
    {
        QFETCH(QString, file);
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray original = source.readAll();
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("copy.xls"));
        const auto check = [&](const QByteArray& bytes) {
            QFile out(copy);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            QVERIFY(readsOrDescribesFailure(copy));
        };
        for (qsizetype size = 0; size < original.size(); size += 256)
            check(original.left(size));
        QRandomGenerator random(4);
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = original;
            for (int flip = 0; flip < 4; ++flip)
                bytes[random.bounded(static_cast<int>(bytes.size()))] = static_cast<char>(random.bounded(256));
            check(bytes);
        }
    }

    void dateFormatCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("date");
        QTest::newRow("ymd") << QStringLiteral("yyyy-mm-dd") << true;
        QTest::newRow("upper case") << QStringLiteral("DD/MM/YYYY") << true;
        QTest::newRow("time") << QStringLiteral("h:mm AM/PM") << true;
        QTest::newRow("elapsed hours") << QStringLiteral("[h]:mm:ss") << true;
        QTest::newRow("elapsed minutes") << QStringLiteral("[mm]:ss") << true;
        QTest::newRow("elapsed seconds") << QStringLiteral("[ss].00") << true;
        QTest::newRow("locale then date") << QStringLiteral("[$-F800]dddd, mmmm dd, yyyy") << true;
        QTest::newRow("chinese") << QStringLiteral("yyyy\"年\"m\"月\"d\"日\"") << true;
        QTest::newRow("General") << QStringLiteral("General") << false;
        QTest::newRow("decimals") << QStringLiteral("#,##0.00") << false;
        QTest::newRow("scientific") << QStringLiteral("0.00E+00") << false;
        QTest::newRow("colour") << QStringLiteral("[Red]0.00;[Blue]-0.00") << false;
        QTest::newRow("condition") << QStringLiteral("[>=100]0;0.0") << false;
        QTest::newRow("currency locale") << QStringLiteral("[$¥-804]#,##0") << false;
        QTest::newRow("DBNum") << QStringLiteral("[DBNum1]General") << false;
        QTest::newRow("quoted") << QStringLiteral("0 \"days\"") << false;
        QTest::newRow("escaped") << QStringLiteral("0\\h") << false;
        QTest::newRow("padding and fill") << QStringLiteral("_(* #,##0_)") << false;
        QTest::newRow("text") << QStringLiteral("@") << false;
        QTest::newRow("unterminated quote") << QStringLiteral("0\"d") << false;
    }

    void dateFormatCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, date);
        QCOMPARE(workbook::IsDateFormatCode(code), date);
    }

    // Every .xls of the corpus, and every OLE2 file whatever its name, lists
    // its sheets and reads every cell, or fails with a description.
    void corpusReadsOrFails()
    {
        const QDir corpus(QStringLiteral(VELTRIN_CORPUS_DIR));
        if (!corpus.exists())
            QSKIP("no workbook corpus");
        int files = 0;
        for (const char* folder : {"calamine", "xlrd"}) {
            QDirIterator it(corpus.filePath(QString::fromLatin1(folder)), QDir::Files);
            while (it.hasNext()) {
                const QString path = it.next();
                if (!path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) && !isOle2(path))
                    continue;
                ++files;
                QVERIFY2(readsOrDescribesFailure(path), qPrintable(path));
            }
        }
        QVERIFY(files >= 40);
    }

    void corpusFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fragment"); // of the failure; empty: the file reads
        QTest::addColumn<QString>("firstSheet");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text"); // of column 1 at that row
        const auto reads = [](const char* file, const char* sheet, int row, const char* text) {
            QTest::newRow(file) << QString::fromUtf8(file) << QString() << QString::fromUtf8(sheet) << row << QString::fromUtf8(text);
        };
        const auto fails = [](const char* file, const char* fragment) {
            QTest::newRow(file) << QString::fromUtf8(file) << QString::fromUtf8(fragment) << QString() << 0 << QString();
        };
        reads("calamine/OOM_alloc.xls", "Weekly Report", 8, "Principal Projects / Deals:");
        reads("calamine/OOM_alloc2.xls", "Colsale (Aug", 0, "");
        fails("calamine/OOM_alloc3.xls", "OLE2复合文档结构已损坏");
        reads("calamine/gh548_incorrect_sst_unique_count.xls", "System Level Data", 0, "");
        reads("calamine/sst_continue.xls", "Sheet1", 136, "New CONTINUE block");
        reads("calamine/capitalized_wbook_stream.xls", "Sheet1", 0, "");
        reads("calamine/biff5_write.xls", "SheetJS", 3, "foo");
        reads("calamine/biff5-rich-text-string.xls", "Sheet1", 4, "1788");
        reads("calamine/date_1904.xls", "Sheet1", 3, "1904-01-11 15:10:10");
        reads("calamine/date.xls", "Sheet1", 1, "2021-01-01");
        reads("calamine/issue219.xls", "工作表1", 0, "");
        reads("xlrd/corrupted_error.xls", "Трубы ВГП", 1, "ПРАЙС-ЛИСТ");
        reads("xlrd/xf_class.xls", "table1", 1, "RED");
        // A line of text named .xls is read as text.
        reads("calamine/too_small.xls", "too_small", 1, "Attachment f:\\attachcus\\arnold-j\\Summer trading shots.xls not found!");
        reads("calamine/issue_385.xls", "Sheet1", 0, "");
        fails("calamine/pass_protected.xlsx", "工作簿已加密");
        fails("xlrd/biff4_no_format_no_window2.xls", "Excel 2.x～4.0格式");
    }

    void corpusFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, fragment);
        QFETCH(QString, firstSheet);
        QFETCH(int, row);
        QFETCH(QString, text);
        const QString path = QStringLiteral(VELTRIN_CORPUS_DIR "/") + file;
        if (!QFile::exists(path))
            QSKIP("no workbook corpus");
        try {
            const auto book = Workbook::Bind(path);
            QVERIFY2(fragment.isEmpty(), "the file opened");
            QCOMPARE(book->Name(1), firstSheet);
            if (row > 0)
                QCOMPARE(book->GetWorksheet(1).text(row, 1), text);
        } catch (const WorkbookError& error) {
            QVERIFY2(!fragment.isEmpty() && error.description().contains(fragment), qPrintable(error.description()));
        }
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestXls)
#include "tst_xls.moc"
