// The sway backend on a private headless sway with two outputs (HEADLESS-1 left, HEADLESS-2 right).
#include "support/sim/MemoryDefaults.h"
#include "platform/sway/SwayIpcClient.h"
#include "platform/sway/SwayPanels.h"
#include "platform/sway/SwayWindowServer.h"
#include "platform/sway/SwayWorkspace.h"
#include "platform/WorkspaceNames.h"
#include "support/sway/SwayTestSession.h"
#include "support/CoreRun.h"
#include "support/OtherWindow.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace sm::sway {
namespace {

test::SwayTestSession* session = nullptr;
const char* thisProgram = nullptr; // this binary, which also plays another program's window
int outputCount = 2; // SM_SWAY_OUTPUTS: the tier runs once more on one output

using sm::test::waitUntil;

using sm::test::Facts;
using sm::test::factsOf;

class SwayBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        msg({outputCount == 1
                 ? QStringLiteral("workspace 1")
                 : QStringLiteral(
                       "focus output HEADLESS-2, workspace 2, focus output HEADLESS-1, workspace 1")});
        QString error;
        server = SwayWindowServer::create({Logger{}, {}}, &error);
        ASSERT_TRUE(server) << error.toStdString();
        ASSERT_EQ(server->screens().size(), outputCount);
    }
    void TearDown() override {
        server.reset();
        // The windows go before the next test's workspaces, which an empty workspace would not leave.
        EXPECT_TRUE(waitUntil([] { return !treeHoldsOurWindows(); })) << "windows left behind";
    }
    // Whether sway's tree still holds a window of this process.
    static bool treeHoldsOurWindows() {
        QString out;
        if (session->swaymsg({QStringLiteral("-t"), QStringLiteral("get_tree")}, &out) != 0) return true;
        const qint64 pid = QCoreApplication::applicationPid();
        std::function<bool(const QJsonObject&)> holds = [&](const QJsonObject& node) {
            if (node.value(QLatin1String("pid")).toInteger() == pid) return true;
            for (const char* key : {"nodes", "floating_nodes"})
                for (const auto& child : node.value(QLatin1String(key)).toArray())
                    if (holds(child.toObject())) return true;
            return false;
        };
        return holds(QJsonDocument::fromJson(out.toUtf8()).object());
    }
    // The workspace names as sway lists them to its bars.
    static QStringList swayNames() {
        QString out;
        if (session->swaymsg({QStringLiteral("-t"), QStringLiteral("get_workspaces")}, &out) != 0) return {};
        QStringList names;
        for (const auto& w : QJsonDocument::fromJson(out.toUtf8()).array())
            names << w.toObject().value(QLatin1String("name")).toString();
        return names;
    }
    QString describe() const {
        QStringList out;
        for (const auto& w : server->workspaces())
            out << w.name + (w.focused ? QStringLiteral("*@") : QStringLiteral("@")) + w.output;
        return QStringLiteral(" known: ") + out.join(u' ');
    }
    static void msg(const QStringList& arguments) {
        QString out;
        ASSERT_EQ(session->swaymsg(arguments, &out), 0)
            << arguments.join(u' ').toStdString() << out.toStdString();
    }
    // By number for a number, as the default configuration's bindings go: the workspace may carry its
    // label's title after the number.
    void workspace(const QString& name) {
        const auto number = WorkspaceNames::numberOf(name);
        const bool byNumber = number && QString::number(*number) == name;
        msg({(byNumber ? QStringLiteral("workspace number ") : QStringLiteral("workspace ")) + quoted(name)});
        ASSERT_TRUE(waitUntil([&] {
            return std::any_of(server->workspaces().begin(), server->workspaces().end(), [&](const auto& w) {
                return w.focused && (w.name == name || (byNumber && WorkspaceNames::numberOf(w.name) == number));
            });
        })) << name.toStdString()
            << describe().toStdString();
    }
    // A label shown where the overlay would put it: on the output at `origin` (logical points).
    std::unique_ptr<LabelPanel> label(const QString& title, QPointF origin = {200, 500}) {
        return sm::test::showLabel(*server, title, origin);
    }
    // A window of the user's, tiled on the focused workspace: it keeps the workspace open.
    static std::unique_ptr<QWidget> userWindow() {
        auto window = std::make_unique<QWidget>();
        window->setWindowTitle(QStringLiteral("user's window"));
        window->show();
        EXPECT_TRUE(waitUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
        return window;
    }
    const WorkspaceInfo* workspaceNamed(const QString& name) const {
        for (const auto& w : server->workspaces())
            if (w.name == name) return &w;
        return nullptr;
    }

    std::shared_ptr<SwayWindowServer> server;
};

