#pragma once

#include "platform/WindowServer.h"
#include "platform/kwin/KWinWindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/QtPanel.h"

#include <memory>

namespace sm::kwin {

// The Panel operations on a Qt toplevel that KWin's script places.
template <class Interface, class Window> class KWinPanel : public widgets::QtPanel<Interface, Window> {
public:
    KWinPanel(const std::shared_ptr<KWinWindowServer>& server, Window* window, bool takesFocus);
    ~KWinPanel() override;

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
    void applyInput();

    std::weak_ptr<KWinWindowServer> server_;
    PanelState state_;
};

class KWinLabelPanel final : public KWinPanel<LabelPanel, widgets::LabelWindow> {
public:
    KWinLabelPanel(const std::shared_ptr<KWinWindowServer>& server, const QUuid& tagId);

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }

private:
    QUuid tagId_;
};

class KWinEditorPanel final : public KWinPanel<EditorPanel, widgets::EditorWindow> {
public:
    explicit KWinEditorPanel(const std::shared_ptr<KWinWindowServer>& server);

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
};

} // namespace sm::kwin
