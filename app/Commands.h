#pragma once

#include "app/CommandLine.h"

// Every subcommand that works without a window: the workbook commands, and
// groups and import, which talk to the platform.
const commandline::Commands& AllCommands();
