#include "platform/sim/ManualMainQueue.h"

#include <gtest/gtest.h>

using namespace sm;

TEST(ManualMainQueue, RunsDueWorkInTimeOrderThenSchedulingOrder) {
    ManualMainQueue q;
    std::vector<std::string> ran;
    q.after(2.0, [&] { ran.push_back("b@2"); });
    q.after(1.0, [&] { ran.push_back("a@1"); });
    q.after(2.0, [&] { ran.push_back("c@2"); });
    q.advance(1.5);
    EXPECT_EQ(ran, (std::vector<std::string>{"a@1"}));
    q.advance(0.5);
    EXPECT_EQ(ran, (std::vector<std::string>{"a@1", "b@2", "c@2"}));
}

TEST(ManualMainQueue, WorkSeesItsOwnDueTimeAndMayScheduleMoreWithinTheSameAdvance) {
    ManualMainQueue q(100.0);
    std::vector<double> seen;
    q.after(1.0, [&] {
        seen.push_back(q.now());
        q.after(0.25, [&] { seen.push_back(q.now()); });
    });
    q.advance(2.0);
    EXPECT_EQ(seen, (std::vector<double>{101.0, 101.25}));
    EXPECT_DOUBLE_EQ(q.now(), 102.0);
}

TEST(ManualMainQueue, CancelledWorkNeverRunsAndRepeatingTimersStopWhenCancelled) {
    ManualMainQueue q;
    int once = 0, ticks = 0;
    q.after(1.0, [&] { ++once; })->cancel();
    WorkHandle timer;
    timer = q.every(1.0, [&] {
        if (++ticks == 3) timer->cancel();
    });
    q.advance(10.0);
    EXPECT_EQ(once, 0);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(q.pendingCount(), 0u);
}