TEST_F(SwayBackendTest, LabelsLandOnTheirWorkspacesAndOutputsAndTheFactsAreCurrentWhenASwitchIsAnnounced) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    labels.push_back(label(QStringLiteral("One"))); // workspace 1 on the left
    labels.push_back(label(QStringLiteral("Two"), {1500, 500}));
    workspace(QStringLiteral("3"));
    labels.push_back(label(QStringLiteral("Three")));

    const std::pair<QString, QString> homes[] = {
        {"1", "HEADLESS-1"}, {"2", "HEADLESS-2"}, {"3", "HEADLESS-1"}};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(server->workspaceOf(*labels[i]), homes[i].first) << i;
        ASSERT_TRUE(labels[i]->screen()) << i;
        EXPECT_EQ(labels[i]->screen()->localizedName, homes[i].second) << i;
    }

    std::vector<std::vector<Facts>> announced;
    auto connection = server->activeDesktopChanged.connect([&] { announced.push_back(factsOf(labels)); });
    const Facts present{true, true}, away{false, false};
    struct Step {
        QString workspace;
        std::vector<Facts> expected;
    };
    // A workspace left holding only its label closes; sway makes it anew on the focused output, and
    // the label comes back with it there.
    const Step steps[] = {
        {QStringLiteral("1"), {present, present, away}}, {QStringLiteral("3"), {away, present, present}},
        {QStringLiteral("4"), {away, present, away}}, // a new, empty workspace on the left
        {QStringLiteral("2"), {away, present, away}}, // focus to the right: the left keeps showing 4
        {QStringLiteral("1"), {present, away, away}}, // 1, closed, made anew on the right
        {QStringLiteral("2"), {away, present, away}},
    };
    for (const auto& step : steps) {
        announced.clear();
        workspace(step.workspace);
        ASSERT_TRUE(waitUntil([&] { return factsOf(labels) == step.expected; }))
            << step.workspace.toStdString();
        ASSERT_FALSE(announced.empty()) << step.workspace.toStdString();
        EXPECT_EQ(announced.front(), step.expected)
            << "stale facts at the announcement of " << step.workspace.toStdString();
    }
    ASSERT_TRUE(labels[0]->screen());
    EXPECT_EQ(labels[0]->screen()->localizedName, QStringLiteral("HEADLESS-2")) << "it followed workspace 1";
}

// By name, through sway's IPC; a workspace that is gone is refused and not made.
TEST_F(SwayBackendTest, SwitchToShowsTheWorkspaceAskedForAndAnnouncesIt) {
    const QString name = QStringLiteral("Mail \"box\"");
    workspace(name);
    const auto held = userWindow(); // keeps the workspace while another is shown
    const auto target = server->activePlace();
    ASSERT_TRUE(target && target->desktopName == name) << describe().toStdString();
    workspace(QStringLiteral("7"));
    int announced = 0;
    const auto connection = server->activeDesktopChanged.connect([&] { ++announced; });
    EXPECT_EQ(server->switchTo(*server->locate(*target)), "");
    EXPECT_TRUE(waitUntil([&] {
        const auto active = server->activePlace();
        return announced > 0 && active && active->desktopName == name;
    })) << describe().toStdString();
    EXPECT_NE(server->switchTo({target->screenId, 9, QStringLiteral("nowhere")}), "");
    EXPECT_FALSE(workspaceNamed(QStringLiteral("nowhere")));
}

