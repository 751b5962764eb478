#include "app/CommandLine.h"

#include <QCommandLineParser>

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
