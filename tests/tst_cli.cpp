#include "TestMain.h"
#include "platform/modPub.h"
#include "demoserver/DemoServer.h"
#include "import/ContactAnalysis.h"
#include "import/FailuresFile.h"
#include "import/ImportProgress.h"
#include "import/ImportRun.h"
#include "net/XMLDocument.h"
#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using demoserver::DemoServer;
using demoserver::FailMode;

namespace {

// Holds characters that the login URL encodes, so that neither form may show up.
const QString Secret = QStringLiteral("Pw&秘密 42");
const QString Workbook = QStringLiteral(VELTRIN_TEST_DATA "/cli/contacts.xlsx");
const QStringList FailuresHeader{"row", "name", "mobile", "tel", "remark", "reason"};

std::vector<demoserver::User> users()
{
    std::vector<demoserver::User> all = demoserver::demoUsers();
    all[0].password = Secret;
    return all;
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

QProcessEnvironment cliEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELTRIN_PASSWORD"), Secret);
    environment.insert(QStringLiteral("VELTRIN_RETRY_PAUSE_MS"), QStringLiteral("1"));
    return environment;
}

void startCli(QProcess& process, const QStringList& arguments, const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(VELTRIN_IMPORT_BINARY), arguments);
}

Run finish(QProcess& process)
{
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

Run runCli(const QStringList& arguments, const QProcessEnvironment& environment = cliEnvironment())
{
    QProcess process;
    startCli(process, arguments, environment);
    return finish(process);
}

QStringList importArguments(const DemoServer& server, const QString& file, const QString& group)
{
    return {QStringLiteral("import"), file,          QStringLiteral("--user"),     QStringLiteral("demo"),
            QStringLiteral("--group"), group,        QStringLiteral("--base-url"), server.baseUrl()};
}

bool revealsSecret(const QString& text)
{
    return text.contains(Secret) || text.contains(modPub::URLEncode(Secret));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// RFC 4180 as spreadsheet programs read it: CRLF line ends, fields quoted with
// doubled quotes; anything else gives no value.
std::optional<QList<QStringList>> parseCsvStrictly(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool inQuotes = false;
    bool closedQuote = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else
                inQuotes = false, closedQuote = true;
        } else if (c == u',' || c == u'\r') {
            if (c == u'\r' && (i + 1 >= text.size() || text[++i] != u'\n'))
                return std::nullopt;
            record.append(field);
            field.clear();
            closedQuote = false;
            if (c == u'\r')
                records.append(std::exchange(record, {}));
        } else if (c == u'"' && field.isEmpty() && !closedQuote) {
            inQuotes = true;
        } else if (c == u'"' || c == u'\n' || closedQuote) {
            return std::nullopt;
        } else {
            field += c;
        }
    }
    if (inQuotes || !field.isEmpty() || !record.isEmpty())
        return std::nullopt;
    return records;
}

std::vector<demoserver::Contact> asStored(const contacts::LinkmanTable& table)
{
    std::vector<demoserver::Contact> stored;
    for (const contacts::Linkman& contact : table)
        stored.push_back({contact.name, contact.mobile, contact.tel, contact.remark});
    return stored;
}

contacts::LinkmanTable sheetContacts(int sheetIndex)
{
    return contacts::AnalyseSheet(Workbook, sheetIndex).table;
}

// The request targets of one contact, as the window's run sends them.
QString contactTarget(const QString& groupId, const contacts::Linkman& contact)
{
    return contacts::NewContactURL(groupId, contact).mid(modPub::BaseURL().size() - 1);
}

