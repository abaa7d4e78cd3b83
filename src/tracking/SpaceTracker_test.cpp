// Stories of desktop changes: which label is adopted, when a new desktop gets its tag, and when a
// late label proves a fresh tag spurious.
#include "tracking/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Resolution : public TrackerFixture {};

TEST_F(Resolution, ALabelReportingPresentShortlyAfterTheChangeIsAdoptedAndPollingStops) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    const auto code = labelOn(1, QStringLiteral("Code"));
    switchTo(0);
    start();
    ASSERT_EQ(tracker->currentActiveTagId(), mail);

    const double t0 = queue->now();
    desktop->switchDesktop(kMain, 1);
    advanceTo(t0, 0.1);
    EXPECT_TRUE(tracker->hasPendingEpisode()) << "the label is not visible yet";
    EXPECT_FALSE(tracker->currentActiveTagId());
    advanceTo(t0, 0.2);
    EXPECT_EQ(tracker->currentActiveTagId(), code);
    EXPECT_EQ(count(QStringLiteral("pending ADOPT id=") + shortId(code) + QStringLiteral(" (panel present on active screen)")), 1);
    queue->advance(5.0);
    EXPECT_EQ(count(QStringLiteral("pendingPoll TICK")), 0);
    EXPECT_EQ(store->tags().size(), 2);
    EXPECT_EQ(resolved, (QList<QUuid>{mail, code}));
}

TEST_F(Resolution, ALabelThatTurnsPresentWithoutAnyNotificationIsAdoptedByThePoll) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    const auto code = labelOn(1, QStringLiteral("Code"));
    switchTo(0);
    start();
    const double t0 = queue->now();
    desktop->switchDesktop(kMain, 1, {0.0, 5.0, 5.0, 0.0});
    desktop->forceFacts(panel(mail), false, false);
    desktop->forceFacts(panel(code), false, true); // raw visibility only: the flap
    queue->drain();
    EXPECT_EQ(count(QStringLiteral("pending IGNORE raw-only id=") + shortId(code)), 1);
    advanceTo(t0, 0.1);
    desktop->forceFacts(panel(code), true, true); // A arrives; V was already set, so no notification
    advanceTo(t0, 0.25);
    EXPECT_EQ(tracker->currentActiveTagId(), code);
    EXPECT_EQ(count(QStringLiteral("pending ADOPT id=") + shortId(code) +
                    QStringLiteral(" (presence poll — A arrived without a notification)")),
              1);
    EXPECT_EQ(count(QStringLiteral("pendingPoll TICK gen=1 verdict=resolved(") + fullId(code)), 1);
}

TEST_F(Resolution, ANewDesktopOnAnEmptyScreenGetsATagAfterTwoSeconds) {
    const double t0 = queue->now();
    start();
    EXPECT_EQ(count(QStringLiteral("pending BEGIN gen=1 activeScreen=1 previouslyActive=nil timeout=2.0s")), 1);
    advanceTo(t0, 1.99);
    EXPECT_TRUE(store->tags().isEmpty());
    advanceTo(t0, 2.0);
    ASSERT_EQ(store->tags().size(), 1);
    const SpaceTag tag = store->tags().first();
    EXPECT_EQ(tag.screenIdentifier, kMainId);
    EXPECT_EQ(tag.displayIndex, 0);
    EXPECT_FALSE(tag.isUserOwned);
    EXPECT_EQ(tracker->currentActiveTagId(), tag.id);
    EXPECT_EQ(resolved, QList<QUuid>{tag.id});
    EXPECT_EQ(count(QStringLiteral("pending TIMEOUT-CREATE id=") + shortId(tag.id) + QStringLiteral(" screen=1 (heal-armed)")), 1);
    EXPECT_EQ(count(QStringLiteral("autoCreate CONTEXT mainScreen=Built-in Display#1 existingOnActiveScreen=0 "
                                   "visibleOnActiveScreen=0 auto=true presence=on=[]")),
              1);
    queue->advance(0.5);
    EXPECT_EQ(desktop->presentLabels(kMain), QList<QUuid>{tag.id});
}

