#pragma once

#include <QString>

namespace support {

// Runs `program` in place of this process with the same arguments (argv[0]
// included), so that it keeps the process, its terminal and its exit status.
// Returns only when the program could not be started, with what went wrong.
QString RunInstead(const QString& program, char** argv);

} // namespace support