TEST_F(SwayBackendTest, RenamedAndMovedWorkspacesAreFollowedAndCompositorMovesReportedBack) {
    workspace(QStringLiteral("5"));
    auto mail = label(QStringLiteral("Mail"));
    const QString renamed = QStringLiteral(R"(mail "box")");
    msg({QStringLiteral("rename workspace 5 to ") + quoted(renamed)});
    ASSERT_TRUE(waitUntil([&] { return server->workspaceOf(*mail) == renamed; }));
    EXPECT_TRUE(mail->isVisible() && mail->isOnActiveSpace());
    // Ordered out and left, its workspace closes; shown again from another workspace, it waits for it
    // (mapped, it would make it anew) and comes back with it, by the new name.
    mail->orderOut();
    workspace(QStringLiteral("1"));
    mail->orderFront();
    EXPECT_FALSE(server->containerOf(*mail).has_value());
    EXPECT_FALSE(swayNames().contains(renamed)) << swayNames().join(u',').toStdString();
    workspace(renamed);
    // Shown counts from the switch on; the window is sway's once its container is known.
    ASSERT_TRUE(waitUntil(
        [&] { return mail->isVisible() && mail->isOnActiveSpace() && server->containerOf(*mail); }));

    int screenChanges = 0;
    auto crossed = mail->screenChanged.connect([&] { ++screenChanges; });
    msg({QStringLiteral("move workspace to output HEADLESS-2")});
    ASSERT_TRUE(waitUntil([&] { return screenChanges == 1; }));
    EXPECT_EQ(mail->screen()->localizedName, QStringLiteral("HEADLESS-2"));
    EXPECT_EQ(server->workspaceOf(*mail), renamed);

    // A drag ends with the compositor having moved the window: the panel reads it back and says so.
    int moves = 0;
    auto moved = mail->moved.connect([&] { ++moves; });
    const auto container = server->containerOf(*mail);
    ASSERT_TRUE(container);
    msg({QStringLiteral("[con_id=%1] move absolute position 1400 100").arg(*container)});
    server->followSystemMove(); // as the label does when its drag begins
    ASSERT_TRUE(waitUntil([&] { return moves >= 1; }));
    EXPECT_EQ(server->toLayout(mail->frame()).topLeft(), QPoint(1400, 100));
}

