#include "platform/modPub.h"

#include <QtTest>

using namespace modPub;

class TestModPub : public QObject {
    Q_OBJECT

private slots:
    void urlEncode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("letters and digits") << "Abc123" << "Abc123";
        QTest::newRow("space is %20, never +") << "a b" << "a%20b";
        QTest::newRow("full stop") << "1.5" << "1%2E5";
        QTest::newRow("chinese in GBK") << "张三" << "%D5%C5%C8%FD";
        QTest::newRow("line feed") << "\n" << "%0A";
        QTest::newRow("percent") << "%" << "%25";
        QTest::newRow("ampersand") << "&" << "%26";
        QTest::newRow("equals") << "=" << "%3D";
        QTest::newRow("plus and slash") << "+/" << "%2B%2F";
        QTest::newRow("at sign passes") << "@" << "@";
        QTest::newRow("unreserved marks are encoded") << "-._~" << "%2D%2E%5F%7E";
        QTest::newRow("brackets around the ranges") << "/09:?@AZ[`az{" << "%2F09%3A%3F@AZ%5B%60az%7B";
        QTest::newRow("NUL") << QString(QChar(0)) << "%00";
        QTest::newRow("euro is one GBK byte") << "€" << "%80";
        QTest::newRow("ideographic space") << "\u3000" << "%A1%A1";
        QTest::newRow("surrogate halves each become ?") << "😀" << "%3F%3F";
        QTest::newRow("outside GBK becomes ?") << "한" << "%3F";
        QTest::newRow("each of a run as on its own") << "张한😀三€" << "%D5%C5%3F%3F%3F%C8%FD%80";
        QTest::newRow("query injection stays a value") << "a&GroupID=9" << "a%26GroupID%3D9";
    }
    void urlEncode()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(URLEncode(text), encoded);
    }

    void baseUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("http") << "http://sms.example.com/" << true;
        QTest::newRow("https with port and path") << "https://sms.example.com:8443/veltrin/" << true;
        QTest::newRow("loopback") << "http://127.0.0.1:8086/" << true;
        QTest::newRow("no trailing slash") << "http://sms.example.com" << false;
        QTest::newRow("ftp") << "ftp://sms.example.com/" << false;
        QTest::newRow("relative") << "sms/" << false;
        QTest::newRow("no host") << "http:///" << false;
        QTest::newRow("query") << "http://h/?a=1/" << false;
        QTest::newRow("empty") << "" << false;
    }
    void baseUrl()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        const QString before = BaseURL();
        QString reason;
        QCOMPARE(SetBaseURL(url, &reason), accepted);
        QCOMPARE(reason.isEmpty(), accepted);
        QCOMPARE(BaseURL(), accepted ? url : before);
    }

    void requestUrlsAreBaseFollowedByPath()
    {
        QVERIFY(SetBaseURL(QStringLiteral("http://h:1/p/"), nullptr));
        QCOMPARE(LoginURL(QStringLiteral("张三"), QStringLiteral(" a&b ")),
                 QStringLiteral("http://h:1/p/Login.asp?UserName=%D5%C5%C8%FD&Password=%20a%26b%20"));
        QCOMPARE(GroupListURL(), QStringLiteral("http://h:1/p/XML/XML_LinkmanGroup.asp?ACT=LST"));
    }

    void createXmlObjectCanBeMadeToFail()
    {
        std::unique_ptr<net::XMLDocument> document;
        QVERIFY(CreateXMLObject(document));
        QVERIFY(document);
        FailXMLObjectCreationForTesting(true);
        QVERIFY(!CreateXMLObject(document));
        QVERIFY(!document);
        FailXMLObjectCreationForTesting(false);
        QVERIFY(CreateXMLObject(document));
    }
};

QTEST_MAIN(TestModPub)
#include "tst_modpub.moc"
