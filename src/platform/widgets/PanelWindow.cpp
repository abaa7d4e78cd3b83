#include "platform/widgets/PanelWindow.h"

#include <QRegion>
#include <QWindow>

namespace sm::widgets {

PanelWindow::PanelWindow(Qt::WindowFlags extraFlags)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | extraFlags) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void PanelWindow::dropCallbacks() {
    onMoved = nullptr;
    onSystemMoveStarted = nullptr;
    onPointerEntered = nullptr;
}

bool PanelWindow::beginSystemMove() {
    if (!movesBySystem_ || !windowHandle() || !windowHandle()->startSystemMove()) return false;
    if (onSystemMoveStarted) onSystemMoveStarted();
    return true;
}

// A region outside the surface: an empty one would mean the whole window.
void PanelWindow::letPointerThrough(bool through) {
    if (QWindow* handle = windowHandle()) handle->setMask(through ? QRegion(-1, -1, 1, 1) : QRegion());
}

void PanelWindow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (onPointerEntered) onPointerEntered();
}

void PanelWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (onMoved) onMoved();
}

} // namespace sm::widgets