// A label is a window, and sway keeps a workspace while a window is on it. Left alone on a workspace
// that no output shows, the label is unmapped and sway closes the workspace as it would without us;
// the label comes back with the workspace, wherever sway makes it anew. A workspace that holds a window
// of the user's stays, its label on it.
TEST_F(SwayBackendTest, AWorkspaceHeldOnlyByALabelClosesAndTheLabelComesBackWithIt) {
    const auto onScreen = [](const LabelPanel& panel) {
        return panel.isVisible() && panel.isOnActiveSpace();
    };
    struct Case {
        const char* story;
        bool userWindow;
    };
    for (const Case c : {Case{"held only by the label", false}, Case{"with the user's window", true}}) {
        workspace(QStringLiteral("5"));
        const auto window = c.userWindow ? userWindow() : nullptr;
        const auto mail = label(QStringLiteral("Mail"));
        ASSERT_TRUE(waitUntil([&] { return server->containerOf(*mail) && onScreen(*mail); })) << c.story;
        workspace(QStringLiteral("6")); // the refresh that announced it has done what it does with the label
        EXPECT_EQ(server->containerOf(*mail).has_value(), c.userWindow) << c.story;
        EXPECT_FALSE(mail->isVisible() || mail->isOnActiveSpace()) << c.story;
        EXPECT_TRUE(waitUntil([&] { return swayNames().contains(QStringLiteral("5")) == c.userWindow; }))
            << c.story << ": " << swayNames().join(u',').toStdString();
        workspace(QStringLiteral("5"));
        EXPECT_TRUE(waitUntil([&] { return server->containerOf(*mail) && onScreen(*mail); })) << c.story;
        EXPECT_EQ(server->workspaceOf(*mail), QStringLiteral("5")) << c.story;
    }
    if (outputCount < 2) return;

    // Closed on the left, made anew on the right by a visit from there: the label follows it there.
    const auto mail = label(QStringLiteral("Mail"));
    ASSERT_TRUE(waitUntil([&] { return server->containerOf(*mail) && onScreen(*mail); }));
    workspace(QStringLiteral("6"));
    ASSERT_TRUE(waitUntil([&] { return !swayNames().contains(QStringLiteral("5")); }));
    msg({QStringLiteral("focus output HEADLESS-2")});
    workspace(QStringLiteral("5"));
    EXPECT_TRUE(waitUntil([&] { return server->containerOf(*mail) && onScreen(*mail); }));
    ASSERT_TRUE(mail->screen());
    EXPECT_EQ(mail->screen()->localizedName, QStringLiteral("HEADLESS-2"));
    EXPECT_GE(server->toLayout(mail->frame()).left(), 1280) << "its frame is on the right too";

    // Going to it by its place makes it on the label's output, whichever output has the focus.
    workspace(QStringLiteral("7"));
    ASSERT_TRUE(waitUntil([&] { return !swayNames().contains(QStringLiteral("5")); }));
    msg({QStringLiteral("focus output HEADLESS-1")});
    const auto place = server->placeOf(*mail);
    ASSERT_TRUE(place);
    EXPECT_EQ(server->switchTo(*place), "");
    EXPECT_TRUE(waitUntil([&] { return server->containerOf(*mail) && onScreen(*mail); }))
        << describe().toStdString();
    ASSERT_TRUE(workspaceNamed(QStringLiteral("5")));
    EXPECT_EQ(workspaceNamed(QStringLiteral("5"))->output, QStringLiteral("HEADLESS-2"));
}

// A remembered place is found by its name, else by its number, on its own output first: names are
// sway-wide but numbers are not. A numbered workspace sway closed is found on the remembered output.
TEST_F(SwayBackendTest, ARememberedPlaceIsFoundByNameThenByNumberOnItsOwnOutput) {
    if (outputCount < 2) GTEST_SKIP() << "two outputs";
    workspace(QStringLiteral("3"));
    msg({QStringLiteral("focus output HEADLESS-2")});
    workspace(QStringLiteral("3: Web"));
    QHash<QString, QString> screenIds;
    for (const auto& screen : server->screens())
        screenIds.insert(screen.localizedName, screen.stableId.value_or(QString()));
    struct Case {
        QString name;
        QString output;
        QString foundName;
        QString foundOutput;
    };
    const Case cases[] = {
        {"3: Mail", "HEADLESS-2", "3: Web", "HEADLESS-2"},
        {"3: Mail", "HEADLESS-1", "3", "HEADLESS-1"},
        {"3: Web", "HEADLESS-1", "3: Web", "HEADLESS-2"},
        {"4: Notes", "HEADLESS-2", "4: Notes", "HEADLESS-2"}, // closed: to be made anew there
    };
    for (const Case& c : cases) {
        const auto found = server->locate({screenIds.value(c.output), 0, c.name, {}});
        ASSERT_TRUE(found) << c.name.toStdString() << "@" << c.output.toStdString();
        EXPECT_EQ(found->desktopName, c.foundName) << c.name.toStdString() << "@" << c.output.toStdString();
        EXPECT_EQ(found->screenId, screenIds.value(c.foundOutput))
            << c.name.toStdString() << "@" << c.output.toStdString();
    }
}

