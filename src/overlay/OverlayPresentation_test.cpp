// Stories of how labels show, fade, boost, freeze and size themselves on the simulated desktop.
#include "support/OverlayFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Presentation : public OverlayFixture {
protected:
    // Label A on desktop 0, label B on desktop 1; the user is on desktop 0 with A active.
    void twoDesktops(VisibilityMode mode) {
        setSettings([&](AppSettings& s) { s.visibilityMode = mode; });
        adoptOnPresence();
        a = addLabel(QStringLiteral("Mail"));
        overlay->setActiveTag(a);
        desktop->switchDesktop(kMain, 1);
        queue->advance(0.5);
        b = addLabel(QStringLiteral("Code"));
        desktop->switchDesktop(kMain, 0);
        queue->advance(6.0); // A's entry boost has run out
    }
    QUuid a, b;
};

TEST_F(Presentation, OnChangeModeBoostsForFiveSecondsThenRestsThenFades) {
    twoDesktops(VisibilityMode::onChange);
    desktop->switchDesktop(kMain, 1);
    queue->advance(0.2); // B reports visible and is adopted
    ASSERT_EQ(overlay->currentlyActiveTagId(), b);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 1.0) << "entry boost shows the label at the boost opacity";
    queue->advance(4.7);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 1.0);
    queue->advance(0.2); // t = 5.1: the boost ended and re-rendered
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.3);
    queue->advance(2.8); // t = 7.9: fade not yet started
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.3);
    queue->advance(0.2 + 0.4); // the fade after onChangeDurationSec and its animation
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.0);
}

TEST_F(Presentation, CtrlHeldDuringAPendingFadeCancelsItAndReleasingSchedulesANewOne) {
    twoDesktops(VisibilityMode::onChange);
    desktop->switchDesktop(kMain, 1);
    queue->advance(5.5); // boost over, fade pending at ~8.1
    overlay->setCtrlBoostActive(true);
    overlay->renderAllPanels();
    queue->advance(10.0);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 1.0) << "no fade while Ctrl is held";
    overlay->setCtrlBoostActive(false);
    overlay->renderAllPanels();
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.3);
    queue->advance(3.5);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.0);
}

// Wayland gives no program the keys of other windows: the Ctrl-only mode would hide the labels for good.
TEST_F(Presentation, WithoutAWatchableCtrlTheCtrlOnlyModeShowsLabelsOnChangeAndSaysSoOnce) {
    overlay->setCtrlUnavailableReason(QStringLiteral("no keys of other windows"));
    twoDesktops(VisibilityMode::onCtrl);
    desktop->switchDesktop(kMain, 1);
    queue->advance(5.1);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.3) << "at rest as on change, not hidden";
    queue->advance(3.5);
    EXPECT_DOUBLE_EQ(panel(b).alpha(), 0.0) << "and fading like it";
    EXPECT_EQ(logs.log->messages().filter(QStringLiteral("no keys of other windows")).size(), 1);
}

TEST_F(Presentation, ABackgroundBandIsFrozenUntilItsDesktopComesBack) {
    twoDesktops(VisibilityMode::always);
    const auto* entryB = overlay->entry(b);
    ASSERT_EQ(entryB->lastLayoutState, RenderPlan::LayoutState::band);
    const QRectF bandFrame = panel(b).frame();
    EXPECT_DOUBLE_EQ(bandFrame.width(), 1440.0) << "a band spans the screen";
    setSettings([](AppSettings& s) { s.fontSize = 100; });
    panel(b).view().onSizeChange(QSizeF(500, 200));
    queue->drain();
    EXPECT_EQ(panel(b).frame(), bandFrame);
    EXPECT_GE(traceCount(QStringLiteral("renderPanel FROZEN id=")), 1);
    EXPECT_GE(traceCount(QStringLiteral("applyMeasuredSize FROZEN id=")), 1);

    desktop->switchDesktop(kMain, 1);
    queue->advance(0.5);
    EXPECT_EQ(overlay->entry(b)->lastLayoutState, RenderPlan::LayoutState::normal);
    EXPECT_LT(panel(b).frame().width(), 1440.0);
}

