#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace sm {

// Workspace names as i3 and sway read them. A workspace whose name starts with a number is reached by
// `workspace number N` whatever follows the number, and the bars (i3bar, swaybar, waybar) show the
// rest of such a name: "2: Mail" is workspace 2 named Mail.
namespace WorkspaceNames {

// The number at the start of the name ("2", "2: Mail", "2:Mail"); none without one.
std::optional<int> numberOf(const QString& name);

// The name that shows `title` on a workspace called `own`: "2: Mail" for a plain number. Any other
// name was chosen by someone and stays as it is, as it does for an empty title.
QString withTitle(const QString& own, const QString& title);

// The names in a list indexed by number: entry N is workspace N's name, empty where there is none.
// Workspaces without a number are left out: their names are nobody's to change but their owner's.
QStringList byNumber(const QStringList& names);

// The workspace names the configuration's commands reach by name (`workspace 2`, `move container to
// workspace 2`, `workspace 2 output X`), its `set $var` variables expanded. Renamed, such a workspace
// would no longer be the one a binding goes to: the binding would make a second workspace 2.
QSet<QString> reachedByName(const QString& config);

} // namespace WorkspaceNames

} // namespace sm
