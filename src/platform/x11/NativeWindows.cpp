#include "platform/x11/NativeWindows.h"

#include "platform/x11/XcbReply.h"

#include <xcb/shape.h>

#include <cstring>
#include <vector>

namespace sm::x11 {

namespace {
constexpr std::uint32_t kIconicState = 3;           // ICCCM 4.1.3.1
constexpr std::uint32_t kWindowGroupHint = 1u << 6; // ICCCM 4.1.2.4
} // namespace

NativeWindows::NativeWindows(xcb_connection_t* connection, std::uint32_t root,
                             const QHash<QByteArray, std::uint32_t>& atoms)
    : connection_(connection), root_(root), atoms_(atoms) {}

NativeWindows::Asked NativeWindows::ask(std::uint32_t wid) const {
    return {xcb_get_property(connection_, 0, wid, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1),
            xcb_get_window_attributes(connection_, wid),
            xcb_get_property(connection_, 0, wid, atom("WM_STATE"), atom("WM_STATE"), 0, 1)};
}

NativeWindows::Facts NativeWindows::read(const Asked& asked) const {
    Reply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(connection_, asked.desktop, nullptr));
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, asked.attributes, nullptr));
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(connection_, asked.state, nullptr));
    Facts facts;
    facts.desktop = cardinal(desktop.get());
    facts.iconic = cardinal(state.get()) == kIconicState;
    facts.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    facts.unviewable = attributes && attributes->map_state == XCB_MAP_STATE_UNVIEWABLE;
    return facts;
}

std::optional<QRect> NativeWindows::geometry(std::uint32_t wid) const {
    const auto whereCookie = xcb_translate_coordinates(connection_, wid, root_, 0, 0);
    const auto sizeCookie = xcb_get_geometry(connection_, wid);
    Reply<xcb_translate_coordinates_reply_t> where(
        xcb_translate_coordinates_reply(connection_, whereCookie, nullptr));
    Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(connection_, sizeCookie, nullptr));
    if (!where || !size) return std::nullopt;
    return QRect(where->dst_x, where->dst_y, size->width, size->height);
}

void NativeWindows::configure(std::uint32_t wid, const QRect& geometry) const {
    const std::uint32_t values[] = {
        static_cast<std::uint32_t>(geometry.x()), static_cast<std::uint32_t>(geometry.y()),
        static_cast<std::uint32_t>(geometry.width()), static_cast<std::uint32_t>(geometry.height())};
    xcb_configure_window(connection_, wid,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(connection_);
}

void NativeWindows::tellGeometry(std::uint32_t wid, const QRect& geometry) const {
    xcb_configure_notify_event_t told{};
    told.response_type = XCB_CONFIGURE_NOTIFY;
    told.event = told.window = wid;
    told.x = static_cast<std::int16_t>(geometry.x());
    told.y = static_cast<std::int16_t>(geometry.y());
    told.width = static_cast<std::uint16_t>(geometry.width());
    told.height = static_cast<std::uint16_t>(geometry.height());
    xcb_send_event(connection_, 0, wid, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&told));
    xcb_flush(connection_);
}

bool NativeWindows::isUnmappedAtRoot(std::uint32_t wid) const {
    const auto treeCookie = xcb_query_tree(connection_, wid);
    const auto attributesCookie = xcb_get_window_attributes(connection_, wid);
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection_, treeCookie, nullptr));
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, attributesCookie, nullptr));
    return tree && attributes && tree->parent == root_ && attributes->map_state == XCB_MAP_STATE_UNMAPPED;
}

void NativeWindows::map(std::uint32_t wid) const {
    xcb_map_window(connection_, wid);
    xcb_flush(connection_);
}

void NativeWindows::setDesktop(std::uint32_t wid, std::uint32_t desktop) const {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, wid, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                        32, 1, &desktop);
    xcb_flush(connection_);
}

void NativeWindows::markAsPanel(std::uint32_t wid, bool takesFocus) const {
    // Qt merges its own states into what it finds here when it maps the window.
    const std::uint32_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, wid, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2,
                        states);
    // Without input and without WM_TAKE_FOCUS a window is "No Input": a click on a label must not have
    // the window manager offer it the keyboard, which Qt answers by taking the keyboard from the editor
    // that the click has just opened (on fluxbox the editor lost it now and then, a moment after).
    if (!takesFocus) {
        const std::uint32_t protocols[] = {atom("WM_DELETE_WINDOW"), atom("_NET_WM_PING"),
                                           atom("_NET_WM_SYNC_REQUEST")};
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, wid, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32,
                            3, protocols);
    }
    xcb_flush(connection_);
}

void NativeWindows::leaveGroup(std::uint32_t wid) const {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, wid, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), nullptr));
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 9 * 4) {
        std::uint32_t hints[9];
        std::memcpy(hints, xcb_get_property_value(reply.get()), sizeof hints);
        hints[0] &= ~kWindowGroupHint;
        hints[8] = 0;
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, wid, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9,
                            hints);
    }
    xcb_delete_property(connection_, wid, atom("WM_CLIENT_LEADER"));
    xcb_flush(connection_);
}

void NativeWindows::dropTransientMark(std::uint32_t wid) const {
    xcb_delete_property(connection_, wid, XCB_ATOM_WM_TRANSIENT_FOR);
    xcb_flush(connection_);
}

void NativeWindows::askForDesktop(std::uint32_t wid, std::uint32_t desktop) const {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = wid;
    message.type = atom("_NET_WM_DESKTOP");
    message.data.data32[0] = desktop;
    message.data.data32[1] = 2; // a pager-like request, which window managers honour
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
}

void NativeWindows::askForCurrentDesktop(std::uint32_t desktop, std::uint32_t time) const {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = root_;
    message.type = atom("_NET_CURRENT_DESKTOP");
    message.data.data32[0] = desktop;
    message.data.data32[1] = time;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
}

std::uint32_t NativeWindows::createClockWindow() const {
    const std::uint32_t wid = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, wid, root_, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    return wid;
}

// Appending nothing changes nothing, yet the server reports the change, with its time.
void NativeWindows::askForTime(std::uint32_t clockWindow) const {
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, clockWindow, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(connection_);
}

void NativeWindows::setShape(std::uint32_t wid, const std::optional<QRegion>& opaque, double ratio,
                             bool transparent) const {
    if (transparent) {
        // A window faded out entirely neither shows nor catches the pointer.
        xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                             wid, 0, 0, 0, nullptr);
    } else if (!opaque) {
        xcb_shape_mask(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, wid, 0, 0, XCB_PIXMAP_NONE);
    } else {
        std::vector<xcb_rectangle_t> rects;
        for (const QRect& r : *opaque)
            rects.push_back({static_cast<std::int16_t>(r.x() * ratio),
                             static_cast<std::int16_t>(r.y() * ratio),
                             static_cast<std::uint16_t>(r.width() * ratio),
                             static_cast<std::uint16_t>(r.height() * ratio)});
        xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                             wid, 0, 0, static_cast<std::uint32_t>(rects.size()), rects.data());
    }
    xcb_flush(connection_);
}

void NativeWindows::setInputTransparent(std::uint32_t wid, bool transparent) const {
    if (transparent)
        xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                             wid, 0, 0, 0, nullptr);
    else
        xcb_shape_mask(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, wid, 0, 0, XCB_PIXMAP_NONE);
    xcb_flush(connection_);
}

} // namespace sm::x11
