#include "support/sim/SimDesktop.h"

#include <algorithm>
#include <cmath>

namespace sm {

namespace {

// The lower-left corner: Qt's x()/y() read as y-up coordinates.
QPointF originOf(const QRectF& frame) {
    return {frame.x(), frame.y()};
}

double distance(const QRectF& rect, const QPointF& point) {
    const double dx = std::max({rect.x() - point.x(), 0.0, point.x() - (rect.x() + rect.width())});
    const double dy = std::max({rect.y() - point.y(), 0.0, point.y() - (rect.y() + rect.height())});
    return std::hypot(dx, dy);
}

// Keeps the panel's offset from its old screen's corner, then pulls it fully inside the new screen (as
// far as it fits), as the server does when it rescues windows from a vanished screen.
QRectF carriedFrame(const QRectF& frame, const std::optional<QRectF>& from, const QRectF& to) {
    QPointF origin = originOf(frame);
    if (from) origin += originOf(to) - originOf(*from);
    const double x = std::max(to.x(), std::min(origin.x(), to.x() + to.width() - frame.width()));
    const double y = std::max(to.y(), std::min(origin.y(), to.y() + to.height() - frame.height()));
    return {QPointF(x, y), frame.size()};
}

} // namespace

SimDesktop::SimDesktop(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}

SimDesktop::~SimDesktop() {
    // Panels may outlive the desktop (owned elsewhere); they keep their state but lose the server.
    for (auto* panel : panels_)
        panel->desktop = nullptr;
}

// --- Screens and desktops ----------------------------------------------------------------------------

void SimDesktop::attachScreen(const ScreenConfig& config) {
    if (findScreen(config.displayNumber) || config.desktopCount < 1) {
        qWarning("SimDesktop: cannot attach screen %u", config.displayNumber);
        return;
    }
    screens_.push_back(Screen{config, 0});
    if (!main_) main_ = config.displayNumber;
    post(&WindowServer::screensChanged);
    std::vector<quint64> moved;
    for (auto* panel : panels_)
        if (followScreen(*panel)) moved.push_back(panel->serial);
    catchUp(moved);
}

void SimDesktop::detachScreen(quint32 displayNumber, DetachPolicy policy) {
    const auto it = std::find_if(screens_.begin(), screens_.end(),
                                 [&](const Screen& s) { return s.config.displayNumber == displayNumber; });
    if (it == screens_.end()) {
        qWarning("SimDesktop: cannot detach unknown screen %u", displayNumber);
        return;
    }
    const QRectF goneFrame = it->config.frame;
    screens_.erase(it);
    const bool mainGone = main_ == displayNumber;
    if (mainGone)
        main_ =
            screens_.empty() ? std::nullopt : std::optional<quint32>(screens_.front().config.displayNumber);
    post(&WindowServer::screensChanged);
    if (mainGone && main_) post(&WindowServer::activeDesktopChanged);

    const Screen* target = main_ ? findScreen(*main_) : nullptr;
    std::vector<quint64> touched;
    for (auto* panel : panels_) {
        if (panel->screen != displayNumber) continue;
        touched.push_back(panel->serial);
        if (!target) {
            followScreen(*panel); // nowhere to go: no screen, no facts
            continue;
        }
        std::optional<int> desktop;
        if (panel->home)
            desktop = policy == DetachPolicy::PileOntoActive
                          ? target->activeDesktop
                          : std::clamp(panel->home->index, 0, target->config.desktopCount - 1);
        carryTo(*panel, *target, desktop, goneFrame);
    }
    catchUp(touched);
}

void SimDesktop::moveScreen(quint32 displayNumber, const QRectF& newFrame) {
    Screen* screen = findScreen(displayNumber);
    if (!screen) {
        qWarning("SimDesktop: cannot move unknown screen %u", displayNumber);
        return;
    }
    const QPointF shift = originOf(newFrame) - originOf(screen->config.frame);
    screen->config.frame = newFrame;
    post(&WindowServer::screensChanged);
    std::vector<quint64> changed;
    for (auto* panel : panels_)
        if (panel->screen == displayNumber && place(*panel, panel->frame.translated(shift)))
            changed.push_back(panel->serial);
    // The new arrangement may also cover panels of other screens.
    for (auto* panel : panels_)
        if (followScreen(*panel)) changed.push_back(panel->serial);
    catchUp(changed);
}

int SimDesktop::addDesktop(quint32 displayNumber) {
    Screen* screen = findScreen(displayNumber);
    return screen ? screen->config.desktopCount++ : -1;
}

void SimDesktop::removeDesktops(quint32 displayNumber, int count) {
    Screen* screen = findScreen(displayNumber);
    if (!screen || count < 1 || count >= screen->config.desktopCount) {
        qWarning("SimDesktop: cannot keep %d desktops on screen %u", count, displayNumber);
        return;
    }
    screen->config.desktopCount = count;
    std::vector<quint64> moved;
    for (auto* panel : panels_) {
        if (!panel->home || panel->home->displayNumber != displayNumber || panel->home->index < count)
            continue;
        panel->home->index = count - 1;
        moved.push_back(panel->serial);
        post(panel->serial, &Panel::desktopRemoved);
    }
    const bool userMoved = screen->activeDesktop >= count;
    if (userMoved) {
        screen->activeDesktop = count - 1;
        post(&WindowServer::activeDesktopChanged);
        for (const auto* panel : panels_)
            if (panel->home && panel->home->displayNumber == displayNumber) moved.push_back(panel->serial);
    }
    catchUp(moved);
}

void SimDesktop::switchDesktop(quint32 displayNumber, int index, const SwitchOptions& options) {
    Screen* screen = findScreen(displayNumber);
    if (!screen || index < 0 || index >= screen->config.desktopCount) {
        qWarning("SimDesktop: no desktop %d on screen %u", index, displayNumber);
        return;
    }
    const bool focusMoves = main_ != displayNumber;
    const int leaving = screen->activeDesktop;
    if (!focusMoves && leaving == index) return;
    main_ = displayNumber;
    screen->activeDesktop = index;
    // Scheduled before the catch-ups so that, with equal delays, the notification still comes first.
    later(options.notifyDelay, [this] { activeDesktopChanged.emit(); });
    if (leaving == index) return;

    std::vector<quint64> all, leavers, others;
    for (const auto* panel : panels_) {
        if (!panel->home || panel->home->displayNumber != displayNumber) continue;
        all.push_back(panel->serial);
        (panel->home->index == leaving ? leavers : others).push_back(panel->serial);
    }
    scheduleActiveCatchUp(all, options.activeLag);
    const double leaversAt =
        options.flap > 0.0 ? std::max(options.flap, options.visibleLag) : options.visibleLag;
    if (leaversAt == options.visibleLag) {
        scheduleVisibleCatchUp(all, options.visibleLag);
    } else {
        scheduleVisibleCatchUp(others, options.visibleLag);
        scheduleVisibleCatchUp(leavers, leaversAt);
    }
}

std::optional<DesktopPlace> SimDesktop::placeOf(const SimDesktopRef& ref) const {
    const Screen* screen = findScreen(ref.displayNumber);
    if (!screen || !screen->config.stableId) return std::nullopt;
    return DesktopPlace{*screen->config.stableId, ref.index, {}};
}

std::optional<DesktopPlace> SimDesktop::placeOf(const Panel& panel) const {
    const SimPanelState* state = stateOf(panel);
    return state && state->home ? placeOf(*state->home) : std::nullopt;
}

std::optional<DesktopPlace> SimDesktop::activePlace() const {
    const Screen* screen = main_ ? findScreen(*main_) : nullptr;
    return screen ? placeOf(SimDesktopRef{screen->config.displayNumber, screen->activeDesktop})
                  : std::nullopt;
}

std::optional<DesktopPlace> SimDesktop::locate(const DesktopPlace& place) const {
    const Screen* screen = findScreen(place.screenId);
    if (!screen || place.desktop < 0 || place.desktop >= screen->config.desktopCount) return std::nullopt;
    return placeOf(SimDesktopRef{screen->config.displayNumber, place.desktop});
}

QString SimDesktop::switchTo(const DesktopPlace& place) {
    switchRequests_ << place;
    if (!switchPolicy_.refusal.isEmpty()) return switchPolicy_.refusal;
    const Screen* screen = findScreen(place.screenId);
    if (!screen || place.desktop < 0 || place.desktop >= screen->config.desktopCount)
        return QStringLiteral("no such desktop");
    if (!switchPolicy_.ignores)
        later(switchPolicy_.delay, [this, display = screen->config.displayNumber, index = place.desktop] {
            switchDesktop(display, index);
        });
    return {};
}

void SimDesktop::bindToPlace(Panel& panel, const DesktopPlace& place) {
    SimPanelState* state = stateOf(panel);
    const Screen* screen = findScreen(place.screenId);
    if (!state || state->home || !screen || place.desktop < 0 || place.desktop >= screen->config.desktopCount)
        return;
    state->home = SimDesktopRef{screen->config.displayNumber, place.desktop};
}

const SimDesktop::Screen* SimDesktop::findScreen(const QString& stableId) const {
    for (const auto& s : screens_)
        if (s.config.stableId == stableId) return &s;
    return nullptr;
}

std::optional<int> SimDesktop::activeDesktop(quint32 displayNumber) const {
    const Screen* screen = findScreen(displayNumber);
    return screen ? std::optional<int>(screen->activeDesktop) : std::nullopt;
}

std::optional<int> SimDesktop::desktopCount(quint32 displayNumber) const {
    const Screen* screen = findScreen(displayNumber);
    return screen ? std::optional<int>(screen->config.desktopCount) : std::nullopt;
}

void SimDesktop::wake() {
    post(&WindowServer::didWake);
}

void SimDesktop::nameDesktops(const QStringList& names, bool writable) {
    desktopNames_ = names;
    namesWritable_ = writable;
    post(&WindowServer::desktopNamesChanged);
}

void SimDesktop::setDesktopNames(const QStringList& names) {
    if (namesWritable_) desktopNames_ = names;
}

// --- The server acting on panels ---------------------------------------------------------------------

void SimDesktop::relocatePanel(const QUuid& tagId, quint32 displayNumber, std::optional<int> desktop) {
    SimLabelPanel* panel = labelPanel(tagId);
    SimPanelState* state = panel ? stateOf(*panel) : nullptr;
    const Screen* target = findScreen(displayNumber);
    if (!state || !target) {
        qWarning("SimDesktop: cannot relocate that panel onto screen %u", displayNumber);
        return;
    }
    // A panel never shown has no desktop to move; it only changes place.
    std::optional<int> index;
    if (state->home)
        index = desktop ? std::clamp(*desktop, 0, target->config.desktopCount - 1) : target->activeDesktop;
    const Screen* from = state->screen ? findScreen(*state->screen) : nullptr;
    carryTo(*state, *target, index, from ? std::optional<QRectF>(from->config.frame) : std::nullopt);
    catchUp({state->serial});
}

void SimDesktop::forceFacts(Panel& panel, bool onActiveSpace, bool visible) {
    SimPanelState* state = stateOf(panel);
    if (!state) return;
    state->reportedOnActiveSpace = onActiveSpace;
    if (state->reportedVisible == visible) return;
    state->reportedVisible = visible;
    post(state->serial, &Panel::visibilityChanged);
}

// --- Pointer -----------------------------------------------------------------------------------------

void SimDesktop::dragLabel(const QUuid& tagId, const QList<QPointF>& origins, double secondsBetween) {
    leftButtonDown_ = true;
    dragStep(tagId, origins, 0, secondsBetween);
}

void SimDesktop::dragStep(const QUuid& tagId, QList<QPointF> origins, int step, double secondsBetween) {
    // Each step schedules the next, so the release comes after the last move's notification.
    later(secondsBetween, [this, tagId, origins = std::move(origins), step, secondsBetween] {
        if (step >= origins.size()) {
            leftButtonDown_ = false;
            return;
        }
        if (auto* panel = labelPanel(tagId)) panel->setFrameOrigin(origins[step]);
        dragStep(tagId, origins, step + 1, secondsBetween);
    });
}

// --- Inspection --------------------------------------------------------------------------------------

SimLabelPanel* SimDesktop::labelPanel(const QUuid& tagId) const {
    for (auto it = panels_.rbegin(); it != panels_.rend(); ++it)
        if (auto* label = dynamic_cast<SimLabelPanel*>((*it)->self); label && label->tagId() == tagId)
            return label;
    return nullptr;
}

QList<SimLabelPanel*> SimDesktop::labelPanels() const {
    QList<SimLabelPanel*> result;
    for (auto* panel : panels_)
        if (auto* label = dynamic_cast<SimLabelPanel*>(panel->self)) result.append(label);
    return result;
}

QList<SimEditorPanel*> SimDesktop::editorPanels() const {
    QList<SimEditorPanel*> result;
    for (auto* panel : panels_)
        if (auto* editor = dynamic_cast<SimEditorPanel*>(panel->self)) result.append(editor);
    return result;
}

std::optional<SimDesktopRef> SimDesktop::desktopOf(const Panel& panel) const {
    const SimPanelState* state = stateOf(panel);
    return state ? state->home : std::nullopt;
}

QList<QUuid> SimDesktop::presentLabels(quint32 displayNumber) const {
    QList<QUuid> result;
    for (const auto* panel : panels_) {
        auto* label = dynamic_cast<SimLabelPanel*>(panel->self);
        if (label && isTrulyPresent(*panel) && panel->home->displayNumber == displayNumber)
            result.append(label->tagId());
    }
    return result;
}

// --- WindowServer ------------------------------------------------------------------------------------

QList<ScreenInfo> SimDesktop::screens() const {
    QList<ScreenInfo> result;
    for (const auto& screen : screens_)
        result.append(*screenInfo(screen.config.displayNumber));
    return result;
}

std::optional<ScreenInfo> SimDesktop::mainScreen() const {
    return screenInfo(main_);
}

std::unique_ptr<LabelPanel> SimDesktop::createLabelPanel(const QUuid& tagId) {
    return std::make_unique<SimLabelPanel>(*this, queue_, tagId);
}

std::unique_ptr<EditorPanel> SimDesktop::createEditorPanel() {
    return std::make_unique<SimEditorPanel>(*this, queue_);
}

// --- Panel side --------------------------------------------------------------------------------------

void SimDesktop::adopt(SimPanelState& panel) {
    panel.serial = nextSerial_++;
    panel.screen = screenAt(panel.frame);
    panels_.push_back(&panel);
}

void SimDesktop::forget(SimPanelState& panel) {
    std::erase(panels_, &panel);
    if (keySerial_ == panel.serial) keySerial_ = 0;
}

std::optional<ScreenInfo> SimDesktop::screenInfo(std::optional<quint32> displayNumber) const {
    const Screen* screen = displayNumber ? findScreen(*displayNumber) : nullptr;
    if (!screen) return std::nullopt;
    const auto& c = screen->config;
    return ScreenInfo{c.reportsDisplayNumber ? std::optional<quint32>(c.displayNumber) : std::nullopt,
                      c.stableId, c.localizedName, c.frame};
}

void SimDesktop::setPanelFrame(SimPanelState& panel, const QRectF& frame) {
    if (place(panel, frame)) catchUp({panel.serial});
}

void SimDesktop::orderFront(SimPanelState& panel) {
    if (panel.orderedIn) return;
    panel.orderedIn = true;
    bindIfNeeded(panel);
    catchUp({panel.serial});
}

const Panel* SimDesktop::foundUnderLastOrderOut() const {
    const SimPanelState* found = findPanel(foundUnderLastOrderOut_);
    return found ? found->self : nullptr;
}

void SimDesktop::orderOut(SimPanelState& panel) {
    if (!panel.orderedIn) return;
    // Hiding is immediate, like an unmap: the window is gone before any lagging report.
    panel.orderedIn = false;
    foundUnderLastOrderOut_ = 0;
    for (const SimPanelState* other : panels_)
        if (other->orderedIn && other->alpha > 0.0 && !other->ignoresMouseEvents &&
            other->frame.contains(panel.frame.center()))
            foundUnderLastOrderOut_ = other->serial;
    if (keySerial_ == panel.serial) keySerial_ = 0;
    panel.reportedOnActiveSpace = false;
    if (!panel.reportedVisible) return;
    panel.reportedVisible = false;
    post(panel.serial, &Panel::visibilityChanged);
}

// --- Internals ---------------------------------------------------------------------------------------

const SimDesktop::Screen* SimDesktop::findScreen(quint32 displayNumber) const {
    for (const auto& screen : screens_)
        if (screen.config.displayNumber == displayNumber) return &screen;
    return nullptr;
}

SimDesktop::Screen* SimDesktop::findScreen(quint32 displayNumber) {
    return const_cast<Screen*>(std::as_const(*this).findScreen(displayNumber));
}

std::optional<quint32> SimDesktop::screenAt(const QRectF& frame) const {
    const QPointF centre = frame.center();
    const Screen* nearest = nullptr;
    double best = 0.0;
    for (const auto& screen : screens_) {
        const double d = distance(screen.config.frame, centre);
        if (!nearest || d < best) {
            nearest = &screen;
            best = d;
        }
    }
    return nearest ? std::optional<quint32>(nearest->config.displayNumber) : std::nullopt;
}

SimPanelState* SimDesktop::findPanel(quint64 serial) const {
    for (auto* panel : panels_)
        if (panel->serial == serial) return panel;
    return nullptr;
}

SimPanelState* SimDesktop::stateOf(const Panel& panel) const {
    for (auto* state : panels_)
        if (state->self == &panel) return state;
    return nullptr;
}

bool SimDesktop::isTrulyPresent(const SimPanelState& panel) const {
    if (!panel.orderedIn || !panel.home) return false;
    const Screen* screen = findScreen(panel.home->displayNumber);
    return screen && screen->activeDesktop == panel.home->index;
}

bool SimDesktop::place(SimPanelState& panel, const QRectF& frame) {
    const QPointF before = originOf(panel.frame);
    panel.frame = frame;
    if (originOf(frame) != before) post(panel.serial, &Panel::moved);
    return followScreen(panel);
}

bool SimDesktop::followScreen(SimPanelState& panel) {
    const auto now = screenAt(panel.frame);
    if (now == panel.screen) return false;
    panel.screen = now;
    post(panel.serial, &Panel::screenChanged);
    if (now && panel.home && panel.home->displayNumber != *now)
        panel.home = SimDesktopRef{*now, findScreen(*now)->activeDesktop};
    bindIfNeeded(panel);
    return true;
}

void SimDesktop::bindIfNeeded(SimPanelState& panel) {
    if (panel.home || !panel.orderedIn || !panel.screen) return;
    panel.home = SimDesktopRef{*panel.screen, findScreen(*panel.screen)->activeDesktop};
}

void SimDesktop::carryTo(SimPanelState& panel, const Screen& target, std::optional<int> desktop,
                         std::optional<QRectF> fromScreen) {
    if (desktop) panel.home = SimDesktopRef{target.config.displayNumber, *desktop};
    place(panel, carriedFrame(panel.frame, fromScreen, target.config.frame));
}

void SimDesktop::catchUp(const std::vector<quint64>& serials) {
    if (serials.empty()) return;
    scheduleActiveCatchUp(serials, defaults_.activeLag);
    scheduleVisibleCatchUp(serials, defaults_.visibleLag);
}

// Catch-ups read the truth when they run, not when scheduled: after quick successive switches the
// last state wins, as with the real server.
void SimDesktop::scheduleActiveCatchUp(std::vector<quint64> serials, double delay) {
    later(delay, [this, serials = std::move(serials)] {
        for (auto serial : serials)
            if (auto* panel = findPanel(serial)) panel->reportedOnActiveSpace = isTrulyPresent(*panel);
    });
}

void SimDesktop::scheduleVisibleCatchUp(std::vector<quint64> serials, double delay) {
    later(delay, [this, serials = std::move(serials)] {
        // Every fact changes first, then the notifications go out: an observer of one panel already
        // sees the others as they now are.
        for (auto serial : serials) {
            auto* panel = findPanel(serial);
            if (!panel || panel->reportedVisible == isTrulyPresent(*panel)) continue;
            panel->reportedVisible = !panel->reportedVisible;
            post(serial, &Panel::visibilityChanged);
        }
    });
}

void SimDesktop::later(double seconds, std::function<void()> work) {
    queue_->after(seconds, [alive = std::weak_ptr<char>(alive_), work = std::move(work)] {
        if (alive.lock()) work();
    });
}

void SimDesktop::post(Signal<> WindowServer::*signal) {
    later(0.0, [this, signal] { (this->*signal).emit(); });
}

void SimDesktop::post(quint64 serial, Signal<> Panel::*signal) {
    later(0.0, [this, serial, signal] {
        if (auto* panel = findPanel(serial)) (panel->self->*signal).emit();
    });
}

} // namespace sm
