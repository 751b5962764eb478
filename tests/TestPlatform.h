#pragma once

// What the tests must do differently on Windows and elsewhere, in one place:
// raw loopback sockets, the peak memory of the process, stopping or killing
// a program as a person would, a terminal of a program's own, the root of
// the file system, the paths of the test data, and the end of a test program.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>

class QProcess;

namespace testplatform {

// Raw TCP on 127.0.0.1, for the tests that send what no HTTP library would.
#ifdef Q_OS_WIN
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif
constexpr Socket NoSocket = static_cast<Socket>(-1);

// A socket bound to a free port of 127.0.0.1, which `port` receives.
Socket BoundLoopbackSocket(int& port);
void Listen(Socket socket, int backlog);
// NoSocket once the listener has stopped.
Socket Accept(Socket listener);
// Never raises a signal; at most 0 once the peer has gone.
qint64 Send(Socket socket, const char* data, qint64 size);
qint64 Receive(Socket socket, char* data, qint64 size);
// Ends both directions, which wakes a thread waiting to receive.
void ShutDown(Socket socket);
// Wakes a thread waiting in Accept; the listener is closed after that.
void StopListening(Socket& listener);
void Close(Socket& socket);

// Whether the tests run under Wine, whose consoles differ from Windows' where
// the tests say so.
bool RunsUnderWine();

// Whether the system's code page layer reads GB18030's four-byte characters,
// which Wine 8 lacks (real Windows and iconv have them).
bool HasGb18030();

// The largest the process has been in memory so far, in MiB.
qint64 PeakMegabytes();

// How a person stops a program running in a console.
enum class Stop {
    CtrlC,
    // SIGTERM, or Ctrl-Break on Windows, which has no such signal.
    Terminate,
};
// Ends the process at once, as kill -9 or Task Manager does; QProcess then
// reports a crash.
void Kill(qint64 processId);

// Prepares the process, before it starts, for SendStop.
void MakeStoppable(QProcess& process);
// Sends the stop to the program and everything it started in its console.
void SendStop(QProcess& process, Stop stop);

// What a program run in a terminal of its own showed, and how it ended.
struct TerminalRun {
    // Why no terminal of its own can be made here; empty where one can.
    QString unavailable;
    // Why the program could not run so; empty when it ran to its end.
    QString failure;
    int exitCode = -1;
    // The text it showed, the terminal's control sequences left out.
    QString shown;
};

// Runs the program in a new terminal, a pseudo-terminal whose controlling
// process it is, or a pseudo console on Windows, as if a person had started
// it there, and types the answer and Enter once the prompt shows (on Windows
// at once: the console keeps what is typed ahead). Gives up after a minute.
TerminalRun RunInTerminal(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment, const QString& prompt, const QString& answer);

// Keeps a file from being read while it lives: its permissions taken away
// elsewhere, opened without sharing on Windows, as a program holding it
// would.
class UnreadableFile {
public:
    explicit UnreadableFile(const QString& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    // Why the file could not be made unreadable; empty when it is.
    QString failure() const { return failure_; }

private:
    QString failure_;
    void* handle_ = nullptr;
};

// The root of the file system that holds the directory, as the drive list
// shows it: "/" or "C:\".
QString RootOf(const QString& directory);

// A file or folder of the tests' data ("contacts/cases.xls") as a whole path
// the way the program keeps one: on Windows with the drive.
QString TestDataPath(const QString& relative);

// Ends the test program with its status. On Windows the process ends there
// and then: when QTest::qExec returns, Qt Test's watchdog thread may still be
// ending (QThread::wait returns before a thread's real end), running the
// C++ runtime's thread-local clean-up under a lock, and a normal end of the
// process cut that short and then hung in the runtime's own end, waiting for
// that lock. What the tests write is written by then; only the DLLs' ends
// are skipped.
int EndTestProgram(int status);

} // namespace testplatform