// The populated-screen quiet period, by the "Spacemarquee.PopulatedCreateQuietSeconds" key.
TEST_F(Resolution, OnAPopulatedScreenCreationWaitsForTheQuietPeriod) {
    struct Case {
        std::optional<DefaultsValue> stored;
        double quiet;
        QStringList gated; // the GATED lines' quiet fields, in order
        double createdAt;
    };
    const QList<Case> cases = {
        {std::nullopt, 4.0, {QStringLiteral("2s/4s")}, 4.0},
        {DefaultsValue(0.5), 1.0, {}, 2.0},
        {DefaultsValue(qint64(300)), 60.0, {}, 60.0},
        {DefaultsValue(QStringLiteral("soon")), 4.0, {QStringLiteral("2s/4s")}, 4.0},
        {DefaultsValue(-3.0), 4.0, {QStringLiteral("2s/4s")}, 4.0},
    };
    for (const auto& c : cases) {
        if (c.stored) defaults->setValue(SpaceTracker::kQuietSecondsKey, *c.stored);
        else defaults->remove(SpaceTracker::kQuietSecondsKey);
        EXPECT_DOUBLE_EQ(tracker->populatedCreateQuietSeconds(), c.quiet);
    }

    labelOn(0, QStringLiteral("Mail"));
    defaults->remove(SpaceTracker::kQuietSecondsKey);
    start();
    for (const double quietKey : {0.0, 0.5, 300.0}) {
        if (quietKey > 0) defaults->setValue(SpaceTracker::kQuietSecondsKey, quietKey);
        const double quiet = tracker->populatedCreateQuietSeconds();
        const auto before = store->tags().size();
        logs.log->clear();
        queue->advance(3.0); // clear of the throttle
        const double t0 = queue->now() + kSwitch.notifyDelay;
        switchTo(static_cast<int>(before), 0.0);
        advanceTo(t0, std::max(quiet, 2.0) - 0.01);
        EXPECT_EQ(store->tags().size(), before) << quietKey;
        advanceTo(t0, std::max(quiet, 2.0) + 0.01);
        EXPECT_EQ(store->tags().size(), before + 1) << quietKey;
        const int gated = count(QStringLiteral("pending TIMEOUT create GATED existing="));
        EXPECT_EQ(gated, quiet <= 2.0 ? 0 : static_cast<int>(quiet / 2.0) - 1) << quietKey;
        EXPECT_EQ(count(QStringLiteral("pending TIMEOUT create ESCALATED existing=%1 quiet=%2s — genuinely new Space on a "
                                       "populated screen")
                            .arg(before)
                            .arg(std::max(quiet, 2.0))),
                  1)
            << quietKey;
        if (quietKey == 0.0) {
            EXPECT_EQ(count(QStringLiteral("pending TIMEOUT create GATED existing=1 quiet=2s/4s — re-waiting (no duplicate)")), 1);
        }
        switchTo(0);
    }
}

TEST_F(Resolution, ALaggingLabelDefersCreationThreeTimesThenTheGatesGoOn) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    start();
    const double t0 = queue->now() + kSwitch.notifyDelay;
    switchTo(1);
    desktop->forceFacts(panel(mail), false, true); // still visible, no longer on the active desktop
    for (int strike = 1; strike <= 3; ++strike) {
        advanceTo(t0, 2.0 * strike + 0.01);
        EXPECT_EQ(count(QStringLiteral("pending TIMEOUT create DEFERRED raw-without-A on screen (strike %1/3) — probable "
                                       "lagging label, re-waiting")
                            .arg(strike)),
                  1);
    }
    EXPECT_EQ(store->tags().size(), 1);
    advanceTo(t0, 8.01);
    EXPECT_EQ(count(QStringLiteral("pending TIMEOUT create ESCALATED existing=1 quiet=8s")), 1);
    EXPECT_EQ(store->tags().size(), 2);
}

// A time-out mint, then the desktop's own late label wakes up: within 4 s the mint was spurious.
TEST_F(Resolution, ALateLabelHealsAFreshMintOnlyWithinFourSeconds) {
    struct Case {
        const char* name;
        double lag;
        QString autoTitle;
        bool healed;
        bool mintStored;
    };
    const QList<Case> cases = {
        {"empty mint", 5.0, QString(), true, false},
        {"titled mint", 5.0, QStringLiteral("zsh"), true, true},
        {"too late", 8.5, QString(), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        labelOn(0, QStringLiteral("Mail"));
        const auto code = labelOn(1, QStringLiteral("Code"));
        switchTo(0);
        tracker = SpaceTracker::create(store, overlay, desktop, queue, defaults, logs.loggers.tracker);
        wire(tracker, *overlay);
        start();
        queue->advance(3.0);
        const double t0 = queue->now();
        switchLate(1, c.lag);
        advanceTo(t0, 4.0);
        ASSERT_TRUE(tracker->lastTimeoutCreate());
        const QUuid mint = tracker->lastTimeoutCreate()->tagId;
        if (!c.autoTitle.isEmpty()) store->setAutoTitle(mint, c.autoTitle);
        advanceTo(t0, c.lag + 0.5);
        EXPECT_EQ(store->tag(mint).has_value(), c.mintStored);
        EXPECT_EQ(overlay->hasPanel(mint), !c.healed);
        EXPECT_EQ(count(QStringLiteral("pending HEAL ")), c.healed ? 1 : 0);
        if (c.healed) {
            EXPECT_EQ(tracker->currentActiveTagId(), code);
            const QString line = c.autoTitle.isEmpty()
                                     ? QStringLiteral("pending HEAL removed=%1 adopted=%2 (empty mint deleted; woke panel is present)")
                                     : QStringLiteral("pending HEAL orphaned=%1 adopted=%2 (titled mint kept as restorable orphan)");
            EXPECT_EQ(count(line.arg(shortId(mint), shortId(code))), 1);
        }
        if (c.mintStored && c.healed) {
            EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{mint, c.autoTitle}}));
        }
        for (const auto& id : overlay->panelIds()) overlay->removePanel(id, QStringLiteral("test-reset"));
        for (const auto& t : store->tags()) store->removeTag(t.id, QStringLiteral("test-reset"));
        logs.log->clear();
    }
}

