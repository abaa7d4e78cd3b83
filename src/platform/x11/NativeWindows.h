#pragma once

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QRegion>

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

namespace sm::x11 {

// The xcb requests the backend makes of one window at a time: its desktop and map state, its place,
// its shape and the properties a panel carries. Requests that want no answer are flushed at once;
// the few that wait for one say so.
class NativeWindows {
public:
    NativeWindows(xcb_connection_t* connection, std::uint32_t root,
                  const QHash<QByteArray, std::uint32_t>& atoms);

    // A window's desktop and map state, asked for now and read later: a refresh asks of every panel
    // before it waits for the first answer.
    struct Asked {
        xcb_get_property_cookie_t desktop;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t state;
    };
    struct Facts {
        std::optional<std::uint32_t> desktop; // none: the window manager has not set one
        bool viewable = false;
        bool unviewable = false; // mapped inside something unmapped
        bool iconic = false;     // WM_STATE says Iconic, whatever the map state
    };
    Asked ask(std::uint32_t wid) const;
    Facts read(const Asked& asked) const;

    // Where the server has the window, in root coordinates (waits for the answer).
    std::optional<QRect> geometry(std::uint32_t wid) const;
    void configure(std::uint32_t wid, const QRect& geometry) const;
    // Tells the window where it stands, as a window manager would after moving it.
    void tellGeometry(std::uint32_t wid, const QRect& geometry) const;
    // Still unmapped, and the root's child (waits for the answer).
    bool isUnmappedAtRoot(std::uint32_t wid) const;
    void map(std::uint32_t wid) const;

    // Before mapping: the desktop to map it on, off the taskbar and the pager, and (`takesFocus`
    // false) never offered the keyboard.
    void setDesktop(std::uint32_t wid, std::uint32_t desktop) const;
    void markAsPanel(std::uint32_t wid, bool takesFocus) const;
    // Out of the program's window group (Qt puts every window in its client leader's group), so that
    // no window manager moves it along with the program's dialogs or with another label (waits for
    // the window's hints). After mapping, the transient mark Qt set for the leader goes too.
    void leaveGroup(std::uint32_t wid) const;
    void dropTransientMark(std::uint32_t wid) const;
    // Asks the window manager to move a mapped window to `desktop`, as a pager does.
    void askForDesktop(std::uint32_t wid, std::uint32_t desktop) const;
    // Asks the window manager to show `desktop`, as a pager does on the user's click at `time`.
    void askForCurrentDesktop(std::uint32_t desktop, std::uint32_t time) const;

    // The server's time, as EWMH wants it with a request made for the user: a window that is never
    // shown, and a property change on it that the server answers with a PropertyNotify carrying it.
    std::uint32_t createClockWindow() const;
    void askForTime(std::uint32_t clockWindow) const;

    // The part of the window that shows: `opaque` (scaled by `ratio`), or all of it when none, or
    // nothing at all while `transparent`.
    void setShape(std::uint32_t wid, const std::optional<QRegion>& opaque, double ratio,
                  bool transparent) const;
    void setInputTransparent(std::uint32_t wid, bool transparent) const;

private:
    std::uint32_t atom(const char* name) const { return atoms_.value(QByteArray(name)); }

    xcb_connection_t* connection_;
    std::uint32_t root_;
    const QHash<QByteArray, std::uint32_t>& atoms_;
};

} // namespace sm::x11
