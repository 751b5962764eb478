// Replies that a hostile or broken server may send: none may crash or hang the
// tool, make it read a local file, or hold more than the body cap in memory.
#include "TestMain.h"
#include "ScriptedServer.h"
#include "TestPlatform.h"
#include "platform/modPub.h"
#include "import/ImportRun.h"
#include "net/XMLDocument.h"
#include "support/CodePage.h"

#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using net::XMLDocument;
using net::XMLError;

namespace {

// A loopback server speaking raw TCP, so a test can send what no HTTP library
// would: a body that never ends, a reply dripping byte by byte, a status line
// of its own. Each connection runs the behaviour on its own thread once the
// request head has arrived.
class RawServer {
public:
    // Writes to the connection; false once the client has gone or the server stops.
    class Connection {
    public:
        bool send(QByteArrayView bytes)
        {
            for (qsizetype done = 0; done < bytes.size();) {
                const qint64 n = testplatform::Send(socket_, bytes.data() + done, bytes.size() - done);
                if (n <= 0)
                    return false;
                done += n;
                server_.sent_ += n;
            }
            return true;
        }
        // Waits for the next request on a kept-alive connection; false once the client has gone.
        bool awaitRequest() { return readHead(socket_); }
        // Waits as a slow server would; returns false at once when the server stops.
        bool pause(std::chrono::milliseconds duration)
        {
            std::unique_lock lock(server_.mutex_);
            return !server_.wake_.wait_for(lock, duration, [this] { return server_.stopping_; });
        }

    private:
        friend class RawServer;
        Connection(RawServer& server, testplatform::Socket socket) : server_(server), socket_(socket) {}
        RawServer& server_;
        testplatform::Socket socket_;
    };
    using Behaviour = std::function<void(Connection&)>;

    // accepting false: the socket listens but never accepts, so connections
    // complete in the kernel's backlog and no byte ever comes back.
    explicit RawServer(Behaviour behaviour, bool accepting = true) : behaviour_(std::move(behaviour))
    {
        listener_ = testplatform::BoundLoopbackSocket(port_);
        testplatform::Listen(listener_, 16);
        if (accepting)
            acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~RawServer()
    {
        {
            const std::lock_guard guard(mutex_);
            stopping_ = true;
            for (const testplatform::Socket socket : open_)
                testplatform::ShutDown(socket);
        }
        wake_.notify_all();
        testplatform::StopListening(listener_);
        if (acceptor_.joinable())
            acceptor_.join();
        for (std::thread& worker : workers_)
            worker.join();
        testplatform::Close(listener_);
    }

    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(path); }
    qint64 bytesSent() const { return sent_; }

private:
    void acceptLoop()
    {
        for (;;) {
            testplatform::Socket socket = testplatform::Accept(listener_);
            if (socket == testplatform::NoSocket)
                return;
            const std::lock_guard guard(mutex_);
            if (stopping_) {
                testplatform::Close(socket);
                return;
            }
            open_.push_back(socket);
            workers_.emplace_back([this, socket] { serve(socket); });
        }
    }

    // Reads one request head (the tool sends GET requests only, without a body).
    static bool readHead(testplatform::Socket socket)
    {
        QByteArray head;
        char buffer[4096];
        while (!head.contains("\r\n\r\n")) {
            const qint64 n = testplatform::Receive(socket, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            head.append(buffer, n);
        }
        return true;
    }

    void serve(testplatform::Socket socket)
    {
        Connection connection(*this, socket);
        if (readHead(socket))
            behaviour_(connection);
        testplatform::ShutDown(socket);
        const std::lock_guard guard(mutex_);
        std::erase(open_, socket);
        testplatform::Close(socket);
    }

    Behaviour behaviour_;
    testplatform::Socket listener_ = testplatform::NoSocket;
    int port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    std::vector<testplatform::Socket> open_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<qint64> sent_ = 0;
};

constexpr qint64 HundredMegabytes = 100LL * 1000 * 1000;

// A 100 MB reply, produced as it is sent.
RawServer::Behaviour endlessBody(bool declaresLength)
{
    return [declaresLength](RawServer::Connection& connection) {
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n";
        if (declaresLength)
            head += "Content-Length: " + QByteArray::number(HundredMegabytes) + "\r\n";
        if (!connection.send(head + "\r\n<Result>"))
            return;
        const QByteArray block(64 * 1024, 'x');
        for (qint64 sent = 0; sent < HundredMegabytes; sent += block.size())
            if (!connection.send(block))
                return;
    };
}

RawServer::Behaviour fixedReply(QByteArray reply)
{
    return [reply](RawServer::Connection& connection) { connection.send(reply); };
}

QByteArray okReply(const QByteArray& body, const QByteArray& contentType = "text/xml")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

// The platform's XML reply, on a connection kept alive for the next request.
QByteArray keptAliveReply(const QStringList& childTexts)
{
    const QByteArray body = ScriptedServer::xmlReply(childTexts);
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body;
}

QString loadFailure(const QString& url)
{
    XMLDocument document;
    try {
        document.load(url);
    } catch (const XMLError& error) {
        return error.description();
    }
    return {};
}

net::LoadLimits shortLimits()
{
    net::LoadLimits limits;
    limits.connectTimeout = 1000ms;
    limits.requestTimeout = 1500ms;
    return limits;
}

} // namespace

class TestHostileNet : public QObject {
    Q_OBJECT

private:
    QTemporaryFile secretFile;

private slots:
    void initTestCase()
    {
        QVERIFY(secretFile.open());
        secretFile.write("FILE-CONTENT-MUST-NOT-LEAK");
        secretFile.flush();
    }

