#pragma once

#include "platform/WindowServer.h"
#include "platform/wayland/WaylandWindowServer.h"
#include "platform/widgets/HostedPanel.h"

#include <memory>

class QMenu;

namespace sm::wayland {
class MenuPopup;
}

namespace sm::wayland {

// The Panel operations on a layer surface that shows a Qt window's drawing. The window itself is never
// shown by the toolkit: Qt 6.4 cannot give its windows the layer-shell role, so the window draws into an
// image the surface shows, and the surface's pointer and keyboard are handed to the window.
template <class Interface, class Window>
class WaylandPanel : public widgets::ServedPanel<WaylandWindowServer, Interface, Window> {
public:
    WaylandPanel(const std::shared_ptr<WaylandWindowServer>& server, Window* window);

    QRectF frame() const override;
    void orderFront() override;
    void orderOut() override;

    const PanelState& state() const { return state_; }

protected:
    using widgets::QtPanel<Interface, Window>::window_;
    using widgets::QtPanel<Interface, Window>::animator_;
    using widgets::ServedPanel<WaylandWindowServer, Interface, Window>::server_;
    using widgets::ServedPanel<WaylandWindowServer, Interface, Window>::state_;

    void applyFrame(const QRectF& frame) override;
    void applyAlpha(double alpha) override;
    void repaint();
    // A click, a drag's end or a menu's choice reaches the overlay after the event: it may delete the panel.
    void deliver(std::function<void()> call) { this->later(std::move(call)); }

    QPointF pointer_;
    std::optional<QPointF> pressGlobal_;
    QPoint pressOffset_;
    bool dragging_ = false;
    bool drawing_ = false;
};

class WaylandLabelPanel final : public WaylandPanel<LabelPanel, widgets::LabelWindow> {
public:
    WaylandLabelPanel(const std::shared_ptr<WaylandWindowServer>& server, const QUuid& tagId);
    ~WaylandLabelPanel() override;

    QUuid tagId() const override { return tagId_; }
    LabelView& view() override { return *window_; }
    // The menu while its popup is open, for tests to find its entries.
    const QMenu* openedMenu() const { return popup_ ? menu_.get() : nullptr; }

private:
    void openMenu();
    void closeMenu();

    QUuid tagId_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<MenuPopup> popup_;
};

class WaylandEditorPanel final : public WaylandPanel<EditorPanel, widgets::EditorWindow> {
public:
    explicit WaylandEditorPanel(const std::shared_ptr<WaylandWindowServer>& server);

    EditorView& view() override { return *window_; }
    void makeKeyAndOrderFront() override;
    bool isKey() const override { return hasKeyboard_; }

private:
    bool hasKeyboard_ = false;
    bool hadKeyboard_ = false;
};

} // namespace sm::wayland
