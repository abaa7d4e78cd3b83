#pragma once

#include "app/CommandLine.h"

#include <QString>

namespace sm {

// Set in the environment of a copy this side starts.
inline constexpr char kStartedForCommandVariable[] = "SPACEMARQUEE_STARTED_FOR_COMMAND";

// The sending side of `spacemarquee COMMAND`: hands each request to the running copy and prints
// what it answers; for name, clear and links it starts the program first when no copy runs (as
// opening a link does) and waits for it to take commands. Returns the exit status: 0 done, 1 failed.
int sendCommands(const CommandLine& command, const QString& runtimeDirectory, const QString& program);

} // namespace sm
