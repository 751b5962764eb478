#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <csignal>
#include <unistd.h>
#endif

namespace testplatform {

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

void SendStop(QProcess& process, Stop stop)
{
    SetConsoleCtrlHandler(ignoreStop, TRUE);
    FreeConsole();
    if (AttachConsole(static_cast<DWORD>(process.processId()))) {
        GenerateConsoleCtrlEvent(stop == Stop::CtrlC ? CTRL_C_EVENT : CTRL_BREAK_EVENT, 0);
        FreeConsole();
    }
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

void MakeStoppable(QProcess&) {}

UnreadableFile::UnreadableFile(const QString& path)
{
    if (geteuid() == 0)
        failure_ = QStringLiteral("running as root: permissions do not keep root from reading a file");
    else if (!QFile::setPermissions(path, {}))
        failure_ = QStringLiteral("cannot take the permissions of %1 away").arg(path);
}

UnreadableFile::~UnreadableFile() = default;

QString RootOf(const QString&)
{
    return QStringLiteral("/");
}

void SendStop(QProcess& process, Stop stop)
{
    ::kill(static_cast<pid_t>(process.processId()), stop == Stop::CtrlC ? SIGINT : SIGTERM);
}

#endif

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