QStringList startLines()
{
    return {QStringLiteral("/Login.asp?UserName=demo&Password=") + modPub::URLEncode(Secret),
            QStringLiteral("/XML/XML_LinkmanGroup.asp?ACT=LST")};
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString tempPath(const QString& name) const { return dir.filePath(name); }

    void verifyFailuresFile(const QString& path, const QList<QStringList>& expected)
    {
        const QByteArray bytes = readFile(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(!revealsSecret(QString::fromUtf8(bytes)));
        const auto records = parseCsvStrictly(bytes.mid(3));
        QVERIFY(records);
        QCOMPARE(records->value(0), FailuresHeader);
        QCOMPARE(records->mid(1), expected);
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // The command line and the window send the same requests for the same
    // sheet and group, through the same run.
    void importSendsWhatTheWindowSends()
    {
        const contacts::LinkmanTable table = sheetContacts(0);
        QCOMPARE(table.size(), size_t(12));

        // The window's run: the shared run with the window's answers, none of
        // which comes into play when nothing fails.
        DemoServer windowServer(users());
        QVERIFY(windowServer.start(0));
        modPub::SetBaseURL(windowServer.baseUrl(), nullptr);
        modPub::gUserName = QStringLiteral("demo");
        modPub::gPassword = Secret;
        net::XMLDocument document;
        const contacts::ImportSummary windowSummary =
            contacts::RunImport(document, contacts::NumberedFromOne(table), QStringLiteral("2"), contacts::ImportHooks());
        QCOMPARE(windowSummary.accepted, 12);

        DemoServer server(users());
        QVERIFY(server.start(0));
        const Run run = runCli(importArguments(server, Workbook, QStringLiteral("2")));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(server.requestLines(), startLines() + windowServer.requestLines());
        QCOMPARE(server.contacts(2), asStored(table));
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(QStringLiteral("共12条，成功12条，失败0条。")));
        QVERIFY(!revealsSecret(run.err));

        // Without a terminal, one line at each tenth of the contacts.
        const QStringList progress = run.err.split(u'\n').filter(QStringLiteral("已发送 "));
        QCOMPARE(progress.size(), 10);
        QVERIFY(progress.last().startsWith(QStringLiteral("已发送 12/12 条（100%）")));
    }

    void groupChoice_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("groupId");
        QTest::addColumn<QString>("message");
        QTest::newRow("by id") << "4" << 0 << 4 << "";
        QTest::newRow("by exact name") << "华东区" << 0 << 3 << "";
        QTest::newRow("name shared by two groups")
            << "普通客户" << 2 << 0 << "有2个联系人分组都叫“普通客户”，编号是 4、6；请用编号指定分组。";
        QTest::newRow("name with the indentation") << "　重要客户" << 2 << 0 << "没有编号或名称为“　重要客户”";
        QTest::newRow("id of no group of this user") << "11" << 2 << 0 << "没有编号或名称为“11”";
    }
    void groupChoice()
    {
        QFETCH(QString, group);
        QFETCH(int, exitCode);
        QFETCH(int, groupId);
        QFETCH(QString, message);
        DemoServer server(users());
        QVERIFY(server.start(0));
        const Run run = runCli(importArguments(server, Workbook, group));
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        if (exitCode == 0) {
            QCOMPARE(server.contacts(groupId), asStored(sheetContacts(0)));
        } else {
            QCOMPARE(server.requestLines(), startLines());
        }
    }

    void groupsListed()
    {
        DemoServer server(users());
        QVERIFY(server.start(0));
        const Run run = runCli({"groups", "--user", " demo ", "--base-url", server.baseUrl()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("id,name,indent\r\n1,全部客户,\r\n2,重要客户,　\r\n3,华东区,　　\r\n"
                                         "4,普通客户,　\r\n5,供应商,\r\n6,普通客户,　\r\n"));
        QCOMPARE(server.requestLines(), startLines());
    }

    // Stopping lets the request in flight finish and be counted, sends nothing
    // more, and the failures file completes the group when imported again.
    void stopSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << int(testplatform::Stop::CtrlC);
        QTest::newRow("SIGTERM or Ctrl-Break") << int(testplatform::Stop::Terminate);
    }
    void stopSignal()
    {
        QFETCH(int, signal);
        const contacts::LinkmanTable table = sheetContacts(0);
        DemoServer server(users());
        QVERIFY(server.start(0));
        // Requests 1 to 3 log in, list the groups and log in again; 7 is the 4th contact.
        server.setFailurePlan(demoserver::failNth(7, FailMode::Hang));
        if (testplatform::RunsUnderWine())
            QSKIP("Wine delivers a console's Ctrl-C late and its Ctrl-Break not at all");
        const QString failures = tempPath(QStringLiteral("stopped-%1.csv").arg(signal));
        QProcess process;
        testplatform::MakeStoppable(process);
        startCli(process, importArguments(server, Workbook, QStringLiteral("2")) << "--failures" << failures,
                 cliEnvironment());
        QTRY_VERIFY_WITH_TIMEOUT(server.requestLines().size() == 7, 60'000);
        testplatform::SendStop(process, testplatform::Stop(signal));
        server.setFailurePlan({});
        const Run run = finish(process);

        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.err.contains(QStringLiteral("共12条，成功3条，失败1条。已发送4条，导入被中断。")), qPrintable(run.err));
        QCOMPARE(server.requestLines().size(), qsizetype(7));
        QCOMPARE(server.contacts(2), asStored(contacts::LinkmanTable(table.begin(), table.begin() + 3)));
        const QByteArray csv = readFile(failures);
        const auto records = parseCsvStrictly(csv.mid(3));
        QVERIFY(records);
        QCOMPARE(records->size(), qsizetype(1 + 9));
        QCOMPARE(records->at(1).first(), QStringLiteral("4"));
        QVERIFY(records->at(1).last() != contacts::NotSentReason());
        for (int row = 5; row <= 12; ++row) {
            const contacts::Linkman& contact = table[size_t(row - 1)];
            QCOMPARE(records->at(row - 3), (QStringList{QString::number(row), contact.name, contact.mobile,
                                                        contact.tel, contact.remark, contacts::NotSentReason()}));
        }

        const Run again = runCli(importArguments(server, failures, QStringLiteral("2")));
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.err.contains(QStringLiteral("共9条，成功9条，失败0条。")));
        QCOMPARE(server.contacts(2), asStored(table));
    }

    // Failed requests are retried; what stays failed or is refused lands in the
    // failures file, which completes the group once the platform recovers. A
    // number twice in the sheet is sent once; the row passed over is counted
    // and written to the --skipped file.
    void failingServer()
    {
        const contacts::LinkmanTable table = sheetContacts(1);
        QCOMPARE(table.size(), size_t(7));
        DemoServer server(users());
        QVERIFY(server.start(0));
        // The group already holds the number of the sixth contact, which the platform refuses.
        const QString seed = tempPath(QStringLiteral("seed.csv"));
        QFile seedFile(seed);
        QVERIFY(seedFile.open(QIODevice::WriteOnly));
        seedFile.write("\xEF\xBB\xBFrow,name,mobile,tel,remark,reason\r\n1,先来,13600000006,,,\r\n");
        seedFile.close();
        QCOMPARE(runCli(importArguments(server, seed, QStringLiteral("5"))).exitCode, 0);
        server.clearRequestLines();
        // 5: contact 2 fails once; 9 to 12: contact 5 fails four times.
        server.setFailurePlan([](int request) {
            if (request == 5)
                return FailMode::Http500;
            return request >= 9 && request <= 12 ? FailMode::Drop : FailMode::None;
        });
        const QString failures = tempPath(QStringLiteral("failing.csv"));
        const QString skipped = tempPath(QStringLiteral("skipped.csv"));
        const Run run = runCli(importArguments(server, Workbook, QStringLiteral("5"))
                               << "--sheet" << "2" << "--failures" << failures << "--skipped" << skipped);
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains(QStringLiteral("共7条，成功5条，失败2条。跳过1行，未导入。")), qPrintable(run.err));
        QVERIFY(run.err.contains(QStringLiteral("第5条 戊 13600000005：")));
        QVERIFY(run.err.contains(QStringLiteral("；已重试3次，记为失败。")));
        QCOMPARE(readFile(skipped), QByteArray("\xEF\xBB\xBFrow,name,mobile,reason\r\n"
                                               "8,庚,13600000001,手机号码与第2行重复\r\n"));
        const QStringList lines = server.requestLines();
        QCOMPARE(lines.count(contactTarget("5", table[1])), qsizetype(2));
        QCOMPARE(lines.count(contactTarget("5", table[4])), qsizetype(4));
        QCOMPARE(lines.size(), qsizetype(2 + 1 + 7 + 1 + 3));
        const QByteArray csv = readFile(failures);
        const auto records = parseCsvStrictly(csv.mid(3));
        QVERIFY(records);
        QCOMPARE(records->size(), qsizetype(3));
        QCOMPARE(records->at(1).mid(0, 5), (QStringList{"5", "戊", "13600000005", "", "会失败"}));
        QCOMPARE(records->at(2), (QStringList{"6", "己", "13600000006", "", "", "手机号码已存在"}));
        verifyFailuresFile(failures, records->mid(1));

        server.setFailurePlan({});
        const QString second = tempPath(QStringLiteral("failing-again.csv"));
        const Run again = runCli(importArguments(server, failures, QStringLiteral("5")) << "--failures" << second);
        QCOMPARE(again.exitCode, 3);
        verifyFailuresFile(second, {records->at(2)});
        // Without a failures file the failures are listed, numbered as in the sheet.
        const Run third = runCli(importArguments(server, second, QStringLiteral("5")));
        QCOMPARE(third.exitCode, 3);
        QVERIFY(third.err.contains(QStringLiteral("第6条 己 13600000006：手机号码已存在\n")));
        // The contact whose requests failed comes last; the refused one never.
        QCOMPARE(server.contacts(5), asStored({{"先来", "13600000006", "", ""}, table[0], table[1], table[2], table[3],
                                               table[6], table[4]}));
    }

    // contacts says which columns it used and what it passed over, and
    // writes the rows passed over where --skipped says.
    void contactsWithSkippedRows()
    {
        const QString sheets = QStringLiteral(VELTRIN_TEST_DATA "/sheets/people.xlsx");
        const QString skipped = tempPath(QStringLiteral("contacts-skipped.csv"));
        const Run run = runCli({"contacts", sheets, "--sheet", "5", "--skipped", skipped});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QStringLiteral("姓名：A列　手机：B列　电话：—　备注：C列\n"
                                         "找到联系人4个（其中2个没有手机号码），跳过2行。\n"));
        QCOMPARE(run.out, QStringLiteral("name,mobile,tel,remark\r\n甲,13800000001,,第一次\r\n乙,13800000002,,\r\n"
                                         "丁,,,没有手机\r\n戊,,,也没有手机\r\n"));
        QCOMPARE(readFile(skipped), QByteArray("\xEF\xBB\xBFrow,name,mobile,reason\r\n"
                                               "4,丙,13800000001,手机号码与第2行重复\r\n"
                                               "7,己,13800000002,手机号码与第3行重复\r\n"));
        const Run unwritable = runCli({"contacts", sheets, "--skipped", tempPath(QStringLiteral("no/such/dir.csv"))});
        QCOMPARE(unwritable.exitCode, 1);
        QVERIFY2(unwritable.err.contains(QStringLiteral("无法写入跳过的行的记录文件")), qPrintable(unwritable.err));
        QVERIFY(unwritable.out.isEmpty());
    }

    // A journal that is not this import's is refused and left as it is:
    // nothing is sent.
    void journalOfSomethingElse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("a workbook given by mistake") << readFile(Workbook) << "不是导入日志";
        QTest::newRow("the journal of another import")
            << QByteArray("veltrin-import journal 1\t0123\nrun\tt\t1\n1\t13800000001\taccepted\n")
            << "记录的是另一次导入";
    }
    void journalOfSomethingElse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        DemoServer server(users());
        QVERIFY(server.start(0));
        const QString journal = tempPath(QStringLiteral("other.journal"));
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        const Run run = runCli(importArguments(server, Workbook, QStringLiteral("2")) << "--journal" << journal);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(readFile(journal), content);
        QCOMPARE(server.requestLines(), startLines());
    }

    void wrongPassword()
    {
        DemoServer server(users());
        QVERIFY(server.start(0));
        QProcessEnvironment environment = cliEnvironment();
        environment.insert(QStringLiteral("VELTRIN_PASSWORD"), QStringLiteral("wrong"));
        const QString failures = tempPath(QStringLiteral("never.csv"));
        const Run run =
            runCli(importArguments(server, Workbook, QStringLiteral("2")) << "--failures" << failures, environment);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err.trimmed(), QStringLiteral("登录失败！用户名或密码错误"));
        QCOMPARE(server.requestLines().size(), qsizetype(1));
        QVERIFY(!QFile::exists(failures));
    }

    void passwordSources_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addColumn<QStringList>("extraArguments");
        QTest::addColumn<int>("exitCode");
        const QByteArray secretLine = Secret.toUtf8();
        QTest::newRow("environment") << Secret << QByteArray() << QStringList() << 0;
        QTest::newRow("file, first line") << QString() << secretLine + "\nsecond" << QStringList() << 0;
        QTest::newRow("file with CRLF and byte order mark")
            << QString() << "\xEF\xBB\xBF" + secretLine + "\r\n" << QStringList() << 0;
        QTest::newRow("file before environment") << "wrong" << secretLine << QStringList() << 0;
        QTest::newRow("none, and no terminal") << QString() << QByteArray() << QStringList() << 2;
        QTest::newRow("as an argument") << Secret << QByteArray() << QStringList{"--password", Secret} << 2;
    }
    void passwordSources()
    {
        QFETCH(QString, variable);
        QFETCH(QByteArray, fileContent);
        QFETCH(QStringList, extraArguments);
        QFETCH(int, exitCode);
        DemoServer server(users());
        QVERIFY(server.start(0));
        QProcessEnvironment environment = cliEnvironment();
        environment.remove(QStringLiteral("VELTRIN_PASSWORD"));
        if (!variable.isNull())
            environment.insert(QStringLiteral("VELTRIN_PASSWORD"), variable);
        QStringList arguments{"groups", "--user", "demo", "--base-url", server.baseUrl()};
        if (!fileContent.isNull()) {
            const QString path = tempPath(QStringLiteral("password"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(fileContent);
            arguments << "--password-file" << path;
        }
        const Run run = runCli(arguments + extraArguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(server.requestLines().size(), qsizetype(exitCode == 0 ? 2 : 0));
        QVERIFY(!revealsSecret(run.out));
        QVERIFY(!revealsSecret(run.err));
    }

    // At a terminal the password is asked for, never shown, and what the
    // login gives comes back: veltrin-import hands the terminal, and on
    // Windows the console, to the full program that asks.
    void passwordTypedAtTheTerminal_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("shows");
        QTest::newRow("right") << Secret << 0 << QStringLiteral("重要客户");
        QTest::newRow("wrong") << QStringLiteral("Pw&秘密") << 1 << QStringLiteral("登录失败！用户名或密码错误");
    }
    void passwordTypedAtTheTerminal()
    {
        QFETCH(QString, typed);
        QFETCH(int, exitCode);
        QFETCH(QString, shows);
        DemoServer server(users());
        QVERIFY(server.start(0));
        QProcessEnvironment environment = cliEnvironment();
        environment.remove(QStringLiteral("VELTRIN_PASSWORD"));
        const testplatform::TerminalRun run = testplatform::RunInTerminal(
            QStringLiteral(VELTRIN_IMPORT_BINARY), {"groups", "--user", "demo", "--base-url", server.baseUrl()},
            environment, QStringLiteral("demo 的密码："), typed);
        if (!run.unavailable.isEmpty())
            QSKIP(qPrintable(run.unavailable));
        QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.shown.contains(QStringLiteral("的密码：")) && run.shown.contains(shows), qPrintable(run.shown));
        QVERIFY2(!run.shown.contains(typed) && !revealsSecret(run.shown), qPrintable(run.shown));
        // The characters beyond ASCII arrive as typed.
        QCOMPARE(server.requestLines().value(0),
                 QStringLiteral("/Login.asp?UserName=demo&Password=") + modPub::URLEncode(typed));
    }

    void refusedBeforeSending_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray header = "\xEF\xBB\xBFrow,name,mobile,tel,remark,reason\r\n";
        const QStringList group{"--group", "2"};
        QTest::newRow("sheet without mobile numbers")
            << group + QStringList{Workbook, "--sheet", "3"} << QByteArray() << 1 << "未知的数据格式！";
        QTest::newRow("not a contact file") << group << QByteArray("\x89PNG\r\n\x1A\n\0\0", 10) << 1 << "数据分析失败！";
        QTest::newRow("CSV without mobile numbers") << group << QByteArray("name,mobile\r\n") << 1 << "未知的数据格式！";
        QTest::newRow("failures file without contacts") << group << header << 1 << "失败记录文件中没有联系人。";
        QTest::newRow("failures file with an open quote")
            << group << header + "1,a,13800000001,,\"x\r\n" << 1 << "失败记录文件第2行：引号没有结束。";
        QTest::newRow("failures file with five fields")
            << group << header + "1,a,13800000001,,,x\r\n2,a,13800000001,,x\r\n" << 1
            << "失败记录文件第3行：有5个字段，应是6个。";
        QTest::newRow("failures file with a row that is no number")
            << group << header + "第1行,a,13800000001,,,x\r\n" << 1 << "行号“第1行”不是正整数。";
        QTest::newRow("failures file with a sheet")
            << group + QStringList{"--sheet", "1"} << header + "1,a,13800000001,,,x\r\n" << 2 << "--sheet 只用于工作簿";
        QTest::newRow("sheet 0") << group + QStringList{Workbook, "--sheet", "0"} << QByteArray() << 2
                                 << "--sheet 须是从1开始的工作表序号。";
        QTest::newRow("no group") << QStringList{Workbook} << QByteArray() << 2 << "--group";
    }
    void refusedBeforeSending()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, fileContent);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        DemoServer server(users());
        QVERIFY(server.start(0));
        if (!fileContent.isNull()) {
            const QString path = tempPath(QStringLiteral("input.csv"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(fileContent);
            arguments.append(path);
        }
        const Run run = runCli(QStringList{"import", "--user", "demo", "--base-url", server.baseUrl()} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(server.requestLines().isEmpty());
    }

    // The analysis says what the contacts subcommand says.
    void analysisMessageAsForContacts()
    {
        const QString path = tempPath(QStringLiteral("plain.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("not a workbook");
        file.close();
        const Run contactsRun = runCli({"contacts", path});
        const Run importRun = runCli({"import", path, "--user", "demo", "--group", "2", "--base-url",
                                      "http://127.0.0.1:9/"});
        QCOMPARE(importRun.exitCode, contactsRun.exitCode);
        QCOMPARE(importRun.err, contactsRun.err);
    }

    void helpForEverySubcommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("import") << "import" << "VELTRIN_PASSWORD";
        QTest::newRow("groups") << "groups" << "--password-file";
        QTest::newRow("contacts") << "contacts" << "--sheet";
        QTest::newRow("sheets") << "sheets" << "FILE";
    }
    void helpForEverySubcommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, mentions);
        const Run run = runCli({command, "--help"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith(QStringLiteral("用法：veltrin-import ") + command));
        QVERIFY(run.out.contains(mentions));
    }

    // Answered before any window system is touched: no display is needed.
    void windowOptionsWithoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--base-url";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "veltrin-import";
        QTest::newRow("base URL without trailing slash") << QStringList{"--base-url", "http://h"} << 2 << "--base-url";
        QTest::newRow("ftp base URL") << QStringList{"--base-url", "ftp://h/"} << 2 << "http";
        QTest::newRow("demo with a base URL") << QStringList{"--demo", "--base-url", "http://h/"} << 2 << "--demo";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "bogus";
        QTest::newRow("stray argument") << QStringList{"book.xls"} << 2 << "book.xls";
    }
    void windowOptionsWithoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        QProcessEnvironment environment = cliEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const Run run = runCli(arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((run.out + run.err).contains(mentions), qPrintable(run.out + run.err));
    }

    // Output that the system cannot take must fail the command: a full disk
    // otherwise leaves a short file behind a reported success.
    void outputToFullDisk_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("what");
        QTest::newRow("sheets") << QStringList{"sheets", Workbook} << "无法写出工作表名称";
        QTest::newRow("contacts") << QStringList{"contacts", Workbook} << "无法写出联系人";
    }
    void outputToFullDisk()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, what);
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(VELTRIN_IMPORT_BINARY), arguments);
        const Run run = finish(process);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(what), qPrintable(run.err));
    }

    // A program copied away from the full program still reads workbooks, and
    // says what is missing for the rest instead of failing silently.
    void launcherWithoutFullProgram()
    {
        const QString launcher = dir.filePath(QStringLiteral("alone/veltrin-import"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("alone"))));
        QVERIFY(QFile::copy(QStringLiteral(VELTRIN_IMPORT_BINARY), launcher));
        QProcess process;
        process.start(launcher, {QStringLiteral("contacts"), Workbook});
        const Run contacts = finish(process);
        QCOMPARE(contacts.exitCode, 0);
        QVERIFY(contacts.out.startsWith(QStringLiteral("name,mobile,tel,remark\r\n")));
        process.start(launcher, {QStringLiteral("groups"), QStringLiteral("--user"), QStringLiteral("demo")});
        const Run groups = finish(process);
        QCOMPARE(groups.exitCode, 1);
        QVERIFY2(groups.err.contains(QStringLiteral("无法启动")) && groups.err.contains(QStringLiteral("veltrin-import-full")),
                 qPrintable(groups.err));
    }

    void progressText_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing to measure yet") << 0 << 10000 << 0 << "已发送 0/10000 条（0%）";
        QTest::newRow("percentage rounds down") << 1999 << 2000 << 10000 << "已发送 1999/2000 条（99%），每秒 200 条，约剩 1秒";
        QTest::newRow("slow rate with a decimal") << 5 << 100 << 2000 << "已发送 5/100 条（5%），每秒 2.5 条，约剩 38秒";
        QTest::newRow("minutes") << 1000 << 10000 << 10000 << "已发送 1000/10000 条（10%），每秒 100 条，约剩 1分30秒";
        QTest::newRow("hours") << 100 << 100000 << 10000 << "已发送 100/100000 条（0%），每秒 10 条，约剩 2小时46分";
        QTest::newRow("done") << 10 << 10 << 500 << "已发送 10/10 条（100%），每秒 20 条，约剩 0秒";
    }
    void progressText()
    {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(contacts::ProgressText(done, total, std::chrono::milliseconds(elapsedMs)), text);
    }

    // What a spreadsheet program writes back is read as well.
    void failuresFileRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("remarks");
        const QByteArray header = "\xEF\xBB\xBFrow,name,mobile,tel,remark,reason";
        QTest::newRow("LF line ends, no final line end")
            << header + "\n3,a,1,,x,r\n9,b,2,,y,r" << QList<int>{3, 9} << QStringList{"x", "y"};
        QTest::newRow("quoted line break, comma and quote")
            << header + "\r\n3,a,1,,\"x\r\n\"\"y\"\",z\",r\r\n" << QList<int>{3} << QStringList{"x\r\n\"y\",z"};
        QTest::newRow("blank rows skipped") << header + "\r\n\r\n,,,,,\r\n4,a,1,,,r\r\n" << QList<int>{4}
                                            << QStringList{""};
    }
    void failuresFileRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, remarks);
        contacts::NumberedContacts read;
        QString problem;
        QVERIFY2(contacts::ParseFailuresCsv(content, read, problem), qPrintable(problem));
        QCOMPARE(QList<int>(read.rows.begin(), read.rows.end()), rows);
        QStringList readRemarks;
        for (const contacts::Linkman& contact : read.table)
            readRemarks.append(contact.remark);
        QCOMPARE(readRemarks, remarks);
    }

    void failuresFileRoundTrip()
    {
        const QList<contacts::ImportFailure> failures{
            {12, {"张,三", "13800000001", "+86 \"1\"", "a\nb"}, "原因,带逗号", contacts::Outcome::Refused},
            {3, {"", "", "", ""}, contacts::NotSentReason()}};
        const QByteArray csv = contacts::FailuresCsv(failures);
        QVERIFY(contacts::IsFailuresCsv(csv));
        const auto records = parseCsvStrictly(csv.mid(3));
        QVERIFY(records);
        QCOMPARE(records->at(1), (QStringList{"12", "张,三", "13800000001", "+86 \"1\"", "a\nb", "原因,带逗号"}));
        contacts::NumberedContacts read;
        QString problem;
        QVERIFY(contacts::ParseFailuresCsv(csv, read, problem));
        QCOMPARE(read.rows, (std::vector<int>{12, 3}));
        QCOMPARE(asStored(read.table), asStored({failures[0].contact, failures[1].contact}));
        QVERIFY(!contacts::IsFailuresCsv(csv.mid(3)));
    }
};

VELTRIN_TEST_MAIN(TestCli)
#include "tst_cli.moc"
