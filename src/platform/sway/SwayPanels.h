#pragma once

#include "platform/WindowServer.h"
#include "platform/sway/SwayWindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/QtPanel.h"

#include <memory>

namespace sm::sway {

// The Panel operations on a Qt toplevel that sway places.
template <class Interface, class Window> class SwayPanel : public widgets::QtPanel<Interface, Window> {
public:
    SwayPanel(const std::shared_ptr<SwayWindowServer>& server, Window* window, bool takesFocus);
    ~SwayPanel() override;

    bool isOnActiveSpace() const override { return state_.onActiveSpace; }
    bool isVisible() const override { return state_.visible; }
    std::optional<ScreenInfo> screen() const override;

    QRectF frame() const override;
    bool ignoresMouseEvents() const override { return state_.ignoresInput; }
    void setIgnoresMouseEvents(bool ignores) override;
    void orderFront() override;
    void orderOut() override;

protected:
    using widgets::QtPanel<Interface, Window>::window_;
    using widgets::QtPanel<Interface, Window>::animator_;

    void applyFrame(const QRectF& frame) override;
    void applyAlpha(double alpha) override;
    double shownAlpha() const override { return state_.alpha; }

    std::weak_ptr<SwayWindowServer> server_;
    PanelState state_;
};

class SwayLabelPanel final : public SwayPanel<LabelPanel, widgets::LabelWindow> {
public:
    SwayLabelPanel(const std::shared_ptr<SwayWindowServer>& server, const QUuid& tagId);

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }

private:
    QUuid tagId_;
};

class SwayEditorPanel final : public SwayPanel<EditorPanel, widgets::EditorWindow> {
public:
    explicit SwayEditorPanel(const std::shared_ptr<SwayWindowServer>& server);

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
};

} // namespace sm::sway
