#include "platform/x11/I3WorkspaceLabels.h"

#include "platform/WorkspaceNames.h"
#include "platform/widgets/PanelWindow.h"
#include "platform/x11/NativeWindows.h"
#include "platform/x11/RefreshPolicy.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XcbReply.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace sm::x11 {

namespace {
// The workspace i3 makes anew for `workspace number 2` is "2", whatever title "2" carried before.
bool sameWorkspace(const QString& parkedOn, const QString& focused) {
    if (parkedOn == focused) return true;
    const auto number = WorkspaceNames::numberOf(parkedOn);
    return number && WorkspaceNames::numberOf(focused) == number && focused == QString::number(*number);
}
} // namespace

I3LabelStep i3LabelStep(const I3LabelSight& label, const QString& focused) {
    if (label.withdrawn)
        return label.orderedIn && label.parkedOn && sameWorkspace(*label.parkedOn, focused)
                   ? I3LabelStep::bringBack
                   : I3LabelStep::none;
    if (label.parkedOn) {
        if (!label.workspace) return I3LabelStep::none; // i3 has not taken it back yet
        return *label.workspace == *label.parkedOn ? I3LabelStep::settle : I3LabelStep::withdraw;
    }
    // A workspace shown on another output leaves its windows viewable; a switch caught halfway leaves
    // the focused one's hidden for a moment.
    if (label.orderedIn && label.workspace && label.unviewable && *label.workspace != focused)
        return I3LabelStep::withdrawIfAlone;
    return I3LabelStep::none;
}

bool i3LabelHidden(const I3LabelSight& label, const QString& focused) {
    if (label.withdrawn) return true;
    if (!label.parkedOn) return false;
    return label.workspace ? *label.workspace != *label.parkedOn : *label.parkedOn != focused;
}

I3WorkspaceLabels::I3WorkspaceLabels(X11WindowServer& server) : server_(server) {
    lonelyCheck_.setSingleShot(true);
    lonelyCheck_.setInterval(0);
    QObject::connect(&lonelyCheck_, &QTimer::timeout, &lonelyCheck_, [this] { withdrawLonely(); });
}

QString I3WorkspaceLabels::focusedName() const {
    const auto current = server_.currentDesktop_;
    return current ? server_.desktopNames_.value(static_cast<qsizetype>(*current)) : QString();
}

I3LabelSight I3WorkspaceLabels::sight(const PanelState& state, std::optional<std::uint32_t> desktop,
                                      bool unviewable) const {
    I3LabelSight sight{state.orderedIn, state.parkedOn, state.parked, std::nullopt, unviewable};
    if (desktop && *desktop != kEveryDesktop &&
        *desktop < static_cast<std::uint32_t>(server_.desktopNames_.size()))
        sight.workspace = server_.desktopNames_.at(static_cast<qsizetype>(*desktop));
    return sight;
}

void I3WorkspaceLabels::bringBack() {
    const QString focused = focusedName();
    if (focused.isEmpty()) return;
    for (PanelState* state : server_.panels_) {
        if (!state->parked || !state->window ||
            i3LabelStep(sight(*state, std::nullopt, false), focused) != I3LabelStep::bringBack)
            continue;
        state->parked = false;
        state->parkedOn = focused; // it settles on the workspace it comes back to
        state->desktop = server_.currentDesktop_;
        state->desktopName = focused;
        server_.prepareMap(*state);
        state->window->show();
    }
}

bool I3WorkspaceLabels::review(PanelState& state, std::optional<std::uint32_t> desktop, bool unviewable) {
    if (state.takesFocus) return false; // labels only
    const QString focused = focusedName();
    const I3LabelSight seen = sight(state, desktop, unviewable);
    switch (i3LabelStep(seen, focused)) {
    case I3LabelStep::settle:
        state.parkedOn.reset();
        break;
    case I3LabelStep::withdraw:
        withdraw(state, *state.parkedOn);
        break;
    case I3LabelStep::withdrawIfAlone:
        candidates_.insert(state.serial);
        break;
    case I3LabelStep::none:
    case I3LabelStep::bringBack:
        break;
    }
    return i3LabelHidden(seen, focused);
}

void I3WorkspaceLabels::reviewed() {
    const QSet<quint64> candidates = std::exchange(candidates_, {});
    if (candidates.isEmpty()) {
        checked_.clear();
        return;
    }
    // Looked at again only when the labels or the windows around them changed.
    if (candidates == checked_ && clientsGeneration_ == checkedGeneration_) return;
    checked_ = candidates;
    checkedGeneration_ = clientsGeneration_;
    lonelyCheck_.start();
}

// A workspace that holds nothing but labels is withdrawn from; one with any other window stays anyway,
// and its label stays mapped: mapped again, it would take i3's focus from that window.
void I3WorkspaceLabels::withdrawLonely() {
    auto* c = server_.connection_;
    std::vector<std::pair<quint64, NativeWindows::Asked>> asked;
    const auto desktopAtom = server_.atoms_.value("_NET_WM_DESKTOP");
    for (const PanelState* state : server_.panels_)
        if (checked_.contains(state->serial) && state->wid)
            asked.emplace_back(state->serial, server_.windows_->ask(state->wid));
    if (asked.empty()) return;
    const auto listCookie = xcb_get_property(c, 0, server_.root_, server_.atoms_.value("_NET_CLIENT_LIST"),
                                             XCB_ATOM_WINDOW, 0, 4096);
    std::uint32_t current = kEveryDesktop, count = 0, active = 0;
    QStringList names;
    server_.readRootState(&current, &count, &names, &active);
    Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(c, listCookie, nullptr));
    std::vector<xcb_get_property_cookie_t> others;
    if (list && list->format == 32) {
        const auto* windows = static_cast<const std::uint32_t*>(xcb_get_property_value(list.get()));
        for (std::uint32_t i = 0; i < list->value_len; ++i)
            if (!server_.isOurs(windows[i]))
                others.push_back(xcb_get_property(c, 0, windows[i], desktopAtom, XCB_ATOM_CARDINAL, 0, 1));
    }
    QSet<std::uint32_t> occupied;
    for (const auto& cookie : others) {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
        if (const auto desktop = cardinal(reply.get())) occupied.insert(*desktop);
    }
    const QString focused =
        current < static_cast<std::uint32_t>(names.size()) ? names.at(current) : QString();
    for (const auto& [serial, question] : asked) {
        const NativeWindows::Facts facts = server_.windows_->read(question);
        const auto it = std::find_if(server_.panels_.begin(), server_.panels_.end(),
                                     [&](const PanelState* s) { return s->serial == serial; });
        const auto where = facts.desktop;
        if (it == server_.panels_.end() || !where || *where >= static_cast<std::uint32_t>(names.size()) ||
            occupied.contains(*where))
            continue;
        I3LabelSight seen{(*it)->orderedIn, (*it)->parkedOn, (*it)->parked, names.at(*where), facts.unviewable};
        if (i3LabelStep(seen, focused) == I3LabelStep::withdrawIfAlone) withdraw(**it, *seen.workspace);
    }
}

void I3WorkspaceLabels::withdraw(PanelState& state, const QString& workspace) {
    state.parkedOn = workspace;
    state.parked = true;
    state.mapping = false;
    // i3 places the window anew when it takes it back: it is put where the overlay has it by then.
    state.seenViewable = false;
    if (state.window) {
        if (!state.geometryWhileMapping) state.geometryWhileMapping = state.window->geometry();
        state.window->hide();
    }
    server_.scheduleRefresh();
}

} // namespace sm::x11
