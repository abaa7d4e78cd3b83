#include "model/AppSettings.h"

#include <gtest/gtest.h>

#include <limits>

using namespace sm;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(AppSettings, SanitizeClampsEveryRangedNumberAndReplacesNonFiniteByTheDefault) {
    const struct {
        double AppSettings::*field;
        double stored, expected;
    } cases[] = {
        {&AppSettings::fontSize, 500, 200},
        {&AppSettings::fontSize, 19.9, 20},
        {&AppSettings::fontSize, kNaN, 64},
        {&AppSettings::baseOpacity, -1, 0},
        {&AppSettings::baseOpacity, kInf, 0.3},
        {&AppSettings::ctrlBoostOpacity, -kInf, 1},
        {&AppSettings::onChangeDurationSec, 0.1, 0.5},
        {&AppSettings::onChangeDurationSec, 11, 10},
        {&AppSettings::magnifyScale, 0.2, 1},
        {&AppSettings::magnifyScale, 10.5, 10},
        {&AppSettings::magnifyOpacity, kNaN, 1},
        {&AppSettings::speechRate, 0.05, 0.1},
        {&AppSettings::speechRate, 2, 1},
        {&AppSettings::speechVolume, kNaN, 0.2},
        {&AppSettings::speechVolume, 0.7, 0.7},
    };
    for (const auto& c : cases) {
        AppSettings s;
        s.*(c.field) = c.stored;
        s.sanitize();
        EXPECT_EQ(s.*(c.field), c.expected) << "stored " << c.stored;
    }
    AppSettings s;
    s.perScreen["A"] = {0.2, 0.2, QPointF(-5000, 9000)};
    s.perScreen["B"] = {kNaN, kInf, std::nullopt};
    s.perScreen["C"] = {};
    s.sanitize();
    EXPECT_EQ(s.perScreen["A"], (ScreenLayout{20.0, 1.0, QPointF(-5000, 9000)}));
    EXPECT_EQ(s.perScreen["B"], (ScreenLayout{64.0, 3.0, std::nullopt}));
    EXPECT_EQ(s.perScreen["C"], ScreenLayout{}) << "absent overrides stay absent";
}

TEST(AppSettings, FontSizeWithoutAReferenceScreenKeepsTheOldOneAndOverridesKeepTheirOtherFields) {
    AppSettings s;
    s.fontSizeRefScreen = "OLD";
    s.perScreen["S"].magnifyScale = 4.0;
    s.setFontSize(80);
    s.setFontSize(30, QString("S"), QString("IGNORED"));
    s.setSyncedPosition(QPointF(3, 4), QString("T"));
    EXPECT_EQ(s.fontSize, 80);
    EXPECT_EQ(s.fontSizeRefScreen, "OLD");
    EXPECT_EQ(s.perScreen["S"], (ScreenLayout{30.0, 4.0, std::nullopt}));
    EXPECT_EQ(s.perScreen["T"], (ScreenLayout{std::nullopt, std::nullopt, QPointF(3, 4)}));
}

TEST(AppSettings, ScreenCensusReplacesOnlyChangedScreensAndNeverForgetsOne) {
    const Date before = 100, now = 200;
    const struct {
        ScreenObservation seen;
        bool changed;
        Date lastSeen;
    } cases[] = {
        {{"A", "Built-in", 1440, 900}, false, before}, {{"A", "Studio", 1440, 900}, true, now},
        {{"A", "Built-in", 1920, 900}, true, now},     {{"A", "Built-in", 1440, 1080}, true, now},
        {{"B", "Projector", 800, 600}, true, now},
    };
    for (const auto& c : cases) {
        AppSettings s;
        s.screenCensus["A"] = {"Built-in", 1440, 900, before};
        EXPECT_EQ(s.recordScreenCensus({c.seen}, now), c.changed) << c.seen.localizedName.toStdString();
        EXPECT_EQ(s.screenCensus[c.seen.id],
                  (ScreenCensusEntry{c.seen.localizedName, c.seen.width, c.seen.height, c.lastSeen}));
        EXPECT_TRUE(s.screenCensus.contains("A"));
    }
}
