// Stories of the user's tag commands: add, set-title, delete to a tombstone, duplicates, restore, purge.
#include "tracking/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Commands : public TrackerFixture {
protected:
    // A tag that once had a label and lost it.
    QUuid orphan(const QString& title, double seenAgo = 0.0, bool owned = false, int displayIndex = 0) {
        SpaceTag tag;
        tag.id = QUuid::createUuid();
        tag.title = title;
        tag.screenIdentifier = kMainId;
        tag.displayIndex = displayIndex;
        tag.lastSeenAt = queue->now() - seenAgo;
        tag.isUserOwned = owned;
        store->addTag(tag, QStringLiteral("test-orphan"));
        return tag.id;
    }
};

TEST_F(Commands, ManualAddRespectsAPresentLabelAndReplacesATombstone) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    start();
    tracker->addTagForCurrentSpace();
    EXPECT_EQ(store->tags().size(), 1);
    EXPECT_TRUE(logs.log->messages().contains(QStringLiteral("Manual add ignored: Space already has tag")));

    tracker->deleteTagFromContextMenu(mail);
    EXPECT_EQ(count(QStringLiteral("TOMBSTONE id=") + shortId(mail) +
                    QStringLiteral(" (desktop deliberately unlabeled; invisible anchor vetoes the mint, excluded from resolution)")),
              1);
    tracker->addTagForCurrentSpace();
    ASSERT_EQ(store->tags().size(), 1);
    const auto added = store->tags().first().id;
    EXPECT_NE(added, mail);
    EXPECT_EQ(tracker->currentActiveTagId(), added);
    EXPECT_EQ(count(QStringLiteral("store REMOVE id=%1 title='' reason=tombstone-replaced-manual-add").arg(shortId(mail))), 1);
    EXPECT_EQ(count(QStringLiteral("autoCreate CONTEXT mainScreen=Built-in Display#1 existingOnActiveScreen=1 "
                                   "visibleOnActiveScreen=0 auto=false")),
              1)
        << "the tombstone is counted as a row but takes no part in presence";
}

TEST_F(Commands, ADeletedLabelKeepsItsDesktopUnlabelledOnEveryLaterVisit) {
    labelOn(0, QStringLiteral("Mail"));
    const auto code = labelOn(1, QStringLiteral("Code"));
    start();
    tracker->deleteTagFromContextMenu(code);
    EXPECT_TRUE(store->tag(code)->isTombstone);
    EXPECT_FALSE(tracker->currentActiveTagId());
    tracker->renameTag(code, QStringLiteral("Back"));
    EXPECT_EQ(store->tag(code)->title, QString());
    EXPECT_EQ(count(QStringLiteral("renameTag SKIPPED id=") + shortId(code) + QStringLiteral(" (tombstone anchors are not renamable)")), 1);

    for (int visit = 0; visit < 2; ++visit) {
        switchTo(0);
        switchTo(1, 10.0);
    }
    EXPECT_EQ(store->tags().size(), 2);
    EXPECT_EQ(count(QStringLiteral("create VETOED tombstone=") + shortId(code) + QStringLiteral(" (desktop deliberately unlabeled)")), 2);
    EXPECT_FALSE(tracker->currentActiveTagId());

    tracker->deleteTagFromContextMenu(QUuid::createUuid()); // no panel: removed outright
    EXPECT_EQ(count(QStringLiteral("store REMOVE id=")), 1);
}

TEST_F(Commands, SetTitleNamesTheCurrentDesktopOrCreatesAnOwnedTagWithoutThrottle) {
    start();
    queue->advance(2.5);
    ASSERT_EQ(store->tags().size(), 1);
    const auto minted = store->tags().first().id;
    tracker->setTitleForCurrentSpace(QStringLiteral("Mail"), true);
    EXPECT_EQ(store->tag(minted)->title, QStringLiteral("Mail"));
    EXPECT_TRUE(store->tag(minted)->isUserOwned);

    switchTo(1, 0.5); // within the throttle of the mint
    tracker->setTitleForCurrentSpace(QStringLiteral("Code"), false);
    ASSERT_EQ(store->tags().size(), 2);
    const SpaceTag made = store->tags().last();
    EXPECT_EQ(made.title, QStringLiteral("Code"));
    EXPECT_FALSE(made.isUserOwned);
    EXPECT_EQ(made.displayIndex, 1);
    EXPECT_EQ(tracker->currentActiveTagId(), made.id);
    EXPECT_EQ(count(QStringLiteral("store ADD id=%1 title='Code' scr=AAAAAAAA reason=set-title-create").arg(shortId(made.id))), 1);
    queue->advance(5.0);
    EXPECT_EQ(store->tags().size(), 2) << "the open episode adopted the new label instead of minting";

    tracker->removeCurrentTag();
    EXPECT_FALSE(store->tag(made.id));
    tracker->removeCurrentTag();
    EXPECT_TRUE(logs.log->messages().contains(QStringLiteral("Manual remove ignored: no tag on current Space")));
}

