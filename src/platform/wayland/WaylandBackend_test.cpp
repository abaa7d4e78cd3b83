// The generic Wayland backend against the tier's own compositor (tests/support/wayland): workspaces
// told with ext-workspace-v1, labels as layer surfaces.
#include "platform/wayland/WaylandPanels.h"
#include "platform/wayland/WaylandWindowServer.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "support/CoreRun.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"
#include "support/sim/MemoryDefaults.h"
#include "support/wayland/FakeIpc.h"
#include "support/wayland/TestCompositor.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

namespace sm::wayland {
namespace {

using sm::test::TestCompositor;
using sm::test::waitUntil;

const QString kLeft = QStringLiteral("DP-1");
const QString kRight = QStringLiteral("HDMI-A-1");

std::shared_ptr<WaylandWindowServer> connect(const TestCompositor& compositor, QString* error = nullptr) {
    QString why;
    auto server = WaylandWindowServer::create({Logger{}, compositor.socketName(), nullptr, nullptr}, &why);
    if (error) *error = why;
    return server;
}

// The label of the workspace on screen, once it shows there.
std::optional<QUuid> shownLabel(const sm::test::CoreRun& run) {
    const auto id = run.tracker->currentActiveTagId();
    const auto* entry = id ? run.overlay->entry(*id) : nullptr;
    if (!entry || !entry->panel || !entry->panel->isVisible()) return std::nullopt;
    return id;
}

// Whether a drawn label has light pixels: the white text.
bool hasText(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 200 && qRed(image.pixel(x, y)) > 200) return true;
    return false;
}

class WaylandBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(compositor.socketName().isEmpty());
        for (const auto& [output, name] :
             {std::pair(kLeft, "1"), std::pair(kLeft, "2"), std::pair(kLeft, "3"), std::pair(kRight, "4")})
            workspaces << compositor.addWorkspace(output, QString::fromLatin1(name));
        QString error;
        server = connect(compositor, &error);
        ASSERT_TRUE(server) << error.toStdString();
    }
    void activate(int index) {
        compositor.activateWorkspace(workspaces[index]);
        const QString name = QString::number(index + 1);
        ASSERT_TRUE(waitUntil([&] {
            return server->activePlace() && server->activePlace()->desktopName == name;
        })) << "workspace "
            << name.toStdString();
    }

    TestCompositor compositor;
    QList<int> workspaces;
    std::shared_ptr<WaylandWindowServer> server;
};

// Each switch is one `done`: heard once, with the panels' facts already caught up, and each label's
// surface on its output only while its workspace is the active one there.
TEST_F(WaylandBackendTest, LabelsShowOnlyWhileTheirWorkspaceIsActiveOnTheirOutput) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    for (int i = 0; i < 3; ++i) {
        activate(i);
        labels.push_back(sm::test::showLabel(*server, QStringLiteral("Desk %1").arg(i + 1), {200, 500}));
    }
    labels.push_back(sm::test::showLabel(*server, QStringLiteral("Right"), {1480, 500}));
    EXPECT_EQ(static_cast<WaylandLabelPanel*>(labels[3].get())->state().output, kRight);
    int announced = 0;
    std::vector<sm::test::Facts> factsWhenHeard;
    auto connection = server->activeDesktopChanged.connect([&] {
        ++announced;
        factsWhenHeard = sm::test::factsOf(labels);
    });
    const sm::test::Facts on{true, true}, off{false, false};
    const struct {
        int workspace;
        std::vector<sm::test::Facts> facts;
    } steps[] = {
        {0, {on, off, off, on}},
        {1, {off, on, off, on}},
        {2, {off, off, on, on}},
        {0, {on, off, off, on}},
    };
    for (const auto& step : steps) {
        const int before = announced;
        activate(step.workspace);
        ASSERT_TRUE(waitUntil([&] { return sm::test::factsOf(labels) == step.facts; }))
            << "workspace " << step.workspace + 1;
        EXPECT_EQ(announced, before + 1);
        // When the switch is heard, each label knows whether its workspace is the active one; the
        // surfaces map a configure later.
        for (std::size_t i = 0; i < labels.size(); ++i)
            EXPECT_EQ(factsWhenHeard.at(i).onActiveSpace, step.facts[i].onActiveSpace) << i;
        // The compositor may read the surface's commit a moment after the program sent it.
        ASSERT_TRUE(waitUntil([&] { return compositor.mappedOn(kLeft).has_value(); }));
        const auto left = compositor.mappedOn(kLeft);
        EXPECT_TRUE(hasText(left->image)) << "the label's text is drawn";
        EXPECT_EQ(left->layer, 3u) << "overlay layer";
        EXPECT_EQ(left->margin, QPoint(200, 800 - 500 - 90));
    }
    const auto mappedOnLeft = [&] {
        int n = 0;
        for (const auto& s : compositor.layerSurfaces())
            n += s.mapped && s.output == kLeft;
        return n;
    };
    EXPECT_TRUE(waitUntil([&] { return mappedOnLeft() == 1; })) << "one label per output: " << mappedOnLeft();
}

