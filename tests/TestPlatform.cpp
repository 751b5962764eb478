#include "TestPlatform.h"

#include "support/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
// The pseudo console came with Windows 10 1809.
#define NTDDI_VERSION 0x0A000006
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>
#endif

namespace testplatform {

namespace {

constexpr std::chrono::minutes TerminalPatience{1};

// What a terminal shows of its output: no colours, cursor moves or titles.
QString withoutControlSequences(const QByteArray& output)
{
    static const QRegularExpression controls(QStringLiteral("\x1b\\[[0-9;?]*[ -/]*[@-~]|\x1b\\][^\x07]*\x07|\r"));
    return QString::fromUtf8(output).remove(controls);
}

} // namespace

#ifdef Q_OS_WIN

namespace {

struct Winsock {
    Winsock()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

void startWinsock()
{
    static const Winsock started;
}

using Length = int;

// The stop reaches the test too while it is attached to the program's console.
BOOL WINAPI ignoreStop(DWORD)
{
    return TRUE;
}

} // namespace

void Listen(Socket socket, int backlog)
{
    ::listen(socket, backlog);
}

Socket Accept(Socket listener)
{
    const SOCKET accepted = ::accept(listener, nullptr, nullptr);
    return accepted == INVALID_SOCKET ? NoSocket : accepted;
}

qint64 Send(Socket socket, const char* data, qint64 size)
{
    return ::send(socket, data, static_cast<int>(qMin<qint64>(size, 1 << 30)), 0);
}

qint64 Receive(Socket socket, char* data, qint64 size)
{
    return ::recv(socket, data, static_cast<int>(qMin<qint64>(size, 1 << 30)), 0);
}

void ShutDown(Socket socket)
{
    ::shutdown(socket, SD_BOTH);
}

// Only closing a listening socket wakes a thread that waits to accept on it.
void StopListening(Socket& listener)
{
    Close(listener);
}

void Close(Socket& socket)
{
    if (socket != NoSocket)
        ::closesocket(socket);
    socket = NoSocket;
}

qint64 PeakMegabytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<qint64>(counters.PeakWorkingSetSize / (1024 * 1024));
}

void Kill(qint64 processId)
{
    // An NTSTATUS error, which QProcess takes for a crash as Windows does.
    constexpr UINT Killed = 0xC000010A;
    if (const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(processId))) {
        TerminateProcess(process, Killed);
        CloseHandle(process);
    }
}

// A console of its own, without a window: the stop goes to every program
// of a console, and this one holds only the program and what it starts.
void MakeStoppable(QProcess& process)
{
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments* arguments) { arguments->flags |= CREATE_NO_WINDOW; });
}

UnreadableFile::UnreadableFile(const QString& path)
{
    handle_ = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        handle_ = nullptr;
        failure_ = QStringLiteral("cannot open %1 without sharing").arg(path);
    }
}

UnreadableFile::~UnreadableFile()
{
    if (handle_)
        CloseHandle(handle_);
}

QString RootOf(const QString& directory)
{
    return QDir::toNativeSeparators(QDir::fromNativeSeparators(directory).left(3));
}

int EndTestProgram(int status)
{
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}

void SendStop(QProcess& process, Stop stop)
{
    SetConsoleCtrlHandler(ignoreStop, TRUE);
    FreeConsole();
    if (AttachConsole(static_cast<DWORD>(process.processId()))) {
        GenerateConsoleCtrlEvent(stop == Stop::CtrlC ? CTRL_C_EVENT : CTRL_BREAK_EVENT, 0);
        FreeConsole();
    }
}

namespace {

// An argument as the C runtime of the program reads it back: quoted, with
// the quotes and the backslashes before them escaped.
std::wstring quoted(const QString& argument)
{
    std::wstring text = L"\"";
    int backslashes = 0;
    for (const wchar_t unit : argument.toStdWString()) {
        if (unit == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(static_cast<size_t>(unit == L'"' ? backslashes * 2 + 1 : backslashes), L'\\');
        backslashes = 0;
        text += unit;
    }
    text.append(static_cast<size_t>(backslashes * 2), L'\\');
    return text + L'"';
}

std::wstring environmentBlock(const QProcessEnvironment& environment)
{
    std::wstring block;
    for (const QString& name : environment.keys())
        block += (name + u'=' + environment.value(name)).toStdWString() + L'\0';
    return block + L'\0';
}

} // namespace

TerminalRun RunInTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QString&, const QString& answer)
{
    TerminalRun run;
    if (RunsUnderWine()) {
        run.unavailable = QStringLiteral("Wine gives a program in a pseudo console no standard handles of that console");
        return run;
    }
    HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
    HPCON console = nullptr;
    if (!CreatePipe(&inputRead, &inputWrite, nullptr, 0) || !CreatePipe(&outputRead, &outputWrite, nullptr, 0)
        || FAILED(CreatePseudoConsole({120, 40}, inputRead, outputWrite, 0, &console))) {
        run.failure = QStringLiteral("cannot make a pseudo console");
        return run;
    }
    // The console keeps its own copies.
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    QByteArray output;
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(outputRead, buffer, sizeof buffer, &got, nullptr) && got > 0)
            output.append(buffer, got);
    });

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size);
    UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console,
                              sizeof console, nullptr, nullptr);
    std::wstring commandLine = quoted(QDir::toNativeSeparators(program));
    for (const QString& argument : arguments)
        commandLine += L' ' + quoted(argument);
    std::wstring block = environmentBlock(environment);
    PROCESS_INFORMATION child{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                       EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr,
                       &startup.StartupInfo, &child)) {
        const QByteArray typed = (answer + u'\r').toUtf8();
        DWORD written = 0;
        WriteFile(inputWrite, typed.constData(), static_cast<DWORD>(typed.size()), &written, nullptr);
        const auto patience = std::chrono::duration_cast<std::chrono::milliseconds>(TerminalPatience);
        if (WaitForSingleObject(child.hProcess, static_cast<DWORD>(patience.count())) == WAIT_OBJECT_0) {
            DWORD status = 0;
            GetExitCodeProcess(child.hProcess, &status);
            run.exitCode = static_cast<int>(status);
        } else {
            TerminateProcess(child.hProcess, 1);
            run.failure = QStringLiteral("%1 did not end within a minute").arg(program);
        }
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    } else {
        run.failure = QStringLiteral("cannot start %1: %2").arg(program, qt_error_string());
    }
    // Closing the console ends its output, where the reader stops.
    ClosePseudoConsole(console);
    reader.join();
    DeleteProcThreadAttributeList(startup.lpAttributeList);
    CloseHandle(inputWrite);
    CloseHandle(outputRead);
    run.shown = withoutControlSequences(output);
    return run;
}

