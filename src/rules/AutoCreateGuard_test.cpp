#include "rules/AutoCreateGuard.h"
#include "support/TestPrinters.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sm;
using namespace sm::AutoCreateGuard;

namespace {

constexpr Date kNow = 800'000'000.0;

TEST(ThrottleClock, RefusesOnlyIntervalsStrictlyShorterThanTheMinimum) {
    ThrottleClock throttle(kThrottleSeconds);
    const struct {
        Date at;
        bool passes;
    } steps[] = {{0.0, true}, {2.9, false}, {3.0, true}, {5.9, false}, {6.0, true}, {6.0, false}};
    for (const auto& step : steps)
        EXPECT_EQ(throttle.tryTrigger(step.at), step.passes) << "t=" << step.at;
    EXPECT_EQ(throttle.lastTriggeredAt(), 6.0);
}

QUuid idFor(int n) {
    return QUuid(static_cast<uint>(n + 1), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0);
}

// Evictable rows, row n last seen n minutes ago, so the last row is the oldest.
std::vector<EvictableTag> evictable(int count) {
    std::vector<EvictableTag> rows;
    for (int n = 0; n < count; ++n)
        rows.push_back({idFor(n), false, true, false, kNow - 60.0 * n});
    return rows;
}

// Rows that may never go, however old: alternately titled, and empty but user-owned.
std::vector<EvictableTag> kept(int count, std::vector<EvictableTag> more) {
    std::vector<EvictableTag> rows;
    for (int n = 0; n < count; ++n)
        rows.push_back({idFor(100 + n), n % 2 == 0, n % 2 == 0, false, kDistantPast});
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

TEST(AutoCreateGuard, EvictsTheOldestEvictableRowsAboveTheSoftCap) {
    const EvictableTag live{idFor(50), false, true, true, kDistantPast};
    const EvictableTag fresh5{idFor(51), false, true, false, kNow - 300};
    const EvictableTag stale20{idFor(52), false, true, false, kNow - 1200};
    const EvictableTag stale11{idFor(53), false, true, false, kNow - 660};
    struct Case {
        const char* name;
        std::vector<EvictableTag> rows;
        QList<QUuid> expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"28 rows", evictable(28), {}},
        {"29 rows", evictable(29), {}},
        {"30 rows", evictable(30), {idFor(29)}},
        {"35 rows, 2 evictable", kept(33, {fresh5, stale20}), {stale20.id, fresh5.id}},
        {"live panel never goes", kept(28, {live, fresh5}), {fresh5.id}},
        {"stale before fresh, then oldest", kept(28, {fresh5, stale11, stale20}), {stale20.id, stale11.id}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(evictionCandidates(c.rows, kSoftCap, kNow, kStaleAfterSeconds), c.expected);
    }
}

TEST(AutoCreateGuard, TheSoftCapIsReportedOnlyWhenEvictionFallsShort) {
    EXPECT_EQ(softCapExceededLine(29, 0), "");
    EXPECT_EQ(softCapExceededLine(30, 1), "");
    EXPECT_NE(softCapExceededLine(30, 0), "");
}

} // namespace
