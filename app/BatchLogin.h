#pragma once

class QCommandLineParser;

// The login of the subcommands that talk to the platform.
namespace batch {

// --user, --base-url and --password-file; a --password option is accepted
// only to be refused with an explanation.
void AddLoginOptions(QCommandLineParser& parser);

// Sets the base URL (from --base-url, else from the address settings, where
// an unusable address is a usage error), gUserName and gPassword. The password comes from
// --password-file (its first line), else from VELTRIN_PASSWORD, else from the
// terminal without echo. Returns Success or the exit status, having said why.
// The caller catches the stop signals first, so that Ctrl-C at the prompt
// puts the echo back.
int PrepareLogin(const QCommandLineParser& parser);

// Sends the login request and checks its reply; returns Success or Failure,
// having said why.
int LogInChecked();

} // namespace batch