    void init()
    {
        XMLDocument::setLimits({});
        XMLDocument::resetSession();
    }

    void cleanupTestCase()
    {
        XMLDocument::setLimits({});
        XMLDocument::resetSession();
    }

    void hundredMegabyteBodyIsCutAtTheCap_data()
    {
        QTest::addColumn<bool>("declaresLength");
        QTest::newRow("length declared") << true;
        QTest::newRow("read until the connection closes") << false;
    }
    void hundredMegabyteBodyIsCutAtTheCap()
    {
        QFETCH(bool, declaresLength);
        const RawServer server(endlessBody(declaresLength));
        const QString description = loadFailure(server.url(QStringLiteral("Login.asp")));
        QVERIFY2(description.contains(QStringLiteral("8 MiB")), qPrintable(description));
        // The load stopped long before the server ran out of body.
        QVERIFY2(server.bytesSent() < HundredMegabytes / 2, qPrintable(QString::number(server.bytesSent())));
    }

    void stalledServersTimeOut_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("never accepted") << 0 << QStringLiteral("1.5 秒内没有回复完毕");
        QTest::newRow("head sent, body never comes") << 1 << QStringLiteral("1.5 秒内没有回复完毕");
        QTest::newRow("one byte a second") << 2 << QStringLiteral("1.5 秒内没有回复完毕");
    }
    void stalledServersTimeOut()
    {
        QFETCH(int, kind);
        QFETCH(QString, mentions);
        XMLDocument::setLimits(shortLimits());
        const QByteArray reply = okReply("<Result><Status>0</Status></Result>");
        RawServer::Behaviour behaviour;
        if (kind == 1)
            behaviour = [](RawServer::Connection& connection) {
                if (connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<Result>"))
                    connection.pause(1h);
            };
        else
            behaviour = [reply](RawServer::Connection& connection) {
                for (const char byte : reply)
                    if (!connection.send(QByteArrayView(&byte, 1)) || !connection.pause(1s))
                        return;
            };
        const RawServer server(behaviour, kind != 0);
        const QString description = loadFailure(server.url(QStringLiteral("Login.asp")));
        QVERIFY2(description.contains(mentions), qPrintable(description));
    }

    void redirectsThatAreRefused_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("to a local file") << QStringLiteral("file://%1") << QStringLiteral("不受支持");
        QTest::newRow("to another scheme") << QStringLiteral("ftp://127.0.0.1/%1") << QStringLiteral("不受支持");
        QTest::newRow("to itself, forever") << QStringLiteral("self") << QStringLiteral("重定向超过 5 次");
    }
    void redirectsThatAreRefused()
    {
        QFETCH(QString, location);
        QFETCH(QString, mentions);
        const QByteArray target =
            (location.contains(QLatin1String("%1")) ? location.arg(secretFile.fileName()) : location).toUtf8();
        const RawServer server([target](RawServer::Connection& connection) {
            connection.send("HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        });
        const QString description = loadFailure(server.url(QStringLiteral("self")));
        QVERIFY2(description.contains(mentions), qPrintable(description));
        QVERIFY(!description.contains(QStringLiteral("MUST-NOT-LEAK")));
    }

    // Without a certificate the test cannot run a TLS server, so the policy
    // that the transfer is given is checked on its own.
    void httpsNeverRedirectsToPlainHttp_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("protocols");
        QTest::newRow("https") << QByteArray("https://sms.example/Login.asp") << QByteArray("https");
        QTest::newRow("upper-case HTTPS") << QByteArray("HTTPS://sms.example/") << QByteArray("https");
        QTest::newRow("http") << QByteArray("http://sms.example/") << QByteArray("http,https");
        QTest::newRow("shorter than a scheme") << QByteArray("http") << QByteArray("http,https");
    }
    void httpsNeverRedirectsToPlainHttp()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, protocols);
        QCOMPARE(QByteArray(net::RedirectProtocols(url)), protocols);
    }

