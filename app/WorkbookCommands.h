#pragma once

#include "app/CommandLine.h"
#include "import/ContactAnalysis.h"

// The subcommands that only read workbooks: sheets and contacts.
const commandline::Commands& WorkbookCommands();

namespace commandline {

// --skipped OUT.csv, where the rows of the sheet that were passed over go.
const QCommandLineOption& SkippedOption();
// Writes the rows passed over to the file that --skipped names, if it names
// one (see contacts::SkippedRowsCsv); false, with a message, when it cannot.
bool WriteSkippedRows(const QCommandLineParser& parser, const std::vector<contacts::SkippedRow>& rows);

} // namespace commandline
