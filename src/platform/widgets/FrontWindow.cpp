#include "platform/widgets/FrontWindow.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace sm::widgets {

namespace {

QPointer<QWidget> lastAsked;

// Activates its window at the first expose, if it is still the last one asked for; then goes.
class ActivateOnExpose final : public QObject {
public:
    ActivateOnExpose(QWidget* widget, QWindow* handle) : QObject(handle), widget_(widget) {
        handle->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* handle = static_cast<QWindow*>(watched);
        if (event->type() != QEvent::Expose || !handle->isExposed()) return false;
        handle->removeEventFilter(this);
        if (widget_ && widget_ == lastAsked && widget_->isVisible()) widget_->activateWindow();
        deleteLater();
        return false;
    }

private:
    QPointer<QWidget> widget_;
};

} // namespace

void bringToFront(QWidget* window) {
    lastAsked = window;
    window->show();
    window->raise();
    QWindow* handle = window->windowHandle();
    if (handle && handle->isExposed()) {
        window->activateWindow();
        return;
    }
    if (handle && !handle->findChild<ActivateOnExpose*>(QString(), Qt::FindDirectChildrenOnly))
        new ActivateOnExpose(window, handle);
}

} // namespace sm::widgets