TEST_F(WaylandBackendTest, GoingToAWorkspaceActivatesItInOneCommit) {
    const auto target = server->locate({server->activePlace()->screenId, -1, QStringLiteral("3"), {}});
    ASSERT_TRUE(target);
    EXPECT_EQ(server->switchTo(*target).toStdString(), "");
    ASSERT_TRUE(waitUntil([&] { return server->activePlace()->desktopName == QStringLiteral("3"); }));
    const QStringList log = compositor.requests();
    const auto at = log.indexOf(QStringLiteral("activate 3"));
    ASSERT_GE(at, 0) << log.join(u',').toStdString();
    EXPECT_EQ(log.value(at + 1), QStringLiteral("commit"));
    EXPECT_NE(server->switchTo({target->screenId, -1, QStringLiteral("nowhere"), {}}), "");
}

TEST(WaylandBackendStartTest, ACompositorWithoutWhatTheBackendNeedsIsNamed) {
    const struct {
        bool workspaces;
        bool grantsActivate;
        QString problem; // in what create() or switchTo() says
    } cases[] = {
        {false, true, QStringLiteral("ext-workspace-v1")},
        {true, false, QStringLiteral("activate capability")},
    };
    for (const auto& c : cases) {
        TestCompositor::Options options;
        options.workspaces = c.workspaces;
        options.grantsActivate = c.grantsActivate;
        TestCompositor compositor(options);
        compositor.addWorkspace(kLeft, QStringLiteral("1"));
        compositor.addWorkspace(kLeft, QStringLiteral("2"));
        QString error;
        auto server = connect(compositor, &error);
        if (server) {
            const auto place = server->locate({server->activePlace()->screenId, -1, QStringLiteral("2"), {}});
            ASSERT_TRUE(place);
            error = server->switchTo(*place);
            EXPECT_EQ(compositor.count(QStringLiteral("activate")), 0);
        }
        EXPECT_TRUE(error.contains(c.problem)) << error.toStdString();
    }
}

// Click, type, Return: what the user types arrives as typed, whatever the keymap, dead keys included.
TEST(WaylandEditorTest, ANameTypedInTheLabelsEditorArrivesAsTyped) {
    const struct {
        const char* layout;
        const char* variant;
        QList<QList<quint32>> keys; // every other group with shift held
        QString typed;
    } cases[] = {
        {"us", "", {{KEY_M}, {KEY_A, KEY_I, KEY_L}}, QStringLiteral("Mail")},
        {"de", "", {{KEY_S}, {KEY_T, KEY_R, KEY_A, KEY_MINUS, KEY_E}}, QStringLiteral("Straße")},
        {"us", "intl", {{}, {KEY_C, KEY_A, KEY_F, KEY_APOSTROPHE, KEY_E}}, QStringLiteral("café")},
    };
    for (const auto& c : cases) {
        TestCompositor::Options options;
        options.keyboardLayout = QString::fromLatin1(c.layout);
        options.keyboardVariant = QString::fromLatin1(c.variant);
        TestCompositor compositor(options);
        compositor.addWorkspace(kLeft, QStringLiteral("1"));
        auto server = connect(compositor);
        ASSERT_TRUE(server);
        sm::test::CoreRun run(server);
        run.tracker->setTitleForCurrentSpace(QStringLiteral("Old"), true);
        ASSERT_TRUE(waitUntil([&] { return shownLabel(run).has_value() && compositor.mappedOn(kLeft); }));
        const auto label = *compositor.mappedOn(kLeft);
        compositor.click(label.id, QPoint(label.size.width() / 2, label.size.height() / 2));
        ASSERT_TRUE(waitUntil([&] { return run.overlay->isEditing(); })) << c.layout;
        std::optional<TestCompositor::LayerSurface> editor;
        ASSERT_TRUE(waitUntil([&] {
            for (const auto& s : compositor.layerSurfaces())
                if (s.mapped && s.keyboard == 1) editor = s;
            return editor.has_value();
        })) << "the editor asks for the keyboard";
        compositor.focusKeyboard(editor->id);
        for (qsizetype i = 0; i < c.keys.size(); ++i)
            compositor.typeKeys(c.keys[i], i % 2 == 0);
        compositor.typeKeys({KEY_ENTER});
        ASSERT_TRUE(waitUntil([&] { return !run.overlay->isEditing(); })) << c.layout;
        waitUntil([&] { return run.activeTitle() == c.typed; }, 1000);
        EXPECT_EQ(run.activeTitle(), c.typed)
            << c.layout << " " << c.variant << " " << run.tagsAndTitles().join(u',').toStdString();
        EXPECT_TRUE(waitUntil([&] {
            for (const auto& s : compositor.layerSurfaces())
                if (s.keyboard == 1) return false;
            return true;
        })) << "the keyboard is given back when the edit ends";
        run.quit();
    }
}

