// Stories of display reconfiguration: the grace, the settlement audit and zombifying labels.
#include "support/TrackerFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Storms : public TrackerFixture {
protected:
    static constexpr quint32 kExt = 2, kSide = 3;
    static inline const QString kExtId = "EEEEEEEE-0000-4000-8000-000000000002";
    static inline const QString kSideId = "DDDDDDDD-0000-4000-8000-000000000003";

    void attachExt() { desktop->attachScreen({kExt, kExtId, "Studio", QRectF(1440, 0, 1920, 1080), 3}); }
    // A label homed on `screen`, made while that screen shows desktop `index`.
    QUuid labelOnScreen(quint32 screen, const QString& home, int index, const QString& title) {
        switchTo(index, 0.3, screen);
        return addLabel(title, "manual-create", home);
    }
};

TEST_F(Storms, AfterTheStormLabelsStuckAwayFromTheirReturnedHomeAreZombified) {
    attachExt();
    desktop->attachScreen({kSide, kSideId, "Side", QRectF(-800, 0, 800, 600), 2});
    const auto local = labelOn(0, "Mail");
    const auto titled = labelOnScreen(kExt, kExtId, 1, "Build");
    const auto empty = labelOnScreen(kExt, kExtId, 2, "");
    const auto away = labelOnScreen(kSide, kSideId, 1, "Notes");
    switchTo(0, 0.3, kExt);
    switchTo(0);
    start();
    const double t0 = queue->now();
    desktop->detachScreen(kExt, SimDesktop::DetachPolicy::KeepDesktopIndex);
    desktop->detachScreen(kSide, SimDesktop::DetachPolicy::KeepDesktopIndex);
    advanceTo(t0, 6.0);
    attachExt(); // it comes back; the server leaves its labels on the built-in screen
    advanceTo(t0, 15.9);
    EXPECT_EQ(count("settlementAudit DONE"), 0) << "each change pushed the audit back";
    EXPECT_EQ(count("panel crossed screens id=" + shortId(titled) + " within reconfig grace — settlement audit (re-)armed"), 1);
    advanceTo(t0, 60.0);
    EXPECT_EQ(count("settlementAudit DONE kept=2 zombified=2 (storm quiet for 10s)"), 1);
    EXPECT_EQ(count("settlementAudit KEEP-PRESENT id=" + shortId(local)), 1);
    EXPECT_EQ(count("settlementAudit ZOMBIFY id=" + shortId(titled) + " home=EEEEEEEE live=AAAAAAAA (re-home stuck after the storm)"), 1);
    EXPECT_EQ(count("store REMOVE id=" + shortId(empty) + " title='' reason=anchor-lost-reconfig-settled-empty-deleted"), 1);
    EXPECT_TRUE(overlay->hasPanel(away)) << "its home is still detached: nothing to go back to";
    EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{titled, "Build"}}));
}

TEST_F(Storms, LabelsOfRemovedDesktopsGoAtOnceInsteadOfPilingUpTitledOnesStayRestorable) {
    labelOn(0, "Mail");
    const auto code = labelOn(1, "Code");
    const auto build = labelOn(2, "Build");
    const auto empty = labelOn(3, "");
    start();
    desktop->removeDesktops(kMain, 2); // the user on desktop 3 lands on desktop 1 with the others
    queue->advance(0.3);
    EXPECT_EQ(overlay->panelIds().size(), 2);
    EXPECT_EQ(tracker->currentActiveTagId(), code);
    EXPECT_FALSE(store->tag(empty));
    EXPECT_EQ(tracker->restorableTitles(), (QList<LabelContextMenu::RestorableTitle>{{build, "Build"}}));
    EXPECT_EQ(count("panel ZOMBIFY id=" + shortId(build) +
                    " reason=desktop-removed (panel-only; titled tag kept as orphan)"),
              1);
    queue->advance(5.0);
    EXPECT_EQ(count("PILEUP"), 0);
    EXPECT_EQ(count("CO-RESIDENCY"), 0);
}

TEST_F(Storms, WakeAndLoginLaunchSuppressCreationForTwentyFiveSeconds) {
    for (const bool login : {false, true}) {
        for (const auto& t : store->tags()) store->removeTag(t.id, "test-reset");
        launch();
        start(login);
        if (!login) {
            queue->advance(2.1); // the first desktop gets its tag
            desktop->wake();
            queue->drain();
            switchTo(1, 0.0);
        }
        const double reconfigAt = queue->now(), before = store->tags().size();
        advanceTo(reconfigAt, 24.9);
        EXPECT_EQ(store->tags().size(), before);
        EXPECT_EQ(count("pending TIMEOUT create SUPPRESSED (within display-reconfig grace) — re-waiting on screen 1"), 12);
        advanceTo(reconfigAt, 27.1);
        EXPECT_EQ(store->tags().size(), before + 1);
        EXPECT_EQ(count(login ? "displayReconfig reason=launched-as-login-item" : "displayReconfig reason=systemWake"), 1);
        logs.log->clear();
        switchTo(0);
    }
}

TEST_F(Storms, OnlyTheServerMovingALabelWithinTheGraceReArmsTheAudit) {
    const auto id = labelOn(0, "Mail");
    struct Case {
        bool buttonDown, reconfigured, rearmed;
    };
    for (const Case c : {Case{true, true, false}, Case{false, false, false}, Case{false, true, true}}) {
        queue->advance(30.0);
        if (c.reconfigured) tracker->displayReconfigured("screenParameters");
        queue->advance(10.0); // the audit runs; the grace goes on
        desktop->setLeftMouseButtonDown(c.buttonDown);
        tracker->panelCrossedScreens(id);
        EXPECT_EQ(tracker->isSettlementAuditArmed(), c.rearmed);
    }
    EXPECT_EQ(count("panel crossed screens id=" + shortId(id) + " outside reconfig grace (or mid-drag) — left alone"), 2);
}

// A zombify that hits the label being edited waits for the editor to close.
TEST_F(Storms, AZombifyDuringEditingIsAppliedWhenTheEditorCloses) {
    for (const bool removedMeanwhile : {false, true}) {
        const auto id = labelOn(0, "Mail");
        panel(id).view().click();
        tracker->zombifyPanel(id, "co-residency-heal");
        EXPECT_TRUE(overlay->hasPanel(id));
        if (removedMeanwhile) {
            tracker->removeTag(id, "preferences-delete");
        } else {
            auto& editor = desktop->editorPanels().last()->view();
            editor.type("Inbox");
            editor.pressReturn();
            EXPECT_EQ(store->tag(id)->title, "Inbox") << "the typed name survives";
        }
        EXPECT_FALSE(overlay->hasPanel(id));
        EXPECT_TRUE(tracker->deferredZombifies().isEmpty());
        queue->drain(); // the closed editor's window goes on the next turn
    }
}

} // namespace
