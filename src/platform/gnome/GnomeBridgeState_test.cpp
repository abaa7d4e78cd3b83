#include "platform/gnome/GnomeBridgeState.h"

#include <gtest/gtest.h>

namespace sm::gnome {
namespace {

TEST(GnomeBridgeState, ReadsWhatTheBridgeSendsAndRefusesWhatItDoesNot) {
    struct Case {
        const char* json;
        bool readable;
        quint64 active; // the active workspace's id when readable
    };
    const Case cases[] = {
        {R"({"version":"1","workspaces":[4,7,9],"active":1,"monitors":[],"windows":[]})", true, 7},
        {R"({"workspaces":[4],"active":0,"monitors":[],"windows":[],"focus":null})", true, 4},
        {R"({"workspaces":[4],"active":1,"monitors":[],"windows":[]})", false, 0},  // beyond the list
        {R"({"workspaces":[0],"active":0,"monitors":[],"windows":[]})", false, 0},  // no id
        {R"({"workspaces":[4],"active":0,"monitors":[]})", false, 0},                // no windows
        {R"([1,2])", false, 0},
        {R"({"workspaces":[4],"active":0,)", false, 0},
    };
    for (const auto& c : cases) {
        QString error;
        const auto state = parseState(c.json, &error);
        EXPECT_EQ(state.has_value(), c.readable) << c.json;
        if (state) {
            EXPECT_EQ(state->activeWorkspace(), c.active) << c.json;
        } else {
            EXPECT_FALSE(error.isEmpty()) << c.json;
        }
    }
}

TEST(GnomeBridgeState, KeepsTheProgramsWindowsAndBoundsUntrustedTitles) {
    const QByteArray json = QByteArray(R"({"workspaces":[3,5],"active":0,)") +
                            R"("monitors":[{"index":0,"x":0,"y":0,"width":1280,"height":800,"primary":true},)" +
                            R"({"index":1,"x":1280,"y":0,"width":0,"height":0}],)" +
                            R"("focus":{"title":")" + QByteArray(10000, 'x') + R"(","appId":"org.x","pid":12},)" +
                            R"("windows":[{"marker":"Spacemarquee label 1","pid":40,"workspace":5,)" +
                            R"("x":10,"y":20,"width":30,"height":40,"showing":true},)" +
                            R"({"marker":"Spacemarquee label 2","pid":40,"workspace":-3}]})";
    QString error;
    const auto state = parseState(json, &error);
    ASSERT_TRUE(state) << error.toStdString();
    EXPECT_EQ(state->monitors.size(), 1) << "a monitor without an area is no screen";
    ASSERT_TRUE(state->focus);
    EXPECT_EQ(state->focus->title.size(), 4096);
    ASSERT_EQ(state->windows.size(), 2);
    EXPECT_EQ(state->windows[0].rect, QRect(10, 20, 30, 40));
    EXPECT_EQ(state->indexOf(state->windows[0].workspace), 1);
    EXPECT_EQ(state->windows[1].workspace, 0u) << "a nonsense id is no workspace";
    EXPECT_EQ(state->indexOf(0), -1);
}

TEST(GnomeBridgeState, OnlyABridgeOfTheProgramsOwnVersionServesIt) {
    EXPECT_TRUE(versionProblem(QStringLiteral("0.1.0"), QStringLiteral("0.1.0")).isEmpty());
    for (const char* other : {"0.1.1", "", "0.1"})
        EXPECT_TRUE(versionProblem(QLatin1String(other), QStringLiteral("0.1.0")).contains(QLatin1String("0.1.0")))
            << other;
}

} // namespace
} // namespace sm::gnome
