#pragma once

#include <QString>

#include <chrono>
#include <optional>

// What the command line needs of the terminal and of the operating system's
// stop signals.
namespace support {

enum class StandardStream { Input, Output, Error };

// Run first by each program. A Windows program of the windows subsystem has no
// console of its own: started from a command line, it takes its caller's, so
// that the password prompt, Ctrl-C and the messages reach the person there.
// A Windows console shows the program's UTF-8 output as such only under the
// UTF-8 output code page, which it has until the program ends; the standard
// output and error carry the bytes as written, as elsewhere. Nothing to do
// elsewhere.
void SetUpConsole();

// Ends the process at once with the status, the standard streams flushed:
// what is left to free, the system frees faster.
[[noreturn]] void EndProcessNow(int status);

bool IsTerminal(StandardStream stream);

// Shows the prompt on the controlling terminal and reads one line from it with
// the echo off. No value when there is no terminal, at its end, or when a stop
// signal arrived while waiting; the echo is back on in every case.
std::optional<QString> ReadPasswordFromTerminal(const QString& prompt);

// From here on the first SIGINT (Ctrl-C), SIGTERM or, on Windows, Ctrl-Break
// only raises the stop flag, so that the work in hand can end cleanly; a
// second one ends the program as usual.
void CatchStopSignals();
bool StopSignalReceived();
// Waits for the duration, or less when a stop signal arrives; true when the
// whole duration passed.
bool WaitUnlessStopped(std::chrono::milliseconds duration);

} // namespace support