// A name is kept under what stays: the compositor's id where it sends one, else output, group and name.
// It comes back after a restart, and its label comes back with an output plugged in again.
TEST(WaylandStoryTest, NamesComeBackAfterARestartAndWithTheirOutput) {
    for (const bool ids : {false, true}) {
        TestCompositor::Options options;
        options.sendsIds = ids;
        TestCompositor compositor(options);
        const int web = compositor.addWorkspace(kRight, QStringLiteral("web"));
        const int mail = compositor.addWorkspace(kRight, QStringLiteral("mail"));
        compositor.addWorkspace(kLeft, QStringLiteral("code"));
        auto defaults = std::make_shared<MemoryDefaults>();
        QUuid mailTag;
        {
            auto server = connect(compositor);
            ASSERT_TRUE(server);
            compositor.activateWorkspace(mail);
            ASSERT_TRUE(
                waitUntil([&] { return server->activePlace()->desktopName == QStringLiteral("mail"); }));
            sm::test::CoreRun run(server, defaults);
            run.tracker->setTitleForCurrentSpace(QStringLiteral("Post"), true);
            ASSERT_TRUE(waitUntil([&] { return shownLabel(run).has_value(); }));
            mailTag = *shownLabel(run);

            compositor.removeOutput(kRight);
            ASSERT_TRUE(
                waitUntil([&] { return !compositor.mappedOn(kRight) && server->screens().size() == 1; }));
            EXPECT_TRUE(run.store->tag(mailTag)) << "the name stays while its output is away";
            compositor.addOutput(kRight);
            ASSERT_TRUE(waitUntil([&] { return compositor.mappedOn(kRight).has_value(); }))
                << "the label is back with its output";
            run.quit();
        }
        auto server = connect(compositor);
        ASSERT_TRUE(server);
        sm::test::CoreRun run(server, defaults);
        EXPECT_EQ(run.restored, 1) << "ids " << ids;
        compositor.activateWorkspace(web);
        ASSERT_TRUE(waitUntil([&] { return server->activePlace()->desktopName == QStringLiteral("web"); }));
        compositor.activateWorkspace(mail);
        ASSERT_TRUE(waitUntil([&] { return shownLabel(run) == mailTag; })) << "ids " << ids;
        EXPECT_EQ(run.activeTitle(), QStringLiteral("Post"));
        run.quit();
    }
}

TEST_F(WaylandBackendTest, ADraggedLabelStaysWhereItWasDropped) {
    activate(0);
    auto label = sm::test::showLabel(*server, QStringLiteral("Drag me"), {200, 500});
    int moves = 0;
    auto connection = label->moved.connect([&] { ++moves; });
    ASSERT_TRUE(waitUntil([&] { return compositor.mappedOn(kLeft).has_value(); }));
    const auto surface = *compositor.mappedOn(kLeft);
    compositor.drag(surface.id, QPoint(20, 20), QPoint(120, 70));
    const auto dropped = surface.margin + QPoint(100, 50);
    ASSERT_TRUE(waitUntil([&] {
        return moves > 0 && compositor.mappedOn(kLeft).value_or(surface).margin == dropped;
    })) << "the compositor was told the new place";
    EXPECT_EQ(label->frame().topLeft(), QPointF(300, 500 - 50));
    activate(1);
    activate(0);
    EXPECT_TRUE(waitUntil([&] { return compositor.mappedOn(kLeft).value_or(surface).margin == dropped; }))
        << "and it is back there";
}

