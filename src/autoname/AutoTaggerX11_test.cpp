// Automatic naming on a real X11 desktop (Xvfb + openbox): xterm and another program's window in
// front, their titles changed, the label following at the next trigger.
#include "core/CoreServices.h"
#include "autoname/AutoTagger.h"
#include "autoname/TitleDerivation.h"
#include "platform/linux/QtMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "platform/x11/X11Panels.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "support/x11/X11TestSession.h"
#include "support/OtherWindow.h"
#include "support/TestLoggers.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <gtest/gtest.h>

namespace sm {
namespace {

using x11::test::waitUntil;
x11::test::X11TestSession* session = nullptr;
const char* program = nullptr;

class AutoTaggerX11 : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xterm", "xdotool", "wmctrl"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is missing";
        QString error;
        server = x11::X11WindowServer::create({Logger{}, 5.0}, &error);
        ASSERT_TRUE(server) << error.toStdString();
        announcements = server->activeDesktopChanged.connect([this] { announced = server->currentDesktop(); });
        workspace = x11::X11Workspace::create(logs.loggers.tracker, &error);
        ASSERT_TRUE(workspace) << error.toStdString();
        ASSERT_EQ(session->run("wmctrl", {"-n", "2"}), 0);
        switchTo(0);
        core = CoreServices::create({server, nullptr, workspace, nullptr, defaults, queue, logs.loggers});
        store = core->store();
        overlay = core->overlay();
        tracker = core->tracker();
        store->updateSettings(
            [](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::terminalOnly; });
    }
    void TearDown() override {
        if (core) core->stop();
        for (auto& p : programs) {
            p->kill();
            p->waitForFinished(3000);
        }
    }

    // Switches and waits until the switch is announced: a manager that hides windows late has it
    // announced a while after the desktop changed.
    void switchTo(int desktop) {
        const bool moves = server->currentDesktop() != std::uint32_t(desktop);
        ASSERT_EQ(session->run("wmctrl", {"-s", QString::number(desktop)}), 0);
        ASSERT_TRUE(waitUntil([&] {
            return server->currentDesktop() == std::uint32_t(desktop) && (!moves || announced == std::uint32_t(desktop));
        }));
    }
    // Starts a program on the current desktop and waits until it is in front.
    void startInFront(const QString& path, const QStringList& arguments, const QString& applicationId) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", session->display());
        process->setProcessEnvironment(environment);
        process->start(path, arguments);
        ASSERT_TRUE(process->waitForStarted(5000));
        const qint64 pid = process->processId();
        programs.push_back(std::move(process));
        ASSERT_TRUE(waitUntil(
            [&] {
                const auto app = workspace->frontmostApplication();
                return app && app->processId == pid && app->applicationId == applicationId;
            },
            10000))
            << path.toStdString() << " in front: "
            << workspace->frontmostApplication().value_or(RunningApplication{}).applicationId.toStdString();
    }
    void retitleFrontWindow(const QString& title) {
        ASSERT_EQ(session->run("xdotool", {"getactivewindow", "set_window", "--name", title}), 0);
    }
    QString shownTitle() const {
        const auto id = tracker->currentActiveTagId();
        const auto* entry = id ? overlay->entry(*id) : nullptr;
        if (!entry) return QStringLiteral("<no label>");
        return static_cast<x11::X11LabelPanel*>(entry->panel.get())->window()->presentation().title;
    }
    // Whether a trip away and back has set off all it will since trace line `from`: both switches are
    // announced (switchTo waits for that), no attempt is left on the queue, and the label found after
    // the last announcement has had its own look (under load it is found after the attempts).
    bool switchAttemptOver(qsizetype from) const {
        if (core->autoTagger()->scheduledAttempts() > 0) return false;
        bool lookedSinceLast = false;
        for (const QString& line : logs.log->traces().mid(from)) {
            if (line.startsWith(QLatin1String("spaceChange resolution start"))) lookedSinceLast = false;
            if (line.startsWith(QLatin1String("autoTag ")) && line.contains(QLatin1String("reason=tag-resolved")))
                lookedSinceLast = true;
        }
        return lookedSinceLast;
    }
    // Past the moment a rename the last change wrongly set off would be made: the change has reached
    // this process (an X round trip) and the queue has run what an attempt scheduled then would run.
    void passTheNextAttempt() {
        x11::test::roundTrip();
        bool passed = false;
        const auto marker = queue->after(AutoTagger::kFirstAttemptDelaySeconds, [&] { passed = true; });
        ASSERT_TRUE(waitUntil([&] { return passed; }));
    }
    void awayAndBack() {
        switchTo(1);
        switchTo(0);
    }

    test::TestLoggers logs;
    std::shared_ptr<QtMainQueue> queue = std::make_shared<QtMainQueue>();
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<x11::X11WindowServer> server;
    std::shared_ptr<x11::X11Workspace> workspace;
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<TagStore> store;
    std::shared_ptr<OverlayManager> overlay;
    std::shared_ptr<SpaceTracker> tracker;
    std::vector<std::unique_ptr<QProcess>> programs;
    Connection announcements;
    std::optional<std::uint32_t> announced;
};

