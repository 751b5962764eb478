#include "TestMain.h"
#include "platform/Settings.h"
#include "platform/modPub.h"

#include <QtTest>

using namespace modPub;

namespace {

const QString Default = QStringLiteral("http://default.invalid/");

// Configuration folders of their own: the user's and two system folders,
// named by the XDG variables as long as the object lives.
struct ConfigFolders {
    QTemporaryDir root;
    QString user = root.filePath(QStringLiteral("home"));
    QString system1 = root.filePath(QStringLiteral("sys1"));
    QString system2 = root.filePath(QStringLiteral("sys2"));

    ConfigFolders()
    {
        qputenv("XDG_CONFIG_HOME", user.toUtf8());
        qputenv("XDG_CONFIG_DIRS", (system1 + QDir::listSeparator() + system2).toUtf8());
        qunsetenv("VELTRIN_BASE_URL");
    }

    static QString file(const QString& folder) { return folder + QStringLiteral("/veltrin-import/veltrin-import.conf"); }

    static void write(const QString& folder, const QByteArray& content)
    {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/veltrin-import")));
        QFile out(file(folder));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    static void writeAddress(const QString& folder, const QString& value)
    {
        if (!value.isNull())
            write(folder, "[platform]\nbase_url=" + value.toUtf8() + "\n");
    }
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

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

    // Each source given as a value, or null when it holds none; the problems
    // name the sources passed over ("env", "user", "sys1", "sys2").
    void addressPrecedence_data()
    {
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("sys1");
        QTest::addColumn<QString>("sys2");
        QTest::addColumn<bool>("passOver");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("problems");
        const QString none;
        QTest::newRow("nothing set keeps the default") << none << none << none << none << true << Default << QStringList{};
        QTest::newRow("a system file") << none << none << none << "http://sys2/" << true << "http://sys2/" << QStringList{};
        QTest::newRow("the first system folder wins")
            << none << none << "http://sys1/" << "http://sys2/" << true << "http://sys1/" << QStringList{};
        QTest::newRow("the user's file before the system's")
            << none << "https://user:8443/sms/" << "http://sys1/" << none << true << "https://user:8443/sms/"
            << QStringList{};
        QTest::newRow("the environment before the files")
            << "http://env/" << "http://user/" << "http://sys1/" << none << true << "http://env/" << QStringList{};
        QTest::newRow("an empty environment variable is unset")
            << "" << "http://user/" << none << none << true << "http://user/" << QStringList{};
        QTest::newRow("a value completed as typed")
            << none << "  http://user:8080/app  " << none << none << true << "http://user:8080/app/" << QStringList{};
        QTest::newRow("an invalid value passed over")
            << "ftp://env/" << "user/" << "http://sys1/" << none << true << "http://sys1/" << QStringList{"env", "user"};
        QTest::newRow("an invalid value ends a strict choice")
            << "ftp://env/" << "http://user/" << none << none << false << Default << QStringList{"env"};
        QTest::newRow("nothing usable keeps the default")
            << none << "http://h/?a=1" << "mailto:x@y" << none << true << Default << QStringList{"user", "sys1"};
    }
    void addressPrecedence()
    {
        QFETCH(QString, env);
        QFETCH(QString, user);
        QFETCH(QString, sys1);
        QFETCH(QString, sys2);
        QFETCH(bool, passOver);
        QFETCH(QString, url);
        QFETCH(QStringList, problems);
        ConfigFolders folders;
        if (!env.isNull())
            qputenv("VELTRIN_BASE_URL", env.toUtf8());
        ConfigFolders::writeAddress(folders.user, user);
        ConfigFolders::writeAddress(folders.system1, sys1);
        ConfigFolders::writeAddress(folders.system2, sys2);
        QVERIFY(SetBaseURL(Default, nullptr));

        const QList<AddressProblem> found = UseConfiguredBaseURL(passOver);
        qunsetenv("VELTRIN_BASE_URL");
        QCOMPARE(BaseURL(), url);
        const QMap<QString, QString> origins{
            {"env", "环境变量 VELTRIN_BASE_URL"},
            {"user", "配置文件 " + QDir::toNativeSeparators(ConfigFolders::file(folders.user))},
            {"sys1", "配置文件 " + QDir::toNativeSeparators(ConfigFolders::file(folders.system1))}};
        QStringList expected;
        for (const QString& source : problems)
            expected.append(origins[source]);
        QStringList actual;
        for (const AddressProblem& problem : found) {
            actual.append(problem.origin);
            QVERIFY(!problem.reason.isEmpty());
            QVERIFY(problem.text().startsWith(problem.origin + QStringLiteral(" 中的服务器地址无效：")));
        }
        QCOMPARE(actual, expected);
    }

    // What the tool remembers lands in the user's file, in sections a person
    // can read and edit, and each write keeps what the others wrote.
    void settingsWrittenAndReadBack()
    {
        ConfigFolders folders;
        QString problem;
        QVERIFY(settings::SaveBaseURL(QStringLiteral("https://sms.example.com/veltrin/"), &problem));
        settings::RememberUserName(QStringLiteral("演示"));
        settings::RememberWorkbookFolder(QStringLiteral("/home/演示/客户资料"));
        QCOMPARE(settings::UserFile(), ConfigFolders::file(folders.user));
        QCOMPARE(settings::LastUserName(), QStringLiteral("演示"));
        QCOMPARE(settings::LastWorkbookFolder(), QStringLiteral("/home/演示/客户资料"));
        QCOMPARE(settings::AddressSettings().size(), 1);
        QCOMPARE(settings::AddressSettings().first().value, QStringLiteral("https://sms.example.com/veltrin/"));

        const QSettings file(ConfigFolders::file(folders.user), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("platform/base_url")).toString(),
                 QStringLiteral("https://sms.example.com/veltrin/"));
        QCOMPARE(file.value(QStringLiteral("login/user_name")).toString(), QStringLiteral("演示"));
        QVERIFY(readAll(ConfigFolders::file(folders.user)).contains("[platform]"));
        QVERIFY(!QFile::exists(ConfigFolders::file(folders.system1)));

        settings::RememberUserName(QStringLiteral("demo"));
        QCOMPARE(settings::LastUserName(), QStringLiteral("demo"));
        QCOMPARE(settings::AddressSettings().first().value, QStringLiteral("https://sms.example.com/veltrin/"));
    }

