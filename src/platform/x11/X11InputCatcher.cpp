#include "platform/x11/X11InputCatcher.h"

#include "platform/widgets/LabelWindow.h"
#include "platform/x11/XcbReply.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace sm::x11 {

namespace {

Qt::MouseButton buttonOf(std::uint8_t detail) {
    switch (detail) {
    case 1:
        return Qt::LeftButton;
    case 2:
        return Qt::MiddleButton;
    case 3:
        return Qt::RightButton;
    default:
        return Qt::NoButton; // the wheel and the rest: a label has no use for them
    }
}

Qt::MouseButtons heldIn(std::uint16_t state) {
    Qt::MouseButtons held;
    if (state & XCB_BUTTON_MASK_1) held |= Qt::LeftButton;
    if (state & XCB_BUTTON_MASK_2) held |= Qt::MiddleButton;
    if (state & XCB_BUTTON_MASK_3) held |= Qt::RightButton;
    return held;
}

Qt::KeyboardModifiers modifiersIn(std::uint16_t state) {
    Qt::KeyboardModifiers modifiers;
    if (state & XCB_MOD_MASK_SHIFT) modifiers |= Qt::ShiftModifier;
    if (state & XCB_MOD_MASK_CONTROL) modifiers |= Qt::ControlModifier;
    if (state & XCB_MOD_MASK_1) modifiers |= Qt::AltModifier;
    if (state & XCB_MOD_MASK_4) modifiers |= Qt::MetaModifier;
    return modifiers;
}

} // namespace

X11InputCatcher::X11InputCatcher(widgets::LabelWindow* label, std::uint32_t labelWindow)
    : label_(label), labelWid_(labelWindow) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    connection_ = x11 ? x11->connection() : nullptr;
    if (!connection_) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    wid_ = xcb_generate_id(connection_);
    // Unmanaged: the window manager neither frames nor stacks it, and never offers it the keyboard. The
    // press selection gives this client the implicit grab, which keeps a drag's motion here.
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                           XCB_EVENT_MASK_BUTTON_MOTION};
    xcb_create_window(connection_, 0, wid_, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_flush(connection_);
    qApp->installNativeEventFilter(this);
    label->installEventFilter(this);
    // The text is placed on the screen by the window's geometry, which the window manager's notices
    // update without always telling the widget: a late notice of an old place moves the window but
    // not the widget, and the notice of the current place then finds the widget already there.
    window_ = label->windowHandle();
    if (window_) window_->installEventFilter(this);
}

X11InputCatcher::~X11InputCatcher() {
    if (!connection_) return;
    qApp->removeNativeEventFilter(this);
    if (label_) label_->removeEventFilter(this);
    if (window_) window_->removeEventFilter(this);
    xcb_destroy_window(connection_, wid_);
    xcb_flush(connection_);
}

void X11InputCatcher::setActive(bool active) {
    // The text may have changed too: the catcher follows it either way.
    if (active && !std::exchange(active_, true)) scheduleSync(); // the frame and its state may be new
    active_ = active;
    follow();
}

// Over the text, directly below the frame; unmapped wherever the label cannot be clicked. No reply is
// awaited here: this runs inside the event filter.
void X11InputCatcher::follow() {
    if (!connection_) return;
    QRect area;
    if (active_ && labelViewable_ && label_) {
        const QRect text = label_->textArea() & label_->rect();
        const double ratio = label_->devicePixelRatioF();
        const QPoint at = label_->mapToGlobal(text.topLeft());
        area = QRect(QPoint(qRound(at.x() * ratio), qRound(at.y() * ratio)),
                     (QSizeF(text.size()) * ratio).toSize());
    }
    if (area.isEmpty()) {
        if (std::exchange(mapped_, false)) {
            xcb_unmap_window(connection_, wid_);
            xcb_flush(connection_);
        }
        return;
    }
    const std::uint32_t geometry[] = {
        static_cast<std::uint32_t>(area.x()), static_cast<std::uint32_t>(area.y()),
        static_cast<std::uint32_t>(area.width()), static_cast<std::uint32_t>(area.height())};
    xcb_configure_window(connection_, wid_,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
    // Apart: a frame the manager has just destroyed fails this request, and must not fail the move.
    if (frame_) {
        const std::uint32_t stacking[] = {frame_, XCB_STACK_MODE_BELOW};
        xcb_configure_window(connection_, wid_, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                             stacking);
    }
    if (!std::exchange(mapped_, true)) xcb_map_window(connection_, wid_);
    xcb_flush(connection_);
}

void X11InputCatcher::scheduleSync() {
    if (std::exchange(syncPending_, true)) return;
    QTimer::singleShot(0, this, [this] { sync(); });
}

// Which window the manager stacks for the label, and whether the label is viewable (mapped, and every
// ancestor too: i3 unmaps the frame of a hidden workspace and leaves the label mapped).
void X11InputCatcher::sync() {
    syncPending_ = false;
    if (!connection_) return;
    const auto attributesCookie = xcb_get_window_attributes(connection_, labelWid_);
    std::uint32_t top = 0;
    for (std::uint32_t window = labelWid_; window && window != root_;) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
        if (!tree) break;
        if (tree->parent == root_) top = window;
        window = tree->parent;
    }
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, attributesCookie, nullptr));
    frame_ = top;
    labelViewable_ = top && attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    follow();
}

