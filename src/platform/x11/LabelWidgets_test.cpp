// The label and editor windows offscreen: what the menu shows, what the label draws and reports, and
// when the editor commits.
#include "overlay/LabelContextMenu.h"
#include "platform/linux/LogindWakeWatcher.h"
#include "platform/widgets/EditorWindow.h"
#include "platform/widgets/LabelWindow.h"
#include "platform/x11/ScreenIdentity.h"
#include "platform/x11/X11WindowServer.h"
#include "support/TestLoggers.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace sm::x11 {
namespace {

using widgets::EditorWindow;
using widgets::LabelWindow;

QStringList describe(const QMenu& menu) {
    QStringList out;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else if (action->menu())
            out << action->text() + QStringLiteral(" > [") + describe(*action->menu()).join(u',') + u']';
        else
            out << action->text();
    }
    return out;
}

// Opens the label's context menu as a right click does and picks `path` (a submenu title, then an
// item) with the keyboard while the menu runs its own loop.
void chooseFromContextMenu(LabelWindow& label, const QStringList& path) {
    QTimer::singleShot(0, [path] {
        auto pick = [](QMenu* menu, const QString& text) {
            for (QAction* action : menu->actions())
                if (action->text() == text) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, action->menu() ? Qt::Key_Right : Qt::Key_Return);
                    return;
                }
            menu->close();
        };
        pick(qobject_cast<QMenu*>(QApplication::activePopupWidget()), path.first());
        if (path.size() > 1)
            QTimer::singleShot(0, [pick, last = path.last()] {
                pick(qobject_cast<QMenu*>(QApplication::activePopupWidget()), last);
            });
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), label.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&label, &event);
    QApplication::processEvents(); // the choice is delivered after the menu has closed
}

// Which items the model holds is the unit tier's; here, that the menu shows them all, separators and
// the submenu of restorable names included.
TEST(LabelWindowTest, MenuShowsTheModelWithItsSeparatorsAndSubmenu) {
    LabelWindow label;
    label.menuProvider = [] {
        return LabelContextMenu::build(
            true, {{QUuid::createUuid(), QStringLiteral("Inbox")}, {QUuid::createUuid(), QStringLiteral("Mail")}});
    };
    EXPECT_EQ(describe(*label.buildMenu()),
              (QStringList{"Rename…", "Restore name > [Inbox,Mail]", "Unlock (allow auto-naming)", "-", "Bigger",
                           "Smaller", "Reset to Default Size", "-", "Remove duplicates on this desktop",
                           "Delete this label", "-", "Preferences…"}));
}

TEST(LabelWindowTest, ChosenItemComesBackByIdentifierAfterTheMenuCloses) {
    const QUuid orphan = QUuid::createUuid();
    struct Case {
        QStringList path;
        QString identifier;
    };
    const QList<Case> cases = {
        {{QStringLiteral("Delete this label")}, LabelContextMenu::Item::deleteLabel},
        {{QStringLiteral("Bigger")}, LabelContextMenu::Item::bigger},
        {{QStringLiteral("Restore name"), QStringLiteral("Inbox")},
         LabelContextMenu::Item::restorePrefix + orphan.toString(QUuid::WithoutBraces)},
    };
    for (const auto& c : cases) {
        LabelWindow label;
        label.resize(200, 100);
        label.show();
        label.menuProvider = [&] {
            return LabelContextMenu::build(false, {{orphan, QStringLiteral("Inbox")}});
        };
        QStringList chosen;
        label.onMenuAction = [&](const QString& id) { chosen << id; };
        chooseFromContextMenu(label, c.path);
        EXPECT_EQ(chosen, QStringList{c.identifier}) << c.path.join(u'/').toStdString();
    }
}

