// What becomes of a label on i3 as its workspace is left, dropped and focused again.
#include "platform/x11/I3WorkspaceLabels.h"

#include <gtest/gtest.h>

namespace sm::x11 {
namespace {

TEST(I3LabelStep, WithdrawsOnlyFromHiddenWorkspacesAndComesBackOnlyToItsOwn) {
    using S = I3LabelStep;
    const QString two = QStringLiteral("2"), five = QStringLiteral("5");
    struct Row {
        const char* what;
        I3LabelSight label;
        S step;
        bool hidden;
    };
    const Row rows[] = {
        {"left on a hidden workspace", {true, {}, false, two, true}, S::withdrawIfAlone, false},
        {"shown on another output", {true, {}, false, two, false}, S::none, false},
        {"focused one, mid-switch", {true, {}, false, five, true}, S::none, false},
        {"ordered out by the logic", {false, {}, false, two, true}, S::none, false},
        {"withdrawn, its workspace focused", {true, five, true, {}, false}, S::bringBack, true},
        {"withdrawn, ordered out meanwhile", {false, five, true, {}, false}, S::none, true},
        {"withdrawn, another focused", {true, two, true, {}, false}, S::none, true},
        {"coming back, not managed yet", {true, five, false, {}, false}, S::none, false},
        {"coming back, user moved on", {true, two, false, {}, false}, S::none, true},
        {"back on its workspace", {true, five, false, five, false}, S::settle, false},
        {"back, but on another workspace", {true, two, false, five, false}, S::withdraw, true},
        {"withdrawn with a title, its number made anew", {true, QStringLiteral("5: Mail"), true, {}, false}, S::bringBack, true},
        {"withdrawn with a title, another number", {true, QStringLiteral("15: Mail"), true, {}, false}, S::none, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(i3LabelStep(row.label, five), row.step) << row.what;
        EXPECT_EQ(i3LabelHidden(row.label, five), row.hidden) << row.what;
    }
}

} // namespace
} // namespace sm::x11
