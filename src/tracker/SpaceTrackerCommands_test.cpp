// Stories of the user's tag commands: add, delete to a tombstone, duplicates, restore, purge.
#include "support/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Commands : public TrackerFixture {
protected:
    // A tag that once had a label and lost it.
    QUuid orphan(const QString& title, double seenAgo = 0.0, bool owned = false, int displayIndex = 0) {
        const SpaceTag tag{QUuid::createUuid(), title, std::nullopt, displayIndex, kMainId, queue->now() - seenAgo, owned, false};
        store->addTag(tag, "test-orphan");
        return tag.id;
    }
};

TEST_F(Commands, ManualAddRespectsAPresentLabelAndReplacesATombstone) {
    const auto mail = labelOn(0, "Mail");
    start();
    tracker->addTagForCurrentSpace();
    EXPECT_EQ(store->tags().size(), 1);
    tracker->deleteTagFromContextMenu(mail);
    tracker->addTagForCurrentSpace();
    ASSERT_EQ(store->tags().size(), 1);
    EXPECT_NE(store->tags().first().id, mail);
    EXPECT_EQ(tracker->currentActiveTagId(), store->tags().first().id);
    EXPECT_EQ(count("store REMOVE id=" + shortId(mail) + " title='' reason=tombstone-replaced-manual-add"), 1);
}

TEST_F(Commands, SetTitleNamesTheCurrentTagOrMakesAnOwnedOneWithoutThrottle) {
    start();
    queue->advance(2.5); // the first desktop's mint
    tracker->setTitleForCurrentSpace("Mail", true);
    EXPECT_TRUE(store->tags().first().isUserOwned && store->tags().first().title == "Mail");
    switchTo(1, 0.5); // well within the throttle of the mint
    tracker->setTitleForCurrentSpace("Code", true);
    EXPECT_EQ(resolved.last(), store->tags().last().id) << "told at once, while the label is surely here";
    queue->advance(5.0);
    ASSERT_EQ(store->tags().size(), 2) << "the open episode adopts the new label instead of minting";
    EXPECT_EQ(count("store ADD id=" + shortId(store->tags().last().id) + " title='Code' scr=AAAAAAAA reason=set-title-create"), 1);
    EXPECT_EQ(tracker->currentActiveTagId(), store->tags().last().id);
}

TEST_F(Commands, ADeletedLabelKeepsItsDesktopUnlabelledOnLaterVisits) {
    labelOn(0, "Mail");
    const auto code = labelOn(1, "Code");
    start();
    tracker->deleteTagFromContextMenu(code);
    EXPECT_FALSE(tracker->currentActiveTagId());
    tracker->renameTag(code, "Back");
    for (int visit = 0; visit < 2; ++visit) {
        switchTo(0);
        switchTo(1, 10.0);
    }
    EXPECT_EQ(store->tags().size(), 2);
    EXPECT_EQ(store->tag(code)->title, "");
    EXPECT_EQ(count("create VETOED tombstone=" + shortId(code) + " (desktop deliberately unlabeled)"), 2);
}

TEST_F(Commands, RemovingDuplicatesKeepsTheActiveLabelAndOrphansTitledOnes) {
    const auto active = labelOn(1, "Mail");
    start();
    const auto empty = addLabel("");
    const auto titled = addLabel("Notes");
    ASSERT_EQ(desktop->presentLabels(kMain).size(), 3);
    EXPECT_EQ(tracker->removeDuplicatesOnCurrentSpace(), 2);
    EXPECT_EQ(desktop->presentLabels(kMain), QList<QUuid>{active});
    EXPECT_FALSE(store->tag(empty));
    EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{titled, "Notes"}}));
    EXPECT_EQ(tracker->currentActiveTagId(), active);
}

TEST_F(Commands, TheLabelsContextMenuReachesTheTracker) {
    const auto mail = labelOn(0, "Mail");
    const auto notes = orphan("Notes");
    ASSERT_TRUE(panel(mail).view().choose(LabelContextMenu::Item::restorePrefix + notes.toString(QUuid::WithoutBraces)));
    EXPECT_EQ(store->tag(mail)->title, "Notes");
    ASSERT_TRUE(panel(mail).view().choose(LabelContextMenu::Item::deleteLabel));
    EXPECT_TRUE(store->tag(mail)->isTombstone);
}

TEST_F(Commands, RestorableTitlesAreGroupedAndOrderedCaseInsensitively) {
    const auto live = labelOn(0, "Live");
    const auto upper = orphan("Mail"), lower = orphan("mail "), code = orphan("Code", 60.0), zed = orphan("zed");
    orphan(" Code", 120.0); // the same title once trimmed, seen earlier: not offered
    orphan("   ");
    const auto tie = orphan("Tie", 0.0, false, 3);
    orphan("Tie", 0.0, false, 5);
    using RT = LabelContextMenu::RestorableTitle;
    EXPECT_EQ(tracker->restorableTitles(),
              (QList<RT>{{code, "Code"}, {upper, "Mail"}, {lower, "mail "}, {tie, "Tie"}, {zed, "zed"}}));
    tracker->restoreTitle(code, live);
    EXPECT_EQ(store->tag(live)->title, "Code");
    EXPECT_FALSE(store->tag(code));
}

TEST_F(Commands, TheOneShotPurgeRemovesEveryUnownedTagWithoutALabel) {
    const auto live = labelOn(0, "");
    const auto titled = orphan("zsh"), empty = orphan(""), owned = orphan("Mail", 0.0, true);
    EXPECT_EQ(tracker->purgeJunk("junk-janitor", 1296000.0), 0);
    EXPECT_EQ(tracker->purgeJunk("junk-purge-oneshot", 0.0), 2);
    EXPECT_TRUE(store->tag(live) && store->tag(owned));
    EXPECT_FALSE(store->tag(titled) || store->tag(empty));
}

} // namespace