#ifdef SM_SWAY_POINTER
// Runs the virtual pointer through `steps` (layout coordinates of the two outputs) while the loop turns.
// The pointer comes and goes with the program: it first waits for the toolkit to take it.
bool point(const QString& steps) {
    QProcess pointer;
    pointer.setProcessEnvironment(session->environment());
    pointer.start(QStringLiteral(SM_SWAY_POINTER),
                  QStringLiteral("3200 1080 sleep 300 move 10 700 sleep 50 ").append(steps).split(u' '));
    return waitUntil([&] { return pointer.state() == QProcess::NotRunning; }) && pointer.exitCode() == 0;
}

// An ordinary window under the labels that counts the presses it gets.
struct Floor final : QWidget {
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    int presses = 0;
};

TEST_F(SwayBackendTest, InvisibleLabelsLetClicksThroughAndADragMovesTheLabelWhereItIsReadBack) {
    Floor floor;
    floor.setWindowTitle(QStringLiteral("floor"));
    floor.show();                                // tiled: it fills the left output under the label
    auto panel = label(QStringLiteral("Click")); // layout (200, 130) to (460, 220)
    int clicks = 0;
    panel->view().onClick = [&] { ++clicks; };
    struct Case {
        bool ignores;
        double alpha;
        bool labelGetsIt;
    };
    for (const Case c :
         {Case{false, 1.0, true}, Case{true, 1.0, false}, Case{false, 0.0, false}, Case{false, 0.6, true}}) {
        panel->setIgnoresMouseEvents(c.ignores);
        panel->setAlpha(c.alpha);
        clicks = floor.presses = 0;
        ASSERT_TRUE(point(QStringLiteral("move 330 175 sleep 100 press sleep 50 release sleep 150")));
        // One of them takes the click; sway answering an IPC request after it means it has sent all it
        // was going to send of it, and the loop hands that over.
        EXPECT_TRUE(waitUntil([&] { return clicks + floor.presses > 0; }));
        msg({QStringLiteral("-t"), QStringLiteral("get_version")});
        QCoreApplication::processEvents();
        EXPECT_EQ(clicks, c.labelGetsIt ? 1 : 0) << "ignores=" << c.ignores << " alpha=" << c.alpha;
        EXPECT_EQ(floor.presses, c.labelGetsIt ? 0 : 1) << "ignores=" << c.ignores << " alpha=" << c.alpha;
    }

    panel->setIgnoresMouseEvents(false);
    panel->setAlpha(1.0);
    int moves = 0;
    clicks = 0;
    auto moved = panel->moved.connect([&] { ++moves; });
    const QPoint from = server->toLayout(panel->frame()).topLeft();
    ASSERT_TRUE(
        point(QStringLiteral("move 330 175 sleep 100 press sleep 50 move 345 185 sleep 50 move 400 230 "
                             "sleep 50 move 500 300 sleep 100 release sleep 100")));
    ASSERT_TRUE(waitUntil([&] { return server->toLayout(panel->frame()).topLeft().x() >= from.x() + 100; }))
        << "the label stayed at " << server->toLayout(panel->frame()).x();
    EXPECT_GE(moves, 1);
    EXPECT_GE(server->toLayout(panel->frame()).y(), from.y() + 50);
    EXPECT_EQ(clicks, 0) << "a drag is no click";
}
#endif

