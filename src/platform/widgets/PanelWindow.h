#pragma once

#include <QWidget>

#include <functional>

namespace sm::widgets {

// The top-level window behind a panel: a frameless utility window that stays above normal windows and
// paints its own translucent background.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(Qt::WindowFlags extraFlags);

    std::function<void()> onMoved; // the window's origin changed, by the program, a drag or the WM

    // Where clients cannot place their own windows (Wayland), a drag is handed to the compositor.
    void setMovesBySystem(bool bySystem) { movesBySystem_ = bySystem; }
    // Starts the compositor's move when the window lets it; false: the window moves itself.
    bool beginSystemMove();
    std::function<void()> onSystemMoveStarted;
    std::function<void()> onPointerEntered;
    // The pointer goes through the window to whatever is beneath (an input region of nothing).
    void letPointerThrough(bool through);

    // Every callback let go, so that events still on their way to the window reach nobody: its panel
    // is gone. A window with callbacks of its own drops them too.
    virtual void dropCallbacks();

protected:
    void moveEvent(QMoveEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    bool movesBySystem_ = false;
};

} // namespace sm::widgets