TEST_F(Resolution, AdoptingTheSameTagTwiceSpeaksOnceButReportsTwice) {
    const auto mail = labelOn(0, QStringLiteral("Mail"));
    setSettings([](AppSettings& s) { s.speakSpaceNameOnChange = true; });
    resolved.clear();
    tracker->adopt(mail);
    tracker->adopt(mail);
    EXPECT_EQ(spoken, QStringList{QStringLiteral("Mail")});
    EXPECT_EQ(resolved, (QList<QUuid>{mail, mail}));
}

// Adoption binds a tag to the screen it is really on, except while a storm may still move it.
TEST_F(Resolution, AdoptionBackfillsTheHomeScreenOutsideTheGrace) {
    const QString side = QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002");
    desktop->attachScreen({2, side, QStringLiteral("Side"), QRectF(1440, 0, 800, 600), 1});
    queue->drain();
    struct Case {
        std::optional<QString> home;
        bool inGrace;
        std::optional<QString> expected;
        QString line;
    };
    const QList<Case> cases = {
        {std::nullopt, false, kMainId, QStringLiteral("adopt BACKFILL home nil -> AAAAAAAA")},
        {QStringLiteral("Built-in Display"), false, kMainId, QStringLiteral("adopt BACKFILL home Built-in -> AAAAAAAA")},
        {QStringLiteral("GONE-SCREEN"), false, kMainId, QStringLiteral("adopt BACKFILL home GONE-SCR -> AAAAAAAA")},
        {side, false, side, QStringLiteral("adopt BACKFILL-SKIPPED home=BBBBBBBB live=AAAAAAAA grace=false")},
        {std::nullopt, true, std::nullopt, QStringLiteral("adopt BACKFILL-SKIPPED home=nil live=AAAAAAAA grace=true")},
        {kMainId, false, kMainId, QString()},
    };
    for (const auto& c : cases) {
        const auto id = addLabel(QStringLiteral("Mail"), QStringLiteral("manual-create"), c.home);
        if (panel(id).screen()->displayNumber != kMain) desktop->relocatePanel(id, kMain);
        queue->advance(0.5);
        if (c.inGrace) tracker->displayReconfigured(QStringLiteral("screenParameters"));
        logs.log->clear();
        tracker->adopt(id);
        EXPECT_EQ(store->tag(id)->screenIdentifier, c.expected) << c.line.toStdString();
        EXPECT_EQ(store->tag(id)->lastSeenAt, queue->now());
        const auto lines = traces().filter(QStringLiteral("adopt BACKFILL"));
        EXPECT_EQ(lines.size(), c.line.isEmpty() ? 0 : 1) << c.line.toStdString();
        if (!c.line.isEmpty() && !lines.isEmpty()) {
            EXPECT_TRUE(lines.first().startsWith(c.line)) << lines.first().toStdString();
        }
        queue->advance(30.0);
    }
}

TEST_F(Resolution, AnAmbiguousPairNeverCreatesAndAFocusMoveDuringTheWaitAborts) {
    labelOn(0, QStringLiteral("Mail"));
    labelOn(1, QStringLiteral("A"));
    addLabel(QStringLiteral("B")); // the server piled two labels onto one desktop
    switchTo(0);
    start();
    desktop->switchDesktop(kMain, 1, {0.2, 0.01, 0.12, 0.0}); // both present before the notification
    queue->advance(10.0);
    EXPECT_EQ(store->tags().size(), 3);
    EXPECT_EQ(count(QStringLiteral("resolveFinal verdict=keepWaiting rule=two-present-ambiguous")), 1);
    EXPECT_EQ(count(QStringLiteral("pending TIMEOUT verdict=keepWaiting rule=two-present-ambiguous")), 1);
    EXPECT_FALSE(tracker->hasPendingEpisode());

    desktop->attachScreen({2, QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002"), QStringLiteral("Side"),
                           QRectF(1440, 0, 800, 600), 1});
    queue->drain();
    switchTo(2, 1.0);
    ASSERT_TRUE(tracker->hasPendingEpisode());
    tracker->stop(); // the focus change goes unannounced
    desktop->setMainScreen(2);
    queue->advance(1.5);
    EXPECT_EQ(count(QStringLiteral("pending TIMEOUT stale-screen abort (active screen changed during wait)")), 1);
    EXPECT_FALSE(tracker->hasPendingEpisode());
    EXPECT_EQ(store->tags().size(), 3);
}

} // namespace
