// Stories of desktop changes: which label is adopted, when a new desktop gets its tag, and when a
// late label proves a fresh tag spurious.
#include "model/ModelJson.h"
#include "support/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Resolution : public TrackerFixture {
protected:
    // "Mail" on desktop 0 and "Code" on desktop 1; the program starts with the user on desktop 0.
    std::pair<QUuid, QUuid> mailAndCode() {
        const std::pair<QUuid, QUuid> labels{labelOn(0, "Mail"), labelOn(1, "Code")}; // in this order
        switchTo(0);
        start();
        return labels;
    }
};

TEST_F(Resolution, ALabelReportingShortlyAfterTheChangeIsAdoptedAndPollingStops) {
    const auto [mail, code] = mailAndCode();
    const double t0 = queue->now();
    desktop->switchDesktop(kMain, 1);
    advanceTo(t0, 0.1);
    EXPECT_FALSE(tracker->currentActiveTagId()) << "the label is not visible yet";
    advanceTo(t0, 5.0);
    EXPECT_EQ(tracker->currentActiveTagId(), code);
    EXPECT_EQ(count("pending ADOPT id=" + shortId(code) + " (panel present on active screen)"), 1);
    EXPECT_EQ(count("pendingPoll TICK"), 0);
    EXPECT_EQ(resolved, (QList<QUuid>{mail, code}));
    EXPECT_EQ(store->tags().size(), 2);
}

TEST_F(Resolution, ALabelThatTurnsPresentWithoutAnyNotificationIsAdoptedByThePoll) {
    const auto [mail, code] = mailAndCode();
    desktop->switchDesktop(kMain, 1, {0.0, 5.0, 5.0, 0.0});
    desktop->forceFacts(panel(mail), false, false);
    desktop->forceFacts(panel(code), false, true); // visible only: the flap
    queue->advance(0.1);
    EXPECT_EQ(count("pending IGNORE raw-only id=" + shortId(code)), 1);
    desktop->forceFacts(panel(code), true, true); // V unchanged, so nobody is told
    queue->advance(0.15);
    EXPECT_EQ(tracker->currentActiveTagId(), code);
    EXPECT_EQ(count("pending ADOPT id=" + shortId(code) + " (presence poll — A arrived without a notification)"), 1);
}

TEST_F(Resolution, ANewDesktopOnAnEmptyScreenGetsItsTagAtTwoSeconds) {
    const double t0 = queue->now();
    start();
    advanceTo(t0, 1.99);
    EXPECT_TRUE(store->tags().isEmpty());
    advanceTo(t0, 2.0);
    ASSERT_EQ(store->tags().size(), 1);
    const SpaceTag tag = store->tags().first();
    EXPECT_EQ(tag.screenIdentifier, kMainId);
    EXPECT_EQ(tracker->currentActiveTagId(), tag.id);
    EXPECT_EQ(resolved, QList<QUuid>{tag.id});
    EXPECT_EQ(count("pending TIMEOUT-CREATE id=" + shortId(tag.id) + " screen=1 (heal-armed)"), 1);
}

