// The import journal: what it says after a run is read back as written, it
// belongs to one import only, and an import killed at any moment finishes on
// the next run without losing or doubling a contact.
#include "TestMain.h"
#include "demoserver/DemoServer.h"
#include "import/FailuresFile.h"
#include "import/ImportJournal.h"
#include "platform/modPub.h"
#include "TestPlatform.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

using contacts::ImportJournal;
using contacts::JournalState;
using demoserver::FailMode;
using States = std::map<int, JournalState>;

namespace {

const QByteArray Header = "veltrin-import journal 1\tabc\n";

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

contacts::NumberedContacts someContacts(int count)
{
    contacts::LinkmanTable table;
    for (int i = 0; i < count; ++i)
        table.push_back({QStringLiteral("客户%1").arg(i), QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')),
                         {}, QStringLiteral("备注%1").arg(i)});
    return contacts::NumberedFromOne(std::move(table));
}

// One kill of the command. Way 0 kills it while the platform serves the
// request (which is then stored, unanswered), way 1 likewise but the request
// is never stored, way 2 from a thread of its own a little after the request
// arrived, wherever the command then is: between requests, writing its
// journal, reading a reply. However late that thread runs, the command gets
// no further than two requests past the one that started it.
struct KillRound {
    KillRound(int killWay, std::chrono::microseconds killDelay) : way(killWay), delay(killDelay) {}
    ~KillRound()
    {
        if (killer.joinable())
            killer.join();
    }

    // Called by the platform for every request while the round's plan holds,
    // also for a request that a killed command had sent and the platform
    // serves late.
    FailMode atRequest(int request, int killAt)
    {
        if (way == 2 && request > killAt + 2)
            while (!killed && !over)
                std::this_thread::yield();
        if (request != killAt)
            return FailMode::None;
        while (child == 0)
            std::this_thread::yield();
        const qint64 pid = child.load();
        if (way == 2) {
            killer = std::thread([this, pid] {
                std::this_thread::sleep_for(delay);
                testplatform::Kill(pid);
                killed = true;
            });
            return FailMode::None;
        }
        testplatform::Kill(pid);
        return way == 0 ? FailMode::None : FailMode::Hang;
    }

