// The window manager's desktop names while Spacemarquee lends it the titles: a name the user chose
// there starts a new label, the titles replace only what they name, nothing is lost in a crash, and a
// window manager that takes its names back is left alone.
#include "tracker/DesktopNameSync.h"
#include "support/TrackerFixture.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

class DesktopNameSyncTest : public test::TrackerFixture {
protected:
    const QStringList own = {"1", "2", "Music", "4"};

    QStringList names() const { return desktop->desktopNames(); }
};

TEST_F(DesktopNameSyncTest, ANewLabelTakesTheChosenNameAndTitlesNameOnlyTheirDesktops) {
    desktop->nameDesktops(own);
    start();
    switchTo(2, 6.0);
    switchTo(1, 6.0);
    ASSERT_EQ(store->tags().size(), 2u);
    EXPECT_EQ(store->tags()[0].title, QStringLiteral("Music"));
    EXPECT_FALSE(store->tags()[0].isUserOwned);
    EXPECT_EQ(store->tags()[1].title, QString()) << "\"2\" is the window manager's number, not a name";

    tracker->setTitleForCurrentSpace(QStringLiteral("Mail"), true);
    queue->drain();
    EXPECT_EQ(names(), (QStringList{"1", "Mail", "Music", "4"}));

    core.reset(); // a crash: the names are not given back
    setSettings([](AppSettings& s) { s.shareDesktopNames = false; });
    launch();
    start();
    EXPECT_EQ(names(), own) << "the next session gives back what the crashed one lent";
    EXPECT_FALSE(defaults->value(DesktopNameSync::kRecordKey));
}

TEST_F(DesktopNameSyncTest, AWindowManagerThatReplacesTheTitlesIsLeftAlone) {
    desktop->nameDesktops(own);
    start();
    labelOn(0, QStringLiteral("Mail"));
    queue->drain();
    ASSERT_EQ(names(), (QStringList{"Mail", "2", "Music", "4"}));

    const QStringList reasserted = {"1", "2", "3", "4", "5"}; // as fluxbox does when desktops are added
    const QString backOff =
        QStringLiteral("The window manager replaced the desktop names Spacemarquee gave it; "
                       "leaving them to it for this session");
    for (int round = 0; round < 2; ++round) {
        desktop->nameDesktops(reasserted);
        queue->drain();
        tracker->setTitleForCurrentSpace(QStringLiteral("Post %1").arg(round), true);
        queue->drain();
        EXPECT_EQ(names(), reasserted) << round;
    }
    EXPECT_EQ(logs.log->messages().count(backOff), 1);
}

} // namespace
} // namespace sm