TEST_F(AutoTaggerX11, TheLabelFollowsTheWindowInFrontAtTheNextTrigger) {
    startInFront("xterm", {"-T", "dev@box: ~/src/atlas"}, "XTerm");
    core->start(false);
    // The desktop's new label is named after the terminal in front.
    ASSERT_TRUE(waitUntil([&] { return shownTitle() == "XTerm"; }, 10000)) << shownTitle().toStdString();
    store->updateSettings([](AppSettings& s) { s.autoCreateOnNewSpace = false; });

    struct Step {
        const char* story;
        std::function<void()> act;
        QString shown;
        bool switches; // desktop switches in `act`, with an attempt to wait out
    };
    // Which levels name which windows is the sim tier's business; here the titles and ids are real.
    const QList<Step> steps = {
        {"any app: the terminal's title, at the next switch",
         [&] {
             store->updateSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::anyApp; });
             awayAndBack();
         },
         "atlas", true},
        {"a title change alone renames nothing",
         [&] { retitleFrontWindow("dev@box: ~/src/beacon \u2014 bash"); }, "atlas", false},
        {"...until the desktop is left and entered again", [&] { awayAndBack(); }, "beacon", true},
        {"another program in front: its title at once (activation)",
         [&] {
             startInFront(program, {"--window", "Notes \u2014 Draft"}, "Notes");
         },
         "Notes", false},
        {"hostile bytes and length are tamed",
         [&] {
             retitleFrontWindow(QString("\u202Eevil\x01\n") + QString(100000, 'w'));
             awayAndBack();
         },
         "evil  " + QString(TitleDerivation::kMaxTitleLength - 7, 'w') + QChar(0x2026), true},
    };
    for (const auto& step : steps) {
        const qsizetype from = logs.log->traces().size();
        const QString before = shownTitle();
        step.act();
        if (step.shown == shownTitle()) passTheNextAttempt(); // a wrong rename would have come by now
        if (!step.switches && step.shown == before) {
            const QStringList attempts = logs.log->traces().mid(from).filter(QStringLiteral("autoTag "));
            EXPECT_TRUE(attempts.isEmpty()) << step.story << ": " << attempts.join('\n').toStdString();
        }
        EXPECT_TRUE(waitUntil([&] { return shownTitle() == step.shown; }, 5000))
            << step.story << ": shows '" << shownTitle().toStdString() << "'";
        // A switch triggers twice (desktop change, then the tag resolved): both must be over before the
        // next step changes a title.
        if (step.switches) {
            EXPECT_TRUE(waitUntil([&] { return switchAttemptOver(from); })) << step.story;
        }
    }
}

TEST_F(AutoTaggerX11, OwnWindowsAreRecognisedAndVanishedWindowsAreHarmless) {
    QWidget own;
    own.setWindowTitle("Preferences");
    own.show();
    own.activateWindow();
    ASSERT_TRUE(waitUntil([&] {
        const auto app = workspace->frontmostApplication();
        return app && app->applicationId == workspace->ownApplicationId();
    })) << workspace->frontmostApplication().value_or(RunningApplication{}).applicationId.toStdString();
    // Windows come and go while the list is read: no crash, no stale entry for a closed one.
    for (int i = 0; i < 20; ++i) {
        auto w = std::make_unique<QWidget>();
        w->setWindowTitle(QString("Short-lived %1").arg(i));
        w->show();
        ASSERT_TRUE(workspace->onScreenWindows().has_value());
        w.reset();
        ASSERT_TRUE(workspace->onScreenWindows().has_value());
    }
    EXPECT_TRUE(waitUntil([&] {
        const auto windows = workspace->onScreenWindows();
        return windows && std::none_of(windows->begin(), windows->end(), [](const WindowListEntry& e) {
                   return e.title && e.title->startsWith("Short-lived");
               });
    }));
}

} // namespace
} // namespace sm

int main(int argc, char** argv) {
    // The other program of the story, not the program under test by its WM_CLASS.
    if (const auto other = sm::test::runAsOtherWindow(argc, argv, QStringLiteral("Notes"))) return *other;
    ::testing::InitGoogleTest(&argc, argv);
    sm::program = argv[0];
    QString why;
    auto session = sm::x11::test::X11TestSession::start(
        qEnvironmentVariable("SM_TEST_WM", QStringLiteral("openbox")), &why);
    if (!session) {
        std::printf("SKIPPED: no X11 test session: %s\n", why.toLocal8Bit().constData());
        return 77;
    }
    sm::session = session.get();
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
