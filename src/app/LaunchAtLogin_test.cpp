#include "app/LaunchAtLoginCoordinator.h"
#include "support/sim/MemoryDefaults.h"
#include "support/FakeLoginItem.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

using S = LoginItemStatus;
using O = LoginItemCallOutcome;
using test::FakeLoginItem;

class Coordinator : public ::testing::Test {
protected:
    LaunchAtLoginCoordinator make() {
        return LaunchAtLoginCoordinator(item, defaults, true, logs.loggers.app);
    }
    std::shared_ptr<FakeLoginItem> item = std::make_shared<FakeLoginItem>();
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    test::TestLoggers logs;
};

// Only a first launch without an item registers, and a failure is never retried.
TEST_F(Coordinator, BootstrapRegistersOnceNeverRetriesAFailureAndLeavesAnExistingItemAlone) {
    for (const auto& [status, registers] : {std::pair{S::notRegistered, 1}, {S::notFound, 1}, {S::enabled, 0},
                                            {S::requiresApproval, 0}}) {
        *item = FakeLoginItem{};
        item->current = status;
        item->outcome = O::failed;
        defaults->remove(LaunchAtLoginCoordinator::kBootstrappedKey);
        make().bootstrap();
        make().bootstrap();
        EXPECT_EQ(item->registers, registers) << toString(status).toStdString();
        EXPECT_EQ(defaults->boolValue(LaunchAtLoginCoordinator::kBootstrappedKey), true);
    }
}

TEST_F(Coordinator, SetEnabledShowsWhatTheDesktopHolds) {
    struct Row {
        S status;
        bool desired;
        O outcome;
        bool shows;
        int registers;
        int unregisters;
        int reveals;
    };
    const Row rows[] = {
        {S::notRegistered, true, O::succeeded, true, 1, 0, 0},
        {S::notRegistered, true, O::failed, false, 1, 0, 0},
        {S::notRegistered, false, O::succeeded, false, 0, 0, 0},
        {S::enabled, false, O::succeeded, false, 0, 1, 0},
        {S::enabled, false, O::failed, true, 0, 1, 0},
        {S::enabled, true, O::succeeded, true, 0, 0, 0},
        {S::requiresApproval, true, O::succeeded, false, 0, 0, 1},
        {S::requiresApproval, false, O::succeeded, false, 0, 1, 0},
        {S::notFound, true, O::succeeded, true, 1, 0, 0},
        {S::notFound, false, O::succeeded, false, 0, 0, 0},
    };
    for (const auto& r : rows) {
        *item = FakeLoginItem{};
        item->current = r.status;
        item->outcome = r.outcome;
        const std::string row = toString(r.status).toStdString() + (r.desired ? " on" : " off");
        EXPECT_EQ(make().setEnabled(r.desired), r.shows) << row;
        EXPECT_EQ(item->registers, r.registers) << row;
        EXPECT_EQ(item->unregisters, r.unregisters) << row;
        EXPECT_EQ(item->reveals, r.reveals) << row;
    }
}

} // namespace
} // namespace sm
