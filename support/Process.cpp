#include "support/Process.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <process.h>
#include <cstdlib>
#include <vector>
#else
#include <unistd.h>
#endif

namespace support {

#ifdef Q_OS_WIN
// Windows has no exec that keeps the process: the program runs as a child
// and its exit status becomes ours.
QString RunInstead(const QString& program, char** argv)
{
    std::vector<std::wstring> arguments;
    for (char** argument = argv; *argument; ++argument)
        arguments.push_back(QString::fromLocal8Bit(*argument).toStdWString());
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    const intptr_t status = _wspawnv(_P_WAIT, program.toStdWString().c_str(), pointers.data());
    if (status == -1)
        return QString::fromLocal8Bit(std::strerror(errno));
    std::exit(static_cast<int>(status));
}
#else
QString RunInstead(const QString& program, char** argv)
{
    execv(QFile::encodeName(program).constData(), argv);
    return QString::fromLocal8Bit(std::strerror(errno));
}
#endif

} // namespace support