TEST_F(Presentation, TombstonesAreTransparentAndLetClicksThrough) {
    const auto id = addLabel(QStringLiteral("Gone"));
    overlay->setActiveTag(id);
    store->tombstoneTag(id);
    queue->drain();
    EXPECT_DOUBLE_EQ(panel(id).alpha(), 0.0);
    EXPECT_TRUE(panel(id).ignoresMouseEvents());
    EXPECT_TRUE(overlay->panelSnapshots().isEmpty()) << "tombstones never take part in resolution";
    EXPECT_EQ(overlay->visibleTombstoneAnchor(kMain), id);
}

TEST_F(Presentation, AScreenLayoutChangeRePlacesLabelsAtTheirDefaultPlaceOnly) {
    const auto mail = addLabel(QStringLiteral("Mail"));
    const auto code = addLabel(QStringLiteral("Code"));
    store->updateTag(code, [](SpaceTag& t) { t.position = QPointF(1000, 300); });
    overlay->reapplyNormalFrames();
    desktop->moveScreen(kMain, QRectF(0, 0, 720, 900)); // the right half became another monitor
    queue->advance(0.5);
    const QRectF placed = panel(mail).frame();
    EXPECT_DOUBLE_EQ(placed.center().x(), 360.0) << "centred on what is left of its screen";
    EXPECT_DOUBLE_EQ(placed.y() + placed.height(), 800.0);
    EXPECT_EQ(panel(code).frame().topLeft(), QPointF(1000, 300)) << "a place the user chose stays";
}

TEST_F(Presentation, MeasuredSizesAreClampedAndSmallChangesIgnored) {
    const auto id = addLabel(QStringLiteral("Mail"));
    overlay->setActiveTag(id);
    queue->advance(0.5);
    struct Step {
        QSizeF measured;
        QSizeF expectedFrame;
    } steps[] = {
        {{70, 30}, {80, 40}},        // below the minimum
        {{81.5, 41.5}, {80, 40}},    // within 2 points: skipped
        {{300, 120}, {300, 120}},    // grows around its centre
        {{301.9, 118.1}, {300, 120}} // again within tolerance
    };
    for (const auto& s : steps) {
        const QPointF centre = panel(id).frame().center();
        panel(id).view().onSizeChange(s.measured);
        queue->drain();
        EXPECT_EQ(panel(id).frame().size(), s.expectedFrame) << s.measured.width();
        EXPECT_EQ(panel(id).frame().center(), centre);
    }
}

TEST_F(Presentation, OnlyAMagnifyChangeReRendersWithoutBoostOrNotifying) {
    int notified = 0;
    a = addLabel(QStringLiteral("Mail"));
    desktop->switchDesktop(kMain, 1);
    queue->advance(0.5);
    overlay->onPanelBecameVisible = [&](QUuid, bool) { ++notified; };
    setSettings([](AppSettings& s) { s.magnifyWhenUnfocused = true; });
    panel(a).visibilityChanged.emit(); // an occlusion report that changes nothing but the magnify decision
    EXPECT_TRUE(overlay->entry(a)->isMagnified);
    EXPECT_FALSE(overlay->entry(a)->entryBoostActive);
    EXPECT_EQ(notified, 0);
}

TEST_F(Presentation, ASizeMeasuredDuringTheBirthAnimationIsAppliedWhenItEnds) {
    SpaceTag tag;
    tag.id = QUuid::createUuid();
    tag.title = QStringLiteral("A rather long desktop name");
    store->addTag(tag, QStringLiteral("manual-create"));
    overlay->createPanel(tag, QStringLiteral("manual-create")); // animates; the label measures meanwhile
    queue->advance(1.0);
    const QSizeF measured = FakeLabelView::measure(tag.title, 64.0);
    EXPECT_EQ(panel(tag.id).frame().size(), measured);
}
TEST_F(Presentation, ASizeMeasuredWhileTheLabelWasHiddenIsAppliedWhenItShows) {
    const auto id = addLabel(QString());
    overlay->setActiveTag(id);
    desktop->forceFacts(panel(id), false, false); // the window manager has not shown it yet
    queue->advance(0.5);
    store->renameTag(id, QStringLiteral("Code review")); // measured while hidden
    queue->advance(0.5);
    desktop->forceFacts(panel(id), true, true);
    queue->advance(0.5);
    EXPECT_EQ(panel(id).frame().size(), FakeLabelView::measure(QStringLiteral("Code review"), 64.0));
}
} // namespace