    const int way;
    const std::chrono::microseconds delay;
    std::atomic<qint64> child = 0;
    std::atomic<bool> killed = false;
    std::atomic<bool> over = false; // the command has ended
    std::thread killer;
};

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void readBack_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<States>("states");
        QTest::addColumn<bool>("lastRunComplete");
        QTest::newRow("every outcome")
            << QByteArray("run\tt\t4\n1\t139\tsending\n1\t139\taccepted\n2\t138\tsending\n2\t138\trefused\t已停用\n"
                          "3\t137\tsending\n3\t137\tfailed\tHTTP 500\n4\t\tsending\n4\t\tunknown\t断开\nend\tcomplete\n")
            << States{{1, JournalState::Accepted}, {2, JournalState::Refused}, {3, JournalState::Failed},
                      {4, JournalState::Unknown}}
            << true;
        QTest::newRow("a request in flight at the end is unknown")
            << QByteArray("run\tt\t2\n1\t139\tsending\n1\t139\taccepted\n2\t138\tsending\n") 
            << States{{1, JournalState::Accepted}, {2, JournalState::Unknown}} << false;
        QTest::newRow("the latest line of a contact counts")
            << QByteArray("run\tt\t1\n1\t139\tunknown\tx\nend\tinterrupted\nrun\tt\t1\n1\t139\tsending\n"
                          "1\t139\taccepted\t手机号码已存在\nend\tcomplete\n")
            << States{{1, JournalState::Accepted}} << true;
        QTest::newRow("a new run after a complete one is not complete")
            << QByteArray("run\tt\t1\nend\tcomplete\nrun\tt\t1\n") << States{} << false;
        QTest::newRow("a last line cut short is passed over")
            << QByteArray("run\tt\t2\n1\t139\taccepted\n2\t13") << States{{1, JournalState::Accepted}} << false;
    }
    void readBack()
    {
        QFETCH(QByteArray, lines);
        QFETCH(States, states);
        QFETCH(bool, lastRunComplete);
        const QString path = dir.filePath(QStringLiteral("read.journal"));
        QVERIFY(writeFile(path, Header + lines));
        contacts::JournalReading reading;
        QString problem;
        QVERIFY2(contacts::ReadJournal(path, reading, problem), qPrintable(problem));
        QCOMPARE(reading.fingerprint, QByteArray("abc"));
        QVERIFY(reading.states == states);
        QCOMPARE(reading.lastRunComplete, lastRunComplete);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no journal") << QByteArray("row,name,mobile\n1,a,139\n") << QStringLiteral("不是导入日志");
        QTest::newRow("a damaged line before others")
            << Header + "1\t139\tsent\n2\t138\taccepted\n" << QStringLiteral("第2行无法识别");
        QTest::newRow("another import") << QByteArray("veltrin-import journal 1\tother\n")
                                        << QStringLiteral("另一次导入");
    }
    // A journal that does not belong to the import is refused and left as it was.
    void refused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        const QString path = dir.filePath(QStringLiteral("refused.journal"));
        QVERIFY(writeFile(path, content));
        QString reason;
        QVERIFY(!ImportJournal::Open(path, "abc", ImportJournal::Start::Resume, reason));
        QVERIFY2(reason.contains(problem), qPrintable(reason));
        QCOMPARE(readFile(path), content);
    }

    void writtenAsItHappens()
    {
        const QString path = dir.filePath(QStringLiteral("written.journal"));
        QVERIFY(writeFile(path, "veltrin-import journal 1\told\n1\t1\tdamaged\n1\t1\taccepted\n"));
        QString problem;
        {
            // A fresh start replaces an earlier journal, also a damaged one.
            auto journal = ImportJournal::Open(path, "fp", ImportJournal::Start::Fresh, problem);
            QVERIFY2(journal, qPrintable(problem));
            QVERIFY(!journal->earlierState(1));
            journal->beginRun(2);
            journal->sending(7, QStringLiteral("139\t1"));
            // Before the outcome, the line is already in the file.
            QVERIFY(readFile(path).endsWith("7\t139 1\tsending\n"));
            journal->outcome(7, QStringLiteral("139\t1"), JournalState::Refused, QStringLiteral("原因\n第二行"));
            journal->endRun(false);
        }
        auto resumed = ImportJournal::Open(path, "fp", ImportJournal::Start::Resume, problem);
        QVERIFY2(resumed, qPrintable(problem));
        QCOMPARE(resumed->earlierState(7), std::optional(JournalState::Refused));
        QVERIFY(!resumed->earlier().lastRunComplete);
        QVERIFY(readFile(path).contains("7\t139 1\trefused\t原因 第二行\nend\tinterrupted\n"));
    }

    void fingerprintTellsImportsApart()
    {
        modPub::gUserName = QStringLiteral("demo");
        const contacts::NumberedContacts list = someContacts(3);
        const QByteArray print = contacts::ImportFingerprint(list, QStringLiteral("2"));
        QCOMPARE(contacts::ImportFingerprint(list, QStringLiteral("2")), print);
        QVERIFY(contacts::ImportFingerprint(list, QStringLiteral("3")) != print);
        contacts::NumberedContacts renumbered = list;
        renumbered.rows[2] = 9;
        QVERIFY(contacts::ImportFingerprint(renumbered, QStringLiteral("2")) != print);
        contacts::NumberedContacts edited = list;
        edited.table[1].remark += u' ';
        QVERIFY(contacts::ImportFingerprint(edited, QStringLiteral("2")) != print);
        modPub::gUserName = QStringLiteral("演示");
        QVERIFY(contacts::ImportFingerprint(list, QStringLiteral("2")) != print);
    }

    // The command is killed at twenty points, in the middle of a request
    // (stored or not yet) and at moments left to the scheduler, and run again
    // with the same journal each time. It finishes the job: every contact is in
    // the group once, none is reported failed, and each kill costs at most one
    // request sent again.
    void killedAtTwentyPointsAndResumed()
    {
        constexpr int Contacts = 120;
        constexpr int Kills = 20;
        constexpr int GroupId = 2;
        const contacts::NumberedContacts list = someContacts(Contacts);
        QList<contacts::ImportFailure> rows;
        for (size_t k = 0; k < list.size(); ++k)
            rows.append({list.rows[k], list.table[k], QStringLiteral("待导入")});
        const QString input = dir.filePath(QStringLiteral("kill-contacts.csv"));
        const QString journal = dir.filePath(QStringLiteral("kill.journal"));
        QVERIFY(writeFile(input, contacts::FailuresCsv(rows)));

        demoserver::DemoServer platform;
        QVERIFY(platform.start());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELTRIN_PASSWORD"), QStringLiteral("demo123"));
        const QStringList arguments{QStringLiteral("import"),  input, QStringLiteral("--user"), QStringLiteral("demo"),
                                    QStringLiteral("--group"), QString::number(GroupId), QStringLiteral("--journal"),
                                    journal, QStringLiteral("--base-url"), platform.baseUrl()};
        for (int kill = 0; kill < Kills; ++kill) {
            // The login, the group list and the run's login come before the contacts.
            const int killAt = 4 + kill % 7;
            const auto round = std::make_shared<KillRound>(kill % 3, std::chrono::microseconds(137 * kill % 1500));
            platform.setFailurePlan([round, killAt](int request) { return round->atRequest(request, killAt); });
            QProcess command;
            command.setProcessEnvironment(environment);
            command.setStandardOutputFile(QProcess::nullDevice());
            command.setStandardErrorFile(QProcess::nullDevice());
            command.start(QStringLiteral(VELTRIN_IMPORT_BINARY), arguments);
            QVERIFY(command.waitForStarted());
            round->child = command.processId();
            QVERIFY(command.waitForFinished(60'000));
            round->over = true;
            QCOMPARE(command.exitStatus(), QProcess::CrashExit);
        }

        platform.setFailurePlan({});
        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(QStringLiteral(VELTRIN_IMPORT_BINARY), arguments);
        QVERIFY2(command.waitForFinished(60'000), qPrintable(command.errorString()));
        const QString report = QString::fromUtf8(command.readAllStandardError());
        QCOMPARE(command.exitCode(), 0);
        QVERIFY2(report.contains(QStringLiteral("已在上次导入）")) && report.contains(QStringLiteral("，失败0条。")),
                 qPrintable(report));
        QVERIFY(readFile(journal).endsWith("end\tcomplete\n"));

        std::vector<demoserver::Contact> held = platform.contacts(GroupId);
        QCOMPARE(held.size(), size_t(Contacts));
        for (const contacts::Linkman& contact : list.table)
            QCOMPARE(std::count(held.begin(), held.end(),
                                demoserver::Contact{contact.name, contact.mobile, contact.tel, contact.remark}),
                     1);
        const QStringList contactRequests =
            platform.requestLines().filter(QRegularExpression(QStringLiteral("^/XML/XML_Linkman\\.asp")));
        QVERIFY2(contactRequests.size() <= Contacts + Kills, qPrintable(QString::number(contactRequests.size())));
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
