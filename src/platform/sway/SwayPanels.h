#pragma once

#include "platform/WindowServer.h"
#include "platform/sway/SwayWindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/PanelAnimator.h"

#include <memory>

namespace sm::sway {

// The Panel operations on a Qt toplevel that sway places. The window is deleted later, never inside
// the call that drops the panel: that call may come from one of its own event handlers.
template <class Interface, class Window> class SwayPanel : public Interface {
public:
    SwayPanel(const std::shared_ptr<SwayWindowServer>& server, Window* window, bool takesFocus);
    ~SwayPanel() override;
    SwayPanel(const SwayPanel&) = delete;
    SwayPanel& operator=(const SwayPanel&) = delete;

    bool isOnActiveSpace() const override { return state_.onActiveSpace; }
    bool isVisible() const override { return state_.visible; }
    std::optional<ScreenInfo> screen() const override;

    QRectF frame() const override;
    void setFrameOrigin(const QPointF& origin) override;
    void setFrame(const QRectF& frame) override;
    void animate(const std::optional<QRectF>& frame, double alpha, double seconds,
                 std::function<void()> completion) override;
    double alpha() const override { return animator_.alphaTarget(); }
    void setAlpha(double alpha) override;
    bool ignoresMouseEvents() const override { return state_.ignoresInput; }
    void setIgnoresMouseEvents(bool ignores) override;
    int level() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    void orderFront() override;
    void orderOut() override;
    bool isKey() const override { return window_ && window_->isActiveWindow(); }

    Window* window() const { return window_; }

protected:
    void applyFrame(const QRectF& frame);
    void applyAlpha(double alpha);
    void post(Signal<>& signal);

    std::weak_ptr<SwayWindowServer> server_;
    Window* window_;
    PanelState state_;
    widgets::PanelAnimator animator_;
    int level_ = 0;
    std::shared_ptr<char> alive_ = std::make_shared<char>(); // posted notifications check it
};

class SwayLabelPanel final : public SwayPanel<LabelPanel, widgets::LabelWindow> {
public:
    SwayLabelPanel(const std::shared_ptr<SwayWindowServer>& server, const QUuid& tagId);
    ~SwayLabelPanel() override;

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }

private:
    QUuid tagId_;
};

class SwayEditorPanel final : public SwayPanel<EditorPanel, widgets::EditorWindow> {
public:
    explicit SwayEditorPanel(const std::shared_ptr<SwayWindowServer>& server);
    ~SwayEditorPanel() override;

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
};

} // namespace sm::sway
