// The KWin backend on a private headless KWin (Wayland, virtual backend) with three desktops.
#include "platform/kwin/KWinPanels.h"
#include "platform/kwin/KWinWindowServer.h"
#include "support/CoreRun.h"
#include "support/OtherWindow.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"
#include "support/kwin/KWinTestSession.h"
#include "support/sim/MemoryDefaults.h"

#include <QApplication>
#include <QDBusVariant>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

namespace sm::kwin {
namespace {

test::KWinTestSession* session = nullptr;
QString program; // this test, which also plays the other program of a story
using sm::test::waitUntil;

class KWinBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session->switchTo(0));
        QString error;
        server = KWinWindowServer::create({Logger{}, scripts.path()}, &error);
        ASSERT_TRUE(server) << error.toStdString() << session->log().right(2000).toStdString();
        ASSERT_TRUE(waitUntil([&] { return server->currentDesktop() == desktopId(0); }));
    }
    void TearDown() override { server.reset(); }

    static QString desktopId(int index) { return session->desktops().value(index).first; }
    void switchTo(int index) {
        ASSERT_TRUE(session->switchTo(index));
        ASSERT_TRUE(waitUntil([&] { return server->currentDesktop() == desktopId(index); }))
            << index << ": KWin's current " << kwinCurrent().toStdString() << ", wanted "
            << desktopId(index).toStdString() << ", the server's " << server->currentDesktop().toStdString();
    }
    static QString kwinCurrent() {
        const auto reply = session->call("/VirtualDesktopManager", "org.freedesktop.DBus.Properties", "Get",
                                         {"org.kde.KWin.VirtualDesktopManager", "current"});
        return reply ? reply->value(0).value<QDBusVariant>().variant().toString() : QString();
    }
    std::unique_ptr<LabelPanel> label(const QString& title, QPointF origin = {200, 500}) {
        return sm::test::showLabel(*server, title, origin);
    }

    // The label of the desktop on screen, once it shows there.
    static std::optional<QUuid> shownLabel(const sm::test::CoreRun& run) {
        const auto id = run.tracker->currentActiveTagId();
        const auto* entry = id ? run.overlay->entry(*id) : nullptr;
        if (!entry || !entry->panel || !entry->panel->isVisible()) return std::nullopt;
        return id;
    }
    static QStringList kwinNames() {
        QStringList names;
        for (const auto& d : session->desktops())
            names << d.second;
        return names;
    }
    // As Plasma's settings do it: setDesktopName, createDesktop, removeDesktop.
    static bool manage(const char* method, const QVariantList& arguments) {
        return session->call("/VirtualDesktopManager", "org.kde.KWin.VirtualDesktopManager", method, arguments)
            .has_value();
    }

    QTemporaryDir scripts;
    std::shared_ptr<KWinWindowServer> server;
};

// Going by name: KWin is asked, and its own signal brings the switch back.
TEST_F(KWinBackendTest, SwitchesToADesktopByItsPlaceAndRefusesOneThatIsGone) {
    const auto target = server->locate({server->activePlace()->screenId, -1, {}, desktopId(2)});
    ASSERT_TRUE(target);
    int announced = 0;
    auto connection = server->activeDesktopChanged.connect([&] { ++announced; });
    EXPECT_EQ(server->switchTo(*target).toStdString(), "");
    ASSERT_TRUE(waitUntil([&] { return announced > 0; })) << "KWin's current " << kwinCurrent().toStdString();
    EXPECT_EQ(server->activePlace()->desktopId, desktopId(2));
    EXPECT_EQ(kwinCurrent(), desktopId(2));
    EXPECT_NE(server->switchTo({target->screenId, -1, {}, QStringLiteral("no-such-desktop")}), "");
}