// A compositor's IPC as its documentation gives it, over the workspaces of the test compositor: a rename
// through it is told back through ext-workspace-v1, as the real compositors do.
QByteArray answerAs(bool niri, TestCompositor& compositor, const QByteArray& request) {
    const auto list = [&] {
        QJsonArray out;
        const QString active = compositor.activeWorkspaceName(kLeft);
        for (int id : {1, 2}) {
            const QString shown = id == 1 ? active : QStringLiteral("2");
            QJsonObject w{{QStringLiteral("id"), id}, {niri ? QStringLiteral("output") : QStringLiteral("monitor"), kLeft}};
            w.insert(QStringLiteral("name"), niri && shown == QString::number(id) ? QJsonValue() : QJsonValue(shown));
            if (niri) w.insert(QStringLiteral("idx"), id);
            out << w;
        }
        return out;
    };
    if (!niri) {
        if (request == "j/workspaces") return QJsonDocument(list()).toJson();
        const QList<QByteArray> words = request.split(' ');
        if (words.value(0) != "/dispatch" || words.value(1) != "renameworkspace") return "unknown request";
        compositor.renameWorkspace(words.value(2).toInt(), QString::fromUtf8(words.mid(3).join(' ')));
        return "ok";
    }
    const QJsonDocument json = QJsonDocument::fromJson(request.startsWith('"') ? '[' + request + ']' : request);
    if (json.isArray() && json.array().first() == QStringLiteral("Workspaces"))
        return QJsonDocument(QJsonObject{{QStringLiteral("Ok"), QJsonObject{{QStringLiteral("Workspaces"), list()}}}})
                   .toJson(QJsonDocument::Compact) + '\n';
    const QJsonObject action = json.object().value(QStringLiteral("Action")).toObject();
    const QJsonObject set = action.value(QStringLiteral("SetWorkspaceName")).toObject();
    const QJsonObject unset = action.value(QStringLiteral("UnsetWorkspaceName")).toObject();
    const QJsonObject which = (set.isEmpty() ? unset.value(QStringLiteral("reference")) : set.value(QStringLiteral("workspace"))).toObject();
    const int id = which.value(QStringLiteral("Id")).toInt();
    if (id == 0) return R"({"Err":"no such workspace"})" "\n";
    compositor.renameWorkspace(id, set.isEmpty() ? QString::number(id) : set.value(QStringLiteral("name")).toString());
    return R"({"Ok":"Handled"})" "\n";
}

// Names go to the compositor's own bars through its IPC and come back at quit; a socket that refuses
// or is not there leaves them in Spacemarquee alone, and the program goes on.
TEST(WaylandNamerTest, NamesArePublishedThroughTheCompositorsIpcAndGivenBack) {
    enum class Socket { answers, refuses, missing };
    const struct {
        bool niri;
        Socket socket;
        QStringList requests; // the whole conversation, up to the end of the quit
    } cases[] = {
        {false, Socket::answers,
         {"j/workspaces", "/dispatch renameworkspace 1 Mail", "j/workspaces", "/dispatch renameworkspace 1 1"}},
        {true, Socket::answers,
         {R"("Workspaces")", R"({"Action":{"SetWorkspaceName":{"name":"Mail","workspace":{"Id":1}}}})",
          R"("Workspaces")", R"({"Action":{"UnsetWorkspaceName":{"reference":{"Id":1}}}})"}},
        {false, Socket::refuses, {}},
        {true, Socket::missing, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.niri ? "niri " : "Hyprland ") + std::to_string(int(c.socket)));
        TestCompositor compositor;
        compositor.addWorkspace(kLeft, QStringLiteral("1"));
        compositor.addWorkspace(kLeft, QStringLiteral("2"));
        compositor.activateWorkspace(1);
        QTemporaryDir dir;
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        QString socket = dir.filePath(QStringLiteral("niri.sock"));
        if (c.niri) {
            env.insert(QStringLiteral("NIRI_SOCKET"), socket);
        } else {
            QDir(dir.path()).mkpath(QStringLiteral("hypr/sig"));
            socket = dir.filePath(QStringLiteral("hypr/sig/.socket.sock"));
            env.insert(QStringLiteral("HYPRLAND_INSTANCE_SIGNATURE"), QStringLiteral("sig"));
        }
        std::optional<sm::test::FakeIpc> ipc;
        if (c.socket != Socket::missing)
            ipc.emplace(socket, [&, niri = c.niri](const QByteArray& r) { return answerAs(niri, compositor, r); },
                        c.socket == Socket::answers);
        auto server = WaylandWindowServer::create({Logger{}, compositor.socketName(), namerFor(env), nullptr}, nullptr);
        ASSERT_TRUE(server);
        {
            sm::test::CoreRun run(server);
            run.tracker->setTitleForCurrentSpace(QStringLiteral("Mail"), true);
            const QString key = server->activePlace()->desktopId;
            if (c.socket == Socket::answers) {
                EXPECT_TRUE(waitUntil([&] { return compositor.activeWorkspaceName(kLeft) == QStringLiteral("Mail"); }));
                EXPECT_EQ(server->activePlace()->desktopId, key) << "a lent name is not what the workspace is kept under";
            }
            else
                EXPECT_TRUE(waitUntil([&] { return !server->canSetDesktopNames(); })) << "the namer gives up";
            EXPECT_TRUE(waitUntil([&] { return shownLabel(run).has_value(); })) << "the label shows all the same";
            run.quit();
        }
        EXPECT_EQ(compositor.activeWorkspaceName(kLeft), QStringLiteral("1")) << "given back at quit";
        EXPECT_EQ((ipc ? ipc->requests() : QStringList()).join(u'\n').toStdString(), c.requests.join(u'\n').toStdString());
    }
}

