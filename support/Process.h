#pragma once

#include <QString>

namespace support {

// Runs `program` in place of this process with the same arguments (argv[0]
// included), so that it keeps the process, its terminal and its exit status.
// Returns only when the program could not be started, with what went wrong.
// Windows has no such thing: there the program runs as a child that gets this
// process's command line as written, its standard streams and its console,
// and its exit status ends this process; ending this process from outside
// ends the child too.
QString RunInstead(const QString& program, char** argv);

} // namespace support
