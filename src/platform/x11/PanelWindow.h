#pragma once

#include <QWidget>

#include <functional>

namespace sm::x11 {

// The top-level window behind a panel: a frameless utility window that stays above normal windows and
// paints its own translucent background.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(Qt::WindowFlags extraFlags);

    std::function<void()> onMoved; // the window's origin changed, by the program, a drag or the WM

protected:
    void moveEvent(QMoveEvent* event) override;
};

} // namespace sm::x11
