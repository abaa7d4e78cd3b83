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

} // namespace
} // namespace sm
