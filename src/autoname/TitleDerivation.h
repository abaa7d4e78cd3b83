#pragma once

#include "logging/Logger.h"
#include "model/AppSettings.h"
#include "platform/Workspace.h"

#include <QSet>
#include <QString>

#include <optional>

namespace sm {

// What a good name for the desktop in front of the user would be: a terminal's application name, or
// the project folder, branch or session name its front window's title carries. Reads the workspace
// afresh at every call and writes nothing but its trace line.
namespace TitleDerivation {

// Longest title automatic naming writes into a label. Window titles can be any length; the cut is
// made here, on the derived title, so every source (window title or application name) is bounded.
inline constexpr qsizetype kMaxTitleLength = 80;

// Application identifiers that count as terminals, compared exactly (case-sensitive).
const QSet<QString>& terminalApplicationIds();
bool isTerminal(const QString& applicationId);

// The title of the frontmost normal window of process `processId`, or none.
std::optional<QString> frontWindowTitle(const Workspace& workspace, qint64 processId);

// Turns a raw window title into a label; `fallback` (the application's name) when nothing is left.
QString cleanWindowTitle(const QString& raw, const QString& fallback);

// The derived title. `level` is the store's naming level, none when the store is gone (read as off).
// Writes the "autoTag.derive" trace line on `logger`.
std::optional<QString> deriveTitle(const Workspace& workspace, std::optional<WindowNameGuessing> level,
                                   const Logger& logger);

// `title` cut to kMaxTitleLength characters (an ellipsis marks the cut), never inside a surrogate pair.
QString capped(const QString& title);

} // namespace TitleDerivation

} // namespace sm
