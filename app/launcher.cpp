#include "app/WorkbookCommands.h"
#include "support/Process.h"

#include <QCoreApplication>
#include <QDir>

#include <vector>

namespace {

// The windows and the platform commands live in the full program, so that the
// workbook commands load neither widgets nor the network libraries.
QString fullProgram(int argc, char** argv)
{
    // QCoreApplication may take arguments of its own out of the list it is
    // given; the full program must see them all.
    std::vector<char*> arguments(argv, argv + argc + 1);
    QCoreApplication app(argc, arguments.data());
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(VELTRIN_FULL_PROGRAM));
}

int runFullProgram(int argc, char** argv)
{
    const QString program = fullProgram(argc, argv);
    const QString reason = support::RunInstead(program, argv);
    commandline::Err() << QStringLiteral("无法启动%1：%2。请重新安装veltrin-import。")
                              .arg(QDir::toNativeSeparators(QDir::cleanPath(program)), reason)
                       << Qt::endl;
    return commandline::Failure;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && WorkbookCommands().count(QString::fromLocal8Bit(argv[1])) > 0)
        return commandline::Run(WorkbookCommands(), argc, argv);
    return runFullProgram(argc, argv);
}
