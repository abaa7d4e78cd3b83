#pragma once

#include "logging/Logger.h"
#include "platform/WindowServer.h"
#include "platform/gnome/GnomeBridgeState.h"
#include "platform/widgets/HostedPanel.h"

#include <QPointer>
#include <QRect>

#include <chrono>
#include <memory>
#include <vector>

class QObject;

namespace sm {
class LogindWakeWatcher;
}

namespace sm::gnome {

class GnomeBridgeClient;

// What the server knows about one panel window. The panel owns it; the server keeps a pointer while
// both live.
struct PanelState {
    Panel* panel = nullptr;
    QPointer<widgets::PanelWindow> window;
    quint64 serial = 0;
    QString marker; // the window's title, by which the bridge finds it among this process's windows
    bool takesFocus = false;
    quint64 workspace = 0; // the bridge's id of the workspace it belongs to, once bound
    bool bound = false;
    bool orderedIn = false;
    bool mapped = false;     // the shell manages the window
    bool followsShell = false; // the shell moves it (a drag): its place is read back
    QRect frame;             // layout coordinates: top left, y down
    double alpha = 1.0;
    std::optional<double> sentAlpha;
    bool ignoresInput = false;
    bool inputCut = false; // the bridge was told the window lets the pointer through
    std::optional<int> monitor;
    bool onActiveSpace = false; // "A", as of the last state
    bool visible = false;       // "V", as of the last state
};

// The window server on GNOME Shell, through the program's own shell extension (the bridge) on the
// session bus. Desktops are GNOME's workspaces, shared by every monitor; screens are monitors. A panel
// is an ordinary toplevel that the bridge finds by its title among this process's windows and places:
// on its workspace, above other windows, at its position. The bridge sends its whole state with every
// change, so the facts are current when a switch is announced.
class GnomeWindowServer final : public widgets::PanelHostingServer<GnomeWindowServer> {
public:
    using PanelState = gnome::PanelState;

    struct Options {
        Logger logger;
        QString programVersion;
    };

    // The backend on the running QGuiApplication, or none with the reason: the bridge missing, off or
    // of another version.
    static std::shared_ptr<GnomeWindowServer> create(const Options& options, QString* error);
    ~GnomeWindowServer() override;
    GnomeWindowServer(const GnomeWindowServer&) = delete;
    GnomeWindowServer& operator=(const GnomeWindowServer&) = delete;

    // --- WindowServer ---
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    QString switchTo(const DesktopPlace& place) override;
    QStringList desktopNames() const override { return state_.names; }
    bool canSetDesktopNames() const override { return true; }
    void setDesktopNames(const QStringList& names) override;

    // --- What tests, tools and the workspace read ---
    const BridgeState& state() const { return state_; }
    // The index of the panel's workspace today; none before it is bound or once its workspace is gone.
    std::optional<int> workspaceIndexOf(const Panel& panel) const;
    GnomeBridgeClient& bridge() { return *bridge_; }
    std::chrono::steady_clock::time_point lastSwitch() const { return lastSwitch_; }
    Signal<> stateChanged; // after every state the bridge sent, once panels and observers are told

    // --- For the panels of this backend ---
    // A drag by the shell has the window's place read back from the bridge until it is placed again.
    void adopt(PanelState& state);
    void forget(PanelState& state);
    bool shown(PanelState& state); // always true: the bridge places the window once it maps
    void hidden(PanelState& state);
    void place(PanelState& state);
    void applyAlpha(PanelState& state);
    void applyInput(PanelState& state);
    void focus(PanelState& state);
    QString titleOf(const PanelState& state) const { return state.marker; }
    std::optional<ScreenInfo> screenOf(const PanelState& state) const;
    QRectF toLogical(const QRect& layout) const;
    QRect toLayout(const QRectF& logical) const;

private:
    explicit GnomeWindowServer(Options options);
    bool start(QString* error);
    void apply(BridgeState next);
    void readAgain();
    std::optional<ScreenInfo> screenInfo(const MonitorInfo& monitor) const;
    const MonitorInfo* monitorAt(const QPoint& point) const;
    std::optional<DesktopPlace> placeOn(int index) const;
    PanelState* stateOf(const Panel& panel) const;

    Options options_;
    qint64 pid_ = 0;
    std::unique_ptr<GnomeBridgeClient> bridge_;
    std::unique_ptr<LogindWakeWatcher> wake_;
    std::vector<PanelState*> panels_; // creation order
    quint64 nextSerial_ = 1;
    BridgeState state_;
    std::chrono::steady_clock::time_point lastSwitch_;
    std::optional<QStringList> written_; // names sent to the bridge, until it reports them
};

// Why the GNOME backend cannot be used in this session, or empty when it can: a GNOME Shell session
// whose bridge answers. `isGnome` tells whether this is a GNOME session at all. Safe before any
// QGuiApplication exists.
QString sessionProblem(bool* isGnome);

} // namespace sm::gnome
