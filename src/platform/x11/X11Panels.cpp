#include "platform/x11/X11Panels.h"

#include "platform/widgets/FrontWindow.h"
#include "platform/x11/NativeWindows.h"

#include <QCursor>
#include <QScreen>
#include <QWindow>

namespace sm::x11 {

namespace {
// Runs `before` ahead of every press the window takes, its own or one the input catcher hands on.
class BeforePress final : public QObject {
public:
    BeforePress(QWidget* window, std::function<void()> before) : before_(std::move(before)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) before_();
        return false;
    }

private:
    std::function<void()> before_;
};
} // namespace

template <class I, class W>
X11Panel<I, W>::X11Panel(const std::shared_ptr<X11WindowServer>& server, W* window)
    : widgets::QtPanel<I, W>(window), server_(server) {
    state_.panel = this;
    state_.window = window;
    server->adopt(state_);
    // Notifications go out on a later turn, never from inside the call that moved the window.
    window_->onMoved = [this] {
        if (!catchingUp_) this->later([this] { report(this->moved); });
    };
    if constexpr (std::is_same_v<W, LabelWindow>)
        pressWatch_ = std::make_unique<BeforePress>(window_, [this] { standWhereTheServerHasIt(); });
}

template <class I, class W> X11Panel<I, W>::~X11Panel() {
    if (auto server = server_.lock()) server->forget(state_);
    QObject::disconnect(screenConnection_);
}

template <class I, class W> std::optional<ScreenInfo> X11Panel<I, W>::screen() const {
    const auto server = server_.lock();
    if (!server) return std::nullopt;
    return server->screenInfo(window_->screen());
}

template <class I, class W> QRectF X11Panel<I, W>::frame() const {
    if (animator_.frameTarget()) return *animator_.frameTarget();
    // Whole pixels cannot hold the frame the logic set; while the window is where that frame put it,
    // the frame is the one set.
    if (applied_ && applied_->second == window_->geometry()) return applied_->first;
    const auto server = server_.lock();
    return server ? server->toLogical(window_->geometry()) : QRectF();
}

template <class I, class W> void X11Panel<I, W>::applyFrame(const QRectF& frame) {
    const auto server = server_.lock();
    if (!server) return;
    const QRect native = server->toNative(frame);
    if (state_.orderedIn && !state_.seenViewable) state_.geometryWhileMapping = native;
    applied_ = {frame, native};
    window_->setGeometry(native);
    server->frameSet(state_);
}

template <class I, class W> void X11Panel<I, W>::applyAlpha(double alpha) {
    const bool shapeChanges = (shownAlpha_ == 0.0) != (alpha == 0.0);
    shownAlpha_ = alpha;
    window_->setWindowOpacity(alpha);
    if (shapeChanges) reshape();
}

template <class I, class W> void X11Panel<I, W>::setIgnoresMouseEvents(bool ignores) {
    ignoresMouse_ = ignores;
    if (const auto server = server_.lock()) server->setInputTransparent(state_, ignores);
    // Fluxbox takes the input shape's notification for the outline's: an input shape given back made
    // it drop the outline from its frame, which then took every click on the label's rectangle.
    reshape();
}

template <class I, class W> void X11Panel<I, W>::orderFront() {
    const auto server = server_.lock();
    if (!server) return;
    if (!state_.wid) {
        state_.wid = static_cast<std::uint32_t>(window_->winId());
        screenConnection_ =
            QObject::connect(window_->windowHandle(), &QWindow::screenChanged, window_, [this](QScreen*) {
                this->later([this] { report(this->screenChanged); });
            });
        server->adopt(state_); // now with its native window
    }
    if (state_.parked) { // withdrawn on i3: it comes back when its workspace is focused
        state_.orderedIn = true;
        if (applied_) state_.geometryWhileMapping = applied_->second;
        server->scheduleRefresh();
        return;
    }
    const bool returning = state_.bound && !state_.orderedIn;
    if (!state_.orderedIn) {
        server->prepareMap(state_);
        // i3 frames a window it maps where it had it before, or a title bar lower: the frame asked
        // for is applied again once the window shows.
        state_.seenViewable = false;
        if (applied_) state_.geometryWhileMapping = applied_->second;
    }
    state_.orderedIn = true;
    window_->show();
    server->notTransient(state_);
    if (returning) server->sendHome(state_);
    server->setInputTransparent(state_, ignoresMouse_);
    reshape();
    server->scheduleRefresh();
}

