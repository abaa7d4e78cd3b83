// The GNOME backend on a private headless GNOME Shell with the bridge loaded from the build tree.
#include "platform/gnome/GnomeBridgeClient.h"
#include "platform/gnome/GnomePanels.h"
#include "platform/gnome/GnomeWindowServer.h"
#include "platform/gnome/GnomeWorkspace.h"
#include "autoname/TitleDerivation.h"
#include "support/CoreRun.h"
#include "support/OtherWindow.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"
#include "support/gnome/GnomeTestSession.h"
#include "support/sim/MemoryDefaults.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QSocketNotifier>
#include <QUuid>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <unistd.h>

namespace sm::gnome {
namespace {

test::GnomeTestSession* session = nullptr;
std::vector<QWidget*> fillers; // ordinary windows, one on each of the first workspaces
using sm::test::Facts;
using sm::test::factsOf;
using sm::test::waitUntil;

class GnomeBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        server = GnomeWindowServer::create({Logger{}, qEnvironmentVariable("SM_PROGRAM_VERSION")}, &error);
        ASSERT_TRUE(server) << error.toStdString();
        // GNOME keeps a workspace only while a window other than a label is on it: one window on each
        // of the first three keeps them, and a fourth, empty one follows.
        while (fillers.size() < 3) {
            workspace(int(fillers.size()));
            auto* filler = new QWidget;
            filler->setWindowTitle(QStringLiteral("filler %1").arg(fillers.size()));
            filler->resize(300, 200);
            filler->show();
            fillers.push_back(filler);
            ASSERT_TRUE(waitUntil([&] { return server->state().workspaces.size() > qsizetype(fillers.size()); }))
                << "no workspace after " << fillers.size();
        }
        workspace(0);
    }
    void TearDown() override {
        server.reset();
        // The windows go before the next test, which counts the workspaces they would keep.
        EXPECT_TRUE(waitUntil([] { return !holdsOurWindows(); })) << "windows left behind";
    }
    static bool holdsOurWindows() {
        GnomeBridgeClient probe(Logger{}, QDBusConnection::sessionBus());
        QString error;
        const auto json = probe.state(&error);
        const auto state = json ? parseState(*json, &error) : std::nullopt;
        return !state || std::any_of(state->windows.begin(), state->windows.end(), [](const OwnWindow& w) {
            return w.pid == QCoreApplication::applicationPid();
        });
    }
    void workspace(int index) {
        QString error;
        ASSERT_TRUE(session->activate(index, &error)) << index << ' ' << error.toStdString();
        ASSERT_TRUE(waitUntil([&] { return server->state().active == index; })) << index;
    }
    std::unique_ptr<LabelPanel> label(const QString& title, QPointF origin = {200, 500}) {
        return sm::test::showLabel(*server, title, origin);
    }

    std::shared_ptr<GnomeWindowServer> server;
};

TEST_F(GnomeBackendTest, LabelsLandOnTheirWorkspacesAndTheFactsAreCurrentWhenASwitchIsAnnounced) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    labels.push_back(label(QStringLiteral("One")));
    workspace(1);
    labels.push_back(label(QStringLiteral("Two"), {600, 300}));
    workspace(2);
    labels.push_back(label(QStringLiteral("Three")));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(server->workspaceIndexOf(*labels[i]), i) << i;
    // The label on screen is where it was asked to be, in the shell's own coordinates too.
    const QRect asked[] = {{200, 210, 260, 90}, {600, 410, 260, 90}, {200, 210, 260, 90}};
    const auto shownAt = [&](int index) -> std::optional<QRect> {
        const QString marker = QStringLiteral("Spacemarquee label %1").arg(index + 1);
        for (const auto& w : server->state().windows)
            if (w.marker == marker) return w.rect;
        return std::nullopt;
    };
    std::vector<std::vector<Facts>> announced;
    auto connection = server->activeDesktopChanged.connect([&] { announced.push_back(factsOf(labels)); });
    const Facts present{true, true}, away{false, false};
    const std::pair<int, std::vector<Facts>> steps[] = {
        {0, {present, away, away}},
        {2, {away, away, present}},
        {1, {away, present, away}},
        {0, {present, away, away}},
    };
    for (const auto& [index, expected] : steps) {
        announced.clear();
        workspace(index);
        ASSERT_EQ(announced.size(), 1u) << index;
        EXPECT_EQ(announced.front(), expected) << "at the announcement of " << index;
        EXPECT_EQ(factsOf(labels), expected) << index;
        EXPECT_TRUE(waitUntil([&] { return shownAt(index) == asked[index]; }))
            << "the label of workspace " << index << " is not where it was asked";
    }
}

