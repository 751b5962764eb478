// Which platform the command line reaches when the address comes from
// --base-url, VELTRIN_BASE_URL, the user's configuration file or the
// system's, each given in temporary configuration folders.
#include "TestMain.h"
#include "demoserver/DemoServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <array>

using demoserver::DemoServer;

namespace {

enum Source { CommandLine, Environment, UserFile, SystemFile, SourceCount };

struct Run {
    int exitCode = -1;
    QString err;
};

void writeConfig(const QString& folder, const QString& address)
{
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/veltrin-import")));
    QFile file(folder + QStringLiteral("/veltrin-import/veltrin-import.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[platform]\nbase_url=" + address.toUtf8() + "\n");
}

} // namespace

class TestAddress : public QObject {
    Q_OBJECT

    std::array<DemoServer, SourceCount> servers;

private slots:
    void initTestCase()
    {
        for (DemoServer& server : servers)
            QVERIFY(server.start(0));
    }

    // The sources given hold their own server's address ("-" for an
    // unusable one); the server expected to get the login, or -1 for none.
    void precedence_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("reached");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("the system's file") << "...S" << int(SystemFile) << 0;
        QTest::newRow("the user's file before the system's") << "..US" << int(UserFile) << 0;
        QTest::newRow("the environment before the files") << ".EUS" << int(Environment) << 0;
        QTest::newRow("--base-url before everything") << "CEUS" << int(CommandLine) << 0;
        QTest::newRow("an unusable address is not passed over") << ".-US" << -1 << 2;
    }
    void precedence()
    {
        QFETCH(QString, given);
        QFETCH(int, reached);
        QFETCH(int, exitCode);
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.filePath(QStringLiteral("user")));
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.filePath(QStringLiteral("none")) + QDir::listSeparator()
                                                                  + config.filePath(QStringLiteral("system")));
        environment.insert(QStringLiteral("VELTRIN_PASSWORD"), QStringLiteral("demo123"));
        environment.remove(QStringLiteral("VELTRIN_BASE_URL"));
        QStringList arguments{QStringLiteral("groups"), QStringLiteral("--user"), QStringLiteral("demo")};
        for (DemoServer& server : servers)
            server.clearRequestLines();
        // The configuration files take the address as typed: without its final "/".
        const auto address = [&](Source source) {
            return given[source] == u'-' ? QStringLiteral("ftp://nowhere/") : servers[source].baseUrl().chopped(1);
        };
        if (given[CommandLine] != u'.')
            arguments << QStringLiteral("--base-url") << servers[CommandLine].baseUrl();
        if (given[Environment] != u'.')
            environment.insert(QStringLiteral("VELTRIN_BASE_URL"), address(Environment));
        if (given[UserFile] != u'.')
            writeConfig(config.filePath(QStringLiteral("user")), address(UserFile));
        if (given[SystemFile] != u'.')
            writeConfig(config.filePath(QStringLiteral("system")), address(SystemFile));

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(VELTRIN_IMPORT_BINARY), arguments);
        QVERIFY(process.waitForFinished(120'000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == exitCode, qPrintable(err));
        for (int source = 0; source < SourceCount; ++source)
            QCOMPARE(!servers[source].requestLines().isEmpty(), source == reached);
        if (reached < 0)
            QVERIFY2(err.contains(QStringLiteral("环境变量 VELTRIN_BASE_URL 中的服务器地址无效：只支持http或https网址。")),
                     qPrintable(err));
    }
};

VELTRIN_TEST_MAIN(TestAddress)
#include "tst_address.moc"