// On a screen that has tags, creation waits for "Spacemarquee.PopulatedCreateQuietSeconds".
TEST_F(Resolution, OnAPopulatedScreenCreationWaitsForTheQuietPeriod) {
    using Stored = std::pair<DefaultsValue, double>;
    // The bounds are CreationGate's; here, what the stored value may be.
    for (const auto& [stored, quiet] : {Stored{qint64(300), 60.0}, Stored{QString("soon"), 4.0}}) {
        defaults->setValue(SpaceTracker::kQuietSecondsKey, stored);
        EXPECT_DOUBLE_EQ(tracker->populatedCreateQuietSeconds(), quiet);
    }
    labelOn(0, "Mail");
    start();
    for (const double key : {0.0, 0.5, 300.0}) { // 0: the key is absent
        if (key > 0) defaults->setValue(SpaceTracker::kQuietSecondsKey, key);
        else defaults->remove(SpaceTracker::kQuietSecondsKey);
        const double createdAt = std::max(tracker->populatedCreateQuietSeconds(), 2.0);
        const auto before = store->tags().size();
        logs.log->clear();
        const double t0 = queue->now() + kSwitch.notifyDelay;
        switchTo(int(before), 0.0);
        advanceTo(t0, createdAt - 0.01);
        EXPECT_EQ(store->tags().size(), before) << key;
        advanceTo(t0, createdAt + 0.01);
        EXPECT_EQ(store->tags().size(), before + 1) << key;
        EXPECT_EQ(count("pending TIMEOUT create GATED existing="), int(createdAt / 2.0) - 1) << key;
        EXPECT_EQ(count(QString("pending TIMEOUT create ESCALATED existing=%1 quiet=%2s — genuinely new Space on a "
                                "populated screen").arg(before).arg(createdAt)),
                  1)
            << key;
        if (key == 0.0) {
            EXPECT_EQ(count("pending TIMEOUT create GATED existing=1 quiet=2s/4s — re-waiting (no duplicate)"), 1);
        }
        switchTo(0, 3.0);
    }
}

TEST_F(Resolution, ALaggingLabelDefersCreationThreeTimesThenTheGatesGoOn) {
    const auto mail = labelOn(0, "Mail");
    start();
    const double t0 = queue->now() + kSwitch.notifyDelay;
    switchTo(1);
    desktop->forceFacts(panel(mail), false, true); // still visible, no longer on the active desktop
    advanceTo(t0, 6.01);
    for (int strike = 1; strike <= 3; ++strike) {
        EXPECT_EQ(count(QString("pending TIMEOUT create DEFERRED raw-without-A on screen (strike %1/3) — probable lagging "
                                "label, re-waiting").arg(strike)),
                  1);
    }
    EXPECT_EQ(store->tags().size(), 1);
    advanceTo(t0, 8.01);
    EXPECT_EQ(count("pending TIMEOUT create ESCALATED existing=1 quiet=8s"), 1);
    EXPECT_EQ(store->tags().size(), 2);
}

// A time-out mint, then the desktop's own late label wakes up: within 4 s the mint was spurious.
TEST_F(Resolution, ALateLabelHealsAFreshMintOnlyWithinFourSeconds) {
    struct Case {
        double lag;
        QString autoTitle;
        QString heal; // the HEAL line, empty when nothing heals
    };
    for (const Case& c : {Case{5.0, "", "pending HEAL removed=%1 adopted=%2 (empty mint deleted; woke panel is present)"},
                          Case{5.0, "zsh", "pending HEAL orphaned=%1 adopted=%2 (titled mint kept as restorable orphan)"},
                          Case{8.5, "", ""}}) {
        for (const auto& t : store->tags()) store->removeTag(t.id, "test-reset");
        launch();
        logs.log->clear();
        const auto [mail, code] = mailAndCode();
        const double t0 = queue->now();
        desktop->switchDesktop(kMain, 1, {0.0, c.lag, c.lag, 0.0});
        desktop->forceFacts(panel(mail), false, false);
        advanceTo(t0, 4.0);
        ASSERT_TRUE(tracker->lastTimeoutCreate());
        const QUuid mint = tracker->lastTimeoutCreate()->tagId;
        if (!c.autoTitle.isEmpty()) store->setAutoTitle(mint, c.autoTitle);
        advanceTo(t0, c.lag + 0.5);
        EXPECT_EQ(count("pending HEAL "), c.heal.isEmpty() ? 0 : 1);
        EXPECT_EQ(overlay->hasPanel(mint), c.heal.isEmpty());
        EXPECT_EQ(store->tag(mint).has_value(), c.heal.isEmpty() || !c.autoTitle.isEmpty());
        if (c.heal.isEmpty()) continue;
        EXPECT_EQ(count(c.heal.arg(shortId(mint), shortId(code))), 1);
        EXPECT_EQ(tracker->currentActiveTagId(), code);
        if (!c.autoTitle.isEmpty()) {
            EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{mint, c.autoTitle}}));
        }
    }
}

