#include "platform/sway/SwayPanels.h"

namespace sm::sway {

template <class I, class W>
SwayPanel<I, W>::SwayPanel(const std::shared_ptr<SwayWindowServer>& server, W* window, bool takesFocus)
    : widgets::QtPanel<I, W>(window), server_(server) {
    state_.panel = this;
    state_.window = window;
    state_.takesFocus = takesFocus;
    server->adopt(state_);
    window_->setWindowTitle(state_.marker);
    // On Wayland only the compositor moves windows: a drag is handed to it and its result read back.
    window_->setMovesBySystem(true);
    window_->onSystemMoveStarted = [this] {
        if (auto s = server_.lock()) s->followSystemMove();
    };
    window_->onPointerEntered = window_->onSystemMoveStarted;
}

template <class I, class W> SwayPanel<I, W>::~SwayPanel() {
    if (auto server = server_.lock()) server->forget(state_);
}

template <class I, class W> std::optional<ScreenInfo> SwayPanel<I, W>::screen() const {
    const auto server = server_.lock();
    return server ? server->screenOf(state_) : std::nullopt;
}

template <class I, class W> QRectF SwayPanel<I, W>::frame() const {
    if (animator_.frameTarget()) return *animator_.frameTarget();
    const auto server = server_.lock();
    return server ? server->toLogical(state_.frame) : QRectF();
}

template <class I, class W> void SwayPanel<I, W>::applyFrame(const QRectF& frame) {
    const auto server = server_.lock();
    if (!server) return;
    const QRect layout = server->toLayout(frame);
    if (layout == state_.frame) return;
    const bool movedOrigin = layout.topLeft() != state_.frame.topLeft();
    state_.frame = layout;
    window_->setGeometry(layout); // Qt keeps the position for itself; sway is told below
    server->place(state_);
    if (movedOrigin) this->later([this] { this->moved.emit(); });
}

template <class I, class W> void SwayPanel<I, W>::applyAlpha(double alpha) {
    state_.alpha = alpha;
    if (auto server = server_.lock()) server->applyAlpha(state_);
}

template <class I, class W> void SwayPanel<I, W>::setIgnoresMouseEvents(bool ignores) {
    state_.ignoresInput = ignores;
    if (const auto server = server_.lock()) server->applyInput(state_);
}

template <class I, class W> void SwayPanel<I, W>::orderFront() {
    const auto server = server_.lock();
    if (!server || state_.orderedIn) return;
    window_->setWindowTitle(state_.marker);
    if (server->shown(state_)) window_->show();
    server->applyInput(state_);
}

template <class I, class W> void SwayPanel<I, W>::orderOut() {
    if (!state_.orderedIn) return;
    window_->hide();
    if (const auto server = server_.lock()) server->hidden(state_);
}

template class SwayPanel<LabelPanel, widgets::LabelWindow>;
template class SwayPanel<EditorPanel, widgets::EditorWindow>;

SwayLabelPanel::SwayLabelPanel(const std::shared_ptr<SwayWindowServer>& server, const QUuid& tagId)
    : SwayPanel(server, new widgets::LabelWindow, false), tagId_(tagId) {}

SwayEditorPanel::SwayEditorPanel(const std::shared_ptr<SwayWindowServer>& server)
    : SwayPanel(server, new widgets::EditorWindow, true) {}

void SwayEditorPanel::makeKeyAndOrderFront() {
    orderFront();
    if (auto server = server_.lock()) server->focus(state_); // again, when it is placed already
}

} // namespace sm::sway