// The editor takes the keyboard from sway (typed with a virtual keyboard) and a Return commits once.
TEST_F(SwayBackendTest, TheEditorGetsTheKeyboardAndReturnRenamesTheLabel) {
    if (QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty())
        GTEST_SKIP() << "wtype is not installed";
    sm::test::CoreRun program(server);
    const auto& store = program.store;
    const auto& overlay = program.overlay;
    SpaceTag tag;
    tag.id = QUuid::createUuid();
    tag.title = QStringLiteral("Old");
    store->addTag(tag, QStringLiteral("manual-create"));
    LabelPanel* label = overlay->createPanel(tag, QStringLiteral("manual-create"));
    ASSERT_TRUE(waitUntil([&] { return label->isVisible(); }));
    label->view().onClick(); // what a click on the label delivers
    ASSERT_TRUE(waitUntil([&] { return overlay->isEditing(); }));
    auto* editor = static_cast<SwayEditorPanel*>(overlay->editorSession()->panel.get());
    ASSERT_TRUE(waitUntil([&] { return editor->window()->field()->hasFocus(); }))
        << "the editor has no keyboard";

    // The keyboard comes and goes with wtype: the loop turns meanwhile, and the pause lets the toolkit
    // take the keyboard before the keys come.
    QProcess typing;
    typing.setProcessEnvironment(session->environment());
    typing.start(QStringLiteral("wtype"),
                 {QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("Inbox 2"),
                  QStringLiteral("-k"), QStringLiteral("Return")});
    ASSERT_TRUE(waitUntil([&] { return typing.state() == QProcess::NotRunning; }));
    ASSERT_TRUE(waitUntil([&] { return !overlay->isEditing(); }))
        << editor->window()->field()->text().toStdString();
    EXPECT_EQ(store->tag(tag.id)->title, QStringLiteral("Inbox 2"));
    EXPECT_EQ(program.traced(QStringLiteral("editSession COMMIT")), 1);
}

// The bars read sway's own workspace list: a titled numbered workspace is renamed "N: title" there, so
// `workspace number N` still reaches it; the user's own name and a workspace a binding reaches by name
// keep theirs; turning the setting off and quitting give the plain names back. No switch on the way is
// taken for a display change, which would hold back every new label for the grace.
TEST_F(SwayBackendTest, TitlesReachTheBarsAsNumberedNamesAndGoBackWhenTurnedOffAndAtQuit) {
    sm::test::CoreRun program(server);
    const auto titled = [&](const QString& name, const QString& title) {
        workspace(name);
        program.tracker->setTitleForCurrentSpace(title, true);
        ASSERT_TRUE(waitUntil([&] { return program.activeTitle() == title; }));
    };
    // The user's windows keep 3 and 9 open once left.
    msg({QStringLiteral("workspace 3, rename workspace to \"3: Web\"")});
    const auto web = userWindow();
    titled(QStringLiteral("3: Web"), QStringLiteral("Browse"));
    workspace(QStringLiteral("9"));
    const auto music = userWindow();
    titled(QStringLiteral("9"), QStringLiteral("Music")); // bound by name in the tier's configuration
    titled(QStringLiteral("1"), QStringLiteral("Mail"));
    const QStringList shown{QStringLiteral("1: Mail"), QStringLiteral("3: Web"), QStringLiteral("9")};
    const auto showing = [&](QStringList expected) {
        return waitUntil([&] {
            QStringList names = swayNames();
            names.removeAll(QStringLiteral("2")); // the other output's
            names.sort();
            return names == expected;
        });
    };
    ASSERT_TRUE(showing(shown)) << swayNames().join(u',').toStdString();

    workspace(QStringLiteral("3"));
    workspace(QStringLiteral("1")); // by number: the binding still finds its workspace
    EXPECT_TRUE(showing(shown)) << "no second workspace 1: " << swayNames().join(u',').toStdString();
    EXPECT_EQ(program.traced("displayReconfig"), 0);

    const QStringList plain{QStringLiteral("1"), QStringLiteral("3: Web"), QStringLiteral("9")};
    program.store->updateSettings([](AppSettings& s) { s.shareDesktopNames = false; });
    EXPECT_TRUE(showing(plain)) << swayNames().join(u',').toStdString();
    program.store->updateSettings([](AppSettings& s) { s.shareDesktopNames = true; });
    EXPECT_TRUE(showing(shown)) << swayNames().join(u',').toStdString();
    program.quit();
    // Workspaces left empty by the labels close; the one on screen stays, with its own name.
    EXPECT_TRUE(waitUntil([&] {
        const QStringList names = swayNames();
        return names.contains(QStringLiteral("1")) && !names.contains(QStringLiteral("1: Mail"));
    })) << swayNames().join(u',').toStdString();
}

