#include "platform/wayland/MenuPopup.h"

#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

#include <QAction>
#include <QImage>
#include <QMenu>

#include <wayland-client.h>

#include <linux/input-event-codes.h>

namespace sm::wayland {

struct PopupListeners {
    static void surfaceConfigure(void* data, xdg_surface*, uint32_t serial) {
        static_cast<MenuPopup*>(data)->configured(serial);
    }
    static constexpr xdg_surface_listener surfaceListener{surfaceConfigure};
    static void popupConfigure(void*, xdg_popup*, int32_t, int32_t, int32_t, int32_t) {}
    static void popupDone(void* data, xdg_popup*) {
        auto* p = static_cast<MenuPopup*>(data);
        if (p->onDismissed) p->onDismissed();
    }
    static void repositioned(void*, xdg_popup*, uint32_t) {}
    static constexpr xdg_popup_listener popupListener{popupConfigure, popupDone, repositioned};
};

MenuPopup::MenuPopup(WaylandConnection& connection, QMenu& menu, const QRect& anchor,
                     zwlr_layer_surface_v1* layer, MenuPopup* parent)
    : connection_(connection), menu_(menu), frames_(connection) {
    menu_.ensurePolished();
    menu_.resize(menu_.sizeHint());
    surface_ = wl_compositor_create_surface(connection.compositor());
    xdgSurface_ = xdg_wm_base_get_xdg_surface(connection.wmBase(), surface_);
    xdg_surface_add_listener(xdgSurface_, &PopupListeners::surfaceListener, this);
    xdg_positioner* positioner = xdg_wm_base_create_positioner(connection.wmBase());
    xdg_positioner_set_size(positioner, menu_.width(), menu_.height());
    xdg_positioner_set_anchor_rect(positioner, anchor.x(), anchor.y(), std::max(1, anchor.width()),
                                   std::max(1, anchor.height()));
    // Below and to the right of the pointer, or beside the parent's entry; flipped or slid where the
    // output ends.
    xdg_positioner_set_anchor(positioner,
                              parent ? XDG_POSITIONER_ANCHOR_TOP_RIGHT : XDG_POSITIONER_ANCHOR_BOTTOM_RIGHT);
    xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
    xdg_positioner_set_constraint_adjustment(positioner, XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_X |
                                                             XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_Y |
                                                             XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_X |
                                                             XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y);
    popup_ = xdg_surface_get_popup(xdgSurface_, parent ? parent->xdgSurface_ : nullptr, positioner);
    xdg_positioner_destroy(positioner);
    xdg_popup_add_listener(popup_, &PopupListeners::popupListener, this);
    if (!parent) zwlr_layer_surface_v1_get_popup(layer, popup_);
    xdg_popup_grab(popup_, connection.seat(), connection.buttonSerial());
    input_.onEnter = [this](QPointF at) { hover(at); };
    input_.onMotion = [this](QPointF at) { hover(at); };
    input_.onButton = [this](quint32 button, bool pressed) {
        if (button == BTN_LEFT) click(pointer_, pressed);
    };
    input_.onLeave = [this] {
        menu_.setActiveAction(nullptr);
        draw();
    };
    connection.setInputHandler(surface_, &input_);
    wl_surface_commit(surface_);
    connection.flush();
}

MenuPopup::~MenuPopup() {
    submenu_.reset(); // the topmost popup goes first
    connection_.setInputHandler(surface_, nullptr);
    xdg_popup_destroy(popup_);
    xdg_surface_destroy(xdgSurface_);
    wl_surface_destroy(surface_);
    connection_.flush();
}

void MenuPopup::configured(quint32 serial) {
    xdg_surface_ack_configure(xdgSurface_, serial);
    draw();
}

void MenuPopup::draw() {
    QImage image(menu_.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    menu_.render(&image);
    if (frames_.attach(surface_, image)) wl_surface_commit(surface_);
    connection_.flush();
}

void MenuPopup::hover(QPointF at) {
    pointer_ = at;
    QAction* action = menu_.actionAt(at.toPoint());
    if (action == menu_.activeAction()) return;
    menu_.setActiveAction(action && action->isEnabled() && !action->isSeparator() ? action : nullptr);
    draw();
}

// A submenu opens on the press (its grab wants a press's serial); an entry is chosen on the release.
void MenuPopup::click(QPointF at, bool pressed) {
    QAction* action = menu_.actionAt(at.toPoint());
    if (!action || !action->isEnabled() || action->isSeparator()) return;
    if (QMenu* sub = action->menu()) {
        if (!pressed) return;
        submenu_ =
            std::make_unique<MenuPopup>(connection_, *sub, menu_.actionGeometry(action), nullptr, this);
        submenu_->onChosen = [this](QAction* chosen) {
            if (onChosen) onChosen(chosen);
        };
        submenu_->onDismissed = [this] {
            if (onDismissed) onDismissed();
        };
        return;
    }
    if (!pressed && onChosen) onChosen(action);
}

} // namespace sm::wayland
