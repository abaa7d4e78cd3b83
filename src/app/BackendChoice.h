#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace sm {

enum class Backend { kwin, sway, gnome, wayland, x11 };

// What the choice of a backend goes by. A probe asks the desktop (a socket, the session bus, a display)
// and says why its backend cannot be used, empty when it can; each is asked only when the choice needs
// its answer, as some take a round trip and an X11 session should not try Wayland first.
struct BackendFacts {
    QString forced;            // SPACEMARQUEE_BACKEND, empty when not set
    bool onWayland = false;    // WAYLAND_DISPLAY is set
    bool swaySession = false;  // SWAYSOCK is set
    bool gnomeDesktop = false; // XDG_CURRENT_DESKTOP names GNOME
    std::function<QString()> kwin;
    std::function<QString()> sway;
    std::function<QString()> gnome;                  // GNOME Shell's bridge answers
    std::function<QString(bool* answered)> wayland; // `answered`: a compositor is there, lacking something
    std::function<QString()> x11;                    // an X11 session
    std::function<QString()> xwayland;               // X11 through the Wayland session's Xwayland
};

struct BackendChoice {
    std::optional<Backend> backend; // none: `problem` says why
    bool xwayland = false;          // X11 on the Wayland session's Xwayland
    bool bridgeMissing = false;     // GNOME on Wayland whose bridge does not answer: the user is told how to turn it on
    QString problem;
};

// SPACEMARQUEE_BACKEND (kwin, sway, gnome, wayland or x11) forces a backend. Else KWin on Wayland when
// it answers, sway when it answers, GNOME Shell on Wayland when its bridge answers, any other Wayland
// compositor that tells its workspaces with ext-workspace-v1, else X11. GNOME's Wayland session runs X11
// through Xwayland when its bridge does not answer, or when X11 is forced: mutter tells Xwayland's
// clients its workspaces. None, with the reason, when nothing can be used.
BackendChoice chooseBackend(const BackendFacts& facts);

} // namespace sm