// Right-click opens the label's menu as a popup of its layer surface, grabbing the pointer; choosing an
// entry does what it does on X11, and the popup goes.
TEST(WaylandMenuTest, ARightClickedLabelOffersItsMenuAndAChosenEntryIsDone) {
    const struct {
        QString entry;
        std::function<bool(const sm::test::CoreRun&, const QUuid&)> done;
    } cases[] = {
        {QStringLiteral("Rename…"), [](const sm::test::CoreRun& run, const QUuid&) { return run.overlay->isEditing(); }},
        {QStringLiteral("Unlock (allow auto-naming)"),
         [](const sm::test::CoreRun& run, const QUuid& id) { return !run.store->tag(id)->isUserOwned; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        TestCompositor compositor;
        compositor.addWorkspace(kLeft, QStringLiteral("1"));
        auto server = connect(compositor);
        ASSERT_TRUE(server);
        sm::test::CoreRun run(server);
        run.tracker->setTitleForCurrentSpace(QStringLiteral("Mail"), true);
        ASSERT_TRUE(waitUntil([&] { return shownLabel(run).has_value() && compositor.mappedOn(kLeft); }));
        const QUuid id = *shownLabel(run);
        const auto label = *compositor.mappedOn(kLeft);
        compositor.click(label.id, QPoint(20, 20), true);
        std::optional<TestCompositor::LayerSurface> popup;
        ASSERT_TRUE(waitUntil([&] {
            for (const auto& s : compositor.layerSurfaces())
                if (s.popupOf == label.id && s.mapped) popup = s;
            return popup.has_value();
        })) << compositor.requests().join(u',').toStdString();
        EXPECT_TRUE(popup->grabbed);
        EXPECT_EQ(qAlpha(popup->image.pixel(popup->size.width() / 2, popup->size.height() / 2)), 255) << "the menu is drawn";
        const auto* panel = dynamic_cast<const WaylandLabelPanel*>(run.overlay->entry(id)->panel.get());
        const QMenu* menu = panel ? panel->openedMenu() : nullptr;
        ASSERT_TRUE(menu);
        const QAction* entry = nullptr;
        for (const QAction* a : menu->actions())
            if (a->text() == c.entry) entry = a;
        ASSERT_TRUE(entry) << "an entry of the label's menu";
        compositor.click(popup->id, menu->actionGeometry(const_cast<QAction*>(entry)).center());
        EXPECT_TRUE(waitUntil([&] { return c.done(run, id); }));
        EXPECT_TRUE(waitUntil([&] {
            for (const auto& s : compositor.layerSurfaces())
                if (s.popupOf) return false;
            return true;
        })) << "the popup goes";
        run.quit();
    }
}

// The window in front is the focused one the compositor tells of; only another application's coming
// to the front is an activation.
TEST(WaylandWorkspaceTest, TheFocusedWindowIsInFrontAndANewApplicationIsAnActivation) {
    TestCompositor compositor;
    compositor.addWorkspace(kLeft, QStringLiteral("1"));
    auto server = connect(compositor);
    ASSERT_TRUE(server);
    auto workspace = WaylandWorkspace::create(server);
    ASSERT_TRUE(workspace);
    int activations = 0;
    auto connection = workspace->applicationActivated.connect([&] { ++activations; });
    const auto front = [&] {
        const auto windows = workspace->onScreenWindows();
        const auto app = workspace->frontmostApplication();
        return app && windows && !windows->isEmpty() ? app->applicationId + u'|' + windows->first().title.value_or(QString())
                                                     : QString();
    };
    int mail = 0, term = 0;
    const struct {
        const char* step;
        std::function<void()> act;
        QString front; // app id | title
        int activations;
    } steps[] = {
        {"open mail", [&] { mail = compositor.openWindow(QStringLiteral("org.mail"), QStringLiteral("Inbox")); },
         QStringLiteral("org.mail|Inbox"), 1},
        {"open a terminal", [&] { term = compositor.openWindow(QStringLiteral("foot"), QStringLiteral("~")); },
         QStringLiteral("foot|~"), 2},
        {"its title changes", [&] { compositor.retitleWindow(term, QStringLiteral("make")); }, QStringLiteral("foot|make"), 2},
        {"mail again", [&] { compositor.focusWindow(mail); }, QStringLiteral("org.mail|Inbox"), 3},
        {"mail closes", [&] { compositor.closeWindow(mail); }, QString(), 3},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_TRUE(waitUntil([&] { return front() == step.front; })) << step.step << ": " << front().toStdString();
        EXPECT_EQ(activations, step.activations) << step.step;
    }

    // Automatic naming reads it: a terminal's working folder names the workspace.
    sm::test::CoreRun run(server, std::make_shared<MemoryDefaults>(), true, workspace);
    run.store->updateSettings([](AppSettings& s) {
        s.autoTagFromFrontmostWindow = true;
        s.windowNameGuessing = WindowNameGuessing::anyApp;
    });
    compositor.openWindow(QStringLiteral("org.kde.konsole"), QStringLiteral("dev@box: ~/src/atlas"));
    EXPECT_TRUE(waitUntil([&] { return run.activeTitle() == QStringLiteral("atlas"); }, 10000))
        << run.activeTitle().toStdString();
    run.quit();

    TestCompositor::Options without;
    without.toplevels = false;
    TestCompositor plain(without);
    EXPECT_FALSE(WaylandWorkspace::create(connect(plain))) << "none without the window list";
}

// A compositor that goes away is heard once, with why; the core then stops as at a quit.
TEST(WaylandLostTest, ACompositorThatGoesAwayIsHeardOnceAndTheCoreStops) {
    auto compositor = std::make_unique<TestCompositor>();
    compositor->addWorkspace(kLeft, QStringLiteral("1"));
    QStringList lost;
    auto server = WaylandWindowServer::create(
        {Logger{}, compositor->socketName(), nullptr, [&](const QString& why) { lost << why; }}, nullptr);
    ASSERT_TRUE(server);
    sm::test::CoreRun run(server);
    run.tracker->setTitleForCurrentSpace(QStringLiteral("Mail"), true);
    ASSERT_TRUE(waitUntil([&] { return compositor->mappedOn(kLeft).has_value(); }));
    compositor.reset();
    ASSERT_TRUE(waitUntil([&] { return !lost.isEmpty(); }));
    EXPECT_TRUE(lost.first().contains(QStringLiteral("connection to the compositor ended"))) << lost.first().toStdString();
    run.tracker->setTitleForCurrentSpace(QStringLiteral("Post"), true);
    EXPECT_EQ(server->switchTo({}), QStringLiteral("that workspace no longer exists"));
    run.quit();
    EXPECT_EQ(lost.size(), 1);
}

// The program itself on a compositor that does not tell its workspaces, with no X11 to fall back on:
// it says what the compositor lacks and stops, rather than sitting in the tray with nothing to show.
TEST(WaylandProgramTest, ACompositorWithoutWorkspacesIsToldWhatItLacks) {
    TestCompositor::Options options;
    options.workspaces = false;
    TestCompositor compositor(options);
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS", "SPACEMARQUEE_BACKEND"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), compositor.socketPath());
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(SM_PROGRAM), {});
    ASSERT_TRUE(program.waitForFinished(20000));
    const QString said = QString::fromUtf8(program.readAll());
    EXPECT_EQ(program.exitCode(), 1) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("ext-workspace-v1"))) << said.toStdString();
}

} // namespace
} // namespace sm::wayland

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
