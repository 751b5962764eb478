#include "support/Process.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>

#include <array>
#include <cstdlib>
#include <string>
#else
#include <unistd.h>
#endif

namespace support {

#ifdef Q_OS_WIN
namespace {

// What follows the program's own name on this process's command line, as the
// caller wrote it: rebuilding it from argv would lose its quoting, and the
// char** argv holds only what the ANSI code page can. The name ends as Windows
// reads a program's name: at the closing quote when it starts with one, else
// at the first space or tab.
std::wstring argumentsAsWritten()
{
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"')
            ++line;
        if (*line == L'"')
            ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

// A copy of a standard handle that the child inherits; null when there is none.
HANDLE inheritableStandardHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

// Ctrl-C and Ctrl-Break reach every program of the console: the child stops
// its work and says so, and this process waits for the status it ends with.
BOOL WINAPI leaveStopToChild(DWORD)
{
    return TRUE;
}

// A job that ends its programs when its last handle closes: this process
// holds the only one, so ending it from outside (as Task Manager does) ends
// the child too, as it ends the one process of an exec elsewhere. Null when
// the system refuses; the child then merely outlives a killed launcher.
HANDLE jobEndingWithThisProcess()
{
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

} // namespace

QString RunInstead(const QString& program, char**)
{
    const std::wstring path = QString(program).replace(u'/', u'\\').toStdWString();
    std::wstring commandLine = L'"' + path + L'"' + argumentsAsWritten();
    const std::array<HANDLE, 3> handles{inheritableStandardHandle(STD_INPUT_HANDLE),
                                        inheritableStandardHandle(STD_OUTPUT_HANDLE),
                                        inheritableStandardHandle(STD_ERROR_HANDLE)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
    PROCESS_INFORMATION child{};
    SetConsoleCtrlHandler(leaveStopToChild, TRUE);
    // Suspended until it is in the job, so that nothing it starts escapes it.
    const bool started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                        nullptr, nullptr, &startup, &child);
    const QString reason = started ? QString() : qt_error_string();
    for (const HANDLE handle : handles)
        if (handle != nullptr)
            CloseHandle(handle);
    if (!started) {
        SetConsoleCtrlHandler(leaveStopToChild, FALSE);
        return reason;
    }
    // The job's handle stays open until this process ends, however it ends.
    const HANDLE job = jobEndingWithThisProcess();
    if (job != nullptr && !AssignProcessToJobObject(job, child.hProcess))
        CloseHandle(job);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
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
