#pragma once

#include <QRectF>

#include <functional>
#include <optional>

class QObject;
class QVariantAnimation;

namespace sm::widgets {

// A panel window's frame and alpha animations, for the backends that show panels as Qt windows. Like a
// layer's model values, the targets are answered at once while the window gets there over the
// animation's time. The window itself is changed only through the two functions given.
class PanelAnimator {
public:
    // Animations live as children of `owner` (the window) and end with it.
    PanelAnimator(QObject* owner, std::function<void(const QRectF&)> applyFrame,
                  std::function<void(double)> applyAlpha);
    PanelAnimator(const PanelAnimator&) = delete;
    PanelAnimator& operator=(const PanelAnimator&) = delete;

    // The frame a running animation goes to; none while none runs.
    const std::optional<QRectF>& frameTarget() const { return frameTarget_; }
    double alphaTarget() const { return alphaTarget_; }

    void setFrame(const QRectF& frame);
    void setAlpha(double alpha);
    // From `from` and `fromAlpha` (what the window shows now) to the targets; no frame keeps it. The
    // completion keeps the animation's timing even if a later change cuts the animation short.
    void animate(const QRectF& from, const std::optional<QRectF>& frame, double fromAlpha, double alpha,
                 double seconds, std::function<void()> completion);
    // A frame animation cut short leaves the window at its target.
    void stopFrame();
    void stopAlpha();
    // Ends both animations where they stand and changes the window no more: its panel is going away.
    void cancel();

private:
    QVariantAnimation* start(double seconds, std::function<void(double)> step);
    void halt(QVariantAnimation*& running);

    QObject* owner_;
    std::function<void(const QRectF&)> applyFrame_;
    std::function<void(double)> applyAlpha_;
    std::optional<QRectF> frameTarget_;
    double alphaTarget_ = 1.0;
    QVariantAnimation* frameAnimation_ = nullptr;
    QVariantAnimation* alphaAnimation_ = nullptr;
};

} // namespace sm::widgets