#else

namespace {

void startWinsock() {}

using Length = socklen_t;

} // namespace

void Listen(Socket socket, int backlog)
{
    ::listen(socket, backlog);
}

Socket Accept(Socket listener)
{
    const int accepted = ::accept(listener, nullptr, nullptr);
    return accepted < 0 ? NoSocket : accepted;
}

qint64 Send(Socket socket, const char* data, qint64 size)
{
    return ::send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
}

qint64 Receive(Socket socket, char* data, qint64 size)
{
    return ::recv(socket, data, static_cast<size_t>(size), 0);
}

void ShutDown(Socket socket)
{
    ::shutdown(socket, SHUT_RDWR);
}

void StopListening(Socket& listener)
{
    ::shutdown(listener, SHUT_RDWR);
}

void Close(Socket& socket)
{
    if (socket != NoSocket)
        ::close(socket);
    socket = NoSocket;
}

qint64 PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void Kill(qint64 processId)
{
    ::kill(static_cast<pid_t>(processId), SIGKILL);
}

void MakeStoppable(QProcess&) {}

UnreadableFile::UnreadableFile(const QString& path)
{
    if (geteuid() == 0)
        failure_ = QStringLiteral("running as root: permissions do not keep root from reading a file");
    else if (!QFile::setPermissions(path, {}))
        failure_ = QStringLiteral("cannot take the permissions of %1 away").arg(path);
}

UnreadableFile::~UnreadableFile() = default;

int EndTestProgram(int status)
{
    return status;
}

QString RootOf(const QString&)
{
    return QStringLiteral("/");
}

void SendStop(QProcess& process, Stop stop)
{
    ::kill(static_cast<pid_t>(process.processId()), stop == Stop::CtrlC ? SIGINT : SIGTERM);
}

TerminalRun RunInTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QString& prompt, const QString& answer)
{
    TerminalRun run;
    // All the child needs is made before the fork: a child of a threaded
    // process may only make async-signal-safe calls.
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        strings.push_back(argument.toUtf8());
    const size_t argumentCount = strings.size();
    for (const QString& variable : environment.toStringList())
        strings.push_back(variable.toUtf8());
    std::vector<char*> argv, envp;
    for (size_t k = 0; k < strings.size(); ++k)
        (k < argumentCount ? argv : envp).push_back(strings[k].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int terminal = -1;
    int childSide = -1;
    if (::openpty(&terminal, &childSide, nullptr, nullptr, nullptr) != 0) {
        run.failure = QStringLiteral("cannot open a pseudo-terminal");
        return run;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(terminal);
        ::setsid();
        ::ioctl(childSide, TIOCSCTTY, 0);
        for (int stream = 0; stream < 3; ++stream)
            ::dup2(childSide, stream);
        if (childSide > 2)
            ::close(childSide);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(childSide);

    QByteArray output;
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + TerminalPatience;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{terminal, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) == 0) {
            ::kill(child, SIGKILL);
            run.failure = QStringLiteral("%1 did not end within a minute").arg(program);
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        // EIO once the program and all it started have closed the terminal.
        if (got <= 0)
            break;
        output.append(buffer, got);
        if (!answered && QString::fromUtf8(output).contains(prompt)) {
            const QByteArray typed = (answer + u'\r').toUtf8();
            answered = ::write(terminal, typed.constData(), static_cast<size_t>(typed.size())) == typed.size();
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(terminal);
    if (run.failure.isEmpty())
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.shown = withoutControlSequences(output);
    return run;
}

#endif

QString TestDataPath(const QString& relative)
{
    return QFileInfo(QStringLiteral(VELTRIN_TEST_DATA "/") + relative).absoluteFilePath();
}

bool RunsUnderWine()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool HasGb18030()
{
    return support::FromCodePage("\x81\x30\x81\x30", 54936) == u"\u0080";
}

Socket BoundLoopbackSocket(int& port)
{
    startWinsock();
    const Socket bound = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Length length = sizeof address;
    ::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return bound;
}

} // namespace testplatform
