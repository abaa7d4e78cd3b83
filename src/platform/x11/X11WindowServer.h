#pragma once

#include "logging/Logger.h"
#include "platform/WindowServer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QRegion>
#include <QSet>

#include <cstdint>
#include <memory>
#include <vector>

class QScreen;
class QTimer;
struct xcb_connection_t;

namespace sm {
class LogindWakeWatcher;
}
namespace sm::widgets {
class PanelWindow;
}

namespace sm::x11 {

using widgets::PanelWindow;
class WindowServerEvents;
class I3WorkspaceLabels;
class I3Ipc;
class NativeWindows;
template <class Interface, class Window> class X11Panel;

// What the server knows about one panel window. The panel owns it; the server keeps a pointer while
// both live, so either may go first.
struct PanelState {
    Panel* panel = nullptr;
    QPointer<PanelWindow> window;
    quint64 serial = 0;
    std::uint32_t wid = 0; // the native window, once created
    bool bound = false;    // ordered front once: it belongs to a desktop
    bool orderedIn = false;
    // The desktop as the window manager last reported it; 0xFFFFFFFF is every desktop. Kept while the
    // window is withdrawn, when window managers drop the property.
    std::optional<std::uint32_t> desktop;
    // The desktop's name, read together with `desktop`: on i3 the index shifts as workspaces go, and a
    // name looked up later under an index read earlier can be another workspace's.
    QString desktopName;
    // The desktop this program put the window on: while desktops are being dropped, a label that the
    // window manager moved elsewhere has lost its own (see kDropMilliseconds).
    std::optional<std::uint32_t> placedOn;
    // A geometry change made between mapping and the window manager taking the window over can be lost:
    // the latest one is applied again once the window first shows.
    std::optional<QRect> geometryWhileMapping;
    std::optional<qint64> frameSetAt; // on the server's clock, where the manager slides on a switch
    bool seenViewable = false;
    // Ordered front on the current desktop and not yet mapped by the window manager: it counts as shown
    // there already, so that a new label is never laid out as one of another desktop in the meantime.
    bool mapping = false;
    bool takesFocus = true;     // false for labels: the window manager never offers them the keyboard
    bool onActiveSpace = false; // "A", as of the last refresh
    bool visible = false;       // "V", as of the last refresh
    // i3: the workspace of a label withdrawn because nothing else was left on it, until i3 has the label
    // back there. `parked` while it is withdrawn: an orderFront then only notes that it is wanted.
    std::optional<QString> parkedOn;
    bool parked = false;
};

// The window server on an X11 session with an EWMH window manager, on Qt's own xcb connection.
//
// The facts of every panel (A: its _NET_WM_DESKTOP equals the root's _NET_CURRENT_DESKTOP; V: its map
// state is viewable and it lies on a screen) are refreshed together, once the event queue has drained
// after any event that may change them: window managers order the desktop property and the label's
// own map events differently, so no single event tells the whole story. Handlers never wait for a
// reply (a window manager may hold a server grab while switching); the refresh pipelines its requests
// and waits once. The active-desktop notification is posted after the facts are current, then the
// per-panel changes.
class X11WindowServer final : public WindowServer, public std::enable_shared_from_this<X11WindowServer> {
public:
    static constexpr int kSettleMilliseconds = 20;
    // A manager that keeps the windows of hidden desktops mapped and marks them Iconic (muffin, mutter)
    // redraws before it updates WM_STATE, measured up to 200 ms after the desktop property under Xvfb.
    static constexpr int kIconicSettleMilliseconds = 500;
    static constexpr int kRemapCheckMilliseconds = 100;
    // fluxbox drops desktops one at a time, each time moving the windows down before it lowers the
    // count: a refresh between two steps reads the label of a desktop about to go on one that stays.
    // For this long after the count fell, desktops count as being dropped.
    static constexpr int kDropMilliseconds = 2000;
    // Cinnamon slides the desktops past on a switch (150 ms) and, as the slide ends, draws each window
    // where it stood when the slide began: a window moved meanwhile is drawn where it was and takes no
    // click there until it moves again. No event marks the end, so a timer this long from the last
    // switch seen sets such frames again, with a move the manager cannot take for no change.
    static constexpr int kSlideMilliseconds = 400;
    // The manager began its slide before the switch reached this program: frames set this long before
    // it count too.
    static constexpr int kSlideLeadMilliseconds = 100;

