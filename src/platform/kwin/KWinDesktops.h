#pragma once

#include <QList>
#include <QString>

#include <optional>

class QDBusArgument;
class QVariant;

namespace sm::kwin {

// One of KWin's virtual desktops as its D-Bus interface describes it.
struct Desktop {
    int position = 0; // 0-based, in KWin's order
    QString id;       // stable for the desktop's life, across sessions too
    QString name;

    bool operator==(const Desktop&) const = default;
};

// The readers of what KWin's VirtualDesktopManager sends: `desktops` (a(iss) or a(uss)) and one desktop
// ((iss) or (uss)). None for a value of another shape; entries without an id are skipped.
std::optional<QList<Desktop>> readDesktops(const QVariant& value);
std::optional<Desktop> readDesktop(const QVariant& value);

} // namespace sm::kwin