TEST_F(KWinBackendTest, LabelsLandOnTheirDesktopsAndTheFactsFollowEverySwitchByKWinsSignal) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    for (int i = 0; i < 3; ++i) {
        switchTo(i);
        labels.push_back(label(QStringLiteral("Desk %1").arg(i + 1)));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(server->desktopOf(*labels[i]), desktopId(i)) << i;
        ASSERT_TRUE(waitUntil([&] { return server->reportedPlace(*labels[i]).has_value(); })) << i;
        EXPECT_EQ(server->reportedPlace(*labels[i])->first, desktopId(i)) << "KWin's own word, label " << i;
        EXPECT_EQ(server->reportedPlace(*labels[i])->second, QRect(200, 800 - 500 - 90, 260, 90)) << i;
    }
    ASSERT_EQ(server->desktops().size(), 3);
    int announced = 0;
    auto connection = server->activeDesktopChanged.connect([&] { ++announced; });
    for (const int index : {0, 2, 1, 0}) {
        switchTo(index);
        EXPECT_EQ(server->activePlace()->desktop, index);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(labels[i]->isOnActiveSpace(), i == index) << index << " " << i;
            EXPECT_EQ(labels[i]->isVisible(), i == index) << index << " " << i;
        }
    }
    EXPECT_EQ(announced, 4) << "one per switch, by KWin's signal";
}

// KWin moves a label (as a drag or keeping it on screen does): the script reports it and the panel
// announces the move, which the overlay stores.
// KWin activates a label when it maps it; a switch made before that must not be undone by it.
TEST_F(KWinBackendTest, ASwitchRightAfterALabelIsMadeHolds) {
    const struct {
        int madeOn, switchedTo;
    } cases[] = {{0, 1}, {1, 2}, {2, 0}};
    for (const auto& c : cases) {
        switchTo(c.madeOn);
        // As the overlay makes one: transparent at first, faded in later.
        const auto panel = server->createLabelPanel(QUuid::createUuid());
        panel->setFrame(QRectF(200, 500, 260, 90));
        panel->setAlpha(0.0);
        panel->orderFront();
        ASSERT_TRUE(session->switchTo(c.switchedTo)); // before KWin maps the label
        ASSERT_TRUE(waitUntil([&] { return server->reportedPlace(*panel).has_value(); })) << c.madeOn;
        EXPECT_TRUE(waitUntil([&] {
            return kwinCurrent() == desktopId(c.switchedTo) && server->currentDesktop() == desktopId(c.switchedTo);
        })) << c.madeOn << " -> " << c.switchedTo << ": KWin is on " << kwinCurrent().toStdString();
    }
}

TEST_F(KWinBackendTest, AMoveByKWinIsReadBackAndAnnounced) {
    auto panel = label(QStringLiteral("Moved"));
    int moves = 0;
    auto connection = panel->moved.connect([&] { ++moves; });
    ASSERT_TRUE(session->runScript(QStringLiteral(
        "var all = workspace.clientList();"
        "for (var i = 0; i < all.length; ++i)"
        "  if (/^Spacemarquee label/.test(all[i].caption))"
        "    all[i].frameGeometry = {x: 640, y: 100, width: all[i].width, height: all[i].height};")));
    ASSERT_TRUE(waitUntil([&] { return moves > 0; }));
    EXPECT_EQ(panel->frame().topLeft(), QPointF(640, 800 - 100 - 90));
}

TEST_F(KWinBackendTest, TheEditorOpensOverTheLabelWithTheKeyboard) {
    sm::test::CoreRun run(server);
    SpaceTag tag;
    tag.id = QUuid::createUuid();
    tag.title = QStringLiteral("Old");
    run.store->addTag(tag, QStringLiteral("manual-create"));
    LabelPanel* panel = run.overlay->createPanel(tag, QStringLiteral("manual-create"));
    ASSERT_TRUE(waitUntil([&] { return server->reportedPlace(*panel).has_value(); }));
    panel->view().onClick(); // what a click on the label delivers
    ASSERT_TRUE(waitUntil([&] { return run.overlay->isEditing(); }));
    auto* editor = static_cast<KWinEditorPanel*>(run.overlay->editorSession()->panel.get());
    ASSERT_TRUE(waitUntil([&] { return editor->window()->field()->hasFocus(); }))
        << "the editor has no keyboard";
    // Where KWin put it: where the overlay asked, on the label's desktop, over the label.
    const auto placed = [&] { return server->reportedPlace(*editor).value_or(std::pair<QString, QRect>()); };
    const auto show = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
    };
    EXPECT_TRUE(waitUntil([&] {
        return placed().second.topLeft() == server->toLayout(editor->frame()).topLeft() &&
               placed().second.intersects(server->toLayout(panel->frame()));
    })) << show(placed().second)
        << " asked " << show(server->toLayout(editor->frame())) << " label "
        << show(server->toLayout(panel->frame()));
    EXPECT_EQ(placed().first, server->reportedPlace(*panel)->first);
}