    struct Options {
        Logger logger;
        double windowManagerWaitSeconds = 10.0;
    };

    // The backend on the running QGuiApplication, or none with the reason in `error` (not an X11
    // session, no EWMH window manager within the wait).
    static std::shared_ptr<X11WindowServer> create(const Options& options, QString* error);
    ~X11WindowServer() override;
    X11WindowServer(const X11WindowServer&) = delete;
    X11WindowServer& operator=(const X11WindowServer&) = delete;

    // --- WindowServer ---
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::unique_ptr<LabelPanel> createLabelPanel(const QUuid& tagId) override;
    std::unique_ptr<EditorPanel> createEditorPanel() override;
    bool isLeftMouseButtonDown() const override;
    bool isApplicationActive() const override;
    // Desktops are known by number; on i3, whose numbers shift as workspaces come and go, by name.
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    // On i3 by number, renamed through its IPC: a title goes after the number ("2: Mail"), where
    // i3bar shows it and `workspace number 2` still finds the workspace.
    QStringList desktopNames() const override;
    bool canSetDesktopNames() const override { return !desktopsKnownByName_ || i3Ipc_ != nullptr; }
    bool mayRewriteDesktopNames() const override { return !desktopsKnownByName_; }
    void setDesktopNames(const QStringList& names) override;
    int desktopNameIndex(const DesktopPlace& place) const override;
    QString desktopNameShowing(const QString& own, const QString& title) const override;
    // The EWMH request, with the server's time of the request: focus-stealing prevention (i3's too)
    // weighs a request by it, and one stamped "now" (0) is taken as stale by some managers.
    QString switchTo(const DesktopPlace& place) override;

    // --- What tests and the benchmark read ---
    std::optional<std::uint32_t> currentDesktop() const { return currentDesktop_; }
    std::uint32_t desktopCount() const { return desktopCount_; }
    bool isCompositing() const { return compositing_; }
    // The desktop the window manager last reported for the panel.
    std::optional<std::uint32_t> desktopOf(const Panel& panel) const;
    // Runs a refresh now instead of when the queue drains.
    void refreshNow();

    QRectF toLogical(const QRect& native) const;
    QRect toNative(const QRectF& logical) const;

private:
    friend class WindowServerEvents;
    friend class I3WorkspaceLabels;
    template <class Interface, class Window> friend class X11Panel;
    friend class X11EditorPanel;

    // --- For the panels of this backend ---
    void adopt(PanelState& state);
    void forget(PanelState& state);
    // Puts the window on its desktop before it is mapped: the current one the first time, its own
    // one when it comes back after orderOut.
    void prepareMap(PanelState& state);
    // Asks the window manager to move a window shown again to its own desktop: one that was just
    // withdrawn may still lose the property set before mapping when the manager lets go of it late.
    void sendHome(const PanelState& state);
    // Qt marks a tool window transient for its client leader as it maps it. KWin then takes the labels
    // for transients of one group and puts every new one on the desktop of the first; openbox moves a
    // label that is no transient but still in the group along with the program's dialogs. Out of the
    // group before mapping and no transient after, a panel is a window of its own to both.
    void notTransient(const PanelState& state);
    // Without a compositor, translucent pixels show black: the window is cut to `opaque` (none: the
    // whole window), or to nothing while fully transparent.
    void applyShape(const PanelState& state, const std::optional<QRegion>& opaque, bool transparent);
    void setInputTransparent(const PanelState& state, bool transparent);
    // Runs `report`, during which the left button counts as down when `byDrag`: a move the user's drag
    // made is reported a turn later, when the server may already say the button is up.
    void reportMove(bool byDrag, const std::function<void()>& report);
    // The panel's frame was just set: a slide may undo it.
    void frameSet(PanelState& state);
    std::optional<ScreenInfo> screenInfo(const QScreen* screen) const;
    // XInput 2 raw button presses on the root: they arrive wherever the user clicks, also on a root
    // window that takes no focus and during another client's grab. Counted: each watcher turns it on
    // once and off once. pointerPressed follows, at most once per turn of the event loop.
    void watchPointerPresses(bool watch);
    Signal<> pointerPressed;
    void scheduleRefresh();

