// Pure overlay rules: birth placement, font steps, the context menu's shape, the placeholder.
#include "overlay/FontSizeStepper.h"
#include "overlay/LabelContextMenu.h"
#include "overlay/OverlayManager.h"
#include "overlay/PanelBirthPlacement.h"

#include <gtest/gtest.h>

using namespace sm;

TEST(PanelBirthPlacement, HomeScreenByStableIdThenByAUniqueName) {
    const QList<PanelBirthPlacement::Screen> screens{
        {QStringLiteral("ID-1"), QStringLiteral("Dell"), QRectF(0, 0, 1000, 800)},
        {QStringLiteral("ID-2"), QStringLiteral("LG"), QRectF(1000, 0, 800, 600)},
        {QStringLiteral("ID-3"), QStringLiteral("LG"), QRectF(1800, 0, 800, 600)},
        {std::nullopt, QStringLiteral("Projector"), QRectF(0, 800, 640, 480)},
    };
    struct Case {
        std::optional<QString> identifier;
        std::optional<QRectF> expected;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral("ID-2"), QRectF(1000, 0, 800, 600)},
        {QStringLiteral("Dell"), QRectF(0, 0, 1000, 800)},
        {QStringLiteral("LG"), std::nullopt}, // two screens share the name
        {QStringLiteral("Projector"), QRectF(0, 800, 640, 480)},
        {QStringLiteral("GONE"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PanelBirthPlacement::targetFrame(c.identifier, screens), c.expected) << c.identifier.value_or("nil").toStdString();
}

TEST(PanelBirthPlacement, OriginIsTopCentreAndStaysOnNarrowScreens) {
    EXPECT_EQ(PanelBirthPlacement::birthOrigin(QRectF(0, 0, 1440, 900)), QPointF(580, 704));
    EXPECT_EQ(PanelBirthPlacement::birthOrigin(QRectF(100, 50, 200, 150)), QPointF(100, 50)) << "narrow and short";
}

TEST(FontSizeStepper, StepsAndBounds) {
    using A = FontSizeStepper::Adjustment;
    struct Case {
        double size;
        A adjustment;
        double expected;
    } cases[] = {{20, A::bigger, 22},  {100, A::bigger, 110}, {195, A::bigger, 200}, {21, A::smaller, 20},
                 {200, A::smaller, 180}, {20, A::smaller, 20},  {150, A::resetToDefault, 64},
                 {19, A::bigger, 21}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(FontSizeStepper::step(c.size, c.adjustment), c.expected) << c.size;
}

TEST(LabelContextMenu, ItemsFollowOwnershipAndRestorableTitles) {
    auto texts = [](const QList<MenuItem>& items) {
        QStringList out;
        for (const auto& i : items) out << (i.kind == MenuItem::Kind::Separator ? QStringLiteral("--") : i.text);
        return out;
    };
    const QStringList tail{QStringLiteral("--"), QStringLiteral("Bigger"), QStringLiteral("Smaller"),
                           QStringLiteral("Reset to Default Size"), QStringLiteral("--"),
                           QStringLiteral("Remove duplicates on this desktop"), QStringLiteral("Delete this label"),
                           QStringLiteral("--"), QStringLiteral("Preferences…")};
    EXPECT_EQ(texts(LabelContextMenu::build(true, {})),
              QStringList({QStringLiteral("Rename…"), QStringLiteral("Unlock (allow auto-naming)")}) + tail);
    const QUuid orphan = QUuid::createUuid();
    const auto withRestore = LabelContextMenu::build(false, {{orphan, QStringLiteral("Mail")}});
    EXPECT_EQ(texts(withRestore),
              QStringList({QStringLiteral("Rename…"), QStringLiteral("Restore name"), QStringLiteral("Lock (never auto-name)")}) + tail);
    EXPECT_EQ(LabelContextMenu::restoreTarget(withRestore.at(1).submenu.first().identifier), orphan);
    for (const auto& item : withRestore)
        EXPECT_EQ(item.destructive, item.identifier == LabelContextMenu::Item::deleteLabel) << item.text.toStdString();
}

TEST(OverlayManager, PlaceholderInvitesNamingUntilTheUserHasNamedALabel) {
    auto tag = [](QString title, bool owned, bool tombstone) {
        SpaceTag t;
        t.id = QUuid::createUuid();
        t.title = std::move(title);
        t.isUserOwned = owned;
        t.isTombstone = tombstone;
        return t;
    };
    EXPECT_EQ(OverlayManager::emptyPlaceholder({}), QStringLiteral("Click to name"));
    EXPECT_EQ(OverlayManager::emptyPlaceholder({tag(QStringLiteral("Mail"), false, false), tag(QStringLiteral("  \n"), true, false)}),
              QStringLiteral("Click to name"));
    EXPECT_EQ(OverlayManager::emptyPlaceholder({tag(QStringLiteral("Mail"), true, false)}), QStringLiteral("Untitled"));
}
