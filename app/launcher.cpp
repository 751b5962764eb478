#include "app/WorkbookCommands.h"
#include "support/Process.h"
#include "support/Terminal.h"

#include <QCoreApplication>
#include <QDir>

#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

// Memory is the main cost of reading a big sheet: every fresh page costs a
// fault. Blocks up to 32 MiB, such as an .xls file's stream, are taken from
// the heap rather than mapped apart, so that once freed their pages serve the
// contacts built after them instead of going back to the system. Bigger ones,
// such as the growing cell table of a huge .xlsx sheet, stay mapped apart,
// where growing them moves no page.
void keepBigBlocksInTheHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    support::SetUpConsole();
    if (commandline::NamesCommand(WorkbookCommands(), argc, argv)) {
        keepBigBlocksInTheHeap();
        return commandline::Run(WorkbookCommands(), argc, argv);
    }
    return runFullProgram(argc, argv);
}
