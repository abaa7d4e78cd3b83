#pragma once

#include "platform/wayland/LayerSurface.h"
#include "platform/wayland/WaylandConnection.h"

#include <QPoint>
#include <QRect>

#include <functional>
#include <memory>

class QAction;
class QMenu;
struct xdg_surface;
struct xdg_popup;

namespace sm::wayland {

// A QMenu shown as an xdg_popup the compositor places: on a label's layer surface, or on another menu's
// popup for a submenu. The menu is never shown by the toolkit (its popups cannot be parented to a layer
// surface); it draws into shared memory and is told the pointer. The popup grabs the pointer with the
// click that opened it, so a click anywhere else closes it.
class MenuPopup {
public:
    // `anchor`: a rectangle on the parent surface the menu opens beside.
    MenuPopup(WaylandConnection& connection, QMenu& menu, const QRect& anchor, zwlr_layer_surface_v1* layer,
              MenuPopup* parent = nullptr);
    ~MenuPopup();
    MenuPopup(const MenuPopup&) = delete;
    MenuPopup& operator=(const MenuPopup&) = delete;

    std::function<void(QAction*)> onChosen; // an entry without a submenu was clicked
    std::function<void()> onDismissed;      // the compositor closed it (a click elsewhere)

private:
    friend struct PopupListeners;
    void configured(quint32 serial);
    void draw();
    void hover(QPointF at);
    void click(QPointF at, bool pressed);

    WaylandConnection& connection_;
    QMenu& menu_;
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_popup* popup_ = nullptr;
    ShmFrames frames_;
    InputHandler input_;
    QPointF pointer_;
    std::unique_ptr<MenuPopup> submenu_;
};

} // namespace sm::wayland