// Going by name: the bridge activates the workspace, and its next state brings the switch back.
TEST_F(GnomeBackendTest, SwitchesToAWorkspaceByItsPlaceAndRefusesOneThatIsGone) {
    const auto target = server->locate({server->activePlace()->screenId, 2, {}, {}});
    ASSERT_TRUE(target);
    int announced = 0;
    auto connection = server->activeDesktopChanged.connect([&] { ++announced; });
    EXPECT_EQ(server->switchTo(*target).toStdString(), "");
    ASSERT_TRUE(waitUntil([&] { return announced > 0; }));
    EXPECT_EQ(server->activePlace()->desktop, 2);
    EXPECT_NE(server->switchTo({target->screenId, 99, {}, {}}), "");
}

// Clicks at a point of the layout through the shell's own pointer, at a person's pace, turning the loop
// meanwhile. `entered`, when given, is waited for before the press: the pointer is over the window.
bool clickAt(QPoint point, const std::function<bool()>& entered = {}) {
    const auto pause = [] { waitUntil([] { return false; }, 80); };
    if (!session->pointAt(point)) return false;
    if (entered) waitUntil(entered, 2000);
    pause();
    if (!session->button(true)) return false;
    pause();
    return session->button(false);
}

// A window of the test's own beneath everything else, which counts the presses it gets.
class Beneath : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A click reaches a shown label, translucent too; on a label faded out, or one that ignores the pointer,
// it reaches the window beneath. A drag moves the label where the shell put it.
TEST_F(GnomeBackendTest, ClicksReachALabelAndADragMovesItWhereItIsReadBack) {
    Beneath beneath;
    beneath.setWindowTitle(QStringLiteral("beneath"));
    beneath.showMaximized();
    ASSERT_TRUE(waitUntil([&] {
        const auto& stack = server->state().stack;
        return std::any_of(stack.begin(), stack.end(), [](const auto& w) { return w.title == "beneath"; });
    })) << "the window beneath never showed";
    auto panel = label(QStringLiteral("Click"), {200, 500}); // layout (200, 210) to (460, 300)
    ASSERT_TRUE(waitUntil([&] {
        const auto& windows = server->state().windows;
        return std::any_of(windows.begin(), windows.end(),
                           [](const auto& w) { return w.rect.topLeft() == QPoint(200, 210); });
    })) << "the label was never placed";
    int clicks = 0;
    panel->view().onClick = [&] { ++clicks; };
    int enters = 0;
    static_cast<GnomeLabelPanel*>(panel.get())->window()->onPointerEntered = [&] { ++enters; };
    // `resting`: the pointer is on the label while it changes, as when a label fades out under it;
    // otherwise it comes from aside.
    struct Case {
        double alpha;
        bool ignores;
        bool resting;
        bool reachesLabel;
    };
    const Case cases[] = {
        {1.0, false, false, true}, {0.6, false, false, true}, {0.0, false, true, false},
        {1.0, false, true, true},  {1.0, true, true, false},  {1.0, false, false, true},
        {0.0, true, false, false}, {1.0, false, false, true},
    };
    const QPoint on(330, 255), aside(10, 700);
    for (const auto& [alpha, ignores, resting, reachesLabel] : cases) {
        const auto what = [&] {
            return testing::Message() << "alpha=" << alpha << " ignores=" << ignores << " resting=" << resting;
        };
        ASSERT_TRUE(session->pointAt(resting ? on : aside));
        panel->setAlpha(alpha);
        panel->setIgnoresMouseEvents(ignores);
        // A round trip to the bridge: it has done what was sent before.
        QString error;
        ASSERT_TRUE(server->bridge().state(&error)) << error.toStdString();
        clicks = beneath.presses = enters = 0;
        if (reachesLabel) {
            ASSERT_TRUE(clickAt(on, [&] { return enters > 0 || resting; }));
            EXPECT_TRUE(waitUntil([&] { return clicks == 1; }, 2000)) << what();
            EXPECT_EQ(beneath.presses, 0) << what();
        } else {
            ASSERT_TRUE(clickAt(on));
            EXPECT_TRUE(waitUntil([&] { return beneath.presses == 1; }, 2000)) << what() << ": not beneath";
            EXPECT_EQ(clicks, 0) << what();
        }
    }
    ASSERT_TRUE(session->pointAt(aside));

    panel->setAlpha(1.0);
    int moves = 0;
    clicks = 0;
    auto moved = panel->moved.connect([&] { ++moves; });
    const QPoint from = server->toLayout(panel->frame()).topLeft();
    ASSERT_TRUE(session->pointAt({330, 255}) && session->button(true));
    for (const QPoint step : {QPoint(345, 265), QPoint(400, 300), QPoint(500, 380)}) {
        waitUntil([] { return false; }, 60);
        ASSERT_TRUE(session->pointAt(step));
    }
    waitUntil([] { return false; }, 100);
    ASSERT_TRUE(session->button(false));
    ASSERT_TRUE(waitUntil([&] { return server->toLayout(panel->frame()).topLeft().x() >= from.x() + 100; }))
        << "the label stayed at " << server->toLayout(panel->frame()).x();
    EXPECT_GE(moves, 1);
    EXPECT_GE(server->toLayout(panel->frame()).y(), from.y() + 50);
    EXPECT_EQ(clicks, 0) << "a drag is no click";
}

