#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>

namespace sm::x11 {

// _NET_WM_DESKTOP's "every desktop".
inline constexpr std::uint32_t kEveryDesktop = 0xFFFFFFFF;

// What one refresh of the X11 backend decides from what it read of the root and of each panel: when a
// switch is announced, which labels lost their desktop, and each panel's facts. Window managers order
// their property changes and map events each their own way; every such order is one row of a table.
namespace RefreshPolicy {

// The root window's desktops as one refresh reads them.
struct Desktops {
    std::optional<std::uint32_t> current; // none: the window manager names none
    std::uint32_t count = 0;
    QStringList names;
};

struct RootChange {
    bool switched = false; // another desktop is current: it is announced once the panels agree
    bool renamed = false;
    bool fewer = false;       // desktops were dropped just now: the drop window starts again
    bool dropping = false;    // desktops are being dropped: a label moved off its own desktop lost it
    bool knownByName = false; // i3: a numbered workspace is its number, whatever name follows it
    bool slides = false;      // the manager slides the desktops past: frames set meanwhile are undone
};

// `dropWindowOpen`: desktops fell in number less than the drop window ago. On i3 (`knownByName`) the
// same index can be another workspace, and no desktop is ever dropped under a label. `slidingManager`:
// Cinnamon, which animates a change of the current desktop, and only that.
RootChange compare(const Desktops& before, const Desktops& now, bool knownByName, bool dropWindowOpen,
                   bool slidingManager = false);

// One panel in one refresh: what the server answered now, and what the backend kept.
struct PanelSight {
    std::optional<std::uint32_t> reported; // its _NET_WM_DESKTOP now; none while unmanaged
    bool viewable = false;                 // mapped, and so is every ancestor
    bool iconic = false;                   // WM_STATE Iconic: hidden by the manager, mapped or not
    bool onScreen = false;                 // its window meets a screen
    bool hiddenOnI3 = false;               // withdrawn on i3, or not yet back on its workspace
    bool parkedOnI3 = false;               // withdrawn on i3 when the refresh began
    std::optional<std::uint32_t> desktop;  // as reported before, or where it was bound
    std::optional<std::uint32_t> placedOn; // where this program put it
    bool orderedIn = false;
    bool mapping = false; // ordered in on the current desktop, not yet mapped by the window manager
    bool seenViewable = false;
    bool onActiveSpace = false; // as of the last refresh
    bool visible = false;       // as of the last refresh
};

struct PanelVerdict {
    bool orphaned = false; // its desktop went away: told before the switch is announced
    bool onActiveSpace = false;
    bool visible = false;
    bool mapping = false;
    bool firstViewable = false; // shown for the first time since mapped: put again where it was put
    bool changed = false;       // A or V changed: told after the switch
    bool settled = true;        // false: shown on a desktop that is not current, or hidden on the current one
};

PanelVerdict judge(const PanelSight& panel, const Desktops& before, const Desktops& now,
                   const RootChange& root);

struct Announcement {
    bool begins = false; // a switch starts to wait for the panels (and for the settle timer)
    bool now = false;    // the switch, if any, and the held panel changes are told now
};

// A switch is announced once every panel's facts agree with it, or when the settle timer ends the
// wait; panel changes wait for the announcement so that observers hear of the switch first.
Announcement announcement(bool pending, bool switched, bool settled);

} // namespace RefreshPolicy

} // namespace sm::x11
