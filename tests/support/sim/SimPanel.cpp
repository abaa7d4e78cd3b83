#include "support/sim/SimPanel.h"

#include "support/sim/SimDesktop.h"

namespace sm {

template <class Interface>
SimPanel<Interface>::SimPanel(SimDesktop& desktop, std::shared_ptr<MainQueue> queue) {
    state_.desktop = &desktop;
    state_.queue = std::move(queue);
    state_.self = this;
    desktop.adopt(state_);
}

template <class Interface> SimPanel<Interface>::~SimPanel() {
    if (state_.desktop) state_.desktop->forget(state_);
}

template <class Interface> std::optional<ScreenInfo> SimPanel<Interface>::screen() const {
    return state_.desktop ? state_.desktop->screenInfo(state_.screen) : std::nullopt;
}

template <class Interface> void SimPanel<Interface>::setFrameOrigin(const QPointF& origin) {
    setFrame(QRectF(origin, state_.frame.size()));
}

template <class Interface> void SimPanel<Interface>::setFrame(const QRectF& frame) {
    if (state_.desktop)
        state_.desktop->setPanelFrame(state_, frame);
    else
        state_.frame = frame;
}

template <class Interface>
void SimPanel<Interface>::animate(const std::optional<QRectF>& frame, double alpha, double seconds,
                                  std::function<void()> completion) {
    if (frame) setFrame(*frame);
    state_.alpha = alpha;
    // The completion belongs to the caller, who may outlive this panel: it runs regardless.
    if (completion) state_.queue->after(seconds, std::move(completion));
}

template <class Interface> void SimPanel<Interface>::orderFront() {
    if (state_.desktop)
        state_.desktop->orderFront(state_);
    else
        state_.orderedIn = true;
}

template <class Interface> void SimPanel<Interface>::orderOut() {
    if (state_.desktop) {
        state_.desktop->orderOut(state_);
    } else {
        state_.orderedIn = false;
        state_.reportedOnActiveSpace = state_.reportedVisible = false;
    }
}

template <class Interface> bool SimPanel<Interface>::isKey() const {
    return state_.desktop && state_.desktop->isKey(state_);
}

template class SimPanel<LabelPanel>;
template class SimPanel<EditorPanel>;

void SimEditorPanel::makeKeyAndOrderFront() {
    orderFront();
    if (state_.desktop) state_.desktop->makeKey(state_);
}

} // namespace sm
