#include "TestMain.h"
#include "net/XMLDocument.h"
#include "support/CodePage.h"
#include "TestPlatform.h"

#include <httplib.h>

#include <QTemporaryFile>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using net::XMLDocument;
using net::XMLError;

namespace {

const QString kSecret = QStringLiteral("SuperSecret99");

// Runs an httplib server on a free loopback port until destroyed.
class Listening {
public:
    explicit Listening(httplib::Server& server) : server_(server), port_(server.bind_to_any_port("127.0.0.1"))
    {
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) // httplib ignores a stop() that comes before its accept loop runs
            std::this_thread::yield();
    }
    ~Listening()
    {
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }

private:
    httplib::Server& server_;
    int port_;
    std::thread thread_;
};

// A loopback server with scripted replies; it logs every request target as
// received and the client port it came from.
class ScriptedServer {
public:
    ScriptedServer()
    {
        http.set_tcp_nodelay(true);
        http.set_keep_alive_max_count(1000);
        http.set_keep_alive_timeout(1);
        http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            const std::lock_guard guard(mutex);
            targets << QString::fromLatin1(request.target.data(), static_cast<qsizetype>(request.target.size()));
            ports.push_back(request.remote_port);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        route();
        listening = std::make_unique<Listening>(http);
    }

    ~ScriptedServer()
    {
        releaseHanging();
        listening.reset();
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(listening->port()).arg(path);
    }

    QString lastTarget() const
    {
        const std::lock_guard guard(mutex);
        return targets.isEmpty() ? QString() : targets.last();
    }

    std::vector<int> clientPorts() const
    {
        const std::lock_guard guard(mutex);
        return ports;
    }

    void releaseHanging()
    {
        {
            const std::lock_guard guard(mutex);
            released = true;
        }
        wake.notify_all();
    }

    QString externalFile;

private:
    static void sendXml(httplib::Response& response, const QByteArray& body)
    {
        response.set_content(body.constData(), static_cast<size_t>(body.size()), "text/xml");
    }

    void route()
    {
        http.Get("/gb2312", [](const httplib::Request&, httplib::Response& response) {
            // 镕 is in GBK but not in GB2312, as servers that declare GB2312 send it.
            sendXml(response, "<?xml version=\"1.0\" encoding=\"GB2312\"?><Result><Status>0</Status><Msg>"
                                  + support::ToGbk(u"张三 朱镕基") + "</Msg></Result>");
        });
        http.Get("/gbk", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<?xml version=\"1.0\" encoding=\"GBK\"?><Result><Status>0</Status><Msg>"
                                  + support::ToGbk(u"张三 朱镕基") + "</Msg></Result>");
        });
        http.Get("/gb18030", [](const httplib::Request&, httplib::Response& response) {
            // The emoji takes four bytes, which only GB18030 has.
            sendXml(response, "<?xml version='1.0' encoding='gb18030'?><Result><Status>0</Status><Msg>"
                                  + support::ToGbk(u"张三 朱镕基") + "\x94\x39\xFC\x36</Msg></Result>");
        });
        http.Get("/utf8", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Result><Status>0</Status>"
                                             "<Msg>张三 朱镕基</Msg></Result>")
                                  .toUtf8());
        });
        http.Get("/spaced", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<?xml version=\"1.0\"?>\r\n<Result>\r\n  <Status>0</Status>\n\t<Msg>  two  words </Msg>\n"
                              "  <!-- note -->\n  <List><G><ID>7</ID><Name>A<![CDATA[<b>]]>&amp;B</Name></G></List>\n"
                              "</Result>\n");
        });
        http.Get("/status500", [](const httplib::Request&, httplib::Response& response) {
            response.status = 500;
            sendXml(response, "<Result><Status>0</Status></Result>");
        });
        http.Get("/html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body><p>Service Unavailable<br></body></html>", "text/html");
        });
        http.Get("/empty", [](const httplib::Request&, httplib::Response& response) { sendXml(response, ""); });
        http.Get("/echo-secret", [](const httplib::Request&, httplib::Response& response) {
            // A server echoing the query into its markup must not carry the password into the description.
            sendXml(response, "<Result></" + kSecret.toLatin1() + ">");
        });
        http.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<Result>" + QByteArray(8 * 1024 * 1024, 'x') + "</Result>");
        });
        http.Get("/big-chunked", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("text/xml", [](size_t offset, httplib::DataSink& sink) {
                static const std::string chunk(64 * 1024, 'x');
                if (offset > 9 * 1024 * 1024)
                    return false;
                sink.write(chunk.data(), chunk.size());
                return true;
            });
        });
        http.Get("/hang", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return released; });
            sendXml(response, "<Result/>");
        });
        http.Get(R"(/redirect/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            const int left = std::stoi(request.matches[1]);
            if (left == 0)
                sendXml(response, "<Result><Status>0</Status></Result>");
            else
                response.set_redirect(url(QStringLiteral("redirect/%1").arg(left - 1)).toStdString());
        });
        http.Get("/set-cookie", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Set-Cookie", "sid=abc123; Path=/");
            sendXml(response, "<Result><Status>0</Status></Result>");
        });
        http.Get("/cookie", [](const httplib::Request& request, httplib::Response& response) {
            sendXml(response, "<Result>" + QByteArray::fromStdString(request.get_header_value("Cookie")) + "</Result>");
        });
        http.Get("/bomb", [](const httplib::Request&, httplib::Response& response) {
            QByteArray body = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a0 \"lol\">";
            for (int i = 1; i <= 10; ++i)
                body += QStringLiteral("<!ENTITY a%1 \"%2\">")
                            .arg(i)
                            .arg(QStringLiteral("&a%1;").arg(i - 1).repeated(10))
                            .toLatin1();
            body += "]><r>&a10;</r>";
            sendXml(response, body);
        });
        http.Get("/internal", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x \"MUST-NOT-LEAK\">]><r>before&x;after</r>");
        });
        http.Get("/external", [this](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://"
                                  + externalFile.toUtf8() + "\">]><r>before&x;after</r>");
        });
        http.Get("/external-dtd", [this](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"file://" + externalFile.toUtf8()
                                  + "\"><r>plain</r>");
        });
        http.Get(R"(/raw/.*)", [](const httplib::Request&, httplib::Response& response) {
            sendXml(response, "<Result/>");
        });
    }

    httplib::Server http;
    std::unique_ptr<Listening> listening;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool released = false;
    QStringList targets;
    std::vector<int> ports;
};

