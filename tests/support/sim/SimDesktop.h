#pragma once

#include "platform/MainQueue.h"
#include "platform/WindowServer.h"
#include "support/sim/SimPanel.h"

#include <memory>
#include <optional>
#include <vector>

namespace sm {

// A deterministic window server for stories on virtual time. It models what makes the real one hard:
// - every screen has its own ordered desktops and one active desktop; the main screen is the one the
//   user last switched on;
// - a panel joins the active desktop of its screen when first ordered front and stays there, unless
//   it is moved onto another screen (it then joins that screen's active desktop) or the server
//   relocates it;
// - a panel's "on active desktop" (A) and "visible" (V) facts are reported with a lag, and a desktop
//   switch is announced before they change; the leaving desktop's panels may stay visible a moment;
// - screens come and go and move, and the server carries panels along, possibly piling them up.
// Every notification is posted on the main queue, never sent from inside the call that caused it.
// After building the desktop, drain the queue before wiring observers, or the setup notifications
// (screensChanged, moved, ...) reach them.
class SimDesktop final : public WindowServer {
public:
    struct ScreenConfig {
        quint32 displayNumber = 0;
        std::optional<QString> stableId;
        QString localizedName;
        QRectF frame; // bottom-left origin, y up
        int desktopCount = 1;
        bool reportsDisplayNumber = true; // false: screens() omits it, as a display without a number
    };

    struct SwitchOptions {
        double notifyDelay = 0.0; // activeDesktopChanged
        double activeLag = 0.05;  // A catches up
        double visibleLag = 0.1;  // V catches up, with visibilityChanged
        double flap = 0.0;        // > 0: the leaving desktop's panels stay V until max(flap, visibleLag)
    };

    enum class DetachPolicy {
        PileOntoActive,   // every panel lands on the active desktop of the receiving screen
        KeepDesktopIndex, // each keeps its desktop index, clamped to the receiving screen's count
    };

    explicit SimDesktop(std::shared_ptr<MainQueue> queue);
    ~SimDesktop() override;
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // --- Screens and desktops ------------------------------------------------------------------------
    // The first screen becomes the main screen. Posts screensChanged.
    void attachScreen(const ScreenConfig& config);
    // Moves the screen's panels to the main (else first remaining) screen. Posts screensChanged, then
    // activeDesktopChanged if the main screen went, then the panels' moved/screenChanged; their facts
    // follow after the default lags.
    void detachScreen(quint32 displayNumber, DetachPolicy policy);
    // Rearranges a screen; its panels keep their place on it. Posts screensChanged and moved.
    void moveScreen(quint32 displayNumber, const QRectF& newFrame);
    // Appends a desktop to the screen and returns its index (-1 for an unknown screen).
    int addDesktop(quint32 displayNumber);
    // Drops the screen's desktops from `count` on. Like a window manager, it moves their panels onto
    // the last remaining desktop, and the user too when on a dropped one. Posts each moved panel's
    // desktopRemoved, then activeDesktopChanged when the user moved; the facts follow after the lags.
    void removeDesktops(quint32 displayNumber, int count);
    // The user switches that screen to desktop `index`; that screen becomes the main screen.
    void switchDesktop(quint32 displayNumber, int index) { switchDesktop(displayNumber, index, defaults_); }
    void switchDesktop(quint32 displayNumber, int index, const SwitchOptions& options);
    // Their lags also time the facts after orderFront, moves across screens and relocations.
    void setDefaultSwitchOptions(const SwitchOptions& options) { defaults_ = options; }
    std::optional<int> activeDesktop(quint32 displayNumber) const;
    std::optional<int> desktopCount(quint32 displayNumber) const;
    void wake(); // posts didWake
    // The window manager (re)names its desktops, in desktop order, and says whether others may; posts
    // desktopNamesChanged.
    void nameDesktops(const QStringList& names, bool writable = true);

    // --- The server acting on panels -----------------------------------------------------------------
    // Moves the panel onto that screen (keeping its offset, clamped inside) and onto `desktop`, or the
    // screen's active desktop; notifications and facts as for a detach.
    void relocatePanel(const QUuid& tagId, quint32 displayNumber, std::optional<int> desktop = std::nullopt);
    // Overrides the reported facts until the next catch-up touches the panel; posts visibilityChanged
    // when V changes.
    void forceFacts(Panel& panel, bool onActiveSpace, bool visible);

    // --- Pointer and application ---------------------------------------------------------------------
    void setLeftMouseButtonDown(bool down) { leftButtonDown_ = down; }
    // Presses the button now, moves the label to origins[k] at (k + 1) × secondsBetween and releases
    // the button one interval after the last move, all on the queue.
    void dragLabel(const QUuid& tagId, const QList<QPointF>& origins, double secondsBetween);

