#pragma once

#include "logging/Logger.h"
#include "platform/WindowServer.h"
#include "platform/sway/SwayProtocol.h"
#include "platform/widgets/HostedPanel.h"

#include <QHash>
#include <QPointer>
#include <QRect>
#include <QSet>

#include <chrono>
#include <memory>
#include <vector>

class QObject;
class QTimer;

namespace sm {
class LogindWakeWatcher;
}

namespace sm::sway {

class SwayIpcClient;

// What the server knows about one panel window. The panel owns it; the server keeps a pointer while
// both live.
struct PanelState {
    Panel* panel = nullptr;
    QPointer<widgets::PanelWindow> window;
    quint64 serial = 0;
    QString marker; // the window's title, by which its container is found
    bool takesFocus = false;
    std::optional<qint64> container; // while the window is mapped
    qint64 workspaceId = 0;          // where it belongs, once bound; follows renames and moves
    QString workspace;
    bool bound = false;
    bool orderedIn = false;
    QRect frame; // layout coordinates: top left, y down
    double alpha = 1.0;
    std::optional<double> sentAlpha;
    bool ignoresInput = false;
    bool parked = false;           // out of the pointer's way while it takes no input
    std::optional<QString> output; // the output its workspace is on
    // Unmapped from this hidden workspace, which it alone kept: sway drops it as it would without us.
    // The label maps again once a workspace of that name (or sway's new one of its number) shows.
    std::optional<QString> withdrawnFrom;
    bool comingBack = false;       // shown again for its workspace, not mapped yet: counts as shown
    bool onActiveSpace = false;    // "A", as of the last refresh
    bool visible = false;          // "V", as of the last refresh
};

// The window server on sway (or another i3-compatible Wayland compositor), through its IPC socket.
//
// Desktops are workspaces and screens are outputs. A panel is an ordinary toplevel that the server
// finds by its title among this process's containers and places with commands: floating, borderless,
// on its workspace, at its position. A (on the active desktop): its workspace is the visible one of
// its output. V (visible): it is shown and its container is on such a workspace. The facts are read
// back from sway after each event that may change them, before the switch is announced.
class SwayWindowServer final : public widgets::PanelHostingServer<SwayWindowServer> {
public:
    using PanelState = sway::PanelState;

    struct Options {
        Logger logger;
        QString socketPath; // empty: $SWAYSOCK
    };

    // The backend on the running QGuiApplication (Qt's wayland platform), or none with the reason.
    static std::shared_ptr<SwayWindowServer> create(const Options& options, QString* error);
    ~SwayWindowServer() override;
    SwayWindowServer(const SwayWindowServer&) = delete;
    SwayWindowServer& operator=(const SwayWindowServer&) = delete;

    // --- WindowServer ---
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    // Workspaces by number; a title goes after the number ("2: Mail"), where the bars show it and
    // `workspace number 2` still finds the workspace.
    QStringList desktopNames() const override;
    bool canSetDesktopNames() const override { return true; }
    bool mayRewriteDesktopNames() const override { return false; }
    void setDesktopNames(const QStringList& names) override;
    int desktopNameIndex(const DesktopPlace& place) const override;
    QString desktopNameShowing(const QString& own, const QString& title) const override;
    // sway's own command, by the workspace's name, and its answer: IPC is the only way it switches.
    QString switchTo(const DesktopPlace& place) override;

    // --- What tests and tools read ---
    const QList<WorkspaceInfo>& workspaces() const { return workspaces_; }
    std::optional<QString> workspaceOf(const Panel& panel) const;
    std::optional<qint64> containerOf(const Panel& panel) const;
    SwayIpcClient& ipc() { return *ipc_; }
    // When the last workspace event was read off the socket (the start of a switch's latency).
    std::chrono::steady_clock::time_point lastWorkspaceEvent() const { return lastWorkspaceEvent_; }
    void refreshNow();

