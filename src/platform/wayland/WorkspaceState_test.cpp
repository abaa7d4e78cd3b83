#include "platform/wayland/WorkspaceState.h"

#include <gtest/gtest.h>

namespace sm::wayland {
namespace {

using Kind = WorkspaceEvent::Kind;

WorkspaceEvent ev(Kind kind, quint64 object, QString text = {}, quint32 bits = 0, quint64 other = 0) {
    return WorkspaceEvent{kind, object, other, std::move(text), {}, bits};
}
WorkspaceEvent coords(quint64 object, QList<quint32> numbers) {
    return WorkspaceEvent{Kind::workspaceCoordinates, object, 0, {}, std::move(numbers), 0};
}
WorkspaceEvent enter(quint64 group, quint64 workspace) {
    return ev(Kind::groupWorkspaceEnter, group, {}, 0, workspace);
}
QList<WorkspaceEvent> workspace(quint64 handle, quint64 group, QString name, quint32 state = 0) {
    return {ev(Kind::workspaceCreated, handle), ev(Kind::workspaceName, handle, std::move(name)),
            ev(Kind::workspaceState, handle, {}, state), enter(group, handle)};
}

// Two outputs, a group on each, two workspaces in each; 1 and 3 active.
Snapshot twoOutputs() {
    QList<WorkspaceEvent> batch{ev(Kind::groupCreated, 100), ev(Kind::groupOutputEnter, 100, "DP-1"),
                                ev(Kind::groupCreated, 200), ev(Kind::groupOutputEnter, 200, "HDMI-A-1")};
    batch << workspace(1, 100, "1", kActiveState) << workspace(2, 100, "2")
          << workspace(3, 200, "3", kActiveState) << workspace(4, 200, "4");
    return applied({}, batch);
}

QString activeName(const Snapshot& s, const QString& output) {
    const auto* w = s.activeOn(output);
    return w ? w->name : QStringLiteral("-");
}

TEST(WorkspaceStateTest, EachBatchIsSeenWholeWithWhatItChanged) {
    struct Case {
        const char* story;
        QList<WorkspaceEvent> batch;
        QString activeOnFirst, activeOnSecond;
        WorkspaceChanges changes;
    };
    const Case cases[] = {
        {"a switch: one off, the other on",
         {ev(Kind::workspaceState, 1, {}, 0), ev(Kind::workspaceState, 2, {}, kActiveState)},
         "2",
         "3",
         {.active = true}},
        {"a rename", {ev(Kind::workspaceName, 4, "Mail")}, "1", "3", {.names = true}},
        {"a workspace is made, named and entered in one batch",
         workspace(5, 100, "5"),
         "1",
         "3",
         {.layout = true}},
        {"the active workspace goes, another takes over",
         {ev(Kind::groupWorkspaceLeave, 200, {}, 0, 3), ev(Kind::workspaceRemoved, 3),
          ev(Kind::workspaceState, 4, {}, kActiveState)},
         "1",
         "4",
         {.active = true, .layout = true}},
        {"an output leaves its group",
         {ev(Kind::groupOutputLeave, 200, "HDMI-A-1")},
         "1",
         "-",
         {.layout = true}},
        {"a workspace moves to the other output, active there",
         {ev(Kind::groupWorkspaceLeave, 100, {}, 0, 2), enter(200, 2), ev(Kind::workspaceState, 3, {}, 0),
          ev(Kind::workspaceState, 2, {}, kActiveState)},
         "1",
         "2",
         {.active = true, .layout = true}},
        {"events about objects never announced change nothing",
         {ev(Kind::workspaceName, 99, "ghost"), enter(999, 1)},
         "1",
         "3",
         {}},
        {"a group goes: its workspaces are in none",
         {ev(Kind::groupWorkspaceLeave, 200, {}, 0, 3), ev(Kind::groupWorkspaceLeave, 200, {}, 0, 4),
          ev(Kind::groupRemoved, 200)},
         "1",
         "-",
         {.active = true, .layout = true}},
    };
    const Snapshot before = twoOutputs();
    ASSERT_EQ(activeName(before, "DP-1"), "1");
    ASSERT_EQ(activeName(before, "HDMI-A-1"), "3");
    for (const auto& c : cases) {
        const Snapshot after = applied(before, c.batch);
        EXPECT_EQ(activeName(after, "DP-1"), c.activeOnFirst) << c.story;
        EXPECT_EQ(activeName(after, "HDMI-A-1"), c.activeOnSecond) << c.story;
        const WorkspaceChanges got = compare(before, after);
        EXPECT_EQ(got.active, c.changes.active) << c.story;
        EXPECT_EQ(got.names, c.changes.names) << c.story;
        EXPECT_EQ(got.layout, c.changes.layout) << c.story;
    }
}

TEST(WorkspaceStateTest, APagerOrderPutsRowsFirstAndLeavesHiddenOnesOut) {
    QList<WorkspaceEvent> batch{ev(Kind::groupCreated, 100), ev(Kind::groupOutputEnter, 100, "DP-1")};
    batch << workspace(1, 100, "no place") << workspace(2, 100, "x1 y1") << coords(2, {1, 1})
          << workspace(3, 100, "x0 y1") << coords(3, {0, 1}) << workspace(4, 100, "x1 y0")
          << coords(4, {1, 0}) << workspace(5, 100, "hidden", kHiddenState) << coords(5, {0, 0});
    QStringList order;
    const Snapshot s = applied({}, batch);
    for (const auto* w : s.workspacesOf(100))
        order << w->name;
    EXPECT_EQ(order, (QStringList{"x1 y0", "x0 y1", "x1 y1", "no place"}));
}

// What lets a restart, or an output plugged back, find a workspace's name again.
TEST(WorkspaceStateTest, KeysAreTheCompositorsIdElseOutputGroupAndPlace) {
    QList<WorkspaceEvent> batch{ev(Kind::groupCreated, 100), ev(Kind::groupOutputEnter, 100, "DP-1"),
                                ev(Kind::groupCreated, 150), ev(Kind::groupOutputEnter, 150, "DP-1"),
                                ev(Kind::groupCreated, 200)};
    batch << workspace(1, 100, "web") << ev(Kind::workspaceId, 1, "ws-7") << coords(1, {3})
          << workspace(2, 100, "mail") << coords(2, {0, 2}) << workspace(3, 100, "chat")
          << workspace(4, 150, "chat") << workspace(5, 200, "nowhere") << ev(Kind::workspaceCreated, 6)
          << ev(Kind::workspaceName, 6, "unassigned");
    const Snapshot s = applied({}, batch);
    const struct {
        quint64 handle;
        QString key;
    } cases[] = {
        {1, "id:ws-7"},           // the id wins over everything
        {2, "DP-1/0/at:0,2"},     // coordinates over the name, which may change
        {3, "DP-1/0/named:chat"}, // no coordinates: the name
        {4, "DP-1/1/named:chat"}, // the same name in the output's second group
        {5, ""},                  // a group on no output
        {6, ""},                  // in no group
    };
    for (const auto& c : cases)
        EXPECT_EQ(workspaceKey(s, *s.workspace(c.handle)), c.key) << c.handle;
}

} // namespace
} // namespace sm::wayland
