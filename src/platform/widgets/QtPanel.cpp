#include "platform/widgets/QtPanel.h"

#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"

#include <QCoreApplication>
#include <QTimer>

namespace sm::widgets {

template <class I, class W>
QtPanel<I, W>::QtPanel(W* window)
    : window_(window),
      animator_(
          window, [this](const QRectF& f) { applyFrame(f); }, [this](double a) { applyAlpha(a); }) {}

// The backend's part is gone by now: nothing may reach applyFrame or applyAlpha any more.
template <class I, class W> QtPanel<I, W>::~QtPanel() {
    window_->dropCallbacks();
    animator_.cancel();
    window_->hide();
    window_->deleteLater();
}

template <class I, class W> void QtPanel<I, W>::setFrameOrigin(const QPointF& origin) {
    animator_.setFrame(QRectF(origin, this->frame().size()));
}

template <class I, class W> void QtPanel<I, W>::setFrame(const QRectF& frame) {
    animator_.setFrame(frame);
}

template <class I, class W>
void QtPanel<I, W>::animate(const std::optional<QRectF>& target, double alpha, double seconds,
                            std::function<void()> completion) {
    animator_.animate(this->frame(), target, shownAlpha(), alpha, seconds, std::move(completion));
}

template <class I, class W> void QtPanel<I, W>::setAlpha(double alpha) {
    animator_.setAlpha(alpha);
}

template <class I, class W> void QtPanel<I, W>::later(std::function<void()> work) const {
    QTimer::singleShot(0, qApp, [alive = std::weak_ptr<char>(alive_), work = std::move(work)] {
        if (!alive.expired()) work();
    });
}

template class QtPanel<LabelPanel, LabelWindow>;
template class QtPanel<EditorPanel, EditorWindow>;

} // namespace sm::widgets
