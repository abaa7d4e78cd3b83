#include "model/StaleTagSweeper.h"

#include "model/TagStore.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

using namespace sm;

namespace {

constexpr Date kNow = 800000000.0;

SpaceTag seenAgo(double seconds, bool tombstone = false) {
    SpaceTag t;
    t.id = QUuid::createUuid(), t.lastSeenAt = kNow - seconds, t.isTombstone = tombstone;
    return t;
}

struct SweeperTest : ::testing::Test {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>(kNow);
    test::TestLoggers logs;
    std::shared_ptr<TagStore> store =
        std::make_shared<TagStore>(std::make_shared<MemoryDefaults>(), queue, logs.loggers.storage);
    std::unique_ptr<StaleTagSweeper> sweeper =
        std::make_unique<StaleTagSweeper>(store, queue, logs.loggers.storage);
    int sweeps = 0;

    void SetUp() override {
        sweeper->onSweep = [this] { ++sweeps; };
    }
};

} // namespace

TEST(StaleTagSweeperRule, StaleMeansStrictlyMoreThanSevenDays) {
    const struct {
        double ago;
        bool stale;
    } cases[] = {{0, false},         {604799, false}, {604800, false},
                 {604800.001, true}, {604801, true},  {-10, false}};
    for (const auto& c : cases)
        EXPECT_EQ(StaleTagSweeper::isStale(seenAgo(c.ago), kNow), c.stale) << c.ago;
}

TEST_F(SweeperTest, StartSweepsAtOnceThenHourlyAndCountsTombstonesToo) {
    const auto old = seenAgo(604801), oldTombstone = seenAgo(900000, true);
    for (const auto& t : {old, oldTombstone, seenAgo(604800)})
        store->addTag(t, "test");

    sweeper->start();
    EXPECT_EQ(sweeps, 1);
    EXPECT_EQ(sweeper->staleTagIds(), (QSet<QUuid>{old.id, oldTombstone.id}));
    queue->advance(3599);
    EXPECT_EQ(sweeps, 1);
    queue->advance(1);
    EXPECT_EQ(sweeps, 2);
    EXPECT_EQ(sweeper->staleTagIds().size(), 3) << "an hour on, the boundary tag has aged past seven days";
    queue->advance(3600 * 5);
    EXPECT_EQ(sweeps, 7);
}

TEST_F(SweeperTest, AnEmptyStoreIsReportedSilentlyAndNothingHappensAfterStopOrOnceAnyoneIsGone) {
    logs.log->clear();
    sweeper->start();
    EXPECT_TRUE(logs.log->entries.empty());
    sweeper->stop();
    queue->advance(3600 * 3);
    EXPECT_EQ(sweeps, 1);
    sweeper->start();
    store.reset();
    queue->advance(3600 * 3);
    EXPECT_EQ(sweeps, 2);
    sweeper.reset();
    EXPECT_EQ(queue->pendingCount(), 0u);
}
