#pragma once

#include <QString>

#include <chrono>
#include <optional>

// What the command line needs of the terminal and of the operating system's
// stop signals.
namespace support {

enum class StandardStream { Input, Output, Error };

bool IsTerminal(StandardStream stream);

// Shows the prompt on the controlling terminal and reads one line from it with
// the echo off. No value when there is no terminal, at its end, or when a stop
// signal arrived while waiting; the echo is back on in every case.
std::optional<QString> ReadPasswordFromTerminal(const QString& prompt);

// From here on the first SIGINT (Ctrl-C) or SIGTERM only raises the stop flag,
// so that the work in hand can end cleanly; a second one ends the program as
// usual.
void CatchStopSignals();
bool StopSignalReceived();
// Waits for the duration, or less when a stop signal arrives; true when the
// whole duration passed.
bool WaitUnlessStopped(std::chrono::milliseconds duration);

} // namespace support
