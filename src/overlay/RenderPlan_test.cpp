#include "overlay/RenderPlan.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
}

using namespace sm;
using namespace sm::RenderPlan;

namespace {

using Tweak = std::function<void(Inputs&)>;

// A screen away from the origin, so a rule that forgets minX or minY shows.
const QRectF kScreen{100, 50, 1000, 800};

Inputs baseInputs() {
    Inputs in;
    in.baseOpacity = 0.3;
    in.ctrlBoostOpacity = 0.9;
    in.magnifyOpacity = 0.7;
    in.fontSize = 64;
    in.magnifyScale = 3;
    in.screenFrame = kScreen;
    in.fittedSize = {200, 80};
    in.liveHeight = 30;
    return in;
}

TEST(RenderPlan, LayoutOpacityBandAndFontFollowFirstMatchingRule) {
    struct Case {
        const char* name;
        Tweak tweak;
        LayoutState state;
        double opacity;
        bool band;
        double fontSize;
    };
    constexpr auto normal = LayoutState::normal, band = LayoutState::band, magnified = LayoutState::magnified;
    // clang-format off
    const std::vector<Case> cases = {
        {"resting, always", [](Inputs&) {}, normal, 0.3, false, 64},
        {"resting, onChange", [](Inputs& in) { in.visibilityMode = VisibilityMode::onChange; }, normal, 0.3, false, 64},
        {"resting, onCtrl", [](Inputs& in) { in.visibilityMode = VisibilityMode::onCtrl; }, normal, 0.0, false, 64},
        {"other desktop, onCtrl", [](Inputs& in) { in.visibilityMode = VisibilityMode::onCtrl; in.isOcclusionVisible = false; },
         band, 1.0, true, 64},
        {"ctrl held, always", [](Inputs& in) { in.ctrlBoostActive = true; }, normal, 0.9, false, 64},
        {"entry boost, onCtrl", [](Inputs& in) { in.visibilityMode = VisibilityMode::onCtrl; in.entryBoostActive = true; },
         normal, 0.9, false, 64},
        {"band beats ctrl", [](Inputs& in) { in.isOcclusionVisible = false; in.ctrlBoostActive = true; }, band, 1.0, true, 64},
        {"magnified ignores mode and boosts", [](Inputs& in) {
             in.isMagnified = true; in.visibilityMode = VisibilityMode::onCtrl; in.ctrlBoostActive = in.entryBoostActive = true; },
         magnified, 0.7, false, 192},
        {"magnified beats band", [](Inputs& in) { in.isMagnified = true; in.isOcclusionVisible = false; }, magnified, 0.7, true, 192},
        {"editing magnified", [](Inputs& in) { in.isMagnified = true; in.isEditing = true; }, magnified, 1.0, true, 192},
        {"editing, onCtrl", [](Inputs& in) { in.isEditing = true; in.visibilityMode = VisibilityMode::onCtrl; }, normal, 1.0, true, 64},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Inputs in = baseInputs();
        c.tweak(in);
        const Output out = plan(in);
        EXPECT_EQ(out.layoutState, c.state);
        EXPECT_DOUBLE_EQ(out.opacity, c.opacity);
        EXPECT_EQ(out.showsBackgroundBand, c.band);
        EXPECT_DOUBLE_EQ(out.fontSize, c.fontSize);
    }
}

TEST(RenderPlan, FramesForEachLayoutAndPositionSource) {
    struct Case {
        const char* name;
        LayoutState state;
        Tweak tweak;
        QRectF expected;
    };
    auto sync = [](QPointF p) {
        return [p](Inputs& in) {
            in.syncPositionsAcrossSpaces = true;
            in.syncedPosition = p;
        };
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"normal default: centred, 100 below the top", LayoutState::normal, [](Inputs&) {}, {500, 670, 200, 80}},
        {"tag position used unclamped", LayoutState::normal, [](Inputs& in) { in.tagPosition = QPointF(-500, 2000); },
         {-500, 2000, 200, 80}},
        {"synced position ignored while sync is off", LayoutState::normal, [](Inputs& in) { in.syncedPosition = QPointF(300, 300); },
         {500, 670, 200, 80}},
        {"sync on without a synced position uses the tag's", LayoutState::normal,
         [](Inputs& in) { in.syncPositionsAcrossSpaces = true; in.tagPosition = QPointF(10, 20); }, {10, 20, 200, 80}},
        {"synced beyond the right edge, over a tag position", LayoutState::normal,
         [&](Inputs& in) { sync({5000, 300})(in); in.tagPosition = QPointF(10, 20); }, {900, 300, 200, 80}},
        {"synced below and left is pushed in", LayoutState::normal, sync({-10, -10}), {100, 50, 200, 80}},
        {"synced above the top is pulled down", LayoutState::normal, sync({300, 900}), {300, 770, 200, 80}},
        {"label larger than the screen sits at the lower bound", LayoutState::normal,
         [&](Inputs& in) { sync({500, 500})(in); in.fittedSize = {1200, 900}; }, {100, 50, 1200, 900}},
        {"band: minimum height, default y", LayoutState::band, [](Inputs&) {}, {100, 710, 1000, 40}},
        {"band: live height, tag's y", LayoutState::band, [](Inputs& in) { in.liveHeight = 60; in.tagPosition = QPointF(999, 333); },
         {100, 333, 1000, 60}},
        {"band never takes the synced y", LayoutState::band, sync({300, 300}), {100, 710, 1000, 40}},
        {"magnified: centred strip", LayoutState::magnified, [](Inputs&) {}, {100, 313.2, 1000, 273.6}},
        {"no screen: default label on the fallback frame", LayoutState::normal,
         [](Inputs& in) { in.screenFrame = screenFrameOrFallback(std::nullopt, std::nullopt); in.fittedSize = kDefaultFittedSize; },
         {580, 704, 280, 96}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Inputs in = baseInputs();
        c.tweak(in);
        EXPECT_EQ(frame(c.state, in), c.expected);
    }
    EXPECT_EQ(screenFrameOrFallback(std::nullopt, kScreen), kScreen);
    EXPECT_EQ(screenFrameOrFallback(QRectF(1, 2, 3, 4), kScreen), QRectF(1, 2, 3, 4));
}

TEST(RenderPlan, FrameOnlyWhenTheLayoutStateChanges) {
    const struct {
        std::optional<LayoutState> last;
        bool magnified;
        bool hasFrame;
    } cases[] = {{std::nullopt, false, true},
                 {LayoutState::normal, false, false},
                 {LayoutState::band, false, true},
                 {LayoutState::normal, true, true},
                 {LayoutState::magnified, true, false}};
    for (const auto& c : cases) {
        Inputs in = baseInputs();
        in.lastLayoutState = c.last;
        in.isMagnified = c.magnified;
        const Output out = plan(in);
        EXPECT_EQ(out.frame.has_value(), c.hasFrame) << (c.last ? toString(*c.last).toStdString() : "none");
        if (out.frame) {
            EXPECT_EQ(*out.frame, frame(out.layoutState, in));
        }
    }
}

} // namespace
