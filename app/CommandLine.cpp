#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace commandline {

QTextStream& Err()
{
    static QTextStream stream(stderr);
    return stream;
}

int Usage(const QString& message)
{
    Err() << message << QStringLiteral("（--help 查看用法）") << Qt::endl;
    return UsageError;
}

namespace {

// Qt's help text without its own usage line and description, which the
// command's synopsis and description replace.
QString optionsHelp(const QCommandLineParser& parser)
{
    const QString text = parser.helpText();
    const qsizetype options = text.indexOf(QStringLiteral("\n\n"));
    return options < 0 ? text : text.mid(options + 2);
}

} // namespace

QString Summary(const Commands& commands)
{
    QString summary;
    for (const auto& [name, command] : commands)
        summary += QStringLiteral("  veltrin-import %1\n      %2\n").arg(command.synopsis, command.description);
    return summary;
}

bool NamesCommand(const Commands& commands, int argc, char** argv)
{
    return argc > 1 && commands.count(QString::fromLocal8Bit(argv[1])) > 0;
}

int Run(const Commands& commands, int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const QString name = arguments.takeAt(1);
    const Command& command = commands.at(name);

    QCommandLineParser parser;
    parser.addHelpOption();
    command.addArguments(parser);
    if (!parser.parse(arguments))
        return Usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << QStringLiteral("用法：veltrin-import %1\n\n%2\n\n").arg(command.synopsis,
                                                                                      command.description)
                            << optionsHelp(parser) << (command.details.isEmpty() ? QString() : u'\n' + command.details);
        return Success;
    }
    return command.run(parser, parser.positionalArguments());
}

const QCommandLineOption& SheetOption()
{
    static const QCommandLineOption option(QStringLiteral("sheet"), QStringLiteral("工作表序号，从1开始（默认1）。"),
                                           QStringLiteral("N"), QStringLiteral("1"));
    return option;
}

std::optional<int> SheetNumber(const QCommandLineParser& parser)
{
    bool ok = false;
    const int sheet = parser.value(SheetOption()).toInt(&ok);
    if (!ok || sheet < 1)
        return std::nullopt;
    return sheet;
}

} // namespace commandline
