// Stories of display reconfiguration: the grace, the settlement audit and zombifying labels.
#include "tracking/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Storms : public TrackerFixture {
protected:
    static constexpr quint32 kExt = 2;
    static constexpr quint32 kSide = 3;
    static inline const QString kExtId = QStringLiteral("EEEEEEEE-0000-4000-8000-000000000002");
    static inline const QString kSideId = QStringLiteral("DDDDDDDD-0000-4000-8000-000000000003");

    void attachExt() { desktop->attachScreen({kExt, kExtId, QStringLiteral("Studio"), QRectF(1440, 0, 1920, 1080), 3}); }
    void attachSide() { desktop->attachScreen({kSide, kSideId, QStringLiteral("Side"), QRectF(-800, 0, 800, 600), 2}); }

    // A label homed on `screen`, made while that screen shows desktop `index`.
    QUuid labelOnScreen(quint32 screen, const QString& home, int index, const QString& title) {
        switchTo(index, 0.3, screen);
        return addLabel(title, QStringLiteral("manual-create"), home);
    }
};

TEST_F(Storms, AfterTheStormLabelsStuckAwayFromTheirReturnedHomeAreZombified) {
    attachExt();
    attachSide();
    queue->drain();
    const auto local = labelOn(0, QStringLiteral("Mail"));
    const auto titled = labelOnScreen(kExt, kExtId, 1, QStringLiteral("Build"));
    const auto empty = labelOnScreen(kExt, kExtId, 2, QString());
    const auto away = labelOnScreen(kSide, kSideId, 1, QStringLiteral("Notes"));
    switchTo(0, 0.3, kExt);
    switchTo(0);
    start();
    logs.log->clear();

    const double t0 = queue->now();
    desktop->detachScreen(kExt, SimDesktop::DetachPolicy::KeepDesktopIndex);
    desktop->detachScreen(kSide, SimDesktop::DetachPolicy::KeepDesktopIndex);
    advanceTo(t0, 6.0);
    attachExt(); // the external screen comes back; the server leaves the labels on the built-in one
    advanceTo(t0, 15.9);
    EXPECT_EQ(count(QStringLiteral("settlementAudit DONE")), 0) << "each change pushed the audit back";
    EXPECT_EQ(count(QStringLiteral("displayReconfig reason=screenParameters — auto-create suppressed for 25.0s; "
                                   "settlement audit armed")),
              3);
    EXPECT_GE(count(QStringLiteral("panel crossed screens id=") + shortId(titled) +
                    QStringLiteral(" within reconfig grace — settlement audit (re-)armed")),
              1);
    advanceTo(t0, 16.1);
    EXPECT_EQ(count(QStringLiteral("settlementAudit DONE kept=2 zombified=2 (storm quiet for 10s)")), 1);
    EXPECT_EQ(count(QStringLiteral("settlementAudit KEEP-PRESENT id=") + shortId(local)), 1);
    EXPECT_EQ(count(QStringLiteral("settlementAudit ZOMBIFY id=%1 home=EEEEEEEE live=AAAAAAAA (re-home stuck after the storm)")
                        .arg(shortId(titled))),
              1);
    EXPECT_FALSE(overlay->hasPanel(titled));
    EXPECT_FALSE(store->tag(empty));
    EXPECT_EQ(count(QStringLiteral("store REMOVE id=%1 title='' reason=anchor-lost-reconfig-settled-empty-deleted")
                        .arg(shortId(empty))),
              1);
    EXPECT_TRUE(overlay->hasPanel(away)) << "its home is still detached: nothing to go back to";
    EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{titled, QStringLiteral("Build")}}));
    EXPECT_TRUE(store->settings().screenCensus.contains(kExtId));
    advanceTo(t0, 60.0);
    EXPECT_EQ(count(QStringLiteral("settlementAudit DONE")), 1);
}

