#include "app/BatchLogin.h"

#include "app/CommandLine.h"
#include "platform/modPub.h"
#include "import/ImportRun.h"
#include "support/Terminal.h"
#include "support/Text.h"

#include <QCommandLineParser>
#include <QFile>

#include <optional>

using namespace commandline;
using namespace modPub;

namespace batch {
namespace {

const QCommandLineOption& userOption()
{
    static const QCommandLineOption option(QStringLiteral("user"), QStringLiteral("平台用户名。"), QStringLiteral("NAME"));
    return option;
}

const QCommandLineOption& baseUrlOption()
{
    static const QCommandLineOption option(QStringLiteral("base-url"), BaseURLOptionDescription(),
                                           QStringLiteral("URL"));
    return option;
}

const QCommandLineOption& passwordFileOption()
{
    static const QCommandLineOption option(QStringLiteral("password-file"),
                                           QStringLiteral("从文件的第一行读取密码。"), QStringLiteral("FILE"));
    return option;
}

// Known to the parser only so that its use gets an explanation; its value is never shown.
const QCommandLineOption& passwordOption()
{
    static const QCommandLineOption option = [] {
        QCommandLineOption refused(QStringLiteral("password"), QString(), QStringLiteral("PASSWORD"));
        refused.setFlags(QCommandLineOption::HiddenFromHelp);
        return refused;
    }();
    return option;
}

constexpr char PasswordVariable[] = "VELTRIN_PASSWORD";

// The first line, without its line end; a byte order mark that an editor put
// in front is not part of the password.
std::optional<QString> passwordFromFile(const QString& path, QString& problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("无法读取密码文件：%1").arg(file.errorString());
        return std::nullopt;
    }
    QByteArray line = file.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    const QString password = QString::fromUtf8(line);
    line.fill('\0');
    return password;
}

std::optional<QString> readPassword(const QCommandLineParser& parser, QString& problem)
{
    if (parser.isSet(passwordFileOption()))
        return passwordFromFile(parser.value(passwordFileOption()), problem);
    if (qEnvironmentVariableIsSet(PasswordVariable))
        return qEnvironmentVariable(PasswordVariable);
    // Only someone at the terminal can answer the prompt; a job with its input
    // redirected gets told where else the password can come from.
    if (support::IsTerminal(support::StandardStream::Input)) {
        if (auto typed = support::ReadPasswordFromTerminal(QStringLiteral("%1 的密码：").arg(gUserName)))
            return typed;
        problem = support::StopSignalReceived() ? QStringLiteral("已中断。") : QStringLiteral("没有读到密码。");
        return std::nullopt;
    }
    problem = QStringLiteral("请给出密码：在终端上输入，或设置环境变量 %1，或用 --password-file 指定文件。")
                  .arg(QLatin1String(PasswordVariable));
    return std::nullopt;
}

} // namespace

void AddLoginOptions(QCommandLineParser& parser)
{
    parser.addOption(userOption());
    parser.addOption(baseUrlOption());
    parser.addOption(passwordFileOption());
    parser.addOption(passwordOption());
}

int PrepareLogin(const QCommandLineParser& parser)
{
    if (parser.isSet(passwordOption()))
        return Usage(QStringLiteral("密码不能写在命令行上（同一台机器上的其他用户看得到）：请在终端上输入，"
                                    "或设置环境变量 %1，或用 --password-file 指定文件。")
                         .arg(QLatin1String(PasswordVariable)));
    gUserName = support::TrimSpaces(parser.value(userOption()));
    if (gUserName.isEmpty())
        return Usage(QStringLiteral("请用 --user 给出平台用户名。"));
    QString reason;
    if (parser.isSet(baseUrlOption())) {
        if (!SetBaseURL(parser.value(baseUrlOption()), &reason))
            return Usage(QStringLiteral("--base-url 无效：%1。").arg(reason));
    } else if (const QList<AddressProblem> problems = UseConfiguredBaseURL(false); !problems.isEmpty()) {
        // A job must never send its contacts to a server other than the one meant.
        return Usage(problems.first().text());
    }
    QString problem;
    const std::optional<QString> password = readPassword(parser, problem);
    if (!password) {
        Err() << problem << Qt::endl;
        return support::StopSignalReceived() ? Interrupted : UsageError;
    }
    gPassword = *password;
    return Success;
}

int LogInChecked()
{
    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document)) {
        Err() << QStringLiteral("无法创建xml对象！") << Qt::endl;
        return Failure;
    }
    QString reason;
    if (!contacts::LogIn(*document, reason)) {
        Err() << QStringLiteral("登录失败！") << reason << Qt::endl;
        return Failure;
    }
    return Success;
}

} // namespace batch
