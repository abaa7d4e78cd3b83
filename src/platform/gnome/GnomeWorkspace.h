#pragma once

#include "platform/Workspace.h"

#include <memory>

namespace sm::gnome {

class GnomeWindowServer;

// The focused window and the windows on the active workspace as the bridge reports them, Wayland's own
// windows included, which no X11 property would show.
class GnomeWorkspace final : public Workspace {
public:
    explicit GnomeWorkspace(const std::shared_ptr<GnomeWindowServer>& server);

    std::optional<RunningApplication> frontmostApplication() const override;
    QString ownApplicationId() const override;
    std::optional<QList<WindowListEntry>> onScreenWindows() const override;
    bool canReadWindowTitles() const override { return true; }

private:
    std::weak_ptr<GnomeWindowServer> server_;
    Connection stateObserver_;
    std::pair<QString, qint64> lastFront_;
};

} // namespace sm::gnome