TEST(LabelWindowTest, ReportsItsMeasuredSizeOnlyWhenItChanges) {
    LabelWindow label;
    QList<QSizeF> reports;
    label.onSizeChange = [&](QSizeF s) { reports << s; };
    const LabelPresentation inbox{
        QStringLiteral("Inbox"), QStringLiteral("Click to name"), 64.0, false, false, false};

    label.present(inbox);
    ASSERT_EQ(reports.size(), 1);
    const QSizeF base = reports.last();
    EXPECT_GT(base.width(), 24.0 + 64.0); // five bold letters at 64 points, with 12 points on each side
    EXPECT_GT(base.height(), 24.0 + 64.0);

    LabelPresentation hidden = inbox;
    hidden.hidesText = true; // the editor stands in: same size, text gone
    label.present(hidden);
    auto band = inbox;
    band.showsBackgroundBand = true;
    label.present(band);
    EXPECT_EQ(reports.size(), 1);
    label.present(hidden);
    EXPECT_FALSE(label.isTextShown());

    auto bigger = inbox;
    bigger.fontSize = 96.0;
    label.present(bigger);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_GT(reports.last().width(), base.width());

    auto untitled = inbox;
    untitled.title.clear(); // the placeholder is drawn, and measured
    label.present(untitled);
    ASSERT_EQ(reports.size(), 3);
    EXPECT_GT(reports.last().width(), base.width());
}

TEST(LabelWindowTest, BandShadesTheWholeWindowOtherwiseOnlyTheTextIsDrawn) {
    for (const bool band : {false, true}) {
        LabelWindow label;
        label.resize(400, 120);
        label.present({QStringLiteral("Inbox"), QStringLiteral("Click to name"), 64.0, band, false, false});
        const QImage image = label.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(qAlpha(image.pixel(2, 2)), band ? 178 : 0) << "band=" << band;
        const QRegion opaque = label.opaqueRegion();
        EXPECT_EQ(opaque.contains(QPoint(2, 2)), band);
        EXPECT_FALSE(opaque.isEmpty());
        int white = 0; // glyph pixels, each inside the part kept opaque without a compositor
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, image.height() / 2);
            if (qRed(p) < 240 || qGreen(p) < 240 || qBlue(p) < 240 || qAlpha(p) < 240) continue;
            ++white;
            EXPECT_TRUE(opaque.contains(QPoint(x, image.height() / 2))) << "band=" << band << " x=" << x;
        }
        EXPECT_GT(white, 0) << "band=" << band;
    }
}

// What it costs is measured in bench/bench_label.cpp.
TEST(LabelWindowTest, AVeryLongTitleIsShownNoWiderThanAScreenWithItsShape) {
    QString title;
    while (title.size() < 4000)
        title += QStringLiteral("Quarterly planning notes ");
    LabelWindow label;
    label.onSizeChange = [&](QSizeF size) { label.resize(size.toSize()); };
    label.present({title, QStringLiteral("Click to name"), 64.0, false, false, false});
    ASSERT_LE(label.width(), QGuiApplication::primaryScreen()->geometry().width());
    EXPECT_FALSE(label.opaqueRegion().isEmpty());
    EXPECT_EQ(label.presentation().title, title);
}

TEST(LabelWindowTest, ClickBeginsEditingButADragMovesTheWindowInstead) {
    LabelWindow label;
    label.setGeometry(100, 100, 300, 100);
    label.show();
    int clicks = 0;
    label.onClick = [&] { ++clicks; };

    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(50, 50));
    QApplication::processEvents();
    EXPECT_EQ(clicks, 1);

    const QPoint before = label.pos();
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseMove(&label, QPoint(90, 70));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(90, 70));
    QApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(label.pos() - before, QPoint(40, 20));
}