TEST_F(Resolution, StoppingCancelsAnOpenEpisode) {
    start(); // nothing present on the empty screen: the episode polls and waits for its time-out
    ASSERT_TRUE(tracker->hasPendingEpisode());
    tracker->stop();
    queue->advance(10.0);
    EXPECT_FALSE(tracker->hasPendingEpisode());
    EXPECT_TRUE(store->tags().isEmpty());
    EXPECT_EQ(count("pendingPoll TICK") + count("pending TIMEOUT"), 0);
}

TEST_F(Resolution, AdoptingTheSameTagTwiceSpeaksOnceButReportsTwice) {
    const auto mail = labelOn(0, "Mail");
    setSettings([](AppSettings& s) { s.speakSpaceNameOnChange = true; });
    tracker->adopt(mail);
    tracker->adopt(mail);
    EXPECT_EQ(spoken, QStringList{"Mail"});
    EXPECT_EQ(resolved, (QList<QUuid>{mail, mail}));
}

// A switch stamps the desktop's last-seen time; no switch may cost a disk write of its own (each used
// to block for a write and two fsyncs), yet the times are on disk within the bound. (A label's place is
// written once, at its first adoption; the first round of switches gets that out of the way.)
TEST_F(Resolution, SwitchesWriteNothingAtOnceAndTheirLastSeenTimesTogetherWithinTheBound) {
    const auto mail = mailAndCode().first;
    switchTo(1);
    switchTo(0);
    queue->advance(TagStore::kDeferredSaveSeconds);
    const int writes = defaults->totalWrites();
    switchTo(1, 0.5);
    switchTo(0, 0.5);
    EXPECT_EQ(tracker->currentActiveTagId(), mail);
    EXPECT_EQ(defaults->totalWrites(), writes);
    queue->advance(TagStore::kDeferredSaveSeconds);
    EXPECT_EQ(defaults->totalWrites(), writes + 1);
    EXPECT_EQ(ModelJson::decodeTags(*defaults->dataValue(TagStore::kTagsKey)).value, store->tags());
}

// Adoption binds a tag to the screen it is really on, except while a storm may still move it.
TEST_F(Resolution, AdoptionBackfillsTheHomeScreenOutsideTheGrace) {
    const QString side = "BBBBBBBB-0000-4000-8000-000000000002";
    desktop->attachScreen({2, side, "Side", QRectF(1440, 0, 800, 600), 1});
    queue->drain();
    struct Case {
        std::optional<QString> home, expected;
        bool inGrace;
        QString line;
    };
    for (const Case& c : {Case{std::nullopt, kMainId, false, "adopt BACKFILL home nil -> AAAAAAAA"},
                          Case{"Built-in Display", kMainId, false, "adopt BACKFILL home Built-in -> AAAAAAAA"},
                          Case{"GONE", kMainId, false, "adopt BACKFILL home GONE -> AAAAAAAA"},
                          Case{side, side, false, "adopt BACKFILL-SKIPPED home=BBBBBBBB live=AAAAAAAA grace=false"},
                          Case{std::nullopt, std::nullopt, true, "adopt BACKFILL-SKIPPED home=nil live=AAAAAAAA grace=true"},
                          Case{kMainId, kMainId, false, ""}}) {
        const auto id = addLabel("Mail", "manual-create", c.home);
        if (panel(id).screen()->displayNumber != kMain) desktop->relocatePanel(id, kMain);
        if (c.inGrace) tracker->displayReconfigured("screenParameters");
        queue->advance(0.5);
        logs.log->clear();
        tracker->adopt(id);
        EXPECT_EQ(store->tag(id)->screenIdentifier, c.expected) << c.line.toStdString();
        const auto lines = traces().filter("adopt BACKFILL");
        EXPECT_EQ(lines.size(), c.line.isEmpty() ? 0 : 1) << c.line.toStdString();
        EXPECT_TRUE(c.line.isEmpty() || lines.value(0).startsWith(c.line)) << lines.value(0).toStdString();
        queue->advance(30.0);
    }
}

} // namespace
