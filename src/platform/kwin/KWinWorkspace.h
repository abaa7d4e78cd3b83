#pragma once

#include "platform/Workspace.h"

namespace sm::kwin {

// The window in front, as the KWin script reports it: KWin knows every window's caption, class and
// process; a Wayland client knows only its own. The list of windows is the front one alone.
class KWinWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() const override { return front_; }
    QString ownApplicationId() const override;
    std::optional<QList<WindowListEntry>> onScreenWindows() const override;
    bool canReadWindowTitles() const override { return true; }

    // From the script: `caption` of the window that came to the front, its class, desktop file, process.
    void activated(const QString& caption, const QString& resourceClass, const QString& desktopFile,
                   qint64 pid);

    // From the script: the window in front has a new caption. Not an activation: nothing is announced.
    void retitled(const QString& caption, qint64 pid);

private:
    std::optional<RunningApplication> front_;
    QString caption_;
};

} // namespace sm::kwin