// Names come back after a restart: a second session on the same stored settings puts every remembered
// label back, on its workspace and output: at once where the workspace exists, and where sway closed it
// (held only by its label) unmapped, to come back on the first visit, wherever sway makes it anew;
// nothing is minted. Then the outputs are rearranged and the storm is ridden out without losing a name.
// (Headless sway 1.7 cannot take an output away: committing a disabled headless output fails.)
TEST_F(SwayBackendTest, RememberedLabelsComeBackOnTheirWorkspacesAfterARestart) {
    auto defaults = std::make_shared<MemoryDefaults>();
    auto launch = [&] { return std::make_unique<sm::test::CoreRun>(server, defaults, true); };
    struct Desk {
        QString name;
        QString output;
    };
    const Desk desks[] = {{"6", "HEADLESS-1"}, {"1", "HEADLESS-1"}, {"3", "HEADLESS-2"}, {"2", "HEADLESS-2"}};
    auto first = launch();
    for (const Desk& desk : desks) {
        msg({QStringLiteral("focus output ") + desk.output});
        workspace(desk.name);
        first->tracker->setTitleForCurrentSpace(QStringLiteral("Desk ") + desk.name, true);
        ASSERT_TRUE(waitUntil([&] { return first->activeTitle() == QStringLiteral("Desk ") + desk.name; }));
    }
    msg({QStringLiteral("focus output HEADLESS-1")});
    ASSERT_TRUE(waitUntil([&] { return first->activeTitle() == QStringLiteral("Desk 1"); }));
    // 6 and 3 are off screen, held by nothing but their labels: sway closes them.
    ASSERT_TRUE(waitUntil([&] {
        const QStringList names = swayNames();
        return std::none_of(names.begin(), names.end(), [](const QString& n) {
            const auto number = WorkspaceNames::numberOf(n);
            return number == 6 || number == 3;
        });
    })) << swayNames().join(u',').toStdString();
    const QStringList tags = first->tagsAndTitles();
    first->quit();

    auto second = launch();
    EXPECT_EQ(second->restored, 4) << "the labels of closed workspaces come back too";
    // Visited from the other output, a closed workspace is made there: its label follows it.
    struct Visit {
        QString name;
        QString from;
        QString output;
    };
    const Visit visits[] = {{"3", "HEADLESS-2", "HEADLESS-2"},
                            {"6", "HEADLESS-2", "HEADLESS-2"},
                            {"1", "HEADLESS-2", "HEADLESS-1"},
                            {"2", "HEADLESS-2", "HEADLESS-2"}};
    for (const Visit& visit : visits) {
        msg({QStringLiteral("focus output ") + visit.from});
        workspace(visit.name);
        EXPECT_TRUE(
            waitUntil([&] { return second->activeTitle() == QStringLiteral("Desk ") + visit.name; }, 2000))
            << visit.name.toStdString() << describe().toStdString();
        const auto id = second->tracker->queryActiveTagId();
        const auto* entry = id ? second->overlay->entry(*id) : nullptr;
        ASSERT_TRUE(entry && entry->panel) << visit.name.toStdString();
        EXPECT_TRUE(waitUntil([&] { return entry->panel->isVisible(); })) << visit.name.toStdString();
        ASSERT_TRUE(entry->panel->screen());
        EXPECT_EQ(entry->panel->screen()->localizedName, visit.output) << visit.name.toStdString();
    }
    EXPECT_EQ(second->tagsAndTitles(), tags) << "nothing minted, nothing lost";

    const auto before = server->screens();
    msg({QStringLiteral("output HEADLESS-1 position 1920 0")});
    ASSERT_TRUE(waitUntil([&] { return server->screens() != before; }));
    EXPECT_TRUE(waitUntil([&] { return second->traced(QStringLiteral("settlementAudit DONE")) == 1; }, 20000));
    EXPECT_EQ(second->tagsAndTitles(), tags) << "the storm lost or minted nothing";
    second->quit();
    msg({QStringLiteral("output HEADLESS-1 position 0 0")});
}

