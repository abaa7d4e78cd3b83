#include "platform/x11/X11Panels.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace sm::x11 {

namespace {
// Runs `work` on a later turn of the loop, whatever happens to the panel meanwhile.
void postToMain(std::function<void()> work) {
    if (work) QTimer::singleShot(0, qApp, std::move(work));
}

QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    return {a.x() + (b.x() - a.x()) * t, a.y() + (b.y() - a.y()) * t, a.width() + (b.width() - a.width()) * t,
            a.height() + (b.height() - a.height()) * t};
}
} // namespace

template <class I, class W>
X11Panel<I, W>::X11Panel(const std::shared_ptr<X11WindowServer>& server, W* window)
    : server_(server), window_(window) {
    state_.panel = this;
    state_.window = window;
    server->adopt(state_);
    // Notifications go out on a later turn, never from inside the call that moved the window.
    window_->onMoved = [this] {
        postToMain([panel = QPointer<W>(window_), this] {
            if (panel) this->moved.emit();
        });
    };
}

template <class I, class W> X11Panel<I, W>::~X11Panel() {
    stopAnimation();
    if (auto server = server_.lock()) server->forget(state_);
    QObject::disconnect(screenConnection_);
    window_->onMoved = nullptr;
    window_->hide();
    window_->deleteLater();
}

template <class I, class W> std::optional<ScreenInfo> X11Panel<I, W>::screen() const {
    const auto server = server_.lock();
    if (!server) return std::nullopt;
    return server->screenInfo(window_->screen());
}

template <class I, class W> QRectF X11Panel<I, W>::frame() const {
    const auto server = server_.lock();
    return server ? server->toLogical(window_->geometry()) : QRectF();
}

template <class I, class W> void X11Panel<I, W>::applyFrame(const QRectF& frame) {
    if (const auto server = server_.lock()) window_->setGeometry(server->toNative(frame));
}

template <class I, class W> void X11Panel<I, W>::setFrameOrigin(const QPointF& origin) {
    stopAnimation();
    applyFrame(QRectF(origin, frame().size()));
}

template <class I, class W> void X11Panel<I, W>::setFrame(const QRectF& frame) {
    stopAnimation();
    applyFrame(frame);
}

template <class I, class W> void X11Panel<I, W>::applyAlpha(double alpha) {
    const bool shapeChanges = (alpha_ == 0.0) != (alpha == 0.0);
    alpha_ = alpha;
    window_->setWindowOpacity(alpha);
    if (shapeChanges) reshape();
}

template <class I, class W> void X11Panel<I, W>::setAlpha(double alpha) {
    stopAnimation();
    applyAlpha(alpha);
}

template <class I, class W>
void X11Panel<I, W>::animate(const std::optional<QRectF>& target, double alpha, double seconds,
                             std::function<void()> completion) {
    stopAnimation();
    if (seconds <= 0.0) {
        if (target) applyFrame(*target);
        applyAlpha(alpha);
        postToMain(std::move(completion));
        return;
    }
    const QRectF from = frame();
    const double fromAlpha = alpha_;
    animationCompletion_ = std::move(completion);
    animation_ = new QVariantAnimation(window_);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(static_cast<int>(seconds * 1000.0));
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(animation_, &QVariantAnimation::valueChanged, window_, [=, this](const QVariant& v) {
        const double t = v.toDouble();
        if (target) applyFrame(lerp(from, *target, t));
        applyAlpha(fromAlpha + (alpha - fromAlpha) * t);
    });
    QObject::connect(animation_, &QVariantAnimation::finished, window_, [this] {
        animation_->deleteLater();
        animation_ = nullptr;
        postToMain(std::exchange(animationCompletion_, nullptr));
    });
    animation_->start();
}

// An animation cut short still reports completion, as a finished one would.
template <class I, class W> void X11Panel<I, W>::stopAnimation() {
    if (!animation_) return;
    QVariantAnimation* running = std::exchange(animation_, nullptr);
    running->disconnect(window_);
    running->stop();
    running->deleteLater();
    postToMain(std::exchange(animationCompletion_, nullptr));
}

template <class I, class W> void X11Panel<I, W>::setIgnoresMouseEvents(bool ignores) {
    ignoresMouse_ = ignores;
    if (const auto server = server_.lock()) server->setInputTransparent(state_, ignores);
}

template <class I, class W> void X11Panel<I, W>::orderFront() {
    const auto server = server_.lock();
    if (!server) return;
    if (!state_.wid) {
        state_.wid = static_cast<std::uint32_t>(window_->winId());
        screenConnection_ = QObject::connect(window_->windowHandle(), &QWindow::screenChanged, window_,
                                             [this](QScreen*) {
                                                 postToMain([panel = QPointer<W>(window_), this] {
                                                     if (panel) this->screenChanged.emit();
                                                 });
                                             });
        server->adopt(state_); // now with its native window
    }
    if (!state_.orderedIn) server->prepareMap(state_);
    state_.orderedIn = true;
    window_->show();
    server->setInputTransparent(state_, ignoresMouse_);
    reshape();
    server->scheduleRefresh();
}

template <class I, class W> void X11Panel<I, W>::orderOut() {
    if (!state_.orderedIn) return;
    state_.orderedIn = false;
    window_->hide();
    if (const auto server = server_.lock()) server->scheduleRefresh();
}

template <class I, class W> void X11Panel<I, W>::reshape() {
    const auto server = server_.lock();
    if (!server || !state_.wid) return;
    if constexpr (std::is_same_v<W, LabelWindow>)
        server->applyShape(state_, window_->opaqueRegion(), alpha_ == 0.0);
    else
        server->applyShape(state_, std::nullopt, alpha_ == 0.0);
}

template class X11Panel<LabelPanel, LabelWindow>;
template class X11Panel<EditorPanel, EditorWindow>;

X11LabelPanel::X11LabelPanel(const std::shared_ptr<X11WindowServer>& server, const QUuid& tagId)
    : X11Panel(server, new LabelWindow), tagId_(tagId) {
    window_->onOpaqueRegionChange = [this] { reshape(); };
}

X11LabelPanel::~X11LabelPanel() {
    // Late events of the window must not reach the overlay through a gone panel.
    window_->onOpaqueRegionChange = nullptr;
    window_->onClick = nullptr;
    window_->onSizeChange = nullptr;
    window_->menuProvider = nullptr;
    window_->onMenuAction = nullptr;
}

X11EditorPanel::X11EditorPanel(const std::shared_ptr<X11WindowServer>& server)
    : X11Panel(server, new EditorWindow) {}

X11EditorPanel::~X11EditorPanel() {
    window_->onDraftChange = nullptr;
    window_->onCommit = nullptr;
    window_->onSizeChange = nullptr;
}

void X11EditorPanel::makeKeyAndOrderFront() {
    orderFront();
    window_->raise();
    window_->activateWindow();
}

} // namespace sm::x11