    void entitiesStayInert_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("parameter entity naming a file")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY % x SYSTEM \"file://%1\"> %x;]><r>a</r>");
        QTest::newRow("entity inside an attribute")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://%1\">]><r a=\"&x;\">a</r>");
        QTest::newRow("quadratic blow-up")
            << "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"" + QByteArray(50000, 'a') + "\">]><r>"
                   + QByteArray("&a;").repeated(50000) + "</r>";
    }
    void entitiesStayInert()
    {
        QFETCH(QByteArray, body);
        body.replace("%1", secretFile.fileName().toUtf8());
        const RawServer server(fixedReply(okReply(body)));
        XMLDocument document;
        try {
            document.load(server.url(QStringLiteral("x")));
        } catch (const XMLError&) {
            return; // refusing the reply is as safe as leaving the entity alone
        }
        const QString text = document.root().text();
        QVERIFY2(text.size() < 100, qPrintable(text.left(100)));
        QVERIFY(!text.contains(QStringLiteral("MUST-NOT-LEAK")));
    }

    // A body in GBK without an encoding declaration cannot be read as the
    // UTF-8 that XML then means; it must fail, not show garbled text.
    void undeclaredOrUnknownEncodingFails_data()
    {
        QTest::addColumn<QByteArray>("reply");
        const QByteArray gbk = support::ToGbk(u"<Result><Status>0</Status><Msg>张三</Msg></Result>");
        QTest::newRow("no declaration") << okReply(gbk);
        QTest::newRow("charset only in the header") << okReply(gbk, "text/xml; charset=GBK");
        QTest::newRow("unknown encoding declared") << okReply("<?xml version=\"1.0\" encoding=\"x-veltrin\"?>" + gbk);
    }
    void undeclaredOrUnknownEncodingFails()
    {
        QFETCH(QByteArray, reply);
        const RawServer server(fixedReply(reply));
        const QString description = loadFailure(server.url(QStringLiteral("x")));
        QVERIFY2(description.contains(QStringLiteral("不是有效的 XML")), qPrintable(description));
    }

    void statusLineWithStrayWhitespace_data()
    {
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<bool>("fails");
        QTest::newRow("500 between extra spaces") << QByteArray("HTTP/1.1  500  Internal Server Error ") << true;
        QTest::newRow("404, trailing tab") << QByteArray("HTTP/1.1 404 Not Found\t") << true;
        QTest::newRow("200, trailing spaces") << QByteArray("HTTP/1.1 200 OK   ") << false;
    }
    void statusLineWithStrayWhitespace()
    {
        QFETCH(QByteArray, statusLine);
        QFETCH(bool, fails);
        const QByteArray body = "<Result><Status>0</Status></Result>";
        const RawServer server(fixedReply(statusLine + "\r\nContent-Length: " + QByteArray::number(body.size())
                                          + "\r\nConnection: close\r\n\r\n" + body));
        const QString description = loadFailure(server.url(QStringLiteral("x")));
        QCOMPARE(!description.isEmpty(), fails);
    }

    // The reply's status must be exactly "0": a login or contact answered with
    // a padded status was not accepted.
    void paddedReplyStatusIsNoSuccess_data()
    {
        QTest::addColumn<QString>("loginStatus");
        QTest::addColumn<QString>("contactStatus");
        QTest::addColumn<bool>("loginFailed");
        QTest::addColumn<int>("accepted");
        QTest::newRow("login \" 0 \"") << QStringLiteral(" 0 ") << QStringLiteral("0") << true << 0;
        QTest::newRow("login \"0\\n\"") << QStringLiteral("0\n") << QStringLiteral("0") << true << 0;
        QTest::newRow("contact \"\\t0\"") << QStringLiteral("0") << QStringLiteral("\t0") << false << 0;
        QTest::newRow("both exact") << QStringLiteral("0") << QStringLiteral("0") << false << 1;
    }
    void paddedReplyStatusIsNoSuccess()
    {
        QFETCH(QString, loginStatus);
        QFETCH(QString, contactStatus);
        QFETCH(bool, loginFailed);
        QFETCH(int, accepted);
        const ScriptedServer server([&](const QString& target) {
            const QString status = target.startsWith(QStringLiteral("/Login.asp")) ? loginStatus : contactStatus;
            return ScriptedServer::Reply{200, ScriptedServer::xmlReply({status, QStringLiteral("原因")})};
        });
        QVERIFY(modPub::SetBaseURL(server.baseUrl(), nullptr));
        modPub::gUserName = QStringLiteral("demo");
        modPub::gPassword = QStringLiteral("demo123");
        XMLDocument document;
        const contacts::ImportSummary summary = contacts::RunImport(
            document, contacts::NumberedFromOne({{QStringLiteral("张三"), QStringLiteral("13812345678"), {}, {}}}),
            QStringLiteral("1"), {});
        QCOMPARE(summary.stopped == contacts::StopCause::Login, loginFailed);
        QCOMPARE(summary.accepted, accepted);
    }
    // Whether a failed load may have reached the server decides whether a
    // contact's outcome is unknown: only a request never sent whole is known
    // not to have been acted on.
    void whetherTheRequestMayHaveArrived_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("mayHaveArrived");
        QTest::newRow("nobody listens") << 0 << false;
        QTest::newRow("closed without a reply") << 1 << true;
        QTest::newRow("reply cut short") << 2 << true;
        QTest::newRow("HTTP 500") << 3 << true;
        QTest::newRow("body that is not XML") << 4 << true;
    }
    void whetherTheRequestMayHaveArrived()
    {
        QFETCH(int, kind);
        QFETCH(bool, mayHaveArrived);
        const QList<QByteArray> replies{
            {}, {}, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n<Result>",
            "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
            okReply("not xml")};
        std::unique_ptr<RawServer> server;
        QString url;
        if (kind == 0) {
            // A port that was just free: connecting is refused.
            url = RawServer(fixedReply({})).url(QStringLiteral("x"));
        } else {
            server = std::make_unique<RawServer>(fixedReply(replies[kind]));
            url = server->url(QStringLiteral("x"));
        }
        XMLDocument document;
        try {
            document.load(url);
            QFAIL("the load succeeded");
        } catch (const XMLError& error) {
            QCOMPARE(error.requestMayHaveArrived(), mayHaveArrived);
        }
    }

    // How a contact's replies end its import: a reply without a status is a
    // failure, and a retry refused as already there after a reply that went
    // missing means the lost request had stored the contact.
    void contactOutcomes_data()
    {
        QTest::addColumn<QList<ScriptedServer::Reply>>("replies");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<int>("notes");
        QTest::addColumn<QString>("failure");
        const auto status = [](const QStringList& texts) { return ScriptedServer::Reply{200, ScriptedServer::xmlReply(texts)}; };
        const ScriptedServer::Reply error500{500, "Internal Server Error", "text/plain"};
        const ScriptedServer::Reply alreadyThere = status({"2", "手机号码已存在"});
        QTest::newRow("accepted") << QList{status({"0"})} << 1 << 0 << "";
        QTest::newRow("refused with a reason") << QList{alreadyThere} << 0 << 0 << "refused:手机号码已存在";
        QTest::newRow("refused without a reason") << QList{status({"7"})} << 0 << 0 << "refused:平台没有接受（状态“7”）";
        QTest::newRow("empty status") << QList{status({QString()})} << 0 << 0 << "refused:状态“”";
        QTest::newRow("no status") << QList{status({}), status({})} << 0 << 0 << "unknown:平台的回复中没有状态";
        QTest::newRow("not XML") << QList{ScriptedServer::Reply{200, "<Result>", "text/xml"}, status({"0"})} << 1 << 0 << "";
        QTest::newRow("HTTP 500, then already there") << QList{error500, alreadyThere} << 1 << 1 << "";
        QTest::newRow("no status, then already there") << QList{status({}), alreadyThere} << 1 << 1 << "";
        QTest::newRow("HTTP 500, then refused otherwise")
            << QList{error500, status({"3", "联系人组不存在"})} << 0 << 0 << "unknown:联系人组不存在";
    }
    void contactOutcomes()
    {
        QFETCH(QList<ScriptedServer::Reply>, replies);
        QFETCH(int, accepted);
        QFETCH(int, notes);
        QFETCH(QString, failure);
        std::atomic<int> contactRequests = 0;
        const ScriptedServer server([&](const QString& target) {
            if (target.startsWith(QStringLiteral("/Login.asp")))
                return ScriptedServer::Reply{200, ScriptedServer::xmlReply({"0"})};
            return replies.value(contactRequests++, replies.last());
        });
        QVERIFY(modPub::SetBaseURL(server.baseUrl(), nullptr));
        modPub::gUserName = QStringLiteral("demo");
        modPub::gPassword = QStringLiteral("demo123");
        contacts::ImportHooks hooks;
        // One retry at most, as the user would answer 重试 once.
        hooks.requestFailed = [](const contacts::ImportFailure&, int attempt) {
            return attempt < 2 ? contacts::FailureAction::Retry : contacts::FailureAction::Skip;
        };
        XMLDocument document;
        const contacts::ImportSummary summary = contacts::RunImport(
            document, contacts::NumberedFromOne({{QStringLiteral("张三"), QStringLiteral("13812345678"), {}, {}}}),
            QStringLiteral("1"), hooks);
        QCOMPARE(summary.accepted, accepted);
        QCOMPARE(summary.notes.size(), notes);
        QCOMPARE(summary.failures.size(), failure.isEmpty() ? 0 : 1);
        if (!failure.isEmpty()) {
            const contacts::ImportFailure& failed = summary.failures.first();
            const QString kind = failed.unknown ? QStringLiteral("unknown")
                : failed.outcome == contacts::Outcome::Refused ? QStringLiteral("refused")
                                                                : QStringLiteral("failed");
            const QStringList expected = failure.split(u':');
            QCOMPARE(kind, expected[0]);
            QVERIFY2(failed.reason.contains(expected[1]), qPrintable(failed.reason));
        }
    }

    // A platform that stores the contact and closes the kept-alive connection
    // without a byte of reply: libcurl sends the request again by itself, and
    // the platform refuses the copy as already there, which tells that the
    // first copy was stored.
    void contactStoredByARequestSentTwice_data()
    {
        QTest::addColumn<QString>("secondReason");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<QString>("failure");
        QTest::newRow("copy refused as already there") << QStringLiteral("手机号码已存在") << 1 << "";
        QTest::newRow("copy refused otherwise") << QStringLiteral("联系人组不存在") << 0 << "unknown";
    }
    void contactStoredByARequestSentTwice()
    {
        QFETCH(QString, secondReason);
        QFETCH(int, accepted);
        QFETCH(QString, failure);
        std::atomic<int> requests = 0;
        const RawServer server([&](RawServer::Connection& connection) {
            do {
                switch (++requests) {
                case 1: // the login
                    connection.send(keptAliveReply({QStringLiteral("0")}));
                    break;
                case 2: // the contact, stored, and the connection closed unanswered
                    return;
                default:
                    connection.send(keptAliveReply({QStringLiteral("2"), secondReason}));
                }
            } while (connection.awaitRequest());
        });
        QVERIFY(modPub::SetBaseURL(server.url({}), nullptr));
        modPub::gUserName = QStringLiteral("demo");
        modPub::gPassword = QStringLiteral("demo123");
        XMLDocument document;
        const contacts::ImportSummary summary = contacts::RunImport(
            document, contacts::NumberedFromOne({{QStringLiteral("张三"), QStringLiteral("13812345678"), {}, {}}}),
            QStringLiteral("1"), contacts::ImportHooks{});
        XMLDocument::resetSession();
        QCOMPARE(requests.load(), 3);
        QVERIFY(document.requestWasRepeated());
        QCOMPARE(summary.accepted, accepted);
        QCOMPARE(summary.notes.size(), accepted);
        QCOMPARE(summary.failures.size(), failure.isEmpty() ? 0 : 1);
        if (!failure.isEmpty())
            QVERIFY(summary.failures.first().unknown);
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestHostileNet)
#include "tst_hostile_net.moc"