// Another program's Wayland window names its workspace's label after its title; a later title change
// shows at the next visit while the setting names windows of any app, and not while it names terminals
// only.
TEST_F(SwayBackendTest, AnotherProgramsWindowNamesItsWorkspacesLabelAsTheSettingSays) {
    QString error;
    const auto front = SwayWorkspace::create({Logger{}, {}}, &error);
    ASSERT_TRUE(front) << error.toStdString();
    sm::test::CoreRun run(server, std::make_shared<MemoryDefaults>(), true, front);
    run.store->updateSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::anyApp; });

    workspace(QStringLiteral("7"));
    QProcess notes;
    notes.setProcessEnvironment(session->environment());
    notes.start(QString::fromLocal8Bit(thisProgram),
                {QStringLiteral("--window"), QStringLiteral("Draft \u2014 Notes")});
    ASSERT_TRUE(notes.waitForStarted(5000));
    const auto inFront = [&](const QString& title) {
        const auto app = front->frontmostApplication();
        const auto windows = front->onScreenWindows();
        return app && app->processId == notes.processId() && app->applicationId == QLatin1String("Notes") &&
               windows && !windows->isEmpty() && windows->first().title == title;
    };
    ASSERT_TRUE(waitUntil([&] { return inFront(QStringLiteral("Draft \u2014 Notes")); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return run.activeTitle() == QLatin1String("Draft"); }, 12000))
        << run.activeTitle().toStdString();

    struct Step {
        const char* story;
        WindowNameGuessing level;
        QString title;
        QString shown;
    };
    const Step steps[] = {
        {"any app: the new title", WindowNameGuessing::anyApp, "Letter \u2014 Notes", "Letter"},
        {"terminals only: not a terminal, kept", WindowNameGuessing::terminalOnly, "Memo \u2014 Notes",
         "Letter"},
    };
    for (const Step& step : steps) {
        run.store->updateSettings([&](AppSettings& s) { s.windowNameGuessing = step.level; });
        notes.write((step.title + u'\n').toUtf8());
        ASSERT_TRUE(waitUntil([&] { return inFront(step.title); })) << step.story;
        workspace(QStringLiteral("1"));
        const qsizetype from = run.logs.log->traces().size();
        workspace(QStringLiteral("7"));
        // The attempt of the return looks at the window; its outcome is written in the same turn.
        EXPECT_TRUE(waitUntil([&] {
            return !run.logs.log->traces().mid(from).filter(QStringLiteral("app='Notes'")).isEmpty();
        })) << step.story;
        EXPECT_EQ(run.activeTitle().toStdString(), step.shown.toStdString()) << step.story;
    }
    notes.closeWriteChannel(); // it quits at the end of its input
    EXPECT_TRUE(notes.waitForFinished(5000));
}

} // namespace
} // namespace sm::sway

int main(int argc, char** argv) {
    if (const auto other = sm::test::runAsOtherWindow(argc, argv, QStringLiteral("Notes"))) return *other;
    ::testing::InitGoogleTest(&argc, argv);
    sm::sway::thisProgram = argv[0];
    sm::sway::outputCount = qEnvironmentVariableIntValue("SM_SWAY_OUTPUTS") == 1 ? 1 : 2;
    QString why;
    auto session = sm::sway::test::SwayTestSession::start(sm::sway::outputCount, &why);
    if (!session) {
        std::printf("SKIPPED: no headless sway: %s\n", why.toLocal8Bit().constData());
        return 77; // CTest's SKIP_RETURN_CODE for this test
    }
    sm::sway::session = session.get();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
