#pragma once

#include <QString>

namespace sm {

// Where a running copy keeps its lock and listens for commands, in the user's private runtime
// directory; QtCore only, so the command line's fast path can share it with the program.
namespace ProgramLock {

inline const QString kLockName = QStringLiteral("spacemarquee.lock");
inline const QString kSocketName = QStringLiteral("spacemarquee.socket");
// The program proper, which `spacemarquee` runs when it is asked to start rather than to command.
inline const QString kProgramName = QStringLiteral("spacemarquee-app");

// Whether the lock file at `lockPath` names a live copy of this program, or one that is creating it
// right now; an empty, garbled or foreign-pid lock (a power cut, a reused pid) names none.
bool namesLiveCopy(const QString& lockPath);

} // namespace ProgramLock

} // namespace sm
