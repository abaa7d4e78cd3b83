// The generic Wayland backend against the tier's own compositor (tests/support/wayland): workspaces
// told with ext-workspace-v1, labels as layer surfaces.
#include "platform/wayland/WaylandPanels.h"
#include "platform/wayland/WaylandWindowServer.h"
#include "support/CoreRun.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"
#include "support/sim/MemoryDefaults.h"
#include "support/wayland/TestCompositor.h"

#include <QApplication>
#include <QLineEdit>
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
    auto server = WaylandWindowServer::create({Logger{}, compositor.socketName()}, &why);
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