// The editor takes the keyboard from the shell and a Return commits once; Escape leaves the name.
TEST_F(GnomeBackendTest, TheEditorGetsTheKeyboardReturnRenamesAndEscapeKeepsTheName) {
    sm::test::CoreRun program(server);
    const auto& store = program.store;
    const auto& overlay = program.overlay;
    SpaceTag tag;
    tag.id = QUuid::createUuid();
    tag.title = QStringLiteral("Old");
    store->addTag(tag, QStringLiteral("manual-create"));
    LabelPanel* label = overlay->createPanel(tag, QStringLiteral("manual-create"));
    ASSERT_TRUE(waitUntil([&] { return label->isVisible(); }));
    struct Case {
        const char* typed;
        quint32 endKey;
        const char* stored;
        int commits;
    };
    constexpr quint32 kReturn = 0xff0d, kEscape = 0xff1b;
    for (const Case c : {Case{"Inbox 2", kReturn, "Inbox 2", 1}, Case{"Other", kEscape, "Inbox 2", 1}}) {
        label->view().onClick(); // what a click on the label delivers
        ASSERT_TRUE(waitUntil([&] { return overlay->isEditing(); }));
        auto* editor = static_cast<GnomeEditorPanel*>(overlay->editorSession()->panel.get());
        ASSERT_TRUE(waitUntil([&] { return editor->window()->field()->hasFocus() && editor->window()->isActiveWindow(); }))
            << "the editor has no keyboard";
        editor->window()->field()->selectAll(); // typing replaces the name
        ASSERT_TRUE(session->type(QLatin1String(c.typed)));
        ASSERT_TRUE(session->key(c.endKey, true) && session->key(c.endKey, false));
        ASSERT_TRUE(waitUntil([&] { return !overlay->isEditing(); })) << c.typed;
        EXPECT_EQ(store->tag(tag.id)->title, QLatin1String(c.stored)) << c.typed;
        EXPECT_EQ(program.traced(QStringLiteral("editSession COMMIT")), c.commits) << c.typed;
    }
    program.quit();
}

// GNOME's own list, as its switcher reads it; `set` writes it as Settings would.
QString gnomeNames(const char* set = nullptr) {
    QString out;
    const QStringList key{"org.gnome.desktop.wm.preferences", "workspace-names"};
    session->run("gsettings", (set ? QStringList{"set"} + key << set : QStringList{"get"} + key), &out);
    return out.trimmed();
}

// The names go to GNOME's list while the program runs, and its own come back when it quits.
TEST_F(GnomeBackendTest, NamesAreLentToGnomesListAndGivenBack) {
    gnomeNames("['Mine']");
    ASSERT_TRUE(waitUntil([&] { return server->desktopNames() == QStringList{QStringLiteral("Mine")}; }));
    sm::test::CoreRun program(server);
    for (int index : {0, 1}) {
        workspace(index);
        program.tracker->setTitleForCurrentSpace(QStringLiteral("Desk %1").arg(index), true);
    }
    // The bridge reports GNOME's list as GNOME's settings hold it, and the settings file has it soon after.
    const auto reported = [&](const QStringList& names) {
        return waitUntil([&] { return server->state().names == names && server->desktopNames() == names; });
    };
    EXPECT_TRUE(reported({QStringLiteral("Desk 0"), QStringLiteral("Desk 1")}));
    EXPECT_TRUE(waitUntil([] { return gnomeNames() == QLatin1String("['Desk 0', 'Desk 1']"); }))
        << gnomeNames().toStdString();
    program.quit();
    EXPECT_TRUE(reported({QStringLiteral("Mine")}));
    EXPECT_TRUE(waitUntil([] { return gnomeNames() == QLatin1String("['Mine']"); })) << gnomeNames().toStdString();
}