template <class I, class W> void X11Panel<I, W>::orderOut() {
    if (!state_.orderedIn) return;
    state_.orderedIn = false;
    state_.mapping = false;
    if (state_.parkedOn) state_.parked = true; // out, and no longer on its way back to its workspace
    window_->hide();
    pointerAreaChanged();
    if (const auto server = server_.lock()) server->scheduleRefresh();
}

// Qt lets a widget keep a place its window has left: seen on fluxbox, 18 px above a new label, for
// seconds. The widget is told where the window stands; the window does not move, so nobody is told.
template <class I, class W> void X11Panel<I, W>::standWhereTheServerHasIt() {
    const auto server = server_.lock();
    if (!server || !state_.wid) return;
    const auto actual = server->windows_->geometry(state_.wid);
    if (!actual || actual->topLeft() == window_->pos()) return;
    catchingUp_ = true;
    window_->move(actual->topLeft());
    catchingUp_ = false;
}

// A move or screen change that the user's drag caused is told as one, with the button down.
template <class I, class W> void X11Panel<I, W>::report(Signal<>& signal) {
    bool byDrag = false;
    if constexpr (std::is_same_v<W, LabelWindow>) byDrag = window_->isWhereDragged();
    if (const auto server = server_.lock())
        server->reportMove(byDrag, [&] { signal.emit(); });
    else
        signal.emit();
}

template <class I, class W> void X11Panel<I, W>::reshape() {
    const auto server = server_.lock();
    if (!server || !state_.wid) return;
    if constexpr (std::is_same_v<W, LabelWindow>)
        server->applyShape(state_, window_->opaqueRegion(), shownAlpha_ == 0.0);
    else
        server->applyShape(state_, std::nullopt, shownAlpha_ == 0.0);
    pointerAreaChanged();
}

template class X11Panel<LabelPanel, LabelWindow>;
template class X11Panel<EditorPanel, EditorWindow>;

X11LabelPanel::X11LabelPanel(const std::shared_ptr<X11WindowServer>& server, const QUuid& tagId)
    : X11Panel(server, new LabelWindow), tagId_(tagId) {
    state_.takesFocus = false;
    window_->onOpaqueRegionChange = [this] { reshape(); };
}

// Cut to its glyphs, the label catches clicks between them through a window of its own. A band or a
// compositor leaves the whole window clickable; a label that is invisible or ignores the mouse lets
// clicks through.
void X11LabelPanel::pointerAreaChanged() {
    const auto server = server_.lock();
    const LabelPresentation& shown = window_->presentation();
    const bool cut = server && !server->isCompositing() && !shown.showsBackgroundBand && !shown.hidesText;
    const bool takes = state_.wid && state_.orderedIn && shownAlpha_ > 0.0 && !ignoresMouse_;
    if (!catcher_ && cut && takes) catcher_ = std::make_unique<X11InputCatcher>(window_, state_.wid);
    if (catcher_) catcher_->setActive(cut && takes);
}

X11EditorPanel::X11EditorPanel(const std::shared_ptr<X11WindowServer>& server)
    : X11Panel(server, new EditorWindow) {}

X11EditorPanel::~X11EditorPanel() {
    watchPresses(false);
}

void X11EditorPanel::makeKeyAndOrderFront() {
    orderFront();
    widgets::bringToFront(window_); // an editor closed before it mapped never asks for the keyboard
    watchPresses(true);
}

void X11EditorPanel::orderOut() {
    watchPresses(false);
    X11Panel::orderOut();
}

void X11EditorPanel::watchPresses(bool watch) {
    const auto server = server_.lock();
    if (!server || watch == watching_) return;
    watching_ = watch;
    server->watchPointerPresses(watch);
    if (!watch) {
        pressWatch_.disconnect();
        return;
    }
    pressWatch_ = server->pointerPressed.connect([this] {
        // The pointer is read now, a moment after the press: a click is not that quick to move away.
        if (window_->isVisible() && !window_->frameGeometry().contains(QCursor::pos())) window_->leave();
    });
}

} // namespace sm::x11
