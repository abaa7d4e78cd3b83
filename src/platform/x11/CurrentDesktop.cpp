#include "platform/x11/CurrentDesktop.h"

#include "platform/x11/XcbReply.h"

#include <QDeadlineTimer>

#include <cstring>

#include <poll.h>

namespace sm::x11 {

namespace {
constexpr int kWaitMs = 3000;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::optional<std::uint32_t> readCardinal(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    return cardinal(reply.get());
}

// Reads events until `done` holds or the deadline passes; the events themselves only wake it.
template <typename F> bool waitFor(xcb_connection_t* c, F done) {
    const QDeadlineTimer deadline(kWaitMs);
    while (!done()) {
        xcb_flush(c);
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0 || ::poll(&fd, 1, left) <= 0) return done();
        while (xcb_generic_event_t* event = xcb_poll_for_event(c))
            std::free(event);
        if (xcb_connection_has_error(c)) return false;
    }
    return true;
}
} // namespace

bool ensureCurrentDesktopPublished(QString* why) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> owned(c, xcb_disconnect);
    if (xcb_connection_has_error(c)) {
        *why = QStringLiteral("the X11 display cannot be opened");
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t current = atom(c, "_NET_CURRENT_DESKTOP");
    const xcb_atom_t desktop = atom(c, "_NET_WM_DESKTOP");
    if (readCardinal(c, root, current)) return true;

    const xcb_window_t probe = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    // Input hint False and no WM_TAKE_FOCUS: mutter gives it no focus.
    const std::uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, probe, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    const std::uint32_t states[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, probe, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
    xcb_map_window(c, probe);
    std::optional<std::uint32_t> shown;
    waitFor(c, [&] { return (shown = readCardinal(c, probe, desktop)).has_value(); });
    xcb_destroy_window(c, probe);
    if (!shown || *shown == 0xFFFFFFFF) {
        xcb_flush(c);
        *why = QStringLiteral("the window manager put no desktop on a new window");
        return false;
    }

    // Mutter does nothing on a request for the desktop already on screen, so the property is written
    // here, as mutter would have; the next switch is mutter's again. Under a grab, so that a switch
    // made meanwhile, which writes it, is never overwritten with the desktop left.
    xcb_grab_server(c);
    if (!readCardinal(c, root, current))
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, current, XCB_ATOM_CARDINAL, 32, 1, &*shown);
    xcb_ungrab_server(c);
    if (readCardinal(c, root, current)) return true;
    *why = QStringLiteral("the desktop on screen could not be written");
    return false;
}

} // namespace sm::x11
