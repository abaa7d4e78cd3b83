// Stories of the panel registry: birth, snapshots, co-residency audit, drags and editing.
#include "support/OverlayFixture.h"

using namespace sm;
using namespace sm::test;

namespace {

class Registry : public OverlayFixture {
protected:
    // "Mail" on desktop 0 and "Code" on desktop 1, where the user is; returns them in that order.
    std::pair<QUuid, QUuid> mailThenCodeOnTheNext() {
        const auto a = addLabel(QStringLiteral("Mail"));
        desktop->switchDesktop(kMain, 1);
        queue->advance(0.5);
        return {a, addLabel(QStringLiteral("Code"))};
    }
};

TEST_F(Registry, ALabelWhoseHomeScreenIsDisconnectedIsBornTopCentreOnTheMainScreen) {
    const auto id = addLabel(QStringLiteral("Away"), QStringLiteral("manual-create"), QStringLiteral("GONE-SCREEN"));
    const auto screen = panel(id).screen();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->displayNumber, kMain);
    EXPECT_TRUE(traces().filter(QStringLiteral("createPanel id=")).first().contains(QStringLiteral("birthOrigin=(580.0, 704.0)")));
}

TEST_F(Registry, BirthCompanionsAndAutomaticMintsAreRecorded) {
    const auto first = addLabel(QStringLiteral("Mail"));
    const auto mint = addLabel(QString(), QStringLiteral("auto-create"));
    const auto* e = overlay->entry(mint);
    EXPECT_TRUE(e->bornAsAutomaticMint);
    EXPECT_EQ(e->bornCompanionIds, QSet<QUuid>{first});
}

TEST_F(Registry, APanelWithoutAScreenIsLeftOutOfTheSnapshots) {
    desktop->attachScreen({2, QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002"), QStringLiteral("Side"),
                           QRectF(1440, 0, 800, 600), 1});
    queue->drain();
    const auto id = addLabel(QStringLiteral("Mail"));
    ASSERT_EQ(overlay->panelSnapshots().size(), 1);
    desktop->attachScreen({3, std::nullopt, QStringLiteral("No number"), QRectF(-800, 0, 800, 600), 1, false});
    desktop->relocatePanel(id, 3);
    queue->advance(0.5);
    EXPECT_TRUE(overlay->panelSnapshots().isEmpty());
}

TEST_F(Registry, AmbiguousCoResidentsAreKeptAndTheAuditReArmsEveryTwoAndAHalfSeconds) {
    QList<QList<QUuid>> healed;
    overlay->onPanelsAnchorLost = [&](QList<QUuid> ids) { healed << ids; };
    const auto [a, b] = mailThenCodeOnTheNext();
    desktop->relocatePanel(a, kMain, 1); // the server piles A onto B's desktop
    queue->advance(0.5);
    ASSERT_EQ(desktop->presentLabels(kMain).size(), 2);
    queue->advance(2.5 * 3);
    EXPECT_TRUE(healed.isEmpty()) << "no unequivocal owner: fail closed";
    EXPECT_GE(traceCount(QStringLiteral("CO-RESIDENCY ambiguous screen=1 count=2")), 3);

    overlay->setActiveTag(b); // now there is an owner: the next audit heals
    queue->advance(2.5);
    ASSERT_EQ(healed.size(), 1);
    EXPECT_EQ(healed.first(), QList<QUuid>{a});
}

TEST_F(Registry, ASecondConfirmRequestDoesNotPostponeThePendingOne) {
    const auto [a, b] = mailThenCodeOnTheNext();
    const double start = queue->now();
    desktop->relocatePanel(a, kMain, 1); // first pile-up report
    queue->advance(1.0);
    desktop->forceFacts(panel(b), true, false);
    queue->drain();
    desktop->forceFacts(panel(b), true, true); // second pile-up report, one second later
    queue->drain();
    const int before = traceCount(QStringLiteral("CO-RESIDENCY"));
    queue->advance(start + 2.5 + 0.2 - queue->now());
    EXPECT_EQ(traceCount(QStringLiteral("CO-RESIDENCY")), before + 1) << "the audit ran 2.5 s after the first request";
}

TEST_F(Registry, ADragThatKeepsMovingWritesOnceAfterItRests) {
    const auto id = addLabel(QStringLiteral("Mail"));
    overlay->setActiveTag(id);
    queue->advance(0.5);
    const int tagWrites = defaults->writeCount(TagStore::kTagsKey);
    QList<QPointF> path;
    for (int i = 0; i < 30; ++i) path << QPointF(100 + i * 5, 300);
    desktop->dragLabel(id, path, 0.1); // three seconds of movement
    queue->advance(2.9);
    EXPECT_EQ(defaults->writeCount(TagStore::kTagsKey), tagWrites) << "nothing stored mid-drag";
    queue->advance(1.0);
    EXPECT_EQ(store->tag(id)->position, QPointF(245, 300));
    queue->advance(TagStore::kDeferredSaveSeconds); // a moved label is no typed name: its save may wait
    EXPECT_EQ(defaults->writeCount(TagStore::kTagsKey), tagWrites + 1);
    EXPECT_EQ(store->settings().perScreen.value(kMainId).position, QPointF(245, 300));
    EXPECT_FALSE(store->settings().syncedPosition) << "a known screen keeps its own shared position";

    panel(id).setFrameOrigin(QPointF(10, 10)); // a programmatic move, button up
    queue->advance(1.0);
    EXPECT_EQ(store->tag(id)->position, QPointF(245, 300));
}