// Names come back after a restart: a second run on the same stored settings puts each remembered label
// back on its workspace, and nothing is minted.
TEST_F(GnomeBackendTest, RememberedLabelsComeBackOnTheirWorkspacesAfterARestart) {
    auto defaults = std::make_shared<MemoryDefaults>();
    auto launch = [&] { return std::make_unique<sm::test::CoreRun>(server, defaults, true); };
    auto first = launch();
    for (int index : {0, 1, 2}) {
        workspace(index);
        first->tracker->setTitleForCurrentSpace(QStringLiteral("Desk %1").arg(index), true);
        ASSERT_TRUE(waitUntil([&] { return first->activeTitle() == QStringLiteral("Desk %1").arg(index); }));
    }
    workspace(0);
    const QStringList tags = first->tagsAndTitles();
    first->quit();
    first.reset();

    auto second = launch();
    EXPECT_EQ(second->restored, 3);
    for (int index : {0, 2, 1, 0}) { // the tracker adopts each label again on every visit
        workspace(index);
        EXPECT_TRUE(waitUntil([&] { return second->activeTitle() == QStringLiteral("Desk %1").arg(index); }, 2000))
            << index;
    }
    EXPECT_EQ(second->tagsAndTitles(), tags) << "nothing minted, nothing lost";
    second->quit();
}

// GNOME removes a workspace left with nothing but a label on it (the label does not keep it alive), and
// the name comes back when the user goes to the workspace that takes its place.
TEST_F(GnomeBackendTest, ALabelKeepsNoWorkspaceAliveAndItsNameComesBackOnTheNextVisit) {
    sm::test::CoreRun program(server);
    const int count = int(server->state().workspaces.size()); // the fillers' and an empty one at the end
    workspace(count - 1);
    program.tracker->setTitleForCurrentSpace(QStringLiteral("Lone"), true);
    ASSERT_TRUE(waitUntil([&] { return program.activeTitle() == QLatin1String("Lone"); }));
    {
        QWidget visitor; // an ordinary window: GNOME adds an empty workspace after this one
        visitor.setWindowTitle(QStringLiteral("visitor"));
        visitor.show();
        ASSERT_TRUE(waitUntil([&] { return server->state().workspaces.size() == count + 1; }));
    }
    workspace(0);
    EXPECT_TRUE(waitUntil([&] { return server->state().workspaces.size() == count; }))
        << "the label kept its workspace: " << server->state().workspaces.size();
    workspace(count - 1);
    EXPECT_TRUE(waitUntil([&] { return program.activeTitle() == QLatin1String("Lone"); }))
        << program.activeTitle().toStdString();
    EXPECT_EQ(program.store->tags().size(), 1u) << "nothing minted";
    program.quit();
}

// Automatic naming sees another program's Wayland window: the focused window's title and owner come
// from the bridge, and the labels are never among the windows it looks at.
TEST_F(GnomeBackendTest, TheFocusedWindowOfAnotherProgramIsSeenWithItsTitle) {
    GnomeWorkspace seen(server);
    int activations = 0;
    auto observer = seen.applicationActivated.connect([&] { ++activations; });
    QProcess other; // this test program again, showing one titled window (see main)
    other.setProcessEnvironment(session->environment());
    other.start(QCoreApplication::applicationFilePath(), {"--window", "Quarterly report - Editor"});
    ASSERT_TRUE(other.waitForStarted(5000));
    EXPECT_TRUE(waitUntil([&] {
        const auto app = seen.frontmostApplication();
        return app && app->processId == other.processId();
    })) << "the other program never came to the front";
    EXPECT_GE(activations, 1);
    EXPECT_EQ(TitleDerivation::frontWindowTitle(seen, other.processId()), QStringLiteral("Quarterly report - Editor"));
    auto shown = label(QStringLiteral("Mine"));
    ASSERT_TRUE(waitUntil([&] { return !server->state().windows.isEmpty(); }));
    for (const auto& window : seen.onScreenWindows().value_or(QList<WindowListEntry>{}))
        EXPECT_FALSE(window.title.value_or(QString()).startsWith(QLatin1String("Spacemarquee ")))
            << "a label is listed among the user's windows";
    other.kill();
    other.waitForFinished();
}

