#include "platform/kwin/KWinPanels.h"

#include <QWindow>

#include <cmath>

namespace sm::kwin {

template <class I, class W>
KWinPanel<I, W>::KWinPanel(const std::shared_ptr<KWinWindowServer>& server, W* window, bool takesFocus)
    : widgets::QtPanel<I, W>(window), server_(server) {
    state_.panel = this;
    state_.window = window;
    state_.takesFocus = takesFocus;
    server->adopt(state_);
    window_->setWindowTitle(server->titleOf(state_));
    // On Wayland only the compositor moves windows: a drag is handed to it, and the script reports
    // where it ended.
    window_->setMovesBySystem(true);
}

template <class I, class W> KWinPanel<I, W>::~KWinPanel() {
    if (auto server = server_.lock()) server->forget(state_);
}

template <class I, class W> std::optional<ScreenInfo> KWinPanel<I, W>::screen() const {
    const auto server = server_.lock();
    return server ? server->screenOf(state_) : std::nullopt;
}

template <class I, class W> QRectF KWinPanel<I, W>::frame() const {
    if (animator_.frameTarget()) return *animator_.frameTarget();
    const auto server = server_.lock();
    return server ? server->toLogical(state_.frame) : QRectF();
}

template <class I, class W> void KWinPanel<I, W>::applyFrame(const QRectF& frame) {
    const auto server = server_.lock();
    if (!server) return;
    const QRect global = server->toGlobal(frame);
    if (global == state_.frame) return;
    const bool movedOrigin = global.topLeft() != state_.frame.topLeft();
    state_.frame = global;
    window_->setGeometry(global); // the size is the client's; the position is KWin's, asked below
    server->place(state_);
    if (movedOrigin) this->later([this] { this->moved.emit(); });
}

// KWin blends the window with the opacity the script sets. An animation rings for a new placement only
// in steps of a tenth, and at its ends, so a fade costs a handful of round trips, not one per frame.
template <class I, class W> void KWinPanel<I, W>::applyAlpha(double alpha) {
    state_.alpha = alpha;
    applyInput();
    const double rung = state_.rungAlpha;
    if (std::abs(alpha - rung) >= 0.1 || ((alpha <= 0.0 || alpha >= 1.0) && alpha != rung)) {
        state_.rungAlpha = alpha;
        if (auto server = server_.lock()) server->place(state_);
    }
}

// A label that ignores the pointer, or is faded out entirely, takes no input: its input region is empty.
template <class I, class W> void KWinPanel<I, W>::applyInput() {
    const bool transparent = state_.ignoresInput || state_.alpha <= 0.0;
    if (QWindow* handle = window_->windowHandle())
        handle->setMask(transparent ? QRegion(-1, -1, 1, 1) : QRegion());
}

template <class I, class W> void KWinPanel<I, W>::setIgnoresMouseEvents(bool ignores) {
    state_.ignoresInput = ignores;
    applyInput();
}

template <class I, class W> void KWinPanel<I, W>::orderFront() {
    const auto server = server_.lock();
    if (!server || state_.orderedIn) return;
    server->shown(state_);
    window_->setWindowTitle(server->titleOf(state_));
    window_->show();
    applyInput();
}

template <class I, class W> void KWinPanel<I, W>::orderOut() {
    if (!state_.orderedIn) return;
    window_->hide();
    if (const auto server = server_.lock()) server->hidden(state_);
}

template class KWinPanel<LabelPanel, widgets::LabelWindow>;
template class KWinPanel<EditorPanel, widgets::EditorWindow>;

KWinLabelPanel::KWinLabelPanel(const std::shared_ptr<KWinWindowServer>& server, const QUuid& tagId)
    : KWinPanel(server, new widgets::LabelWindow, false), tagId_(tagId) {}

KWinEditorPanel::KWinEditorPanel(const std::shared_ptr<KWinWindowServer>& server)
    : KWinPanel(server, new widgets::EditorWindow, true) {}

void KWinEditorPanel::makeKeyAndOrderFront() {
    state_.focusWanted = true;
    if (state_.orderedIn) {
        if (auto server = server_.lock()) server->place(state_);
    } else {
        orderFront();
    }
}

} // namespace sm::kwin
