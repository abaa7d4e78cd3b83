#pragma once

#include "platform/WindowServer.h"
#include "platform/gnome/GnomeWindowServer.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/widgets/QtPanel.h"

#include <memory>

namespace sm::gnome {

// The Panel operations on a Qt toplevel that the shell places through the bridge.
template <class Interface, class Window> class GnomePanel : public widgets::QtPanel<Interface, Window> {
public:
    GnomePanel(const std::shared_ptr<GnomeWindowServer>& server, Window* window, bool takesFocus);
    ~GnomePanel() override;

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

    std::weak_ptr<GnomeWindowServer> server_;
    PanelState state_;
};

class GnomeLabelPanel final : public GnomePanel<LabelPanel, widgets::LabelWindow> {
public:
    GnomeLabelPanel(const std::shared_ptr<GnomeWindowServer>& server, const QUuid& tagId);

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }

private:
    QUuid tagId_;
};

class GnomeEditorPanel final : public GnomePanel<EditorPanel, widgets::EditorWindow> {
public:
    explicit GnomeEditorPanel(const std::shared_ptr<GnomeWindowServer>& server);

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
};

} // namespace sm::gnome
