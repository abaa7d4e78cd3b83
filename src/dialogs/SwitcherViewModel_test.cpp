#include "dialogs/SwitcherViewModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace sm {
namespace {

const QList<SwitcherViewModel::Entry> kDesktops{
    {"Mail", 1}, {"mail", 2}, {"Code review", 3}, {"Code", 4}, {"Music", 5}, {"Écrits", 6}, {"", 7}};

TEST(SwitcherViewModel, TypedTextKeepsWhatGoWouldTakeFirstThenWhatContainsIt) {
    struct Case {
        const char* typed;
        std::vector<int> shown; // not QList: Qt 6.4 compares two empty ones through memcmp(nullptr)
    } const cases[] = {
        {"", {0, 1, 2, 3, 4, 5}},     // every named desktop in desktop order; never the unnamed one
        {"Code", {3, 2}},             // the exact name before the longer one it begins
        {"code", {3, 2}},             // a whole name in any case before a beginning
        {"MAIL", {0, 1}},
        {"mail", {1, 0}},
        {"c", {2, 3, 4, 5}},          // beginnings, then names with a c inside
        {"view", {2}},
        {"  mu ", {4}},               // surrounding space means nothing, as for go
        {"écr", {5}},                 // case beyond ASCII
        {"Chat", {}},
    };
    for (const auto& c : cases) {
        SwitcherViewModel model(kDesktops);
        model.setFilter(QString::fromUtf8(c.typed));
        EXPECT_EQ(std::vector<int>(model.shown().begin(), model.shown().end()), c.shown) << c.typed;
        EXPECT_EQ(model.selectedRow(), c.shown.empty() ? -1 : 0) << c.typed;
        EXPECT_EQ(model.chosen(), c.shown.empty() ? -1 : c.shown.front()) << c.typed;
    }
}

TEST(SwitcherViewModel, ArrowsStopAtTheEndsAndTypingStartsOverAtTheTop) {
    struct Case {
        const char* typed;
        QList<int> moves;
        int chosen;
    } const cases[] = {
        {"", {1, 1}, 2},
        {"", {-1}, 0},                // above the first row stays there
        {"", {10}, 5},                // below the last one too
        {"", {3, -1}, 2},
        {"c", {1, 1, 1, 1}, 5},       // the rows as shown, not as listed
        {"Chat", {1, -1}, -1},        // nothing shown, nothing to go to
    };
    for (const auto& c : cases) {
        SwitcherViewModel model(kDesktops);
        model.setFilter(QString::fromUtf8(c.typed));
        for (int m : c.moves)
            model.moveSelection(m);
        EXPECT_EQ(model.chosen(), c.chosen) << c.typed;
    }
    SwitcherViewModel model(kDesktops);
    model.moveSelection(3);
    model.setFilter(QStringLiteral("c"));
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.chosen(), 2);
}

} // namespace
} // namespace sm
