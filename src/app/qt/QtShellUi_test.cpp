#include "app/MenuBarItem.h"
#include "app/qt/QtShellUi.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

namespace sm {
namespace {

TEST(QtShellUi, TrayMenuCarriesTheItemsShortcutsAndIdentifiers) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QApplication app(argc, argv);
    auto ui = std::make_shared<QtShellUi>();
    bool hasTag = false;
    MenuBarItem item(ui, QUrl("https://spacemarquee.example"), Logger{});
    item.currentSpaceHasTag = [&] { return hasTag; };

    QStringList rows;
    for (QAction* a : ui->menu()->actions())
        rows << (a->isSeparator() ? QStringLiteral("-")
                                  : a->text() + "|" + a->shortcut().toString() + "|" + a->objectName() +
                                        (a->isEnabled() ? "" : "|off"));
    EXPECT_EQ(rows, (QStringList{"Add tag to this desktop|Ctrl+Alt+T|Spacemarquee.addTag",
                                 "Remove tag from this desktop||Spacemarquee.removeTag", "-",
                                 "Preferences…|Ctrl+,|", "About Spacemarquee||", "Report a Problem…|||off",
                                 "Check for Updates…||", "-", "Quit Spacemarquee|Ctrl+Q|"}));

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