TEST(EditorWindowTest, CommitsOncePerBeginOnReturnOrOnFocusLoss) {
    EditorWindow editor;
    editor.resize(300, 100);
    editor.show();
    int commits = 0;
    QStringList drafts;
    editor.onCommit = [&] { ++commits; };
    editor.onDraftChange = [&](const QString& d) { drafts << d; };
    auto focus = [&](QEvent::Type type) {
        QFocusEvent event(type, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(editor.field(), &event);
    };

    editor.begin(64.0, QStringLiteral("Old"), QStringLiteral("Untitled"));
    editor.field()->clear();
    QTest::keyClicks(editor.field(), QStringLiteral("Inbox"));
    EXPECT_EQ(drafts.last(), QStringLiteral("Inbox"));
    QTest::keyClick(editor.field(), Qt::Key_Return);
    focus(QEvent::FocusIn);
    focus(QEvent::FocusOut); // closing the editor after Return takes the focus away
    QTest::keyClick(editor.field(), Qt::Key_Return);
    EXPECT_EQ(commits, 1);

    editor.begin(64.0, QStringLiteral("Inbox"), QStringLiteral("Untitled"));
    focus(QEvent::FocusOut); // never had the keyboard: nothing was edited
    EXPECT_EQ(commits, 1);
    focus(QEvent::FocusIn);
    focus(QEvent::FocusOut);
    EXPECT_EQ(commits, 2);
    EXPECT_FALSE(drafts.contains(QStringLiteral("Old"))); // the initial text is not a change
}

TEST(EditorWindowTest, AnEmptyFieldShowsItsPlaceholderWhileItHasTheKeyboard) {
    EditorWindow editor;
    editor.resize(700, 110);
    editor.show();
    editor.begin(64.0, QString(), QStringLiteral("Click to name"));
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.field()->setFocus();
    ASSERT_TRUE(editor.field()->hasFocus());
    const QImage image = editor.grab().toImage();
    const QRect field = editor.field()->geometry();
    int light = 0;
    for (int y = field.top(); y <= field.bottom(); ++y)
        for (int x = field.left(); x <= field.right(); ++x)
            light += qGray(image.pixel(x, y)) > 60;
    EXPECT_GT(light, 1000) << "more than a caret's worth of light pixels";
}

TEST(ScreenIdentityTest, TwinsAreToldApartByConnectorWhileAMonitorWithoutATwinKeepsItsIdentifier) {
    const MonitorDescription dell1{
        QStringLiteral("DP-1"), QStringLiteral("DEL"), QStringLiteral("U2415"), {}};
    const MonitorDescription dell2{QStringLiteral("DP-2"), dell1.manufacturer, dell1.model, {}};
    const MonitorDescription other{
        QStringLiteral("HDMI-1"), QStringLiteral("GSM"), QStringLiteral("27GL850"), {}};
    const auto id = [](const MonitorDescription& m, const QList<MonitorDescription>& attached) {
        return stableScreenId(m, attached).toStdString();
    };
    // The identifier stored settings were keyed by before twins were told apart.
    EXPECT_EQ(id(dell1, {dell1, other}), "3B1CA86D-7B75-55DC-849F-64EE024DCAF6");
    EXPECT_EQ(id(dell2, {dell2}), id(dell1, {dell1})); // the monitor, not the port
    EXPECT_NE(id(dell1, {dell1, dell2}), id(dell2, {dell1, dell2}));
    EXPECT_EQ(id(dell1, {dell1, dell2}), id(dell1, {dell2, dell1})); // whatever order they come in
}

TEST(X11SessionTest, SaysWhyThisSessionCannotRunTheBackend) {
    struct Case {
        QList<std::pair<const char*, const char*>> environment; // nullptr: unset
        QString expected;                                       // a phrase of the message; empty: no problem
    };
    const QList<Case> cases = {
        {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
         QStringLiteral("Wayland session")},
        {{{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", nullptr}, {"DISPLAY", nullptr}},
         QStringLiteral("DISPLAY is not set")},
        {{{"XDG_SESSION_TYPE", "x11"},
          {"WAYLAND_DISPLAY", nullptr},
          {"DISPLAY", ":4242"},
          {"QT_QPA_PLATFORM", "offscreen"}},
         QStringLiteral("QT_QPA_PLATFORM is 'offscreen'")},
        {{{"XDG_SESSION_TYPE", "x11"},
          {"WAYLAND_DISPLAY", nullptr},
          {"DISPLAY", ":4242"},
          {"QT_QPA_PLATFORM", nullptr}},
         QStringLiteral("cannot open the X11 display ':4242'")},
    };
    for (const auto& c : cases) {
        QList<std::pair<const char*, std::optional<QByteArray>>> saved;
        for (const auto& [name, value] : c.environment) {
            saved.append(
                {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            value ? qputenv(name, value) : qunsetenv(name);
        }
        EXPECT_TRUE(sessionProblem().contains(c.expected)) << sessionProblem().toStdString();
        for (const auto& [name, value] : saved)
            value ? qputenv(name, *value) : qunsetenv(name);
    }
}

TEST(LogindWakeWatcherTest, WithoutASystemBusItSaysSoOnceAndCarriesOn) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
    sm::test::TestLoggers logs;
    LogindWakeWatcher watcher(logs.loggers.app, [] {});
    EXPECT_FALSE(watcher.isWatching());
    EXPECT_EQ(logs.log->messages().size(), 1);
}

} // namespace
} // namespace sm::x11

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
