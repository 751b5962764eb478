#pragma once

#include "app/CommandLine.h"

// The subcommands that only read workbooks: sheets and contacts.
const commandline::Commands& WorkbookCommands();
