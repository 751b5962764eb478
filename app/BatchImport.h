#pragma once

#include <QStringList>

#include <chrono>

class QCommandLineParser;

// The import subcommand: the window's import run without a window, for
// administrators and scheduled jobs.
namespace batch {

void AddImportArguments(QCommandLineParser& parser);
int RunImportCommand(const QCommandLineParser& parser, const QStringList& arguments);

// The pause before retry number attempt (from 1) of a failed request: 1, 2
// and 4 seconds; VELTRIN_RETRY_PAUSE_MS replaces the first second (tests
// shorten the pauses with it).
std::chrono::milliseconds RetryPause(int attempt);
constexpr int MaxRetries = 3;

} // namespace batch
