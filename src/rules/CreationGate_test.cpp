#include "rules/CreationGate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace sm;
using namespace sm::CreationGate;

namespace {

const char* name(Step step) {
    switch (step) {
    case Step::suppressed:
        return "suppressed";
    case Step::deferred:
        return "deferred";
    case Step::gated:
        return "gated";
    case Step::escalated:
        return "escalated";
    case Step::create:
        return "create";
    }
    return "?";
}

TEST(CreationGate, GraceThenLaggingLabelStrikesThenTheQuietPeriodOfAPopulatedScreen) {
    struct Case {
        const char* story;
        Facts facts; // grace, raw without A, strikes taken, tags on the screen, elapsed, quiet
        Step step;
    };
    // clang-format off
    const Case cases[] = {
        {"grace outranks everything",          {true,  true,  0, 3, 60.0, 4.0}, Step::suppressed},
        {"grace on an empty screen",           {true,  false, 0, 0, 0.0,  4.0}, Step::suppressed},
        {"a lagging label: first strike",      {false, true,  0, 3, 60.0, 4.0}, Step::deferred},
        {"a lagging label: third strike",      {false, true,  2, 0, 0.0,  4.0}, Step::deferred},
        {"strikes used up, empty screen",      {false, true,  3, 0, 0.0,  4.0}, Step::create},
        {"strikes used up, populated, early",  {false, true,  3, 1, 6.0,  8.0}, Step::gated},
        {"an empty screen makes a tag at once",{false, false, 0, 0, 0.0,  4.0}, Step::create},
        {"populated, not yet quiet",           {false, false, 0, 2, 3.99, 4.0}, Step::gated},
        {"populated, quiet exactly long enough",{false, false, 0, 2, 4.0, 4.0}, Step::escalated},
        {"populated, long quiet",              {false, false, 0, 1, 60.0, 4.0}, Step::escalated},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_STREQ(name(next(c.facts)), name(c.step)) << c.story;
}

TEST(CreationGate, TheStoredQuietPeriodFallsBackToTheDefaultAndStaysWithinBounds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::optional<double> stored;
        double quiet;
    } cases[] = {{std::nullopt, 4.0}, {0.0, 4.0}, {-3.0, 4.0},  {nan, 4.0},   {0.5, 1.0},
                 {1.0, 1.0},          {7.5, 7.5}, {60.0, 60.0}, {300.0, 60.0}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(quietSeconds(c.stored), c.quiet) << (c.stored ? *c.stored : -1.0);
}

} // namespace