// The program as a person meets it: each desktop's label found again on every visit, its name in
// KWin's desktop list, a name typed in Plasma taken up, and every name back after a restart.
TEST_F(KWinBackendTest, EachDesktopKeepsItsLabelAndItsNameShowsInKWinAcrossARestart) {
    const QStringList original = kwinNames();
    auto defaults = std::make_shared<MemoryDefaults>();
    auto first = std::make_unique<sm::test::CoreRun>(server, defaults);
    first->store->updateSettings([](AppSettings& s) { s.shareDesktopNames = true; });
    QList<QUuid> tags;
    for (int i = 0; i < 3; ++i) {
        switchTo(i);
        first->tracker->setTitleForCurrentSpace(QStringLiteral("Desk %1").arg(i + 1), true);
        ASSERT_TRUE(waitUntil([&] { return shownLabel(*first).has_value(); })) << i;
        tags << *shownLabel(*first);
    }
    for (const int i : {1, 0, 2, 0}) {
        switchTo(i);
        ASSERT_TRUE(waitUntil([&] { return shownLabel(*first) == tags[i]; })) << "desktop " << i;
    }
    const QStringList lent = {QStringLiteral("Desk 1"), QStringLiteral("Desk 2"), QStringLiteral("Desk 3")};
    ASSERT_TRUE(waitUntil([&] { return kwinNames() == lent; })) << kwinNames().join(u',').toStdString();

    first->quit();
    EXPECT_TRUE(waitUntil([&] { return kwinNames() == original; }))
        << "given back at quit: " << kwinNames().join(u',').toStdString();
    first.reset();
    server.reset();
    // A desktop added in front of the others, as reordering in Plasma's settings does: every desktop
    // moves up one, and each name stays on its own desktop.
    ASSERT_TRUE(manage("createDesktop", {0u, QStringLiteral("New")}));
    ASSERT_TRUE(waitUntil([&] { return session->desktops().size() == 4; }));
    QString error;
    server = KWinWindowServer::create({Logger{}, scripts.path()}, &error);
    ASSERT_TRUE(server) << error.toStdString();
    {
        sm::test::CoreRun second(server, defaults);
        EXPECT_EQ(second.restored, 3);
        for (const int i : {2, 0, 1}) {
            switchTo(i + 1);
            ASSERT_TRUE(waitUntil([&] { return shownLabel(second) == tags[i]; })) << "desktop " << i;
            EXPECT_EQ(second.activeTitle(), lent[i]);
        }
        switchTo(0);
        second.quit();
    }
    ASSERT_TRUE(manage("removeDesktop", {desktopId(0)}));
    ASSERT_TRUE(waitUntil([&] { return session->desktops().size() == 3; }));
}

TEST_F(KWinBackendTest, ANameTypedInPlasmaNamesALabelWithoutOneOfTheUsersOwn) {
    sm::test::CoreRun run(server, std::make_shared<MemoryDefaults>(), true);
    run.store->updateSettings([](AppSettings& s) { s.shareDesktopNames = true; });
    ASSERT_TRUE(manage("setDesktopName", {desktopId(1), QStringLiteral("Research")}));
    switchTo(1);
    EXPECT_TRUE(waitUntil([&] { return run.activeTitle() == QStringLiteral("Research"); }, 10000))
        << run.activeTitle().toStdString();
    run.quit();
    manage("setDesktopName", {desktopId(1), QString()});
}

