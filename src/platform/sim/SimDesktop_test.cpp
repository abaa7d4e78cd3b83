#include "platform/sim/SimDesktop.h"

#include "platform/sim/ManualMainQueue.h"

#include <gtest/gtest.h>

using namespace sm;

namespace {

const QUuid kA = QUuid::fromString(QStringLiteral("{A0000000-0000-0000-0000-000000000000}"));
const QUuid kB = QUuid::fromString(QStringLiteral("{B0000000-0000-0000-0000-000000000000}"));

const QRectF kLeft(0, 0, 1440, 900);
const QRectF kRight(1440, 0, 1920, 1080);

// A desktop with screen 1 (3 desktops) and optionally screen 2 (2 desktops), setup notifications drained.
struct World {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    SimDesktop sim{queue};
    std::vector<std::unique_ptr<LabelPanel>> panels;
    QStringList events;
    std::vector<Signal<>::Connection> connections;

    explicit World(bool twoScreens = false) {
        sim.attachScreen({1, QStringLiteral("UUID-1"), QStringLiteral("Left"), kLeft, 3});
        if (twoScreens) sim.attachScreen({2, QStringLiteral("UUID-2"), QStringLiteral("Right"), kRight, 2});
        queue->drain();
    }
    // A label shown on the active desktop of the screen holding `origin`, its facts settled.
    LabelPanel& show(const QUuid& tag, QPointF origin = {100, 700}) {
        panels.push_back(sim.createLabelPanel(tag));
        panels.back()->setFrameOrigin(origin);
        panels.back()->orderFront();
        queue->advance(1.0);
        return *panels.back();
    }
    void record(Signal<>& signal, const QString& name) {
        connections.push_back(signal.connect([this, name] { events << name; }));
    }
    void recordPanel(Panel& panel, const QString& name) {
        record(panel.moved, name + ".moved");
        record(panel.visibilityChanged, name + ".visibility");
        record(panel.screenChanged, name + ".screen");
    }
};

QString facts(const Panel& panel) {
    return QString(panel.isVisible() ? "V" : "-") + (panel.isOnActiveSpace() ? "A" : "-");
}

} // namespace

TEST(SimDesktop, APanelStaysOnTheDesktopWhereItWasFirstShown) {
    World w;
    auto& a = w.show(kA);
    w.sim.switchDesktop(1, 1);
    auto& b = w.show(kB);
    a.orderOut();
    a.orderFront(); // ordering in again does not bring it along
    w.queue->advance(1.0);
    EXPECT_EQ(w.sim.desktopOf(a), (SimDesktopRef{1, 0}));
    EXPECT_EQ(w.sim.desktopOf(b), (SimDesktopRef{1, 1}));
    EXPECT_EQ(facts(a), "--");
    EXPECT_EQ(w.sim.presentLabels(1), QList<QUuid>{kB});

    w.sim.switchDesktop(1, 0);
    w.queue->advance(1.0);
    EXPECT_EQ(facts(a), "VA");
    EXPECT_EQ(facts(b), "--");
    EXPECT_FALSE(w.sim.desktopOf(*w.sim.createLabelPanel(kA))) << "not shown yet, so on no desktop";
}

