// The launch and termination sequences on the simulated desktop and virtual clock.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/sim/RecordingSpeechSynthesizer.h"
#include "support/sim/ScriptedKeySource.h"
#include "support/sim/ScriptedWorkspace.h"
#include "support/sim/SimDesktop.h"
#include "support/FakeLoginItem.h"
#include "support/TestLoggers.h"
#include "rules/ShortId.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace sm {
namespace {

struct RecordingUi final : ShellUi {
    bool hasTray = true;
    QList<MenuEntry> entries;
    std::function<void()> willOpen;
    std::function<void(QString)> action;
    QSet<QString> hidden;
    QHash<QString, QList<MenuChoice>> submenus;
    QStringList alerts;
    QList<AboutCredits> abouts;
    QList<QUrl> opened;
    int quits = 0;

    bool installStatusMenu(const QList<MenuEntry>& e, std::function<void()> w,
                           std::function<void(QString)> a) override {
        entries = e;
        willOpen = std::move(w);
        action = std::move(a);
        return hasTray;
    }
    void setMenuItemHidden(const QString& id, bool h) override {
        if (h)
            hidden.insert(id);
        else
            hidden.remove(id);
    }
    void setSubmenu(const QString& id, const QList<MenuChoice>& c) override { submenus[id] = c; }
    void showAbout(const AboutCredits& c) override { abouts << c; }
    void showAlert(const QString& m, const QString& i) override { alerts << m + "|" + i; }
    bool openUrl(const QUrl& url) override { return opened << url, true; }
    void quit() override { ++quits; }
};

struct RecordingPresenter final : WindowPresenter {
    int welcomes = 0;
    QList<std::shared_ptr<PreferencesViewModel>> preferences;
    void showPreferences(const std::shared_ptr<PreferencesViewModel>& model) override {
        preferences << model;
    }
    void showWelcome() override { ++welcomes; }
};

class AppLaunch : public ::testing::Test {
protected:
    static constexpr quint32 kMain = 1;

    AppLaunch() {
        desktop->attachScreen({kMain, QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001"),
                               QStringLiteral("Built-in Display"), QRectF(0, 0, 1440, 900), 4});
        queue->drain();
    }

    std::shared_ptr<AppDelegate> launch(bool loginItem = false, QList<OtherInstance> others = {}) {
        AppBackend b;
        b.windowServer = desktop;
        b.keySource = keys;
        b.workspace = workspace;
        b.speechSynthesizer = speech;
        b.defaults = defaults;
        b.queue = queue;
        b.traceLog = logs.loggers.app.isTracing() ? TraceLog::memoryOnly(true) : TraceLog::memoryOnly(false);
        b.loggers = logs.loggers;
        b.loginItem = loginItem_;
        b.ui = ui;
        b.windows = presenter;
        b.otherInstances = [others] { return others; };
        b.listenForUrlCommands = [this](CommandHandler h) {
            urlHandler = std::move(h);
        };
        b.website = QUrl(QStringLiteral("https://spacemarquee.example"));
        b.version = QStringLiteral("0.1.0");
        b.pid = 1234;
        auto app = AppDelegate::create(std::move(b));
        launched = app->applicationDidFinishLaunching(loginItem);
        queue->drain();
        return app;
    }

    void switchTo(int index) {
        desktop->switchDesktop(kMain, index);
        queue->advance(6.0); // past the time-out and the quiet period: a fresh desktop gets its label
    }
    // The reply, "ok" or the reason; empty while none came.
    QString url(const QByteArray& raw) {
        QString answer;
        urlHandler(raw, [&answer](const QString& refusal, const QByteArray&) {
            answer = refusal.isEmpty() ? QStringLiteral("ok") : refusal;
        });
        queue->advance(0.5);
        return answer;
    }
    QStringList messages() const { return logs.log->messages(); }
    QStringList traces() const { return logs.log->traces(); }
    QStringList titles(const AppDelegate& app) const {
        QStringList out;
        for (const auto& t : app.tagStore()->tags())
            out << t.title;
        return out;
    }

