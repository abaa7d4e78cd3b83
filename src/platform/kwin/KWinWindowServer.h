#pragma once

#include "logging/Logger.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "platform/kwin/KWinDesktops.h"
#include "platform/widgets/HostedPanel.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <chrono>
#include <memory>
#include <vector>

class QDBusMessage;

namespace sm {
class LogindWakeWatcher;
}

namespace sm::kwin {

class KWinWorkspace;

// What the server knows about one panel window. The panel owns it; the server keeps a pointer while
// both live.
struct PanelState {
    Panel* panel = nullptr;
    QPointer<widgets::PanelWindow> window;
    quint64 serial = 0;
    quint64 generation = 0; // bumped in the title when the script is to read the placement again
    bool takesFocus = false;
    QString desktopId; // where it belongs, once bound
    bool bound = false;
    bool orderedIn = false;
    bool mapped = false; // KWin reported the window
    QString shownOn;     // the desktop current when it was last ordered in: KWin gives the new window that one
    bool leftBeforeMapped = false; // that desktop was left before KWin reported the window
    QString placedOn;    // the desktop KWin last reported it on
    QRect frame;         // KWin's coordinates: top left, y down
    QRect reportedFrame;
    double alpha = 1.0;
    double rungAlpha = 1.0; // the alpha of the last placement rung for
    bool ignoresInput = false;
    bool focusWanted = false;
    bool onActiveSpace = false; // "A"
    bool visible = false;       // "V"
    std::optional<QString> screenName;
};

class KWinWindowServer;

// Receives KWin's signals (the slots need the meta-object system).
class KWinSignals final : public QObject {
    Q_OBJECT
public:
    explicit KWinSignals(KWinWindowServer& server) : server_(server) {}
public Q_SLOTS:
    void currentChanged(const QString& id);
    void desktopsMayHaveChanged(const QDBusMessage& message);

private:
    KWinWindowServer& server_;
};

// The window server on KWin under Wayland. Desktops, their names and the current one come from KWin's
// VirtualDesktopManager on the session bus, as signals. A Wayland client cannot place its own windows,
// so a small KWin script, loaded at start, places them: it asks this program (the bridge object on the
// bus) where each of its windows belongs, and reports where KWin put them and which window is in front.
// The program rings for a new placement by changing the window's title; nothing polls.
class KWinWindowServer final : public widgets::PanelHostingServer<KWinWindowServer> {
public:
    using PanelState = kwin::PanelState;

    struct Options {
        Logger logger;
        QString scriptDirectory; // where the script is written for KWin to load; private to the user
    };

    static std::shared_ptr<KWinWindowServer> create(const Options& options, QString* error);
    ~KWinWindowServer() override;
    KWinWindowServer(const KWinWindowServer&) = delete;
    KWinWindowServer& operator=(const KWinWindowServer&) = delete;

    // --- WindowServer ---
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    QString switchTo(const DesktopPlace& place) override;
    QStringList desktopNames() const override;
    bool canSetDesktopNames() const override { return true; }
    void setDesktopNames(const QStringList& names) override;

    // --- What tests, tools and the workspace read ---
    const QList<Desktop>& desktops() const { return desktops_; }
    QString currentDesktop() const { return current_; }
    std::optional<QString> desktopOf(const Panel& panel) const;
    // Where KWin itself says the window is: its desktop id and frame; none before the script reported.
    std::optional<std::pair<QString, QRect>> reportedPlace(const Panel& panel) const;
    // When KWin's last currentChanged was read (the start of a switch's latency).
    std::chrono::steady_clock::time_point lastSwitchSignal() const { return lastSwitch_; }
    std::shared_ptr<Workspace> workspace() const;

    // --- For the panels of this backend ---
    // The script reports where a drag ended: the window needs nothing more.
    void adopt(PanelState& state);
    void forget(PanelState& state);
    bool shown(PanelState& state); // always true: the script places the window once KWin has it
    void hidden(PanelState& state);
    void place(PanelState& state); // rings for the script to place it again
    void applyAlpha(PanelState& state);
    void applyInput(PanelState& state);
    void focus(PanelState& state);
    QString titleOf(const PanelState& state) const;
    std::optional<ScreenInfo> screenOf(const PanelState& state) const;
    QRectF toLogical(const QRect& global) const;
    QRect toLayout(const QRectF& logical) const;

    // --- From KWin ---
    void currentChanged(const QString& id);
    void readDesktops();
    // The bridge's methods, called by the script.
    QString placement(const QString& caption, qint64 pid);
    void report(const QString& caption, qint64 pid, const QString& desktopId, int number, const QRect& frame);
    void closed(const QString& caption, qint64 pid);
    void activated(const QString& caption, const QString& resourceClass, const QString& desktopFile,
                   qint64 pid);

    static constexpr char kService[] = "org.spacemarquee.Spacemarquee";
    static constexpr char kBridgePath[] = "/KWinBridge";
    static constexpr char kBridgeInterface[] = "org.spacemarquee.KWinBridge";
    static constexpr char kScriptName[] = "spacemarquee";

private:
    explicit KWinWindowServer(Options options);
    bool start(QString* error);
    bool loadScript(QString* error);
    void unloadScript();
    void recompute(bool desktopChanged);
    PanelState* stateOf(const Panel& panel) const;
    PanelState* stateForCaption(const QString& caption, qint64 pid) const;
    const Desktop* desktopById(const QString& id) const;
    const Desktop* desktopOfPlace(const DesktopPlace& place) const;
    std::optional<DesktopPlace> placeOn(const Desktop* desktop) const;
    std::optional<ScreenInfo> screenInfo(int index) const;

    Options options_;
    qint64 pid_ = 0;
    QDBusConnection bus_;
    std::unique_ptr<KWinSignals> signals_;
    std::unique_ptr<QObject> context_;
    class Bridge;
    std::unique_ptr<Bridge> bridge_;
    std::unique_ptr<LogindWakeWatcher> wake_;
    std::shared_ptr<KWinWorkspace> workspace_;
    bool scriptLoaded_ = false;

    std::vector<PanelState*> panels_;
    quint64 nextSerial_ = 1;
    QList<Desktop> desktops_;
    QString current_;
    QHash<QString, QString> namesSet_; // desktop id → a name this program set, until KWin echoes it
    std::chrono::steady_clock::time_point lastSwitch_;
};

// Why the KWin backend cannot be used in this session, or an empty string when it can: WAYLAND_DISPLAY
// set and KWin answering on the session bus. Safe before any QGuiApplication exists.
QString sessionProblem();

} // namespace sm::kwin
