#pragma once

#include "app/CommandLine.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace sm {

// Set in the environment of a copy this side starts.
inline constexpr char kStartedForCommandVariable[] = "SPACEMARQUEE_STARTED_FOR_COMMAND";

// The sending side of `spacemarquee COMMAND`: hands each request to the running copy and prints
// what it answers; for name, clear and links it starts the program first when no copy runs (as
// opening a link does) and waits for it to take commands. Returns the exit status: 0 done, 1 failed, 2 a
// name to go to that means several desktops.
// Needs no application object: a command costs a socket round trip, not a toolkit's start.
int sendCommands(const CommandLine& command, const QString& runtimeDirectory, const QString& program);

// The command line as given, parsed.
CommandLine commandLine(int argc, char** argv);
// Answers what needs no running copy: the help, the version, words that are no command. The exit
// status; none for a start or a command to send.
std::optional<int> answerAtOnce(const CommandLine& command);
// A line on stderr as the command line says things: "spacemarquee: <text>".
void say(const QString& text);
// The version and the build identifier this program was built as ("?" where the build gave none).
QString programVersion();
QString buildVersion();

enum class Forwarded { delivered, noRunningCopy, refused };
// Hands the request line to the copy listening on `socketPath` and waits, a bounded time, for its
// answer; `detail` says why a refused command was refused, `body` gets what follows the "ok".
Forwarded forwardRequest(const QString& socketPath, const QByteArray& request, QString* detail,
                         QByteArray* body = nullptr);

} // namespace sm