// The program showing labels only is not a running app to the dash, the app switcher or the app grid;
// a window of its own the user opened (Preferences) is, and only that window is listed for it.
TEST_F(GnomeBackendTest, LabelsMakeNoRunningAppAndOnlyTheProgramsOtherWindowsAreListed) {
    using Introspected = test::GnomeTestSession::Introspected;
    std::optional<Introspected> before;
    ASSERT_TRUE(waitUntil([&] { return (before = session->introspect()).has_value(); })) << "the shell does not answer";
    QProcess other; // this test program again, as the program with a label (see main)
    other.setProcessEnvironment(session->environment());
    other.start(QCoreApplication::applicationFilePath(), {"--label", "Elsewhere"});
    ASSERT_TRUE(other.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] {
        const auto& windows = server->state().windows;
        return std::any_of(windows.begin(), windows.end(), [&](const OwnWindow& w) {
            return w.pid == other.processId() && w.showing;
        });
    })) << "the other program's label never showed";
    const auto labelOf = [](const Introspected& seen) {
        return std::any_of(seen.windows.keyBegin(), seen.windows.keyEnd(),
                           [](const QString& title) { return title.startsWith(QLatin1String("Spacemarquee ")); });
    };
    std::optional<Introspected> now;
    // Each step: what the other program is told, then whether its app is running, after the event that
    // says the shell took it.
    struct Step {
        const char* line;
        const char* window; // the program's other window listed with its app, or none
    };
    const Step steps[] = {{nullptr, nullptr}, {"window", "Preferences"}, {"close", nullptr}};
    QString app;
    for (const auto& [line, window] : steps) {
        if (line) other.write(QByteArray(line) + '\n');
        const bool running = window != nullptr;
        EXPECT_TRUE(waitUntil([&] {
            now = session->introspect();
            if (!now) return false;
            if (window && now->windows.contains(QLatin1String(window))) app = now->windows.value(QLatin1String(window));
            return running ? !app.isEmpty() && now->apps.contains(app) : now->apps == before->apps;
        })) << (line ? line : "label") << ": apps "
            << (now ? QStringList(now->apps.values()).join(' ').toStdString() : "unknown");
        if (now) {
            EXPECT_FALSE(labelOf(*now)) << (line ? line : "label") << ": a label is listed among the windows";
        }
    }
    other.closeWriteChannel();
    EXPECT_TRUE(other.waitForFinished(5000));
}

} // namespace
} // namespace sm::gnome

// Started again as `--label TITLE`: the program with one label and, on the line "window" of standard
// input, its Preferences window too, gone again on "close"; it ends with its input.
std::optional<int> runAsLabelProgram(int argc, char** argv) {
    if (argc != 3 || QByteArray(argv[1]) != "--label") return std::nullopt;
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quillfern.spacemarquee"));
    QApplication app(argc, argv);
    QString error;
    auto server = sm::gnome::GnomeWindowServer::create({sm::Logger{}, qEnvironmentVariable("SM_PROGRAM_VERSION")}, &error);
    if (!server) return 2;
    auto label = server->createLabelPanel(QUuid::createUuid());
    label->view().present({QString::fromUtf8(argv[2]), QString(), 48.0, false, false, false});
    label->setFrame(QRectF(200, 500, 260, 90));
    label->setAlpha(1.0);
    label->orderFront();
    QWidget preferences;
    preferences.setWindowTitle(QStringLiteral("Preferences"));
    preferences.resize(400, 300);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) return QCoreApplication::quit();
        const QByteArray line = QByteArray(buffer, int(n)).trimmed();
        preferences.setVisible(line == "window");
    });
    return app.exec();
}

int main(int argc, char** argv) {
    if (const auto labels = runAsLabelProgram(argc, argv)) return *labels;
    if (const auto other = sm::test::runAsOtherWindow(argc, argv, QStringLiteral("Editor"))) return *other;
    ::testing::InitGoogleTest(&argc, argv);
    QString why;
    auto session = sm::gnome::test::GnomeTestSession::start(qEnvironmentVariable("SM_GNOME_EXTENSIONS"), &why);
    if (!session) {
        std::printf("SKIPPED: no headless GNOME Shell: %s\n", why.toLocal8Bit().constData());
        return 77; // CTest's SKIP_RETURN_CODE for this test
    }
    sm::gnome::session = session.get();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
        qDeleteAll(sm::gnome::fillers); // they outlive every test, not the toolkit
        sm::gnome::fillers.clear();
    }
    return result;
}
