#include "TestMain.h"
#include "demoserver/DemoServer.h"
#include "TestPlatform.h"
#include "net/XMLDocument.h"

#include <QProcess>
#include <QtTest>

using demoserver::Contact;
using demoserver::DemoServer;
using demoserver::FailMode;
using net::XMLDocument;
using net::XMLError;

namespace {

struct Reply {
    QString status;
    QString message;
};

} // namespace

class TestDemoServer : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DemoServer> server;

    Reply get(const QString& pathAndQuery)
    {
        XMLDocument doc;
        doc.load(server->baseUrl() + pathAndQuery);
        const net::XMLNodeList children = doc.root().children();
        return {children.item(0).text(), children.item(1).text()};
    }

    Reply login(const QString& encodedName, const QString& encodedPassword)
    {
        return get(QStringLiteral("Login.asp?UserName=%1&Password=%2").arg(encodedName, encodedPassword));
    }

    Reply addContact(int groupId, const QString& encodedFields)
    {
        return get(QStringLiteral("XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=%1&%2").arg(groupId).arg(encodedFields));
    }

private slots:
    void init()
    {
        XMLDocument::setLimits({});
        XMLDocument::resetSession();
        server = std::make_unique<DemoServer>();
        QVERIFY(server->start());
    }

    void cleanup()
    {
        XMLDocument::resetSession();
        server.reset();
    }

    void login_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("demo") << "demo" << "demo123" << "0" << "登录成功";
        QTest::newRow("Chinese name in GBK") << "%D1%DD%CA%BE" << "123456" << "0" << "登录成功";
        QTest::newRow("wrong password") << "demo" << "demo1234" << "1" << "用户名或密码错误";
        QTest::newRow("another user's password") << "demo" << "123456" << "1" << "用户名或密码错误";
        QTest::newRow("name is case-sensitive") << "Demo" << "demo123" << "1" << "用户名或密码错误";
        QTest::newRow("empty") << "" << "" << "1" << "用户名或密码错误";
    }
    void login()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, status);
        QFETCH(QString, message);
        const Reply reply = login(name, password);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.message, message);
    }

    void requestsNeedTheSessionCookie_data()
    {
        QTest::addColumn<QString>("request");
        QTest::newRow("group list") << "XML/XML_LinkmanGroup.asp?ACT=LST";
        QTest::newRow("new contact") << "XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=1&Linkman=a&Mobile=1&Tel=&Remark=";
    }
    void requestsNeedTheSessionCookie()
    {
        QFETCH(QString, request);
        const Reply before = get(request);
        QCOMPARE(before.status, QStringLiteral("-1"));
        QCOMPARE(before.message, QStringLiteral("未登录"));
        QCOMPARE(login("demo", "wrong").status, QStringLiteral("1"));
        QCOMPARE(get(request).status, QStringLiteral("-1")); // a failed login sets no session

        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
        QCOMPARE(get(request).status, QStringLiteral("0"));
        XMLDocument::resetSession();
        QCOMPARE(get(request).status, QStringLiteral("-1"));
    }

    void groupListShowsTheUsersOwnGroups()
    {
        QCOMPARE(login("%D1%DD%CA%BE", "123456").status, QStringLiteral("0"));
        XMLDocument doc;
        doc.load(server->baseUrl() + QStringLiteral("XML/XML_LinkmanGroup.asp?ACT=LST"));
        const net::XMLNodeList list = doc.root().children().item(2).children();
        QStringList groups;
        for (int i = 0; i < list.length(); ++i) {
            const net::XMLNodeList fields = list.item(i).children();
            groups << fields.item(0).text() + QLatin1Char('|') + fields.item(1).text() + QLatin1Char('|')
                          + fields.item(2).text();
        }
        QCOMPARE(groups, QStringList({"11||默认分组", "12|--|朋友", "13|--|同事"}));
    }

    void demoDataHasNestedGroupsWithASharedName()
    {
        const std::vector<demoserver::Group> groups = demoserver::demoUsers().front().groups;
        QStringList names;
        QSet<int> indents;
        for (const demoserver::Group& group : groups) {
            names << group.name;
            indents << static_cast<int>(group.indent.size());
        }
        QVERIFY(names.removeDuplicates() > 0);
        QVERIFY(indents.size() >= 3);
    }

    void storesContactsDecodedFromGbk()
    {
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
        const Reply reply = addContact(2, "Linkman=%D5%C5%C8%FD&Mobile=+86 138&Tel=010-1%2B2&Remark=a+b%26c%3D%B1%B8");
        QCOMPARE(reply.status, QStringLiteral("0"));
        QCOMPARE(server->contacts(2),
                 std::vector<Contact>({{"张三", " 86 138", "010-1+2", "a b&c=备"}})); // "+" is a space, as in ASP
        QVERIFY(server->contacts(4).empty());
    }

    void refusesADuplicateMobileInTheSameGroup()
    {
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
        QCOMPARE(addContact(4, "Linkman=a&Mobile=13800000000&Tel=&Remark=").status, QStringLiteral("0"));
        const Reply duplicate = addContact(4, "Linkman=b&Mobile=13800000000&Tel=&Remark=");
        QCOMPARE(duplicate.status, QStringLiteral("2"));
        QCOMPARE(duplicate.message, QStringLiteral("手机号码已存在"));
        QCOMPARE(addContact(6, "Linkman=b&Mobile=13800000000&Tel=&Remark=").status, QStringLiteral("0"));
        QCOMPARE(addContact(4, "Linkman=c&Mobile=&Tel=1&Remark=").status, QStringLiteral("0"));
        QCOMPARE(addContact(4, "Linkman=d&Mobile=&Tel=2&Remark=").status, QStringLiteral("0"));
        QCOMPARE(server->contacts(4).size(), size_t(3));
    }

    void refusesAGroupTheUserDoesNotOwn_data()
    {
        QTest::addColumn<QString>("groupId");
        QTest::newRow("unknown") << "99";
        QTest::newRow("another user's") << "11";
        QTest::newRow("not a number") << "x";
        QTest::newRow("empty") << "";
    }
    void refusesAGroupTheUserDoesNotOwn()
    {
        QFETCH(QString, groupId);
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
        const Reply reply = get("XML/XML_Linkman.asp?ACT=NEW&KindID=0&Sex=1&GroupID=" + groupId
                                + "&Linkman=a&Mobile=1&Tel=&Remark=");
        QVERIFY(reply.status != QStringLiteral("0"));
        QVERIFY(!reply.message.isEmpty());
        QVERIFY(server->contacts(11).empty());
    }

    void logsRequestTargetsAsReceived()
    {
        login("%D5%C5", "x%26y");
        get("XML/XML_LinkmanGroup.asp?ACT=LST");
        QCOMPARE(server->requestLines(), QStringList({"/Login.asp?UserName=%D5%C5&Password=x%26y",
                                                      "/XML/XML_LinkmanGroup.asp?ACT=LST"}));
        const std::vector<int> ports = server->clientPorts();
        QCOMPARE(ports.size(), size_t(2));
        QCOMPARE(ports[0], ports[1]); // one kept-alive connection
        server->clearRequestLines();
        QVERIFY(server->requestLines().isEmpty());
    }

    void failurePlanFailsTheChosenRequests_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("HTTP 500") << int(FailMode::Http500) << "HTTP 500";
        QTest::newRow("dropped connection") << int(FailMode::Drop) << "127.0.0.1";
    }
    void failurePlanFailsTheChosenRequests()
    {
        QFETCH(int, mode);
        QFETCH(QString, mentions);
        server->setFailurePlan(demoserver::failNth(2, static_cast<FailMode>(mode)));
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
        try {
            get("XML/XML_LinkmanGroup.asp?ACT=LST");
            QFAIL("the second request should fail");
        } catch (const XMLError& error) {
            QVERIFY2(error.description().contains(mentions), qPrintable(error.description()));
        }
        QCOMPARE(get("XML/XML_LinkmanGroup.asp?ACT=LST").status, QStringLiteral("0"));
        QCOMPARE(server->requestLines().size(), 3);
    }

    void heldRequestTimesOutAndIsReleasedByANewPlan()
    {
        net::LoadLimits limits;
        limits.requestTimeout = std::chrono::milliseconds(200);
        XMLDocument::setLimits(limits);
        server->setFailurePlan(demoserver::failAll(FailMode::Hang));
        QVERIFY_THROWS_EXCEPTION(XMLError, login("demo", "demo123"));
        server->setFailurePlan({});
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("0"));
    }

    void randomFailuresRepeatWithTheSeed()
    {
        const auto failures = [](unsigned seed) {
            const demoserver::FailurePlan plan = demoserver::failOneIn(100, seed);
            QList<int> failed;
            for (int n = 1; n <= 2000; ++n)
                if (plan(n) != FailMode::None)
                    failed << n;
            return failed;
        };
        const QList<int> first = failures(7);
        QCOMPARE(failures(7), first);
        QVERIFY(first.size() > 5 && first.size() < 60);
        QVERIFY(failures(8) != first);
    }

    void usersCanBeReplaced()
    {
        server->setUsers({{"u", "p", {{42, "", "唯一"}}}});
        QCOMPARE(login("demo", "demo123").status, QStringLiteral("1"));
        QCOMPARE(login("u", "p").status, QStringLiteral("0"));
        QCOMPARE(addContact(42, "Linkman=a&Mobile=1&Tel=&Remark=").status, QStringLiteral("0"));
        QCOMPARE(server->contacts(42).size(), size_t(1));
    }

    void programServesUntilTerminated()
    {
        QProcess program;
        testplatform::MakeStoppable(program);
        program.start(QStringLiteral(VELTRIN_DEMO_SERVER), {QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY(program.waitForReadyRead(10'000));
        const QString baseUrl = QString::fromUtf8(program.readLine()).trimmed();
        QVERIFY2(baseUrl.startsWith(QStringLiteral("http://127.0.0.1:")) && baseUrl.endsWith(QLatin1Char('/')),
                 qPrintable(baseUrl));
        {
            XMLDocument doc;
            doc.load(baseUrl + QStringLiteral("Login.asp?UserName=demo&Password=demo123"));
            QCOMPARE(doc.root().children().item(0).text(), QStringLiteral("0"));
        }
        XMLDocument::resetSession();
        testplatform::SendStop(program, testplatform::Stop::CtrlC);
        QVERIFY(program.waitForFinished(10'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestDemoServer)
#include "tst_demoserver.moc"