TEST(SimDesktop, TheSwitchIsAnnouncedBeforeTheFactsWhichFollowTheirLagsAndFlap) {
    struct Row {
        const char* name;
        SimDesktop::SwitchOptions options;
        QList<std::tuple<double, QString, QString>> samples; // time, leaving facts, entering facts
    };
    const QList<Row> rows = {
        {"defaults", {}, {{0.03, "VA", "--"}, {0.07, "V-", "-A"}, {0.12, "--", "VA"}}},
        {"flap", {.flap = 0.4}, {{0.12, "V-", "VA"}, {0.38, "V-", "VA"}, {0.42, "--", "VA"}}},
        {"slow",
         {.activeLag = 0.2, .visibleLag = 0.5},
         {{0.15, "VA", "--"}, {0.3, "V-", "-A"}, {0.55, "--", "VA"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World w;
        auto& leaving = w.show(kA);
        w.sim.switchDesktop(1, 1);
        auto& entering = w.show(kB);
        w.sim.switchDesktop(1, 0);
        w.queue->advance(1.0);

        QString factsAtNotification;
        auto c = w.sim.activeDesktopChanged.connect(
            [&] { factsAtNotification = facts(leaving) + facts(entering); });
        const Date start = w.queue->now();
        w.sim.switchDesktop(1, 1, row.options);
        w.queue->drain();
        EXPECT_EQ(factsAtNotification, "VA--");
        for (const auto& [at, leavingFacts, enteringFacts] : row.samples) {
            w.queue->advance(start + at - w.queue->now());
            EXPECT_EQ(facts(leaving), leavingFacts) << "at +" << at;
            EXPECT_EQ(facts(entering), enteringFacts) << "at +" << at;
        }
    }
}

TEST(SimDesktop, ScreensHaveIndependentDesktopsAndAPanelMovedAcrossJoinsTheOtherActiveDesktop) {
    World w(true);
    auto& left = w.show(kA);
    auto& right = w.show(kB, {2000, 800});
    w.sim.switchDesktop(2, 1);
    w.queue->advance(1.0);
    EXPECT_EQ(w.sim.mainScreen()->displayNumber, 2u);
    EXPECT_EQ(facts(left), "VA") << "screen 1 kept its active desktop";
    EXPECT_EQ(facts(right), "--");

    w.recordPanel(left, "left");
    left.setFrameOrigin({2200, 500});
    EXPECT_EQ(left.screen()->displayNumber, 2u);
    w.queue->advance(1.0);
    EXPECT_EQ(w.sim.desktopOf(left), (SimDesktopRef{2, 1}));
    EXPECT_EQ(facts(left), "VA");
    EXPECT_EQ(w.events, (QStringList{"left.moved", "left.screen"}));
}

TEST(SimDesktop, DetachingAScreenCarriesItsPanelsToTheMainScreenByPolicy) {
    using Policy = SimDesktop::DetachPolicy;
    const QList<std::tuple<Policy, SimDesktopRef, SimDesktopRef, QList<QUuid>>> rows = {
        {Policy::PileOntoActive, {1, 0}, {1, 0}, {kA, kB}}, // two labels present on one desktop
        {Policy::KeepDesktopIndex, {1, 0}, {1, 1}, {kA}},
    };
    for (const auto& [policy, desktopA, desktopB, present] : rows) {
        World w(true);
        auto& a = w.show(kA, {2000, 800});
        w.sim.switchDesktop(2, 1);
        auto& b = w.show(kB, {3000, 100});
        w.sim.setMainScreen(1);
        w.queue->advance(1.0);
        w.record(w.sim.screensChanged, "screens");
        w.recordPanel(a, "a");
        w.recordPanel(b, "b");

        w.sim.detachScreen(2, policy);
        EXPECT_TRUE(kLeft.contains(b.frame())) << "carried fully onto the remaining screen";
        w.queue->advance(1.0);
        EXPECT_EQ(w.sim.desktopOf(a), desktopA);
        EXPECT_EQ(w.sim.desktopOf(b), desktopB);
        EXPECT_EQ(w.sim.presentLabels(1), present);
        EXPECT_EQ(w.events.first(), "screens") << "panels move after the screens announcement";
        EXPECT_TRUE(w.events.contains("a.screen") && w.events.contains("b.screen") &&
                    w.events.contains("b.moved"));
        EXPECT_EQ(facts(a), "VA");
    }
}

TEST(SimDesktop, ADragMovesAtItsPaceAndReleasesTheButtonAfterTheLastMove) {
    World w;
    auto& a = w.show(kA);
    QList<bool> buttonAtMove;
    auto c = a.moved.connect([&] { buttonAtMove << w.sim.isLeftMouseButtonDown(); });
    w.sim.dragLabel(kA, {{200, 600}, {300, 500}, {400, 400}}, 0.1);
    EXPECT_TRUE(w.sim.isLeftMouseButtonDown());
    w.queue->advance(0.05);
    EXPECT_TRUE(buttonAtMove.isEmpty());
    w.queue->advance(0.2);
    EXPECT_EQ(buttonAtMove.size(), 2);
    w.queue->advance(0.1);
    EXPECT_EQ(buttonAtMove, (QList<bool>{true, true, true}));
    EXPECT_EQ(a.frame().topLeft(), QPointF(400, 400));
    EXPECT_TRUE(w.sim.isLeftMouseButtonDown());
    w.queue->advance(0.1);
    EXPECT_FALSE(w.sim.isLeftMouseButtonDown());
}

TEST(SimDesktop, NotificationsAreNeverDeliveredInsideTheCallThatCausedThem) {
    World w(true);
    auto& a = w.show(kA);
    const QList<std::pair<QString, std::function<void()>>> actions = {
        {"a.moved",
         [&] {
             a.setFrameOrigin({10, 10});
         }},
        {"a.screen",
         [&] {
             a.setFrameOrigin({2000, 10});
         }},
        {"a.visibility", [&] { a.orderOut(); }},
        {"a.visibility", [&] { w.sim.forceFacts(a, false, true); }},
        {"a.moved", [&] { a.animate(QRectF(50, 50, 280, 96), 0.0, 0.15, {}); }},
        {"activeDesktop", [&] { w.sim.switchDesktop(1, 2); }},
        {"screens",
         [&] {
             w.sim.attachScreen({3, {}, "Third", QRectF(0, 900, 800, 600), 1});
         }},
        {"wake", [&] { w.sim.wake(); }},
    };
    w.recordPanel(a, "a");
    w.record(w.sim.activeDesktopChanged, "activeDesktop");
    w.record(w.sim.screensChanged, "screens");
    w.record(w.sim.didWake, "wake");
    for (const auto& [expected, action] : actions) {
        w.events.clear();
        action();
        EXPECT_TRUE(w.events.isEmpty()) << qPrintable(expected);
        w.queue->drain();
        EXPECT_TRUE(w.events.contains(expected)) << qPrintable(expected);
    }
}

TEST(SimDesktop, ADestroyedPanelLeavesTheDesktopAndItsPendingNotificationsAreDropped) {
    World w;
    w.show(kA);
    w.show(kB);
    w.sim.switchDesktop(1, 1); // catch-ups for both panels are pending
    w.panels.front().reset();
    w.queue->advance(1.0);
    EXPECT_EQ(w.sim.labelPanel(kA), nullptr);
    EXPECT_EQ(w.sim.labelPanels().size(), 1);

    // A panel may outlive its desktop.
    auto orphan = std::make_unique<World>();
    auto panel = orphan->sim.createLabelPanel(kA);
    orphan.reset();
    panel->setFrameOrigin({5, 5});
    panel->orderOut();
    EXPECT_FALSE(panel->screen());
}
