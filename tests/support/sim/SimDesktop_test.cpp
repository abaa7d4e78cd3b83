#include "support/sim/SimDesktop.h"

#include "support/sim/ManualMainQueue.h"

#include <gtest/gtest.h>

using namespace sm;

namespace {

const QUuid kA = QUuid::fromString(QStringLiteral("{A0000000-0000-0000-0000-000000000000}"));
const QUuid kB = QUuid::fromString(QStringLiteral("{B0000000-0000-0000-0000-000000000000}"));

// A desktop with screen 1 (3 desktops) and optionally screen 2 (2 desktops), setup notifications drained.
struct World {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    SimDesktop sim{queue};
    std::vector<std::unique_ptr<LabelPanel>> panels;

    explicit World(bool twoScreens = false) {
        sim.attachScreen({1, QStringLiteral("UUID-1"), QStringLiteral("Left"), QRectF(0, 0, 1440, 900), 3});
        if (twoScreens)
            sim.attachScreen(
                {2, QStringLiteral("UUID-2"), QStringLiteral("Right"), QRectF(1440, 0, 1920, 1080), 2});
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
};

QString facts(const Panel& panel) {
    return QString(panel.isVisible() ? "V" : "-") + (panel.isOnActiveSpace() ? "A" : "-");
}

} // namespace

TEST(SimDesktop, TheSwitchIsAnnouncedBeforeTheFactsWhichFollowTheirLagsAndFlap) {
    struct Row {
        const char* name;
        SimDesktop::SwitchOptions options;
        QList<std::tuple<double, QString, QString>> samples; // time, leaving facts, entering facts
    };
    const QList<Row> rows = {
        {"defaults", {}, {{0.03, "VA", "--"}, {0.07, "V-", "-A"}, {0.12, "--", "VA"}}},
        {"flap", {.flap = 0.4}, {{0.12, "V-", "VA"}, {0.38, "V-", "VA"}, {0.42, "--", "VA"}}},
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

    QStringList events;
    auto moved = left.moved.connect([&] { events << "moved"; });
    auto shown = left.visibilityChanged.connect([&] { events << "visibility"; });
    auto screen = left.screenChanged.connect([&] { events << "screen"; });
    left.setFrameOrigin({2200, 500});
    EXPECT_EQ(left.screen()->displayNumber, 2u);
    w.queue->advance(1.0);
    EXPECT_EQ(w.sim.desktopOf(left), (SimDesktopRef{2, 1}));
    EXPECT_EQ(facts(left), "VA");
    EXPECT_EQ(events, (QStringList{"moved", "screen"}));
}