TEST_F(Commands, RemovingDuplicatesKeepsTheActiveLabelAndOrphansTitledOnes) {
    const auto active = labelOn(1, QStringLiteral("Mail"));
    start();
    ASSERT_EQ(tracker->currentActiveTagId(), active);
    const auto empty = addLabel(QString());
    const auto titled = addLabel(QStringLiteral("Notes"));
    ASSERT_EQ(desktop->presentLabels(kMain).size(), 3);

    EXPECT_EQ(tracker->removeDuplicatesOnCurrentSpace(), 2);
    EXPECT_EQ(desktop->presentLabels(kMain), QList<QUuid>{active});
    EXPECT_FALSE(store->tag(empty));
    EXPECT_TRUE(store->tag(titled));
    EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{titled, QStringLiteral("Notes")}}));
    EXPECT_EQ(tracker->currentActiveTagId(), active);
    EXPECT_TRUE(logs.log->messages().contains(
        QStringLiteral("Cleared 2 duplicate label(s) on current Space (titled ones kept as restorable orphans)")));
    EXPECT_EQ(tracker->removeDuplicatesOnCurrentSpace(), 0);
}

TEST_F(Commands, RestorableTitlesAreGroupedAndOrderedCaseInsensitively) {
    labelOn(0, QStringLiteral("Live"));
    const auto upper = orphan(QStringLiteral("Mail"));
    const auto lower = orphan(QStringLiteral("mail "));
    const auto code = orphan(QStringLiteral("Code"), 60.0);
    orphan(QStringLiteral(" Code"), 120.0); // same title once trimmed, seen earlier: not offered
    const auto zed = orphan(QStringLiteral("zed"));
    orphan(QStringLiteral("   "));
    const auto tie1 = orphan(QStringLiteral("Tie"), 0.0, false, 3);
    orphan(QStringLiteral("Tie"), 0.0, false, 5);

    using RT = LabelContextMenu::RestorableTitle;
    EXPECT_EQ(tracker->restorableTitles(), (QList<RT>{{code, QStringLiteral("Code")},
                                                      {upper, QStringLiteral("Mail")},
                                                      {lower, QStringLiteral("mail ")},
                                                      {tie1, QStringLiteral("Tie")},
                                                      {zed, QStringLiteral("zed")}}));

    const auto target = store->tags().first().id;
    tracker->restoreTitle(code, target);
    EXPECT_EQ(store->tag(target)->title, QStringLiteral("Code"));
    EXPECT_TRUE(store->tag(target)->isUserOwned);
    EXPECT_FALSE(store->tag(code));
    EXPECT_EQ(count(QStringLiteral("restoreTitle 'Code' from=%1 onto=%2 (orphan consumed)").arg(shortId(code), shortId(target))), 1);
}

TEST_F(Commands, TheOneShotPurgeRemovesEveryUnownedTagWithoutALabel) {
    const auto live = labelOn(0, QString());
    const auto titled = orphan(QStringLiteral("zsh"));
    const auto empty = orphan(QString());
    const auto owned = orphan(QStringLiteral("Mail"), 0.0, true);
    EXPECT_EQ(tracker->purgeJunk(QStringLiteral("junk-janitor"), 1296000.0), 0);
    EXPECT_EQ(tracker->purgeJunk(QStringLiteral("junk-purge-oneshot"), 0.0), 2);
    EXPECT_EQ(count(QStringLiteral("junkPurge reason=junk-purge-oneshot removing=2 of 4 rows (orphan + non-user-owned + "
                                   "older than 0s)")),
              1);
    EXPECT_TRUE(store->tag(live));
    EXPECT_TRUE(store->tag(owned));
    EXPECT_FALSE(store->tag(titled));
    EXPECT_FALSE(store->tag(empty));
    EXPECT_EQ(tracker->purgeJunk(QStringLiteral("junk-purge-oneshot"), 0.0), 0);
}

TEST_F(Commands, EveryCommandIsANoOpOnceTheStoreIsGone) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    overlay->onPanelBecameVisible = nullptr;
    store.reset();
    tracker->addTagForCurrentSpace();
    tracker->removeTag(mail, QStringLiteral("preferences-delete"));
    EXPECT_TRUE(overlay->hasPanel(mail));
    EXPECT_EQ(tracker->removeDuplicatesOnCurrentSpace(), 0);
    EXPECT_TRUE(tracker->restorableTitles().isEmpty());
    EXPECT_EQ(tracker->purgeJunk(QStringLiteral("junk-purge-oneshot"), 0.0), 0);
    EXPECT_FALSE(tracker->createTag(false));
}

} // namespace
