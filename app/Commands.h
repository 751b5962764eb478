#pragma once

#include <QString>

// The subcommands that work without a window, for previewing and scripting.
bool IsCommand(const QString& name);
int RunCommand(int argc, char** argv);
// One line per subcommand, for the main --help.
QString CommandsSummary();