// A port that refuses connections: bound, never listening, held for the test's duration.
class RefusingPort {
public:
    RefusingPort() : socket_(testplatform::BoundLoopbackSocket(port_)) {}
    ~RefusingPort() { testplatform::Close(socket_); }
    int port() const { return port_; }

private:
    int port_ = 0;
    testplatform::Socket socket_;
};

QString loadFailure(const QString& url)
{
    XMLDocument doc;
    try {
        doc.load(url);
    } catch (const XMLError& error) {
        return error.description();
    }
    return {};
}

} // namespace

class TestNet : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedServer> server;
    QTemporaryFile secretFile;

    QString url(const char* path) const { return server->url(QString::fromLatin1(path)); }

private slots:
    void initTestCase()
    {
        QVERIFY(secretFile.open());
        secretFile.write("FILE-CONTENT-MUST-NOT-LEAK");
        secretFile.flush();
        server = std::make_unique<ScriptedServer>();
        server->externalFile = secretFile.fileName();
    }

    void cleanupTestCase()
    {
        XMLDocument::resetSession(); // closes the kept-alive connections the server would wait for
        server.reset();
    }

    void init()
    {
        XMLDocument::setLimits({});
        XMLDocument::resetSession();
    }

    void decodesByDeclaration_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("GB2312 declared, GBK bytes") << QStringLiteral("gb2312") << QStringLiteral("张三 朱镕基");
        QTest::newRow("GBK declared") << QStringLiteral("gbk") << QStringLiteral("张三 朱镕基");
        QTest::newRow("GB18030 declared") << QStringLiteral("gb18030") << QStringLiteral("张三 朱镕基😀");
        QTest::newRow("UTF-8") << QStringLiteral("utf8") << QStringLiteral("张三 朱镕基");
    }
    void decodesByDeclaration()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        if (path == u"gb18030" && !testplatform::HasGb18030())
            QSKIP("this system has no GB18030 four-byte characters (Wine 8)");
        XMLDocument doc;
        doc.load(server->url(path));
        const net::XMLNodeList children = doc.root().children();
        QCOMPARE(children.length(), 2);
        QCOMPARE(children.item(0).text(), QStringLiteral("0"));
        QCOMPARE(children.item(1).text(), message);
    }

    void readsByPositionSkippingWhitespace()
    {
        XMLDocument doc;
        doc.load(url("spaced"));
        const net::XMLNode root = doc.root();
        const net::XMLNodeList children = root.children();
        QCOMPARE(children.length(), 4); // Status, Msg, the comment, List
        QCOMPARE(children.item(0).text(), QStringLiteral("0"));
        QCOMPARE(children.item(1).text(), QStringLiteral("  two  words "));
        const net::XMLNode group = children.item(3).children().item(0);
        QCOMPARE(group.children().item(0).text(), QStringLiteral("7"));
        QCOMPARE(group.children().item(1).text(), QStringLiteral("A<b>&B"));
        QCOMPARE(group.text(), QStringLiteral("7A<b>&B"));
        // XML turns CR LF into LF.
        QVERIFY(root.text().startsWith(QStringLiteral("\n  0\n\t  two  words \n")));
    }

    void missingChildFailsLikeALoad()
    {
        XMLDocument doc;
        doc.load(url("utf8"));
        const net::XMLNodeList children = doc.root().children();
        QVERIFY_THROWS_EXCEPTION(XMLError, children.item(2));
        QVERIFY_THROWS_EXCEPTION(XMLError, children.item(-1));
        QVERIFY_THROWS_EXCEPTION(XMLError, children.item(0).children().item(1)); // a text node has no children
    }

    void nodesOutliveTheNextLoad()
    {
        XMLDocument doc;
        doc.load(url("gb2312"));
        const net::XMLNode message = doc.root().children().item(1);
        doc.load(url("spaced"));
        QCOMPARE(message.text(), QStringLiteral("张三 朱镕基"));
    }

    void rootNeedsALoadedReply()
    {
        XMLDocument doc;
        QVERIFY_THROWS_EXCEPTION(XMLError, doc.root());
        doc.load(url("utf8"));
        QVERIFY_THROWS_EXCEPTION(XMLError, doc.load(url("html")));
        QVERIFY_THROWS_EXCEPTION(XMLError, doc.root()); // a failed load leaves nothing behind
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("HTTP 500") << QStringLiteral("status500") << QStringLiteral("HTTP 500");
        QTest::newRow("HTTP 404") << QStringLiteral("no-such-page") << QStringLiteral("HTTP 404");
        QTest::newRow("HTML, not XML") << QStringLiteral("html") << QStringLiteral("XML");
        QTest::newRow("empty body") << QStringLiteral("empty") << QStringLiteral("XML");
        QTest::newRow("over 8 MiB with a length") << QStringLiteral("big") << QStringLiteral("8 MiB");
        QTest::newRow("over 8 MiB, chunked") << QStringLiteral("big-chunked") << QStringLiteral("8 MiB");
        QTest::newRow("six redirects") << QStringLiteral("redirect/6") << QStringLiteral("重定向");
        QTest::newRow("echoed secret") << QStringLiteral("echo-secret") << QStringLiteral("XML");
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QString, mentions);
        const QString query = QStringLiteral("?UserName=%D5%C5&Password=") + kSecret;
        const QString description = loadFailure(server->url(path + query));
        QVERIFY2(description.contains(mentions), qPrintable(description));
        QVERIFY2(description.contains(QStringLiteral("127.0.0.1")), qPrintable(description));
        QVERIFY2(!description.contains(kSecret), qPrintable(description));
        QVERIFY2(!description.contains(QStringLiteral("Password")), qPrintable(description));
        QVERIFY2(!description.contains(QStringLiteral("/") + path), qPrintable(description));
    }

    void refusedConnectionNamesTheHostOnly()
    {
        const RefusingPort refusing;
        const QString host = QStringLiteral("127.0.0.1:%1").arg(refusing.port());
        const QString description =
            loadFailure(QStringLiteral("http://%1/Login.asp?UserName=a&Password=%2").arg(host, kSecret));
        QVERIFY2(description.contains(host), qPrintable(description));
        QVERIFY2(!description.contains(kSecret) && !description.contains(QStringLiteral("Login")),
                 qPrintable(description));
    }

    void timesOutOnASilentServer()
    {
        net::LoadLimits limits;
        limits.requestTimeout = std::chrono::milliseconds(300);
        XMLDocument::setLimits(limits);
        const QString description = loadFailure(url("hang?Password=") + kSecret);
        QVERIFY2(description.contains(QStringLiteral("0.3 秒")), qPrintable(description));
        QVERIFY(!description.contains(kSecret));
    }

    void refusesAnUnverifiedCertificate()
    {
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
        QSKIP("this httplib serves no TLS (the Windows sysroot's is built without it)");
#else
        const QByteArray folder = VELTRIN_TEST_DATA "/net/";
        httplib::SSLServer https(folder + "self-signed.crt", folder + "self-signed.key");
        QVERIFY(https.is_valid());
        https.Get("/ok", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<Result/>", "text/xml");
        });
        const Listening listening(https);
        const QString description =
            loadFailure(QStringLiteral("https://127.0.0.1:%1/ok?Password=%2").arg(listening.port()).arg(kSecret));
        QVERIFY2(description.contains(QStringLiteral("证书")), qPrintable(description));
        QVERIFY(!description.contains(kSecret));
