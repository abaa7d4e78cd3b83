// What one refresh of the X11 backend makes of what it read, for the orders in which window managers
// change the desktop properties and map the windows.
#include "platform/x11/RefreshPolicy.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

namespace sm::x11::RefreshPolicy {
namespace {

std::string flags(const RootChange& c) {
    std::string s;
    for (const auto& [on, name] : {std::pair{c.switched, "switched "}, std::pair{c.renamed, "renamed "},
                                   std::pair{c.fewer, "fewer "}, std::pair{c.dropping, "dropping "},
                                   std::pair{c.slides, "slides "}})
        if (on) s += name;
    return s;
}

std::string flags(const PanelVerdict& v) {
    std::string s;
    for (const auto& [on, name] :
         {std::pair{v.orphaned, "orphaned "}, std::pair{v.onActiveSpace, "A "}, std::pair{v.visible, "V "},
          std::pair{v.mapping, "mapping "}, std::pair{v.firstViewable, "first "},
          std::pair{v.changed, "changed "}, std::pair{!v.settled, "unsettled "}})
        if (on) s += name;
    return s;
}

const QStringList kFour{"1", "2", "3", "4"};

// `facts`: the words for what is true of the panel: viewable iconic (WM_STATE) onScreen hidden (by the i3 keeper) parked
// (on i3) orderedIn mapping seen (viewable before) A V (as of the last refresh).
PanelSight sight(std::optional<std::uint32_t> reported, std::optional<std::uint32_t> desktop,
                 std::optional<std::uint32_t> placedOn, const std::string& facts) {
    std::set<std::string> words;
    std::istringstream in(facts);
    for (std::string word; in >> word;)
        words.insert(word);
    const auto has = [&](const char* word) { return words.erase(word) == 1; };
    PanelSight s;
    s.reported = reported;
    s.desktop = desktop;
    s.placedOn = placedOn;
    s.viewable = has("viewable");
    s.iconic = has("iconic");
    s.onScreen = has("onScreen");
    s.hiddenOnI3 = has("hidden");
    s.parkedOnI3 = has("parked");
    s.orderedIn = has("orderedIn");
    s.mapping = has("mapping");
    s.seenViewable = has("seen");
    s.onActiveSpace = has("A");
    s.visible = has("V");
    EXPECT_TRUE(words.empty()) << "unknown words in " << facts;
    return s;
}

TEST(RefreshPolicy, ASwitchIsAnotherCurrentDesktopOrCountAndOnI3AnotherName) {
    struct Row {
        const char* what;
        Desktops before, now;
        bool byName, dropWindowOpen;
        const char* change;
        bool sliding = false; // Cinnamon
    };
    const Row rows[] = {
        {"nothing changed", {0, 4, kFour}, {0, 4, kFour}, false, false, ""},
        {"another desktop", {0, 4, kFour}, {1, 4, kFour}, false, false, "switched "},
        {"none current any more", {0, 4, kFour}, {{}, 4, kFour}, false, false, "switched "},
        {"a desktop added", {0, 4, kFour}, {0, 5, kFour}, false, false, "switched "},
        {"a desktop dropped", {0, 4, kFour}, {0, 3, kFour}, false, false, "switched fewer dropping "},
        {"a workspace dropped on i3", {0, 4, kFour}, {0, 3, kFour}, true, false, "switched fewer "},
        {"still dropping a moment later", {0, 3, kFour}, {0, 3, kFour}, false, true, "dropping "},
        {"current desktop renamed", {0, 4, kFour}, {0, 4, {"Mail", "2", "3", "4"}}, false, false, "renamed "},
        {"same index, another workspace on i3",
         {0, 4, kFour},
         {0, 4, {"Mail", "2", "3", "4"}},
         true,
         false,
         "switched renamed "},
        {"another workspace renamed on i3",
         {0, 4, kFour},
         {0, 4, {"1", "Mail", "3", "4"}},
         true,
         false,
         "renamed "},
        {"another desktop, slid to", {0, 4, kFour}, {1, 4, kFour}, false, false, "switched slides ", true},
        {"the first desktop read: nothing slid", {{}, 0, {}}, {0, 4, kFour}, false, false, "switched renamed ", true},
        {"none current any more: nothing to slide to", {0, 4, kFour}, {{}, 4, kFour}, false, false, "switched ", true},
        {"a desktop added behind the current one", {0, 4, kFour}, {0, 5, kFour}, false, false, "switched ", true},
        {"the current desktop dropped: another one is current",
         {3, 4, kFour}, {2, 3, kFour}, false, false, "switched fewer dropping slides ", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(flags(compare(row.before, row.now, row.byName, row.dropWindowOpen, row.sliding)), row.change)
            << row.what;
}

TEST(RefreshPolicy, APanelIsOnTheActiveDesktopVisibleAndSettledAsItsWindowAndTheRootSay) {
    const Desktops on0{0, 4, kFour}, on1{1, 4, kFour};
    const Desktops dropped{0, 2, {"1", "2"}};
    const Desktops i3Before{0, 3, {"1", "2", "5"}}, i3After{0, 2, {"1", "5"}};
    // i3 drops the workspace left behind as the one shown is named after its label, in one refresh.
    const Desktops titledBefore{1, 2, {"2: Code", "3"}}, titledAfter{0, 1, {"3: Chat"}};
    const Desktops untitledAfter{0, 1, {"2: Code"}};
    const RootChange quiet{}, dropping{true, false, true, true}, i3Quiet{false, false, false, false, true};
    const RootChange i3Dropped{true, true, true, false, true},
        elsewhereDropped{true, true, true, true, false};
    struct Row {
        const char* what;
        PanelSight panel;
        Desktops before, now;
        RootChange root;
        const char* verdict;
    };
    // clang-format off
    const Row rows[] = {
        {"shown on the current desktop, as before",
         sight(0, 0, {}, "viewable onScreen orderedIn seen A V"), on0, on0, quiet, "A V "},
        {"shown for the first time",
         sight(0, 0, {}, "viewable onScreen orderedIn"), on0, on0, quiet, "A V first changed "},
        {"on every desktop",
         sight(kEveryDesktop, {}, {}, "viewable onScreen orderedIn seen"), on1, on1, quiet, "A V changed "},
        {"switched away, not yet unmapped (openbox): its desktop is not shown",
         sight(0, 0, {}, "viewable onScreen orderedIn seen A V"), on0, on1, quiet, "changed "},
        {"left viewable and Normal on a desktop not shown (composited KWin)",
         sight(0, 0, {}, "viewable onScreen orderedIn seen"), on1, on1, quiet, ""},
        {"on a workspace shown on another output, not the focused one (i3)",
         sight(1, 1, {}, "viewable onScreen orderedIn seen V"), on0, on0, i3Quiet, "V unsettled "},
        {"switched to, not yet mapped",
         sight(1, 1, {}, "onScreen orderedIn seen"), on0, on1, quiet, "A changed unsettled "},
        {"switched away and unmapped",
         sight(0, 0, {}, "onScreen orderedIn seen A V"), on0, on1, quiet, "changed "},
        {"off every screen: hidden, and nothing to wait for",
         sight(0, 0, {}, "viewable orderedIn seen"), on0, on0, quiet, "A changed "},
        {"ordered in here, the manager has not mapped it yet",
         sight(0, 0, {}, "onScreen orderedIn mapping A V"), on0, on0, quiet, "A V mapping "},
        {"still mapping when its desktop is left",
         sight(0, 0, {}, "onScreen orderedIn mapping A V"), on0, on1, quiet, "changed "},
        {"mapped at last",
         sight(0, 0, {}, "viewable onScreen orderedIn mapping A V"), on0, on0, quiet, "A V first "},
        {"unmanaged for now: its last desktop counts",
         sight({}, 1, {}, "onScreen orderedIn seen"), on1, on1, quiet, "A changed unsettled "},
        {"no desktop is current",
         sight(0, 0, {}, "viewable onScreen orderedIn seen"), on0, {{}, 4, kFour}, quiet, "V changed unsettled "},
        {"left viewable on a desktop not shown, marked Iconic (muffin, mutter)",
         sight(0, 0, {}, "viewable iconic onScreen orderedIn seen"), on1, on1, quiet, ""},
        {"switched to, still Iconic: not shown yet",
         sight(1, 1, {}, "viewable iconic onScreen orderedIn seen"), on0, on1, quiet, "A changed unsettled "},
        {"ordered in here, mapped but still Iconic: shown meanwhile",
         sight(0, 0, {}, "viewable iconic onScreen orderedIn mapping A V"), on0, on0, quiet, "A V mapping "},
        {"hidden by the i3 keeper, though its window is viewable",
         sight(0, 0, {}, "viewable onScreen hidden orderedIn A V"), on0, on0, quiet, "changed "},
        {"its desktop dropped",
         sight(1, 3, 3, "viewable onScreen orderedIn seen"), on0, dropped, dropping, "orphaned "},
        {"the first of the dropped desktops, before the manager moves it",
         sight({}, 2, 2, "onScreen"), on0, dropped, dropping, "orphaned "},
        {"its desktop dropped, but i3 had it withdrawn",
         sight({}, 3, 3, "onScreen parked"), on0, dropped, dropping, ""},
        {"a desktop below it dropped: its own stays",
         sight(1, 1, 1, "onScreen"), on0, dropped, dropping, ""},
        {"i3 renumbered: its workspace's name survives",
         sight(1, 2, 2, "onScreen"), i3Before, i3After, {true, true, true, false}, ""},
        {"i3 renumbered and named its workspace: the number survives",
         sight(0, 1, 1, "onScreen"), titledBefore, titledAfter, i3Dropped, "A changed "},
        {"i3 dropped its workspace, another one named",
         sight({}, 1, 1, "onScreen"), titledBefore, untitledAfter, i3Dropped, "orphaned "},
        {"renamed as it dropped, where a number is only part of a name",
         sight({}, 1, 1, "onScreen"), titledBefore, titledAfter, elsewhereDropped, "orphaned "},
        {"moved off its own while desktops drop (fluxbox)",
         sight(1, 1, 2, "onScreen"), on0, on0, dropping, "orphaned "},
        {"put on every desktop while desktops drop",
         sight(kEveryDesktop, 1, 2, "onScreen"), on1, on1, dropping, "A changed "},
        {"on another desktop than this program put it, nothing dropping",
         sight(1, 1, 2, "onScreen"), on0, on0, quiet, ""},
    };
    // clang-format on
    for (const Row& row : rows)
        EXPECT_EQ(flags(judge(row.panel, row.before, row.now, row.root)), row.verdict) << row.what;
}

TEST(RefreshPolicy, ASwitchWaitsForThePanelsToAgreeAndIsNeverBegunTwice) {
    struct Row {
        bool pending, switched, settled;
        bool begins, now;
    };
    const Row rows[] = {
        {false, false, false, false, true}, // panel changes alone go out at once
        {false, true, true, true, true},    {false, true, false, true, false},
        {true, false, false, false, false}, {true, false, true, false, true},
        {true, true, false, false, false}, // the wait is not begun again
    };
    for (const Row& row : rows) {
        const auto a = announcement(row.pending, row.switched, row.settled);
        EXPECT_EQ(std::pair(a.begins, a.now), std::pair(row.begins, row.now))
            << row.pending << row.switched << row.settled;
    }
}

} // namespace
} // namespace sm::x11::RefreshPolicy