    // --- Switches asked for through switchTo ------------------------------------------------------------
    // How the server answers: it switches after `delay`, as the user's own switch would; or it refuses
    // with `refusal`; or (`ignores`) it takes the request and never switches.
    struct SwitchPolicy {
        double delay = 0.05;
        QString refusal;
        bool ignores = false;
    };
    void setSwitchPolicy(const SwitchPolicy& policy) { switchPolicy_ = policy; }
    const QList<DesktopPlace>& switchRequests() const { return switchRequests_; }

    // --- Inspection ----------------------------------------------------------------------------------
    // The newest live label panel of that tag, or nullptr.
    SimLabelPanel* labelPanel(const QUuid& tagId) const;
    QList<SimLabelPanel*> labelPanels() const; // creation order
    QList<SimEditorPanel*> editorPanels() const;
    // The desktop the panel belongs to; none before it was first ordered front.
    std::optional<SimDesktopRef> desktopOf(const Panel& panel) const;
    // The tags whose panels truly sit, ordered in, on that screen's active desktop (creation order).
    QList<QUuid> presentLabels(quint32 displayNumber) const;
    // What a compositor that looks under a still pointer only when the window over it goes (mutter on
    // X11) found under the middle of the panel that was last ordered out: the newest panel there that
    // shows and takes the pointer, or nullptr.
    const Panel* foundUnderLastOrderOut() const;

    // --- WindowServer --------------------------------------------------------------------------------
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    std::unique_ptr<LabelPanel> createLabelPanel(const QUuid& tagId) override;
    std::unique_ptr<EditorPanel> createEditorPanel() override;
    bool isLeftMouseButtonDown() const override { return leftButtonDown_; }
    bool isApplicationActive() const override { return false; }
    // Desktops are known by number; screens by their stable id.
    std::optional<DesktopPlace> placeOf(const Panel& panel) const override;
    std::optional<DesktopPlace> activePlace() const override;
    std::optional<DesktopPlace> locate(const DesktopPlace& place) const override;
    void bindToPlace(Panel& panel, const DesktopPlace& place) override;
    QStringList desktopNames() const override { return desktopNames_; }
    bool canSetDesktopNames() const override { return namesWritable_; }
    void setDesktopNames(const QStringList& names) override;
    QString switchTo(const DesktopPlace& place) override;

private:
    template <class> friend class SimPanel;
    friend class SimEditorPanel;

    struct Screen {
        ScreenConfig config;
        int activeDesktop = 0;
    };

    // Panel side.
    void adopt(SimPanelState& panel);
    void forget(SimPanelState& panel);
    std::optional<ScreenInfo> screenInfo(std::optional<quint32> displayNumber) const;
    void setPanelFrame(SimPanelState& panel, const QRectF& frame);
    void orderFront(SimPanelState& panel);
    void orderOut(SimPanelState& panel);
    void makeKey(SimPanelState& panel) { keySerial_ = panel.serial; }
    bool isKey(const SimPanelState& panel) const { return keySerial_ == panel.serial; }

    const Screen* findScreen(quint32 displayNumber) const;
    const Screen* findScreen(const QString& stableId) const;
    std::optional<DesktopPlace> placeOf(const SimDesktopRef& ref) const;
    Screen* findScreen(quint32 displayNumber);
    std::optional<quint32> screenAt(const QRectF& frame) const;
    SimPanelState* findPanel(quint64 serial) const;
    SimPanelState* stateOf(const Panel& panel) const;
    bool isTrulyPresent(const SimPanelState& panel) const;

    // Moves the panel, posting moved and screenChanged; returns whether its screen changed.
    bool place(SimPanelState& panel, const QRectF& frame);
    // Follows the frame's screen: a bound panel that lands on another screen joins its active desktop.
    bool followScreen(SimPanelState& panel);
    void bindIfNeeded(SimPanelState& panel);
    void carryTo(SimPanelState& panel, const Screen& target, std::optional<int> desktop,
                 std::optional<QRectF> fromScreen);
    void catchUp(const std::vector<quint64>& serials); // after the default lags
    void scheduleActiveCatchUp(std::vector<quint64> serials, double delay);
    void scheduleVisibleCatchUp(std::vector<quint64> serials, double delay);
    void dragStep(const QUuid& tagId, QList<QPointF> origins, int step, double secondsBetween);

    // Queue work that does nothing once this desktop is gone.
    void later(double seconds, std::function<void()> work);
    void post(Signal<> WindowServer::*signal);
    void post(quint64 serial, Signal<> Panel::*signal);

    std::shared_ptr<MainQueue> queue_;
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    std::vector<Screen> screens_; // attach order
    std::optional<quint32> main_;
    std::vector<SimPanelState*> panels_; // creation order
    quint64 nextSerial_ = 1;
    quint64 keySerial_ = 0;
    SwitchPolicy switchPolicy_;
    QList<DesktopPlace> switchRequests_;
    bool leftButtonDown_ = false;
    SwitchOptions defaults_;
    QStringList desktopNames_;
    bool namesWritable_ = false;
    quint64 foundUnderLastOrderOut_ = 0;
};

} // namespace sm