#endif
    }

    void redirectsUpToFive()
    {
        XMLDocument doc;
        doc.load(url("redirect/5"));
        QCOMPARE(doc.root().children().item(0).text(), QStringLiteral("0"));
    }

    void sendsTheUrlAsBuilt_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("received");
        const QString kept = QStringLiteral("/raw/Login.asp?UserName=%D5%C5&Password=a%26b%3D&X=1+2&Y=%zz%&Z=a/b");
        QTest::newRow("encoded query kept") << kept << kept;
        QTest::newRow("dot segments kept") << QStringLiteral("/raw/a/../b/./c") << QStringLiteral("/raw/a/../b/./c");
        QTest::newRow("raw mobile and tel")
            << QStringLiteral("/raw/X.asp?Mobile=+86 138&Tel=010-1234#5") << QStringLiteral("/raw/X.asp?Mobile=+86%20138&Tel=010-1234%235");
        QTest::newRow("non-ASCII as GBK") << QStringLiteral("/raw/X?N=张\t") << QStringLiteral("/raw/X?N=%D5%C5%09");
    }
    void sendsTheUrlAsBuilt()
    {
        QFETCH(QString, sent);
        QFETCH(QString, received);
        XMLDocument doc;
        doc.load(server->url(sent.mid(1)));
        QCOMPARE(server->lastTarget(), received);
    }

    void sessionCookieReachesLaterRequests()
    {
        XMLDocument login;
        login.load(url("set-cookie"));
        XMLDocument later;
        later.load(url("cookie"));
        QCOMPARE(later.root().text(), QStringLiteral("sid=abc123"));

        XMLDocument::resetSession();
        later.load(url("cookie"));
        QCOMPARE(later.root().text(), QString());
    }

    void consecutiveLoadsShareOneConnection()
    {
        XMLDocument doc;
        for (int i = 0; i < 3; ++i)
            doc.load(url("utf8"));
        XMLDocument other;
        other.load(url("utf8"));
        const std::vector<int> ports = server->clientPorts();
        QVERIFY(ports.size() >= 4);
        QVERIFY(std::all_of(ports.end() - 4, ports.end(), [&](int p) { return p == ports.back(); }));
    }

    void entitiesStayUnexpanded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("expansion bomb") << QStringLiteral("bomb");
        QTest::newRow("internal entity") << QStringLiteral("internal");
        QTest::newRow("external entity naming a file") << QStringLiteral("external");
        QTest::newRow("external DTD naming a file") << QStringLiteral("external-dtd");
    }
    void entitiesStayUnexpanded()
    {
        QFETCH(QString, path);
        XMLDocument doc;
        try {
            doc.load(server->url(path));
        } catch (const XMLError&) {
            return; // refusing the reply is as safe as leaving the entity alone
        }
        const QString text = doc.root().text();
        QVERIFY2(text.size() < 100, qPrintable(text.left(100)));
        QVERIFY(!text.contains(QStringLiteral("MUST-NOT-LEAK")));
        const net::XMLNodeList children = doc.root().children();
        for (int i = 0; i < children.length(); ++i) {
            QVERIFY(!children.item(i).text().contains(QStringLiteral("MUST-NOT-LEAK")));
            QCOMPARE(children.item(i).children().length(), 0); // the entity's content is not reachable either
        }
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestNet)
#include "tst_net.moc"
