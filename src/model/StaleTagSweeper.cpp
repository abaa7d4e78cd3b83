#include "model/StaleTagSweeper.h"

#include "model/TagStore.h"

namespace sm {

StaleTagSweeper::StaleTagSweeper(std::weak_ptr<TagStore> tagStore, std::shared_ptr<MainQueue> queue,
                                 Logger logger)
    : tagStore_(std::move(tagStore)), queue_(std::move(queue)), logger_(std::move(logger)) {}

// The timer's work refers to this sweeper; cancelling it here means it can never run after we are gone.
StaleTagSweeper::~StaleTagSweeper() {
    stop();
}

void StaleTagSweeper::start() {
    stop();
    sweep();
    timer_ = queue_->every(kSweepIntervalSeconds, [this] { sweep(); });
}

void StaleTagSweeper::stop() {
    if (timer_) timer_->cancel();
    timer_.reset();
}

void StaleTagSweeper::sweep() {
    const auto store = tagStore_.lock();
    if (!store) return;
    const Date now = queue_->now();
    QSet<QUuid> stale;
    qsizetype count = 0; // tags, not ids: two tags sharing an id count twice
    for (const auto& tag : store->tags()) {
        if (!isStale(tag, now)) continue;
        stale.insert(tag.id);
        ++count;
    }
    staleTagIds_ = std::move(stale);
    if (count > 0) logger_.info(QStringLiteral("Stale sweep: %1 tag(s) older than 7 days").arg(count));
    if (onSweep) onSweep();
}

} // namespace sm
