#pragma once

#include "logging/Logger.h"
#include "model/SpaceTag.h"
#include "platform/MainQueue.h"

#include <QSet>
#include <QUuid>

#include <functional>
#include <memory>

namespace sm {

class TagStore;

// Finds the tags not seen for more than a week, once at start and then hourly, and reports them. It
// never removes anything: whoever owns the clean-up rule listens on onSweep.
class StaleTagSweeper {
public:
    static constexpr double kSweepIntervalSeconds = 3600.0;
    static constexpr double kStaleAgeSeconds = 604800.0; // 7 days

    // `logger` is the storage logger.
    StaleTagSweeper(std::weak_ptr<TagStore> tagStore, std::shared_ptr<MainQueue> queue, Logger logger);
    ~StaleTagSweeper();
    StaleTagSweeper(const StaleTagSweeper&) = delete;
    StaleTagSweeper& operator=(const StaleTagSweeper&) = delete;

    // Sweeps at once, then every hour until stop(). Starting again restarts the hourly rhythm.
    void start();
    void stop();
    void sweep();

    // Ids found stale by the last sweep.
    const QSet<QUuid>& staleTagIds() const { return staleTagIds_; }

    // Stale means last seen strictly more than seven days before `now`; tombstones and user-owned
    // tags included. The preferences window lists stale tags by the same rule.
    static bool isStale(const SpaceTag& tag, Date now) { return tag.lastSeenAt < now - kStaleAgeSeconds; }

    // Called at the end of every sweep, also when nothing is stale.
    std::function<void()> onSweep;

private:
    std::weak_ptr<TagStore> tagStore_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;
    WorkHandle timer_;
    QSet<QUuid> staleTagIds_;
};

} // namespace sm