TEST_F(Storms, WakeAndLoginLaunchSuppressCreationForTwentyFiveSeconds) {
    for (const bool login : {false, true}) {
        SCOPED_TRACE(login ? "login item" : "wake");
        for (const auto& id : overlay->panelIds()) overlay->removePanel(id, QStringLiteral("test-reset"));
        for (const auto& t : store->tags()) store->removeTag(t.id, QStringLiteral("test-reset"));
        tracker = SpaceTracker::create(store, overlay, desktop, queue, defaults, logs.loggers.tracker);
        wire(tracker, *overlay);
        const double t0 = queue->now();
        start(login);
        if (!login) {
            queue->advance(2.1); // the first desktop gets its tag
            ASSERT_EQ(store->tags().size(), 1);
            desktop->wake();
            queue->drain();
            switchTo(1, 0.0);
        }
        const double reconfigAt = login ? t0 : t0 + 2.1;
        const auto before = store->tags().size();
        advanceTo(reconfigAt, 24.9);
        EXPECT_EQ(store->tags().size(), before);
        EXPECT_GE(count(QStringLiteral("pending TIMEOUT create SUPPRESSED (within display-reconfig grace) — re-waiting on screen 1")), 10);
        advanceTo(reconfigAt, 27.1);
        EXPECT_EQ(store->tags().size(), before + 1);
        const QString reason = login ? QStringLiteral("launched-as-login-item") : QStringLiteral("systemWake");
        EXPECT_EQ(count(QStringLiteral("displayReconfig reason=") + reason), 1);
        logs.log->clear();
        switchTo(0);
    }
}

TEST_F(Storms, AUserDragAcrossScreensNeverReArmsTheAudit) {
    attachExt();
    queue->drain();
    const auto id = labelOn(0, QStringLiteral("Mail"));
    start();
    struct Case {
        bool buttonDown;
        bool reconfigured;
        bool rearmed;
    };
    for (const Case c : {Case{true, true, false}, Case{false, false, false}, Case{false, true, true}}) {
        queue->advance(30.0);
        if (c.reconfigured) tracker->displayReconfigured(QStringLiteral("screenParameters"));
        if (tracker->isSettlementAuditArmed()) queue->advance(10.0);
        ASSERT_FALSE(tracker->isSettlementAuditArmed());
        desktop->setLeftMouseButtonDown(c.buttonDown);
        tracker->panelCrossedScreens(id);
        EXPECT_EQ(tracker->isSettlementAuditArmed(), c.rearmed);
    }
    EXPECT_EQ(count(QStringLiteral("panel crossed screens id=") + shortId(id) +
                    QStringLiteral(" outside reconfig grace (or mid-drag) — left alone")),
              2);
}

// A zombify that hits the label being edited waits for the editor to close.
TEST_F(Storms, AZombifyDuringEditingIsAppliedWhenTheEditorCloses) {
    struct Case {
        bool removedMeanwhile;
        QString line;
    };
    const QList<Case> cases = {
        {false, QStringLiteral("panel ZOMBIFY deferred-apply id=%1 reason=co-residency-heal")},
        {true, QStringLiteral("panel ZOMBIFY deferred-moot id=%1 reason=co-residency-heal (panel already removed)")},
    };
    for (const auto& c : cases) {
        const auto id = labelOn(0, QStringLiteral("Mail"));
        panel(id).view().click();
        ASSERT_TRUE(overlay->entry(id)->isEditing);
        tracker->zombifyPanel(id, QStringLiteral("co-residency-heal"));
        EXPECT_TRUE(overlay->hasPanel(id));
        EXPECT_EQ(count(QStringLiteral("panel ZOMBIFY DEFERRED id=%1 reason=co-residency-heal (tag is being edited — "
                                       "will re-apply on edit close)")
                            .arg(shortId(id))),
                  1);
        if (c.removedMeanwhile) {
            tracker->removeTag(id, QStringLiteral("preferences-delete"));
        } else {
            auto& editor = desktop->editorPanels().last()->view();
            editor.type(QStringLiteral("Inbox"));
            editor.pressReturn();
            EXPECT_EQ(count(QStringLiteral("panel ZOMBIFY id=%1 reason=co-residency-heal-deferred (panel-only; titled tag "
                                           "kept as orphan)")
                                .arg(shortId(id))),
                      1);
            EXPECT_EQ(store->tag(id)->title, QStringLiteral("Inbox")) << "the typed name survives";
        }
        EXPECT_EQ(count(c.line.arg(shortId(id))), 1);
        EXPECT_FALSE(overlay->hasPanel(id));
        EXPECT_TRUE(tracker->deferredZombifies().isEmpty());
        queue->advance(1.0);
    }
}

TEST_F(Storms, TheCensusRecordsNewScreensOnce) {
    start();
    EXPECT_EQ(count(QStringLiteral("screenCensus UPDATED screens=1 known=1")), 1);
    attachExt();
    queue->advance(10.5);
    EXPECT_EQ(count(QStringLiteral("screenCensus UPDATED screens=2 known=2")), 1);
    tracker->updateScreenCensus();
    EXPECT_EQ(count(QStringLiteral("screenCensus UPDATED")), 2);
}

} // namespace
