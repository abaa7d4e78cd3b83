#include "app/MenuBarItem.h"
#include "app/qt/QtShellUi.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

namespace sm {
namespace {

TEST(QtShellUi, TrayMenuShowsAddOrRemoveByWhetherTheDesktopHasATagAndOpensTheReport) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QApplication app(argc, argv);
    auto ui = std::make_shared<QtShellUi>();
    bool hasTag = false;
    MenuBarItem item(ui, QUrl("https://spacemarquee.example"), Logger{});
    item.currentSpaceHasTag = [&] { return hasTag; };

    int reports = 0; // a disabled item would not trigger
    item.onShowReportProblem = [&] { ++reports; };
    for (QAction* a : ui->menu()->actions())
        if (a->text() == "Report a Problem…") a->trigger();
    EXPECT_EQ(reports, 1);

    auto visible = [&](const QString& id) { return ui->menu()->findChild<QAction*>(id)->isVisible(); };
    for (const bool tag : {false, true}) {
        hasTag = tag;
        Q_EMIT ui->menu()->aboutToShow();
        EXPECT_EQ(visible(MenuBarItem::kAddTagIdentifier), !tag);
        EXPECT_EQ(visible(MenuBarItem::kRemoveTagIdentifier), tag);
    }
}

// "Go to" lists the named desktops in order, the current one checked, twenty of them and the rest under
// "More"; a choice goes to its desktop; the other items keep their order.
TEST(QtShellUi, GoToListsTheNamedDesktopsAndAChoiceGoesThere) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QApplication app(argc, argv);
    auto ui = std::make_shared<QtShellUi>();
    MenuBarItem item(ui, QUrl("https://spacemarquee.example"), Logger{});
    QList<NamedDesktop> desktops;
    std::optional<DesktopPlace> active;
    item.namedDesktops = [&] { return desktops; };
    item.activePlace = [&] { return active; };
    QStringList went;
    item.onGoTo = [&](const NamedDesktop& d) { went << d.title; };

    auto goTo = [&] { return ui->menu()->findChild<QAction*>(MenuBarItem::kGoToIdentifier); };
    auto texts = [](const QMenu* menu) {
        QStringList out;
        for (const QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isChecked() ? "*" : ""));
        return out;
    };
    EXPECT_EQ(texts(ui->menu()), (QStringList{"Add tag to this desktop", "Remove tag from this desktop", "Go to", "-",
                                              "Preferences…", "About Spacemarquee", "Report a Problem…",
                                              "Check for Updates…", "-", "Quit Spacemarquee"}));
    const QString screen = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
    const struct {
        int count;
        int current;
        int shown; // on the first level, "More" included
        int more;
    } cases[] = {{0, -1, 0, 0}, {3, 1, 3, 0}, {20, 19, 20, 0}, {23, 21, 21, 3}};
    for (const auto& c : cases) {
        desktops.clear();
        for (int d = 0; d < c.count; ++d)
            desktops << NamedDesktop{QStringLiteral("Desk %1").arg(d), {screen, d, {}}};
        active = DesktopPlace{screen, c.current, {}};
        Q_EMIT ui->menu()->aboutToShow();
        EXPECT_EQ(goTo()->isVisible(), c.count > 0) << c.count;
        const QStringList shown = texts(goTo()->menu());
        ASSERT_EQ(shown.size(), c.shown) << c.count;
        if (c.count == 0) continue;
        QMenu* more = c.more ? goTo()->menu()->actions().back()->menu() : nullptr;
        EXPECT_EQ(more ? more->actions().size() : 0, c.more) << c.count;
        const QStringList all = texts(goTo()->menu()).mid(0, c.more ? 20 : c.shown) + (more ? texts(more) : QStringList());
        EXPECT_EQ(all.filter("*"), QStringList{QStringLiteral("Desk %1*").arg(c.current)}) << c.count;
        // The last one, wherever it is listed.
        (more ? more : goTo()->menu())->actions().back()->trigger();
        EXPECT_EQ(went.back(), QStringLiteral("Desk %1").arg(c.count - 1));
    }
}

} // namespace
} // namespace sm