TEST_F(Registry, EditingCommitsTheTrimmedTitleOnceAndSupersedingSavesTheFirst) {
    const auto a = addLabel(QString());
    const auto b = addLabel(QStringLiteral("Code"));
    panel(a).view().click();
    ASSERT_EQ(desktop->editorPanels().size(), 1);
    EXPECT_DOUBLE_EQ(panel(a).alpha(), 0.0) << "the editor stands in for the label";
    auto& editorA = desktop->editorPanels().first()->view();
    editorA.type(QStringLiteral("  Mail \n"));
    editorA.pressReturn();
    editorA.loseFocus();
    EXPECT_EQ(store->tag(a)->title, QStringLiteral("Mail"));
    EXPECT_TRUE(store->tag(a)->isUserOwned);
    EXPECT_EQ(traceCount(QStringLiteral("editSession COMMIT id=")), 1);

    panel(a).view().click();
    desktop->editorPanels().last()->view().type(QStringLiteral("Inbox"));
    panel(b).view().click(); // clicking another label saves the first
    EXPECT_EQ(store->tag(a)->title, QStringLiteral("Inbox"));
    EXPECT_EQ(traceCount(QStringLiteral("editSession COMMIT id=") + shortId(a) + QStringLiteral(" reason=superseded-by-new-edit")), 1);

    store->removeTag(b, QStringLiteral("menu-remove-current"));
    overlay->removePanel(b, QStringLiteral("menu-remove-current"));
    EXPECT_FALSE(overlay->isEditing());
    EXPECT_EQ(traceCount(QStringLiteral("editSession CLOSE id=") + shortId(b) +
                         QStringLiteral(" reason=panel-removed(menu-remove-current)")), 1);
}

// Mutter on X11 looks for the window under a pointer that has not moved only when the window over it
// goes: however an edit ends, the label must show and take the pointer by the time its editor leaves.
TEST_F(Registry, EveryWayOutOfAnEditLeavesTheLabelTakingThePointerWhereTheEditorWas) {
    const std::vector<std::pair<const char*, std::function<void(FakeEditorView&)>>> ends = {
        {"Return", [](FakeEditorView& editor) { editor.pressReturn(); }},
        {"Escape", [](FakeEditorView& editor) { editor.pressEscape(); }},
        {"a click elsewhere", [](FakeEditorView& editor) { editor.loseFocus(); }},
    };
    const auto a = addLabel(QStringLiteral("Mail"));
    for (const auto& [how, end] : ends) {
        panel(a).view().click();
        ASSERT_TRUE(overlay->isEditing()) << how;
        end(desktop->editorPanels().last()->view());
        EXPECT_FALSE(overlay->isEditing()) << how;
        EXPECT_EQ(desktop->foundUnderLastOrderOut(), static_cast<const Panel*>(&panel(a))) << how;
    }
}

TEST_F(Registry, StaleEditorCallbacksAreHarmless) {
    const auto a = addLabel(QStringLiteral("Mail"));
    panel(a).view().click();
    auto* first = desktop->editorPanels().first();
    auto staleCommit = first->view().onCommit;
    overlay->commitEdit(QStringLiteral("editor-commit"), std::nullopt);
    panel(a).view().click();
    desktop->editorPanels().last()->view().type(QStringLiteral("New"));
    staleCommit(); // the old editor's late commit
    EXPECT_EQ(store->tag(a)->title, QStringLiteral("Mail"));
    EXPECT_TRUE(overlay->isEditing());
}

TEST_F(Registry, FontStepsGoToTheLabelsScreenAndTheMenuFollowsOwnership) {
    const auto a = addLabel(QStringLiteral("Mail"));
    EXPECT_TRUE(panel(a).view().choose(LabelContextMenu::Item::bigger));
    EXPECT_EQ(store->settings().perScreen.value(kMainId).fontSize, 70.4);
    EXPECT_DOUBLE_EQ(store->settings().fontSize, 64.0);
    EXPECT_TRUE(panel(a).view().choose(LabelContextMenu::Item::toggleUserOwned));
    queue->drain();
    EXPECT_FALSE(store->tag(a)->isUserOwned);
    EXPECT_EQ(panel(a).view().openMenu().at(1).text, QStringLiteral("Lock (never auto-name)"));
}

TEST_F(Registry, TearDownRemovesEveryPanelAndClosesTheEditor) {
    const auto a = addLabel(QStringLiteral("Mail"));
    addLabel(QStringLiteral("Code"));
    panel(a).view().click();
    overlay->tearDown();
    EXPECT_TRUE(overlay->panelIds().isEmpty());
    EXPECT_EQ(traceCount(QStringLiteral("editSession CLOSE id=") + shortId(a) + QStringLiteral(" reason=app-teardown")), 1);
    EXPECT_EQ(traceCount(QStringLiteral("removePanel id=")), 2);
}

} // namespace

TEST_F(Registry, ANameTypedIntoALabelDeletedMeanwhileIsDroppedNotStoredOnTheTombstone) {
    const auto a = addLabel(QStringLiteral("Mail"));
    panel(a).view().click();
    auto& editor = desktop->editorPanels().first()->view();
    editor.type(QStringLiteral("Inbox"));
    store->tombstoneTag(a); // "Delete this label" while the editor is open
    editor.pressReturn();
    EXPECT_TRUE(store->tag(a)->title.isEmpty());
    EXPECT_FALSE(overlay->isEditing());
}