    void unwritableUserFileIsSaid()
    {
        ConfigFolders folders;
        // A file where the folder should be: not even root can write below it.
        QFile blocker(folders.user);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString problem;
        QVERIFY(!settings::SaveBaseURL(QStringLiteral("http://h/"), &problem));
        QVERIFY(problem.contains(QDir::toNativeSeparators(ConfigFolders::file(folders.user))));
    }

    void serverShownAndAddressCompleted_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("server");
        QTest::newRow("http without a port") << "http://sms.example.com" << "http://sms.example.com/" << "sms.example.com:80";
        QTest::newRow("https without a port") << " https://sms.example.com/a/b " << "https://sms.example.com/a/b/"
                                              << "sms.example.com:443";
        QTest::newRow("port and path") << "http://127.0.0.1:8086/" << "http://127.0.0.1:8086/" << "127.0.0.1:8086";
        QTest::newRow("no user or password shown") << "http://me:secret@h:81/" << "http://me:secret@h:81/" << "h:81";
        QTest::newRow("IPv6") << "http://[::1]:8086/" << "http://[::1]:8086/" << "[::1]:8086";
    }
    void serverShownAndAddressCompleted()
    {
        QFETCH(QString, typed);
        QFETCH(QString, url);
        QFETCH(QString, server);
        QCOMPARE(CompleteBaseURL(typed), url);
        QVERIFY(SetBaseURL(url, nullptr));
        QCOMPARE(BaseURLServer(), server);
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

VELTRIN_TEST_MAIN(TestModPub)
#include "tst_modpub.moc"
