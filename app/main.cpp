#include "app/Commands.h"
#include "app/StartUp.h"
#include "platform/modPub.h"
#include "demoserver/DemoServer.h"
#include "support/MessageBox.h"
#include "support/Terminal.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int UsageError = 2;

// A delay before every answer of the demo platform, so that the import window
// stays up long enough to be watched (and photographed for the README).
std::chrono::milliseconds demoLatency()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELTRIN_DEMO_LATENCY_MS", &ok);
    return std::chrono::milliseconds(ok && ms > 0 ? ms : 0);
}

struct WindowOptions {
    bool demo = false;
    // Address settings passed over because they hold no usable address.
    QList<modPub::AddressProblem> addressProblems;
};

// Reads the options before any window system is touched, so that --help, a
// wrong option or a bad base URL is answered also where no display is open.
// Returns an exit status when the program ends here.
std::optional<int> readWindowOptions(int argc, char** argv, WindowOptions& options)
{
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrin-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRIN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("将Excel工作簿中的联系人导入Veltrin企业短信平台的联系人分组。\n"
                       "Imports contacts from Excel workbooks into a contact group of the platform.\n\n"
                       "子命令（不打开窗口）：\n") + commandline::Summary(AllCommands()));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption baseUrl(QStringLiteral("base-url"), modPub::BaseURLOptionDescription(),
                                     QStringLiteral("URL"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("在本机启动内置的演示平台并连接它；环境变量 VELTRIN_DEMO_LATENCY_MS "
                                                 "给它的每个应答加上延迟（毫秒）。"));
    parser.addOption(baseUrl);
    parser.addOption(demo);

    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << parser.errorText() << QStringLiteral("（--help 查看用法）") << Qt::endl;
        return UsageError;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
                            << Qt::endl;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << QStringLiteral("未知的参数：%1（--help 查看用法）").arg(parser.positionalArguments().join(u' ')) << Qt::endl;
        return UsageError;
    }
    if (parser.isSet(baseUrl) && parser.isSet(demo)) {
        err << QStringLiteral("--demo 与 --base-url 不能同时使用。") << Qt::endl;
        return UsageError;
    }
    QString reason;
    if (parser.isSet(baseUrl) && !modPub::SetBaseURL(parser.value(baseUrl), &reason)) {
        err << QStringLiteral("--base-url 无效：%1。").arg(reason) << Qt::endl;
        return UsageError;
    }
    options.demo = parser.isSet(demo);
    // The login dialog shows the address in use and lets the user correct
    // it, so a setting that holds no usable address is said and passed over.
    if (!options.demo && !parser.isSet(baseUrl))
        options.addressProblems = modPub::UseConfiguredBaseURL(true);
    return std::nullopt;
}

void reportAddressProblems(const QList<modPub::AddressProblem>& problems)
{
    if (problems.isEmpty())
        return;
    QStringList lines;
    for (const modPub::AddressProblem& problem : problems)
        lines.append(problem.text());
    lines.append(QStringLiteral("现在使用的服务器：%1").arg(modPub::BaseURLServer()));
    support::MsgBox(lines.join(QLatin1Char('\n')), support::MsgIcon::Critical);
}

int runWindows(int argc, char** argv)
{
    WindowOptions options;
    if (const std::optional<int> status = readWindowOptions(argc, argv, options))
        return *status;

    QApplication app(argc, argv);
    SetUpApplication();
    QApplication::setApplicationVersion(QStringLiteral(VELTRIN_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/veltrin-import-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral(VELTRIN_APP_ID));

    std::unique_ptr<demoserver::DemoServer> demoServer;
    if (options.demo) {
        demoServer = std::make_unique<demoserver::DemoServer>();
        demoServer->setLatency(demoLatency());
        if (!demoServer->start(0)) {
            QTextStream(stderr) << QStringLiteral("无法启动演示平台。") << Qt::endl;
            return 1;
        }
        modPub::SetBaseURL(demoServer->baseUrl(), nullptr);
        QTextStream out(stdout);
        out << QStringLiteral("演示平台：%1\n演示用户：demo / demo123，演示 / 123456").arg(demoServer->baseUrl())
            << Qt::endl;
    }

    reportAddressProblems(options.addressProblems);
    if (!StartUp())
        return 0;
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    support::SetUpConsole();
    if (commandline::NamesCommand(AllCommands(), argc, argv))
        return commandline::Run(AllCommands(), argc, argv);
    return runWindows(argc, argv);
}
