#include "platform/WorkspaceNames.h"

#include <gtest/gtest.h>

using namespace sm;

namespace {

TEST(WorkspaceNames, OnlyAPlainNumberTakesATitle) {
    const struct {
        const char* own;
        const char* title;
        const char* shown;
    } rows[] = {
        {"2", "Mail", "2: Mail"},
        {"12", "  Code ", "12: Code"},
        {"2", " ", "2"},
        {"2: Web", "Mail", "2: Web"}, // the user's own name
        {"mail", "Mail", "mail"},
        {"02", "Mail", "02"}, // `workspace number 2` reaches it, but "02" is someone's choice
        {"", "Mail", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(WorkspaceNames::withTitle(QString::fromUtf8(r.own), QString::fromUtf8(r.title)),
                  QString::fromUtf8(r.shown))
            << r.own;
}

TEST(WorkspaceNames, ListedByNumberWithoutTheUnnumbered) {
    EXPECT_EQ(WorkspaceNames::byNumber({"3: Code", "mail", "1", "1:dup", "99999999"}),
              QStringList({"", "1", "", "3: Code"}));
    EXPECT_EQ(WorkspaceNames::numberOf(QStringLiteral("10x")), 10); // as i3 reads it: digits first
    EXPECT_FALSE(WorkspaceNames::numberOf(QStringLiteral("x10")));
}

TEST(WorkspaceNames, BindingsByNameAreFoundThroughVariables) {
    const QString config = QStringLiteral(R"(set $mod Mod4
set $ws1 "1"
set $ws10 10
set $ws2 2: Web
bindsym $mod+1 workspace $ws1
bindsym $mod+0 workspace number $ws10
bindsym $mod+2 workspace --no-auto-back-and-forth $ws2
bindsym $mod+Shift+3 move container to workspace 3; workspace 3
bindsym $mod+Shift+4 move container to workspace number 4
bindsym $mod+n workspace next
bindsym $mod+o move workspace to output right
workspace 5 output HDMI-1
workspace_layout tabbed
# bindsym $mod+6 workspace 6
bindsym $mod+7 exec swaymsg 'workspace "7"'
)");
    EXPECT_EQ(WorkspaceNames::reachedByName(config),
              QSet<QString>({"1", "2: Web", "3", "5", "7"}));
}

} // namespace