    // --- For the panels of this backend ---
    // A drag, or the pointer coming over the window (sway's own move may follow), has the window's
    // place read back until it rests.
    void adopt(PanelState& state);
    void forget(PanelState& state);
    // The window is to be shown: the first time it binds to the visible workspace of the output it
    // is placed on; later it goes back to its own workspace. False while that workspace is gone: the
    // window stays unmapped until it is back (mapping it would make the workspace anew).
    bool shown(PanelState& state);
    void hidden(PanelState& state);
    void place(PanelState& state);
    void applyAlpha(PanelState& state);
    void applyInput(PanelState& state);
    void focus(PanelState& state);
    QString titleOf(const PanelState& state) const { return state.marker; }
    // The compositor moves the window under the pointer; its new place is read back until it rests.
    void followSystemMove();
    std::optional<ScreenInfo> screenOf(const PanelState& state) const;
    QRectF toLogical(const QRect& layout) const;
    QRect toLayout(const QRectF& logical) const;

private:
    explicit SwayWindowServer(Options options);
    bool start(QString* error);
    void installRules();
    void handleEvent(quint32 type, const QByteArray& payload);
    void scheduleRefresh(bool tree, bool outputs);
    void refresh();
    bool readOutputs();
    bool readWorkspaces();
    bool readTree();
    void readConfig();
    void sendPlacement(PanelState& state, bool firstTime);
    void withdraw(PanelState& state);
    bool bringBack(PanelState& state, const WorkspaceInfo& workspace);
    bool heldByOthers(const WorkspaceInfo& workspace) const;
    bool homeExists(const PanelState& state) const;
    const OutputInfo* outputNamed(const QString& name) const;
    std::optional<DesktopPlace> droppedPlace(const QString& name, const QString& output) const;
    QRect parkingBox(const PanelState& state) const;
    std::optional<ScreenInfo> screenInfo(const OutputInfo& output) const;
    const OutputInfo* outputAt(const QPoint& point) const;
    const WorkspaceInfo* workspaceById(qint64 id) const;
    const WorkspaceInfo* workspaceNamed(const QString& name) const;
    const WorkspaceInfo* workspaceFor(const DesktopPlace& place) const;
    std::optional<DesktopPlace> placeOn(const WorkspaceInfo* workspace) const;
    PanelState* stateOf(const Panel& panel) const;

    Options options_;
    qint64 pid_ = 0;
    std::unique_ptr<SwayIpcClient> ipc_;
    std::unique_ptr<QObject> context_;
    QTimer* refreshTimer_ = nullptr;
    QTimer* moveTimer_ = nullptr;
    std::unique_ptr<LogindWakeWatcher> wake_;
    bool wantTree_ = true;
    bool wantOutputs_ = true;

    std::vector<PanelState*> panels_; // creation order
    quint64 nextSerial_ = 1;
    QList<OutputInfo> outputs_;
    QList<WorkspaceInfo> workspaces_;
    QSet<QString> reachedByName_; // workspaces the configuration's bindings go to by name
    QHash<qint64, WindowInfo> windows_; // this process's containers by id
    QHash<qint64, int> viewsOn_;        // every client's views per workspace id, as of the last tree
    qint64 focusedWorkspace_ = 0;
    QSet<qint64> visibleWorkspaces_;
    qint64 lastForeignFocus_ = 0; // the last focused container not ours, to give focus back to
    mutable QHash<QString, quint32> displayNumbers_;
    int restingTicks_ = 0;
    std::chrono::steady_clock::time_point lastWorkspaceEvent_;
};

// Wayland gives an ordinary client no keys of other clients' windows.
inline const QString kNoGlobalCtrl = QStringLiteral(
    "on Wayland a program sees the keyboard only while one of its own windows has it, so Ctrl held over "
    "another window cannot be seen");

// Why the sway backend cannot be used in this session, or an empty string when it can: SWAYSOCK and
// WAYLAND_DISPLAY set and sway answering on the socket. Safe before any QGuiApplication exists.
QString sessionProblem();

} // namespace sm::sway
