#include "overlay/KeyMonitor.h"

#include "support/sim/ManualMainQueue.h"
#include "support/sim/ScriptedKeySource.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

struct KeyMonitorTest : ::testing::Test {
    KeyMonitorTest() {
        monitor.onCtrlChange = [this](bool down) { reports.push_back(down); };
        monitor.start();
    }
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ScriptedKeySource> keys = std::make_shared<ScriptedKeySource>();
    KeyMonitor monitor{keys, queue};
    std::vector<bool> reports;
};

TEST_F(KeyMonitorTest, ReportsEachCtrlChangeOnceAndIgnoresOtherModifiers) {
    struct Step {
        void (ScriptedKeySource::*action)();
        std::vector<bool> expected; // cumulative reports after the queue drains
    };
    const std::vector<Step> story = {
        {&ScriptedKeySource::pressCtrl, {true}},
        {&ScriptedKeySource::otherModifier, {true}}, // Shift pressed while Ctrl is held
        {&ScriptedKeySource::pressCtrl, {true}},     // the right Ctrl too, or a repeated raw event
        {&ScriptedKeySource::otherModifier, {true}},
        {&ScriptedKeySource::releaseCtrl, {true, false}},
        {&ScriptedKeySource::otherModifier, {true, false}},
    };
    for (std::size_t i = 0; i < story.size(); ++i) {
        (keys.get()->*story[i].action)();
        queue->drain();
        EXPECT_EQ(reports, story[i].expected) << "step " << i;
    }
    EXPECT_FALSE(monitor.isCtrlDown());
}

TEST_F(KeyMonitorTest, DeliversLaterOnTheQueueNeverInsideTheKeyHandler) {
    keys->pressCtrl();
    EXPECT_TRUE(monitor.isCtrlDown());
    EXPECT_TRUE(reports.empty());
    queue->drain();
    EXPECT_EQ(reports, std::vector<bool>{true});
}

TEST_F(KeyMonitorTest, NothingArrivesAfterStopEvenIfAlreadyQueued) {
    keys->pressCtrl();
    monitor.stop();
    keys->releaseCtrl();
    queue->drain();
    EXPECT_TRUE(reports.empty());
    EXPECT_FALSE(keys->isStarted());
}

} // namespace
} // namespace sm
