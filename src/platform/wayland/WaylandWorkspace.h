#pragma once

#include "platform/Workspace.h"
#include "platform/wayland/WaylandWindowServer.h"

#include <memory>
#include <optional>

namespace sm::wayland {

// The window in front on a compositor that tells its windows with wlr-foreign-toplevel-management: the
// activated one, with its app id and title as the compositor reports them. A tiling compositor overlaps
// nothing, and a stacking one tells no order, so the focused window is the one in front. Nothing is polled;
// each `done` of a window is heard. The protocol names no process: a stand-in owner pairs the window with its
// application.
class WaylandWorkspace final : public Workspace {
public:
    // None where the compositor does not tell its windows.
    static std::shared_ptr<WaylandWorkspace> create(std::shared_ptr<WaylandWindowServer> server);
    ~WaylandWorkspace() override;
    WaylandWorkspace(const WaylandWorkspace&) = delete;
    WaylandWorkspace& operator=(const WaylandWorkspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() const override;
    QString ownApplicationId() const override;
    std::optional<QList<WindowListEntry>> onScreenWindows() const override;
    bool canReadWindowTitles() const override { return true; }

private:
    explicit WaylandWorkspace(std::shared_ptr<WaylandWindowServer> server);
    void changed();

    std::shared_ptr<WaylandWindowServer> server_;
    std::optional<QString> lastApp_; // the application last reported as activated
};

} // namespace sm::wayland
