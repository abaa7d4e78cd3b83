#include "platform/x11/PanelWindow.h"

namespace sm::x11 {

PanelWindow::PanelWindow(Qt::WindowFlags extraFlags)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | extraFlags) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void PanelWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (onMoved) onMoved();
}

} // namespace sm::x11