bool X11InputCatcher::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t" || !connection_) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // Nothing is swallowed: Qt still takes the server time and the button state from the events.
    switch (event->response_type & 0x7f) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY: {
        // Press, release and motion events share one layout.
        const auto* e = reinterpret_cast<const xcb_button_press_event_t*>(event);
        if (e->event == wid_) forward(event->response_type & 0x7f, e->detail, e->state, e->root_x, e->root_y);
        return false;
    }
    case XCB_CONFIGURE_NOTIFY: {
        // The frame was moved or restacked, or a window came between it and the catcher.
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (mapped_ && e->window != wid_ && (e->window == frame_ || e->above_sibling == wid_)) follow();
        return false;
    }
    case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        if (e->window == labelWid_ || e->window == frame_) scheduleSync();
        return false;
    }
    case XCB_UNMAP_NOTIFY: {
        // Out at once: a click a moment after a desktop switch must not land on a label that went.
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        if (e->window == labelWid_ || e->window == frame_) {
            labelViewable_ = false;
            follow();
            scheduleSync();
        }
        return false;
    }
    case XCB_REPARENT_NOTIFY:
        // A new frame, or none: the old one is not stacked against until the next sync names it.
        if (reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window == labelWid_) {
            frame_ = 0;
            scheduleSync();
        }
        return false;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == frame_) {
            frame_ = 0;
            scheduleSync();
        }
        return false;
    default:
        return false;
    }
}

bool X11InputCatcher::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == label_ || watched == window_) &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        follow();
    return false;
}

// Posted, never sent from inside the event filter: the label's handlers may open a menu with its own
// event loop, or move the label. Each event is made only when it is delivered: mouse events of one
// device share their point's state, so events made ahead of time all end up with the last position.
void X11InputCatcher::forward(int type, std::uint8_t detail, std::uint16_t state, std::int16_t rootX,
                              std::int16_t rootY) {
    if (!label_) return;
    const double ratio = label_->devicePixelRatioF();
    const QPointF global(rootX / ratio, rootY / ratio);
    const Qt::KeyboardModifiers modifiers = modifiersIn(state);
    Qt::MouseButtons held = heldIn(state); // as it was before this event
    const Qt::MouseButton button = type == XCB_MOTION_NOTIFY ? Qt::NoButton : buttonOf(detail);
    QEvent::Type kind = QEvent::MouseMove;
    if (type != XCB_MOTION_NOTIFY) {
        if (button == Qt::NoButton) return;
        kind = type == XCB_BUTTON_PRESS ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease;
        held.setFlag(button, kind == QEvent::MouseButtonPress);
    }
    QMetaObject::invokeMethod(
        label_,
        [label = label_, kind, global, button, held, modifiers] {
            if (!label) return;
            const QPointF local = label->mapFromGlobal(global);
            QMouseEvent mouse(kind, local, global, button, held, modifiers);
            QCoreApplication::sendEvent(label, &mouse);
            // X11 asks for the context menu on the press.
            if (kind != QEvent::MouseButtonPress || button != Qt::RightButton) return;
            QContextMenuEvent menu(QContextMenuEvent::Mouse, local.toPoint(), global.toPoint(), modifiers);
            QCoreApplication::sendEvent(label, &menu);
        },
        Qt::QueuedConnection);
}

} // namespace sm::x11
