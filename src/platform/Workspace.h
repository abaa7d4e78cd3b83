#pragma once

#include "platform/Signal.h"

#include <QList>
#include <QString>

#include <optional>

namespace sm {

// The application the user works in.
struct RunningApplication {
    QString applicationId; // empty when unknown
    QString localizedName; // empty when unknown
    qint64 processId = 0;  // 0 when unknown
};

// One on-screen window as the window list reports it. A field the platform could not read is absent.
struct WindowListEntry {
    std::optional<qint64> ownerProcessId;
    std::optional<int> layer; // 0: a normal window, not a menu, panel or dock
    std::optional<QString> title;
};

// The desktop's applications and windows, as far as automatic naming looks at them.
class Workspace {
public:
    static constexpr int kNormalWindowLayer = 0;

    virtual ~Workspace() = default;
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // The identifier this program's own windows carry.
    virtual QString ownApplicationId() const = 0;
    // On-screen windows, front to back; none when the list cannot be read.
    virtual std::optional<QList<WindowListEntry>> onScreenWindows() const = 0;
    // Whether other applications' window titles are readable; asks nothing of the user.
    virtual bool canReadWindowTitles() const = 0;

    // Delivered on the main queue when another application comes to the front.
    Signal<> applicationActivated;
};

} // namespace sm