// A desktop removed in Plasma's settings takes its label away and leaves its name to put back.
TEST_F(KWinBackendTest, ARemovedDesktopsNameStaysRestorable) {
    sm::test::CoreRun run(server);
    switchTo(2);
    run.tracker->setTitleForCurrentSpace(QStringLiteral("Scratch"), true);
    ASSERT_TRUE(waitUntil([&] { return shownLabel(run).has_value(); }));
    const QUuid tag = *shownLabel(run);
    switchTo(0);
    const QString removed = desktopId(2);
    ASSERT_TRUE(manage("removeDesktop", {removed}));
    ASSERT_TRUE(waitUntil([&] { return server->desktops().size() == 2; }));
    EXPECT_TRUE(waitUntil([&] { return !run.overlay->entry(tag) || !run.overlay->entry(tag)->panel; }))
        << "the label left with its desktop";
    ASSERT_TRUE(run.store->tag(tag)) << "the name is kept";
    EXPECT_EQ(run.store->tag(tag)->title, QStringLiteral("Scratch"));
    ASSERT_TRUE(manage("createDesktop", {2u, QString()}));
    ASSERT_TRUE(waitUntil([&] { return server->desktops().size() == 3; }));
    run.quit();
}

TEST_F(KWinBackendTest, AutomaticNamingTakesTheCaptionOfTheWindowInFront) {
    sm::test::CoreRun run(server, std::make_shared<MemoryDefaults>(), true, server->workspace());
    run.store->updateSettings([](AppSettings& s) {
        s.autoTagFromFrontmostWindow = true;
        s.windowNameGuessing = WindowNameGuessing::anyApp;
    });
    switchTo(1);
    QProcess other;
    QProcessEnvironment env = session->environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    other.setProcessEnvironment(env);
    other.start(program, {QStringLiteral("--window"), QStringLiteral("dev@box: ~/src/atlas")});
    const auto front = [&] { return server->workspace()->frontmostApplication(); };
    ASSERT_TRUE(waitUntil([&] { return front() && front()->processId == other.processId(); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return run.activeTitle() == QStringLiteral("atlas"); }, 20000))
        << run.activeTitle().toStdString() << "\n"
        << run.logs.log->traces().filter(QStringLiteral("autoTag")).join(u'\n').toStdString();
    EXPECT_EQ(front()->applicationId, QStringLiteral("org.kde.konsole"));

    // A new caption is read at the next visit of the desktop.
    other.write("dev@box: ~/src/beacon\n");
    const auto frontTitle = [&] {
        const auto windows = server->workspace()->onScreenWindows();
        return windows && !windows->isEmpty() ? windows->first().title.value_or(QString()) : QString();
    };
    ASSERT_TRUE(waitUntil([&] { return frontTitle() == QStringLiteral("dev@box: ~/src/beacon"); }))
        << frontTitle().toStdString();
    switchTo(0);
    switchTo(1);
    EXPECT_TRUE(waitUntil([&] { return run.activeTitle() == QStringLiteral("beacon"); }, 10000))
        << run.activeTitle().toStdString();
    other.kill();
    other.waitForFinished();
    run.quit();
}

} // namespace
} // namespace sm::kwin

int main(int argc, char** argv) {
    // The other program of a story: a terminal, by its app id.
    if (const auto other = sm::test::runAsOtherWindow(argc, argv, QStringLiteral("org.kde.konsole"))) return *other;
    sm::kwin::program = QString::fromLocal8Bit(argv[0]);
    ::testing::InitGoogleTest(&argc, argv);
    QString why;
    auto session = sm::kwin::test::KWinTestSession::start(3, &why);
    if (!session) {
        std::printf("SKIPPED: no headless KWin: %s\n", why.toLocal8Bit().constData());
        return 77; // CTest's SKIP_RETURN_CODE for this test
    }
    sm::kwin::session = session.get();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