    explicit X11WindowServer(Options options);
    bool connectToDisplay(QString* error);
    bool waitForWindowManager(QString* error);
    void readWindowManagerName(std::uint32_t checkWindow);
    void openI3Ipc();
    std::optional<DesktopPlace> placeOn(std::uint32_t desktop, const std::optional<ScreenInfo>& screen,
                                        const std::optional<QString>& name = std::nullopt) const;
    void internAtoms();
    void selectRootEvents();
    void watchScreens();
    void screensMayHaveChanged();
    void refresh();
    void announce();
    void readRootState(std::uint32_t* current, std::uint32_t* count, QStringList* names,
                       std::uint32_t* active) const;
    quint32 displayNumberFor(const QString& name) const;
    bool checkCompositing() const;
    bool isOurs(std::uint32_t wid) const { return ourWindows_.contains(wid); }
    // Where a window that just showed does not stand where it was put, it is moved there.
    void placeAgain(std::uint32_t wid, const QRect& geometry);
    void mapAgainIfShown(std::uint32_t wid);
    void tellWhereIfLost(std::uint32_t wid);
    void framesAgainAfterSlide();

    // The switch waits for the server's time: the desktop to go to, until the clock window answers.
    void switchAt(std::uint32_t time);

    Options options_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t clockWindow_ = 0; // made on the first switch
    std::optional<std::uint32_t> switchWanted_;
    std::uint32_t root_ = 0;
    QHash<QByteArray, std::uint32_t> atoms_;
    std::unique_ptr<NativeWindows> windows_;
    std::unique_ptr<WindowServerEvents> events_;
    std::unique_ptr<I3WorkspaceLabels> i3Labels_; // on i3 only
    std::unique_ptr<I3Ipc> i3Ipc_;                // on i3, when it names its socket
    QSet<QString> reachedByName_;                 // i3 workspaces the bindings go to by name
    std::unique_ptr<LogindWakeWatcher> wake_;
    QTimer* refreshTimer_ = nullptr;
    QTimer* settleTimer_ = nullptr;
    QTimer* screensTimer_ = nullptr;
    QTimer* pressTimer_ = nullptr;
    QTimer* slideTimer_ = nullptr;
    std::uint8_t xinputOpcode_ = 0; // 0: no XInput, no press watching
    int pressWatchers_ = 0;
    std::unique_ptr<QObject> context_; // owns the timers and the screen connections

    std::vector<PanelState*> panels_; // creation order
    QSet<std::uint32_t> ourWindows_;
    quint64 nextSerial_ = 1;

    std::optional<std::uint32_t> currentDesktop_;
    std::uint32_t desktopCount_ = 0;
    QStringList desktopNames_;
    QString windowManagerName_;
    bool desktopsKnownByName_ = false;
    bool slidesOnSwitch_ = false;
    QElapsedTimer clock_;
    std::optional<qint64> slidesBegan_; // on clock_: the first switch since the last frames set again
    std::uint32_t activeWindow_ = 0;
    bool compositing_ = false;
    // Seen a panel mapped and viewable, yet Iconic: this manager hides windows by WM_STATE alone. Known
    // from the start on Cinnamon, whose first switches come before any label has been hidden.
    bool hidesByIconicState_ = false;
    // A switch is announced once every panel's facts agree with it, or after kSettleSeconds; the
    // panels' own changes wait for the announcement so that observers hear of the switch first.
    bool announcementPending_ = false;
    std::vector<quint64> heldVisibilityChanges_;
    mutable QHash<QString, quint32> displayNumbers_;
    bool reportingDragMove_ = false;
    QDeadlineTimer droppingDesktops_; // expired: no desktop dropped lately
};

// Why this program cannot use the X11 backend in this session, or an empty string when it can. Safe to
// call before any QGuiApplication exists: it looks at the environment and tries the display.
// `throughXwayland`: a Wayland session whose compositor also manages Xwayland's desktops (GNOME's) is
// accepted, on its Xwayland display; the caller then runs Qt on xcb.
QString sessionProblem(bool throughXwayland = false);

} // namespace sm::x11
