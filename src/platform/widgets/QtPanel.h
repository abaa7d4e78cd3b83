#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/PanelAnimator.h"

#include <functional>
#include <memory>
#include <optional>

namespace sm::widgets {

// A Panel on one of the Qt windows here, whatever the backend: the frame and alpha animations, the
// level, notifications posted for a later turn that a gone panel never sends, and the end. At the end
// the window's callbacks are dropped, so its late events reach nobody, and the window is deleted
// later, never inside the call that drops the panel: that call may come from one of its own event
// handlers. The backend says how a frame and an alpha reach the window and the window server.
template <class Interface, class Window> class QtPanel : public Interface {
public:
    ~QtPanel() override;
    QtPanel(const QtPanel&) = delete;
    QtPanel& operator=(const QtPanel&) = delete;

    void setFrameOrigin(const QPointF& origin) override;
    void setFrame(const QRectF& frame) override;
    void animate(const std::optional<QRectF>& frame, double alpha, double seconds,
                 std::function<void()> completion) override;
    double alpha() const override { return animator_.alphaTarget(); }
    void setAlpha(double alpha) override;
    int level() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    bool isKey() const override { return window_->isActiveWindow(); }

    Window* window() const { return window_; }

protected:
    explicit QtPanel(Window* window); // the panel owns the window from here on

    // A frame or an alpha for the window: one step of an animation, or a change without one.
    virtual void applyFrame(const QRectF& frame) = 0;
    virtual void applyAlpha(double alpha) = 0;
    // The alpha the window shows now, where an animation starts from.
    virtual double shownAlpha() const = 0;
    // Runs `work` on a later turn of the loop, unless the panel is gone by then.
    void later(std::function<void()> work) const;

    Window* const window_;
    PanelAnimator animator_;

private:
    int level_ = 0;
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

} // namespace sm::widgets
