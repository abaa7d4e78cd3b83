#pragma once

#include "logging/Logger.h"
#include "platform/Workspace.h"
#include "platform/sway/SwayProtocol.h"

#include <memory>
#include <optional>

namespace sm::sway {

class SwayIpcClient;

// The window in front on sway, Wayland-native or Xwayland: the tree is read once at the start (and
// after a reconnection), then window and workspace events keep it current; nothing is polled. The
// application id is the view's app_id, or the WM_CLASS class of an Xwayland window. sway shows every
// title to any IPC client, so the title permission is always held. Titles are tamed as on X11.
class SwayWorkspace final : public Workspace {
public:
    struct Options {
        Logger logger;
        QString socketPath; // empty: $SWAYSOCK
    };

    // Its own IPC connection, so the window server's event stream stays its own; none, with the
    // reason in `error`, when sway does not answer.
    static std::shared_ptr<SwayWorkspace> create(const Options& options, QString* error);
    ~SwayWorkspace() override;
    SwayWorkspace(const SwayWorkspace&) = delete;
    SwayWorkspace& operator=(const SwayWorkspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() const override;
    QString ownApplicationId() const override;
    // The focused view alone: a tiling desktop overlaps nothing, so the focused window is in front.
    std::optional<QList<WindowListEntry>> onScreenWindows() const override;
    bool canReadWindowTitles() const override { return true; }

    static QString sanitizedTitle(const QString& title);

private:
    explicit SwayWorkspace(Options options);
    void readTree();
    void handleEvent(quint32 type, const QByteArray& payload);
    void focusMoved(std::optional<ViewInfo> view);

    Options options_;
    std::unique_ptr<SwayIpcClient> ipc_;
    std::optional<ViewInfo> front_;
    // The application last reported as activated: id and process.
    std::optional<std::pair<QString, qint64>> lastActive_;
};

} // namespace sm::sway
