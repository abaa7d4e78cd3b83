#include "tracking/AutoCreateGuard.h"
#include "tracking/TestPrinters.h"

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
    for (const auto& step : steps) {
        SCOPED_TRACE(step.at);
        EXPECT_EQ(throttle.tryTrigger(step.at), step.passes);
    }
    EXPECT_EQ(throttle.lastTriggeredAt(), 6.0);
    EXPECT_EQ(throttle.refusalMessage(), "Throttle: skipping auto-create (within 3.000000s of last)");
}

QUuid idFor(int n) {
    return QUuid(static_cast<uint>(n + 1), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0);
}

// `count` rows, all evictable, row n last seen n minutes before now (so the last row is the oldest).
std::vector<EvictableTag> evictableRows(int count) {
    std::vector<EvictableTag> rows;
    for (int n = 0; n < count; ++n)
        rows.push_back({idFor(n), false, true, false, kNow - 60.0 * n});
    return rows;
}

// `count` rows that may never go: titled ones and user-owned empty ones.
std::vector<EvictableTag> keptRows(int count) {
    std::vector<EvictableTag> rows;
    for (int n = 0; n < count; ++n)
        rows.push_back({idFor(100 + n), n % 2 == 0, n % 2 == 0, false, kDistantPast});
    return rows;
}

std::vector<EvictableTag> concat(std::vector<EvictableTag> a, const std::vector<EvictableTag>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(AutoCreateGuard, EvictsTheOldestEvictableRowsAboveTheSoftCap) {
    const EvictableTag liveButAncient{idFor(50), false, true, true, kDistantPast};
    const EvictableTag fresh5min{idFor(51), false, true, false, kNow - 300};
    const EvictableTag stale20min{idFor(52), false, true, false, kNow - 1200};
    const EvictableTag stale11min{idFor(53), false, true, false, kNow - 660};
    struct Case {
        const char* name;
        std::vector<EvictableTag> rows;
        QList<QUuid> expected;
    };
    const std::vector<Case> cases = {
        {"28 rows", evictableRows(28), {}},
        {"29 rows", evictableRows(29), {}},
        {"30 rows", evictableRows(30), {idFor(29)}},
        {"35 rows, 2 evictable",
         concat(keptRows(33), {fresh5min, stale20min}),
         {stale20min.id, fresh5min.id}},
        {"live panel never goes", concat(keptRows(28), {liveButAncient, fresh5min}), {fresh5min.id}},
        {"stale before fresh, then oldest",
         concat(keptRows(28), {fresh5min, stale11min, stale20min}),
         {stale20min.id, stale11min.id}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(evictionCandidates(c.rows, kSoftCap, kNow, kStaleAfterSeconds), c.expected);
    }
}

TEST(AutoCreateGuard, TraceLinesReportShortfallAndEachEviction) {
    struct Case {
        qsizetype rows;
        qsizetype evicted;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {29, 0, ""},
        {30, 1, ""},
        {30, 0,
         "autoCreate SOFT-CAP exceeded rows=30 evictable=0/1 (titled/owned/live tags are never destroyed)"},
        {35, 2,
         "autoCreate SOFT-CAP exceeded rows=35 evictable=2/6 (titled/owned/live tags are never destroyed)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(softCapExceededLine(c.rows, c.evicted), QString::fromLatin1(c.expected));

    EXPECT_EQ(evictLine(QUuid("{00ab12cd-0000-4000-8000-000000000000}"), 1234.9, 7, 31),
              "autoCreate EVICT id=00AB12CD ageSec=1234 displayIndex=7 (self-cleaning, was 31 on screen)");
}

} // namespace
