#pragma once

#include <QString>

namespace sm::x11 {

// Mutter, as the window manager of GNOME's Xwayland, writes the root's _NET_CURRENT_DESKTOP only when
// the desktop changes: until the user's first switch an X11 client cannot tell which desktop is on
// screen, takes no label for the current one and makes a second. This finds the desktop on screen
// from the one mutter puts a new window on (a 1 × 1 window that takes no focus, mapped for a moment)
// and, the property still absent, writes it: a request for the desktop on screen is a no-op to mutter.
// True when the property is there; false with the reason when it could not be had. Opens its own
// connection: safe before or beside Qt's.
bool ensureCurrentDesktopPublished(QString* why);

} // namespace sm::x11
