#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <map>
#include <optional>

class QCommandLineOption;
class QCommandLineParser;

// What the subcommands share: their exit statuses and their messages on stderr.
namespace commandline {

constexpr int Success = 0;
// A login, loading or reading failure, or a sheet without contacts.
constexpr int Failure = 1;
constexpr int UsageError = 2;
// The import went through, but the platform refused some contacts or their requests failed.
constexpr int SomeContactsFailed = 3;
constexpr int Interrupted = 4;

QTextStream& Err();
// Reports a usage error with a pointer to --help; returns UsageError.
int Usage(const QString& message);

// A subcommand as --help shows it and as it runs.
struct Command {
    QString synopsis;
    QString description;
    // Printed after the options by --help.
    QString details;
    std::function<void(QCommandLineParser&)> addArguments;
    std::function<int(const QCommandLineParser&, const QStringList&)> run;
};
using Commands = std::map<QString, Command>;

// One line per subcommand, for the main --help.
QString Summary(const Commands& commands);
// Whether argv[1] names one of `commands`.
bool NamesCommand(const Commands& commands, int argc, char** argv);
// Parses the arguments of the subcommand that argv[1] names (one of
// `commands`), answers its --help, or runs it; returns the exit status.
int Run(const Commands& commands, int argc, char** argv);

// --sheet N, the worksheet's position from 1 (1 when not given).
const QCommandLineOption& SheetOption();
// No value when N is not a whole number from 1 up.
std::optional<int> SheetNumber(const QCommandLineParser& parser);

} // namespace commandline