    test::TestLoggers logs;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<SimDesktop> desktop = std::make_shared<SimDesktop>(queue);
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<ScriptedKeySource> keys = std::make_shared<ScriptedKeySource>();
    std::shared_ptr<ScriptedWorkspace> workspace = std::make_shared<ScriptedWorkspace>();
    std::shared_ptr<RecordingSpeechSynthesizer> speech = std::make_shared<RecordingSpeechSynthesizer>();
    std::shared_ptr<test::FakeLoginItem> loginItem_ = std::make_shared<test::FakeLoginItem>();
    std::shared_ptr<RecordingUi> ui = std::make_shared<RecordingUi>();
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    CommandHandler urlHandler;
    bool launched = false;
};

TEST_F(AppLaunch, FirstLaunchRunsTheSequenceInOrder) {
    auto app = launch();
    ASSERT_TRUE(launched);
    // Each step's first line, in order: every line found after the previous one.
    qsizetype at = -1;
    for (const char* step :
         {"Spacemarquee launching", "TRACE launchOrigin ", "One-time store junk purge ", "SpaceTracker starting",
          "TRACE launchAtLogin bootstrap ", "TRACE welcome decision ", "TRACE session screen ",
          "TRACE session tags=", "Spacemarquee launched "}) {
        const qsizetype next = messages().indexOf(QRegularExpression(
            QRegularExpression::escape(step) + ".*", QRegularExpression::DotMatchesEverythingOption));
        EXPECT_GT(next, at) << step;
        at = next;
    }
    EXPECT_GT(defaults->doubleValue(AppDelegate::kFirstUseDateKey).value_or(0), 1.6e9);
    EXPECT_EQ(defaults->boolValue(AppDelegate::kWelcomeShownKey), true);
    EXPECT_TRUE(app->welcomeRequested());
    EXPECT_EQ(loginItem_->current, LoginItemStatus::enabled);
    EXPECT_TRUE(keys->isStarted());

    // Started only after wiring: the first desktop gets its label and the tracker resolves it.
    queue->advance(2.5);
    ASSERT_EQ(app->tagStore()->tags().size(), 1);
    EXPECT_EQ(app->spaceTracker()->queryActiveTagId(), app->tagStore()->tags()[0].id);
    keys->pressCtrl();
    queue->drain();
    EXPECT_TRUE(app->overlayManager()->ctrlBoostActive());
}

TEST_F(AppLaunch, WelcomeDecisionAndOneTimeMarkers) {
    struct Row {
        bool schema;
        bool welcomeShown;
        bool loginItem;
        bool show;
        bool markerAfter;
    };
    const Row rows[] = {
        {false, false, false, true, true},  // fresh install
        {false, false, true, false, false}, // first launch at login: the next manual launch greets
        {true, false, false, false, true},  // update of an existing install
        {false, true, false, false, true},  // already greeted
    };
    for (const auto& r : rows) {
        defaults = std::make_shared<MemoryDefaults>();
        if (r.schema) defaults->setValue(TagStore::kSchemaKey, qint64(1));
        if (r.welcomeShown) defaults->setValue(AppDelegate::kWelcomeShownKey, true);
        const int before = presenter->welcomes;
        auto app = launch(r.loginItem);
        EXPECT_EQ(presenter->welcomes - before, r.show ? 1 : 0) << r.schema << r.welcomeShown << r.loginItem;
        EXPECT_EQ(defaults->boolValue(AppDelegate::kWelcomeShownKey).value_or(false), r.markerAfter)
            << r.schema << r.welcomeShown << r.loginItem;
        app->applicationWillTerminate();
    }
}

TEST_F(AppLaunch, PreferencesOpenFromTheTrayAsOneWindowThatEditsTheStore) {
    auto app = launch();
    for (int i = 0; i < 2; ++i)
        ui->action("showPreferences");
    ASSERT_EQ(presenter->preferences.size(), 2);
    EXPECT_EQ(presenter->preferences[0], presenter->preferences[1]); // one window for the process
    switchTo(1);
    const QUuid id = app->tagStore()->tags().at(0).id;
    presenter->preferences[0]->renameTag(id, "Mail");
    EXPECT_EQ(titles(*app), QStringList{"Mail"});
    presenter->preferences[0]->deleteTag(id);
    EXPECT_EQ(traces().filter(QRegularExpression("^store REMOVE .* reason=preferences-delete ")).size(), 1)
        << traces().filter("preferences-delete").join("\n").toStdString();

    // Announcements are off, so nothing started the speech engine; turning them on warms it.
    ASSERT_TRUE(speech->spoken.isEmpty());
    presenter->preferences[0]->set(&AppSettings::speakSpaceNameOnChange, true);
    ASSERT_EQ(speech->spoken.size(), 1);
    EXPECT_EQ(speech->spoken[0].volume, 0.0);
}

TEST_F(AppLaunch, TheJunkPurgeRunsOnce) {
    launch()->applicationWillTerminate();
    logs.log->clear();
    launch();
    EXPECT_FALSE(messages().join('\n').contains("One-time store junk purge"));
}

TEST_F(AppLaunch, ASecondCopyShowsTheAlertQuitsAndTouchesNothing) {
    auto app = launch(false, {{4242, "/usr/bin/spacemarquee"}});
    EXPECT_FALSE(launched);
    EXPECT_EQ(defaults->totalWrites(), 0);
    EXPECT_EQ(app->tagStore(), nullptr);
    EXPECT_EQ(ui->quits, 1);
    EXPECT_TRUE(ui->entries.isEmpty());
    ASSERT_EQ(ui->alerts.size(), 1);
    EXPECT_TRUE(ui->alerts[0].startsWith("Spacemarquee is already running|Another copy of Spacemarquee is "
                                         "already running on this computer, so this one will quit.\n\n"));
    app->applicationWillTerminate(); // nothing was started, nothing to stop
}

TEST_F(AppLaunch, UrlCommandsNameAndClearTheCurrentDesktop) {
    auto app = launch();
    switchTo(1);
    EXPECT_EQ(url("spacemarquee://set-current-tag?title=Mail"), "ok");
    const auto active = app->spaceTracker()->queryActiveTagId();
    ASSERT_TRUE(active);
    EXPECT_EQ(app->tagStore()->tag(*active)->title, "Mail");
    EXPECT_TRUE(app->tagStore()->tag(*active)->isUserOwned);
    EXPECT_FALSE(url("spacemarquee://format-disk").isEmpty()); // the sender is told why

    url("spacemarquee://set-current-tag");
    EXPECT_EQ(app->tagStore()->tag(*active)->title, "");
    url("SPACEMARQUEE://CLEAR-CURRENT-TAG");
    EXPECT_FALSE(app->spaceTracker()->queryActiveTagId());

    // A change the disk refused is in effect, but the sender is not told it is done.
    defaults->setFailWrites(true);
    EXPECT_EQ(url("spacemarquee://set-current-tag?title=Kept"),
              "applied for this session, not saved: No space left on device");
    EXPECT_TRUE(titles(*app).contains("Kept"));
    defaults->setFailWrites(false);
    EXPECT_EQ(url("spacemarquee://set-current-tag?title=Saved"), "ok");
}

// Each story starts on desktop 4 of four named "Mail", "Music", "Code", "Code review".
TEST_F(AppLaunch, GoSwitchesToTheDesktopANameMeansAndAnswersOnceTheSwitchIsSeen) {
    const struct {
        const char* story;
        QByteArray link;
        SimDesktop::SwitchPolicy server;
        QString answerStart; // "ok", or how the refusal begins
        int activeAfter;     // 0-based
        int requests;        // switches asked of the server
    } stories[] = {
        {"exact name", "spacemarquee://go?title=Mail", {}, "ok", 0, 1},
        {"unique beginning, any case", "spacemarquee://go?title=MU", {}, "ok", 1, 1}, // more in DesktopNameMatch
        {"already there", "spacemarquee://go?title=Code%20review", {}, "ok", 3, 0},
        {"ambiguous", "spacemarquee://go?title=co", {},
         "several desktops match: \"Code\" (desktop 3), \"Code review\" (desktop 4)", 3, 0},
        {"unknown", "spacemarquee://go?title=Mailbox", {}, "cannot go: no desktop is named \"Mailbox\"", 3, 0},
        {"the server refuses", "spacemarquee://go?title=Mail", {0.05, "that desktop is locked", false},
         "cannot go: that desktop is locked", 3, 1},
        {"the server never switches", "spacemarquee://go?title=Mail", {0.05, {}, true},
         "cannot go: the desktop did not switch to \"Mail\" (desktop 1) within 2 seconds", 3, 1},
        {"a slow switch is still seen", "spacemarquee://go?title=Mail", {1.9, {}, false}, "ok", 0, 1},
        {"a tombstone is no candidate", "tombstone Mail, then go to it", {}, "cannot go: no desktop is named", 3, 0},
    };
    auto app = launch();
    int index = 0;
    for (const char* title : {"Mail", "Music", "Code", "Code review"}) {
        switchTo(index++);
        ASSERT_EQ(url("spacemarquee://set-current-tag?title=" + QByteArray(title).toPercentEncoding()), "ok");
    }
    for (const auto& s : stories) {
        SCOPED_TRACE(s.story);
        desktop->setSwitchPolicy({});
        desktop->switchDesktop(kMain, 3);
        queue->advance(1.0);
        QByteArray link = s.link;
        if (link.startsWith("tombstone")) {
            for (const auto& t : app->tagStore()->tags())
                if (t.title == "Mail") app->spaceTracker()->deleteTagFromContextMenu(t.id);
            link = "spacemarquee://go?title=Mail";
        }
        desktop->setSwitchPolicy(s.server);
        const auto requestsBefore = desktop->switchRequests().size();
        QString answer;
        int answers = 0;
        urlHandler(link, [&](const QString& refusal, const QByteArray&) {
            answer = refusal.isEmpty() ? QStringLiteral("ok") : refusal;
            ++answers;
        });
        // Never before the switch is seen, and never later than the give-up.
        if (s.answerStart == "ok" && s.requests > 0) {
            EXPECT_EQ(answers, 0);
        }
        queue->advance(1.99);
        if (answers == 0) queue->advance(0.01);
        EXPECT_EQ(answers, 1);
        EXPECT_TRUE(answer.startsWith(s.answerStart)) << answer.toStdString();
        EXPECT_EQ(desktop->activeDesktop(kMain), s.activeAfter);
        EXPECT_EQ(desktop->switchRequests().size() - requestsBefore, s.requests);
        queue->advance(5.0);
        EXPECT_EQ(answers, 1); // answered once, also when the switch comes after the give-up
    }
}

// `edit` opens the editor, focused, on the current desktop's label, making one where there is none;
// Return keeps the draft and Escape keeps the name.
TEST_F(AppLaunch, EditRenamesTheCurrentDesktopFromTheKeyboard) {
    auto app = launch();
    switchTo(1);
    const struct {
        const char* story;
        bool labelled;
        bool escape;
        QStringList titlesAfter;
    } stories[] = {
        {"named desktop, Return", true, false, {"Draft"}},
        {"named desktop, Escape", true, true, {"Mail"}},
        {"no label yet, Return", false, false, {"Draft"}},
    };
    for (const auto& s : stories) {
        SCOPED_TRACE(s.story);
        url("spacemarquee://clear-current-tag");
        if (s.labelled) {
            ASSERT_EQ(url("spacemarquee://set-current-tag?title=Mail"), "ok");
        }
        ASSERT_EQ(app->spaceTracker()->queryActiveTagId().has_value(), s.labelled);
        const auto editorsBefore = desktop->editorPanels().size();
        EXPECT_EQ(url(CommandLine::kEditRequest), "ok");
        ASSERT_EQ(desktop->editorPanels().size(), editorsBefore + 1);
        auto& view = desktop->editorPanels().back()->view();
        EXPECT_TRUE(view.hasFocus());
        view.type("Draft");
        if (s.escape)
            view.onCancel();
        else
            view.pressReturn();
        queue->advance(1.0);
        EXPECT_EQ(titles(*app), s.titlesAfter);
    }
}

TEST_F(AppLaunch, TrayMenuFollowsTheCurrentDesktop) {
    auto app = launch();
    ASSERT_EQ(ui->entries.size(), 10);
    const QString goTo = MenuBarItem::kGoToIdentifier; // hidden while no desktop has a name
    ui->willOpen();
    EXPECT_EQ(ui->hidden, (QSet<QString>{MenuBarItem::kRemoveTagIdentifier, goTo}));
    ui->action("addTag");
    queue->advance(0.5);
    ui->willOpen();
    EXPECT_EQ(ui->hidden, (QSet<QString>{MenuBarItem::kAddTagIdentifier, goTo}));
    app->spaceTracker()->setTitleForCurrentSpace("Mail", true);
    ui->willOpen();
    EXPECT_EQ(ui->hidden, (QSet<QString>{MenuBarItem::kAddTagIdentifier}));
    EXPECT_EQ(ui->submenus[goTo], (QList<MenuChoice>{{"Mail", "goTo:0", true, {}}}));
    ui->action("showAbout");
    ASSERT_EQ(ui->abouts.size(), 1);
    EXPECT_TRUE(ui->abouts[0].text.startsWith("Labels stored: 1\n\nIssues? Suggestions? Ideas?\n"));
    ui->action("checkForUpdates");
    EXPECT_EQ(ui->opened,
              (QList<QUrl>{QUrl("https://spacemarquee.example/spacemarquee/"
                                "?utm_source=app-direct&utm_medium=referral&utm_campaign=update-check")}));
    ui->action("removeTag");
    queue->advance(0.5);
    ui->willOpen();
    EXPECT_EQ(ui->hidden, (QSet<QString>{MenuBarItem::kRemoveTagIdentifier, goTo}));
    ui->action("quit");
    EXPECT_EQ(ui->quits, 1);
}

TEST_F(AppLaunch, ANewDesktopIsNamedAfterTheTerminalInFrontAndItsNameIsSpoken) {
    workspace->frontmost = RunningApplication{QStringLiteral("XTerm"), QStringLiteral("XTerm"), 42};
    auto app = launch();
    EXPECT_EQ(traces().filter(QRegularExpression("^AutoTagger start ")).size(), 1);
    app->tagStore()->updateSettings([](AppSettings& s) {
        s.windowNameGuessing = WindowNameGuessing::terminalOnly;
        s.speakSpaceNameOnChange = true;
    });
    queue->advance(2.5);
    switchTo(1);
    EXPECT_EQ(app->tagStore()->tags().size(), 1);
    EXPECT_EQ(titles(*app), QStringList{"XTerm"});
    switchTo(0);
    switchTo(1); // the named desktop again: its name is spoken
    ASSERT_FALSE(speech->spoken.isEmpty());
    EXPECT_EQ(speech->spoken.last().text, QStringLiteral("XTerm"));
}

TEST_F(AppLaunch, WithoutATrayTheLogSaysHowToReachTheCommands) {
    ui->hasTray = false;
    launch();
    EXPECT_TRUE(messages().join('\n').contains("spacemarquee name NAME"));
}

TEST_F(AppLaunch, TerminationEndsTheLabelsAndKeysButKeepsTheNames) {
    auto app = launch();
    queue->advance(2.5);
    switchTo(1);
    switchTo(2);
    ASSERT_GE(app->overlayManager()->panelIds().size(), 2);
    const auto tagsBefore = app->tagStore()->tags();
    app->applicationWillTerminate();
    EXPECT_TRUE(messages().contains("Spacemarquee terminating"));
    EXPECT_TRUE(app->overlayManager()->panelIds().isEmpty());
    EXPECT_FALSE(keys->isStarted());
    EXPECT_FALSE(speech->isSpeaking());
    EXPECT_EQ(app->tagStore()->tags(), tagsBefore); // labels end with the process, names stay
    // Nothing reacts after the end.
    desktop->switchDesktop(kMain, 3);
    queue->advance(5.0);
    EXPECT_EQ(app->tagStore()->tags(), tagsBefore);
}

} // namespace
} // namespace sm
