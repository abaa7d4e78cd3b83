#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace sm {

// Which names Spacemarquee gives the window manager's desktops, and what it takes back. The window
// manager's own names are never lost: what was there before the first write is remembered with what
// was written, so a name someone else sets in between (the user in the window manager's settings, the
// window manager itself) is recognised as theirs, also after a crash.
namespace DesktopNamePolicy {

struct Record {
    QStringList original; // the names before Spacemarquee wrote, as far as they are still wanted
    QStringList written;  // what it wrote last

    bool operator==(const Record&) const = default;
};

// The names as the window manager would have them without Spacemarquee: every entry that still holds
// what was written gets its original name back; an entry changed since belongs to whoever changed it.
// Entries that only exist because titles were written beyond the window manager's names are dropped.
QStringList ownNames(const QStringList& current, const Record& record);

// Each titled desktop (by index) gets its title, every other desktop its own name. A title beyond the
// window manager's names lengthens the list; the desktops in between get empty names.
QStringList namesToWrite(const QStringList& own, const QMap<int, QString>& titles);

// Someone replaced a title that was written: the window manager keeps the names to itself, and
// writing again would only fight it. An entry that went empty is a desktop that went away, not a name
// replaced.
bool titleOverwritten(const QStringList& current, const Record& record);

// What someone chose in a desktop's name, without the number a tiling window manager keeps in front
// ("2: Web" gives "Web"); empty for a name nobody chose.
QString chosenPart(const QString& name);

// A name nobody chose: empty, a number, or "Desktop N" / "Workspace N" in any case.
bool isGeneric(const QString& name);

// The stored form: {"original":[...],"written":[...]}; unreadable input gives none.
QByteArray encode(const Record& record);
std::optional<Record> decode(const QByteArray& json);

} // namespace DesktopNamePolicy

} // namespace sm
