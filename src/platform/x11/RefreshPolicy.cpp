#include "platform/x11/RefreshPolicy.h"

#include "platform/WorkspaceNames.h"

#include <algorithm>

namespace sm::x11::RefreshPolicy {

namespace {

QString nameOf(const QStringList& names, std::optional<std::uint32_t> index) {
    return index && *index < static_cast<std::uint32_t>(names.size())
               ? names.at(static_cast<qsizetype>(*index))
               : QString();
}

// Desktops were dropped (wmctrl -n, a pager): the window manager moves their windows onto one that
// remains, where the labels do not belong. i3 also drops an empty workspace and renumbers the rest,
// but a workspace that holds a label is never empty, so it survives under a new index, and under a
// new name too when it was renamed meanwhile ("3" shown as "3: Chat"): its number stays.
bool vanished(const Desktops& before, const Desktops& now, std::optional<std::uint32_t> was, bool byNumber) {
    if (now.count >= before.count || !was || *was == kEveryDesktop || *was < now.count) return false;
    const QString name = nameOf(before.names, was);
    if (name.isEmpty()) return true;
    const QStringList remaining = now.names.mid(0, static_cast<qsizetype>(now.count));
    if (remaining.contains(name)) return false;
    const auto number = byNumber ? WorkspaceNames::numberOf(name) : std::nullopt;
    return !number || std::none_of(remaining.begin(), remaining.end(), [&](const QString& other) {
        return WorkspaceNames::numberOf(other) == number;
    });
}

} // namespace

RootChange compare(const Desktops& before, const Desktops& now, bool knownByName, bool dropWindowOpen,
                   bool slidingManager) {
    RootChange change;
    // Elsewhere a name is only a name, and renaming the current desktop is no switch.
    change.switched = now.current != before.current || now.count != before.count ||
                      (knownByName && nameOf(now.names, now.current) != nameOf(before.names, before.current));
    change.renamed = now.names != before.names;
    change.fewer = now.count < before.count;
    change.dropping = !knownByName && (change.fewer || dropWindowOpen);
    change.knownByName = knownByName;
    // The first reading is no switch the user saw; neither is a desktop added or dropped elsewhere.
    change.slides = slidingManager && before.current && now.current && *before.current != *now.current;
    return change;
}

PanelVerdict judge(const PanelSight& panel, const Desktops& before, const Desktops& now,
                   const RootChange& root) {
    PanelVerdict verdict;
    // fluxbox moves the windows of a desktop about to go before it lowers the count.
    const bool movedOff = root.dropping && panel.reported && *panel.reported != kEveryDesktop &&
                          panel.placedOn && *panel.reported != *panel.placedOn;
    // A label withdrawn on i3 took its workspace away itself.
    verdict.orphaned =
        (vanished(before, now, panel.desktop, root.knownByName) && !panel.parkedOnI3) || movedOff;
    const auto desktop = panel.reported ? panel.reported : panel.desktop;
    verdict.onActiveSpace = !panel.hiddenOnI3 && desktop && now.current &&
                            (*desktop == kEveryDesktop || *desktop == *now.current);
    // i3 hides the frame and leaves the client mapped: only "viewable" says the window shows. muffin and
    // mutter leave the windows of hidden desktops viewable, and only mark them Iconic; composited KWin
    // leaves them viewable and Normal, and only their desktop says they are not shown. i3 shows a
    // workspace on every output, and names only the focused one current.
    const bool elsewhere = !root.knownByName && desktop && now.current && *desktop != kEveryDesktop &&
                           *desktop != *now.current;
    const bool viewable = !panel.hiddenOnI3 && panel.viewable && !panel.iconic && !elsewhere;
    verdict.mapping = panel.mapping && !viewable && panel.orderedIn && verdict.onActiveSpace;
    verdict.visible = (viewable || verdict.mapping) && panel.onScreen;
    verdict.firstViewable = viewable && !panel.seenViewable;
    verdict.changed = verdict.onActiveSpace != panel.onActiveSpace || verdict.visible != panel.visible;
    // Openbox announces the desktop before it maps and unmaps: until then a panel is shown on a
    // desktop that is not current, or hidden on the current one.
    verdict.settled = !(panel.orderedIn && panel.onScreen && verdict.onActiveSpace != verdict.visible);
    return verdict;
}

Announcement announcement(bool pending, bool switched, bool settled) {
    Announcement a;
    a.begins = switched && !pending;
    a.now = !(pending || a.begins) || settled;
    return a;
}

} // namespace sm::x11::RefreshPolicy
