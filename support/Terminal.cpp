#include "support/Terminal.h"

#include <QByteArray>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <utility>
#else
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace support {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int)
{
    stopSignal = 1;
}

#ifndef _WIN32

void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += written;
    }
}

// Reads up to the line end; false at the terminal's end before any byte, or
// when a stop signal interrupts the wait (poll is never restarted).
bool readLine(int fd, QByteArray& line)
{
    for (;;) {
        pollfd wanted{fd, POLLIN, 0};
        if (::poll(&wanted, 1, -1) < 0) {
            if (errno == EINTR && !stopSignal)
                continue;
            return false;
        }
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR && !stopSignal)
            continue;
        if (got < 0 || stopSignal)
            return false;
        if (got == 0)
            return !line.isEmpty();
        if (byte == '\n')
            return true;
        line += byte;
    }
}

#endif

} // namespace

#ifdef _WIN32

namespace {

UINT savedOutputCodePage = 0;

void restoreOutputCodePage()
{
    if (savedOutputCodePage != 0)
        SetConsoleOutputCP(std::exchange(savedOutputCodePage, 0));
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

DWORD standardHandleId(StandardStream stream)
{
    return stream == StandardStream::Input ? STD_INPUT_HANDLE
         : stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
}

} // namespace

void SetUpConsole()
{
    // The C runtime would turn every "\n" written into "\r\n", and a CSV's
    // "\r\n" into "\r\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Fails harmlessly for a console program, which has its console already,
    // and for one started without a command line.
    AttachConsole(ATTACH_PARENT_PROCESS);
    if (!IsTerminal(StandardStream::Output) && !IsTerminal(StandardStream::Error))
        return;
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        savedOutputCodePage = current;
        std::atexit(restoreOutputCodePage);
    }
}

void EndProcessNow(int status)
{
    std::fflush(nullptr);
    restoreOutputCodePage();
    std::_Exit(status);
}

// The C runtime takes the NUL device for a terminal too; only a console can
// show a prompt and take a password.
bool IsTerminal(StandardStream stream)
{
    return isConsole(GetStdHandle(standardHandleId(stream)));
}

std::optional<QString> ReadPasswordFromTerminal(const QString& prompt)
{
    const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD saved = 0;
    std::optional<QString> password;
    if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && GetConsoleMode(input, &saved)
        && SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        DWORD count = 0;
        WriteConsoleW(output, prompt.utf16(), static_cast<DWORD>(prompt.size()), &count, nullptr);
        QString line;
        wchar_t unit = 0;
        while (!stopSignal && ReadConsoleW(input, &unit, 1, &count, nullptr) && count == 1 && unit != L'\n')
            if (unit != L'\r')
                line += QChar(static_cast<char16_t>(unit));
        if (!stopSignal && (count == 1 || !line.isEmpty()))
            password = line;
        SetConsoleMode(input, saved);
        WriteConsoleW(output, L"\r\n", 2, &count, nullptr);
    }
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    return password;
}

void CatchStopSignals()
{
    // The C runtime puts the default action back before it calls the handler.
    // Ctrl-Break is the stop that can be sent to one group of a console's
    // programs.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGBREAK, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

#else

void SetUpConsole() {}

void EndProcessNow(int status)
{
    std::fflush(nullptr);
    std::quick_exit(status);
}

bool IsTerminal(StandardStream stream)
{
    FILE* file = stream == StandardStream::Input ? stdin : stream == StandardStream::Output ? stdout : stderr;
    return ::isatty(::fileno(file)) == 1;
}

std::optional<QString> ReadPasswordFromTerminal(const QString& prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return std::nullopt;
    termios saved{};
    // A terminal whose echo cannot be turned off would show the password.
    if (::tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::optional<QString> password;
    // The echo goes off before the prompt shows: what is typed once it shows
    // must be neither echoed nor flushed.
    const bool silent = ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    writeAll(tty, prompt.toLocal8Bit());
    if (silent) {
        QByteArray line;
        if (readLine(tty, line))
            password = QString::fromLocal8Bit(line);
        line.fill('\0');
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    }
    writeAll(tty, "\n");
    ::close(tty);
    return password;
}

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes in progress carry on; the work stops where it checks the flag.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

#endif

bool StopSignalReceived()
{
    return stopSignal != 0;
}

bool WaitUnlessStopped(std::chrono::milliseconds duration)
{
    // Short slices, so that a stop is seen soon after it arrives.
    constexpr std::chrono::milliseconds slice{20};
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        if (stopSignal)
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(slice, end - now));
    }
    return !stopSignal;
}

} // namespace support
