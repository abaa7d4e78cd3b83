#include "support/sim/ManualMainQueue.h"

#include <algorithm>

namespace sm {

WorkHandle ManualMainQueue::schedule(double delay, double interval, std::function<void()> work) {
    auto handle = std::make_shared<WorkItem>();
    entries_.push_back(Entry{now_ + std::max(0.0, delay), nextSequence_++, interval, handle, std::move(work)});
    return handle;
}

WorkHandle ManualMainQueue::after(double seconds, std::function<void()> work) {
    return schedule(seconds, 0.0, std::move(work));
}

WorkHandle ManualMainQueue::every(double seconds, std::function<void()> work) {
    // A zero interval would spin forever inside advance().
    const double interval = std::max(seconds, 1e-3);
    return schedule(interval, interval, std::move(work));
}

void ManualMainQueue::advance(double seconds) {
    const Date target = now_ + std::max(0.0, seconds);
    for (;;) {
        std::erase_if(entries_, [](const Entry& e) { return e.handle->isCancelled(); });
        auto next = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
        if (next == entries_.end() || next->due > target) break;
        Entry entry = std::move(*next);
        entries_.erase(next);
        now_ = std::max(now_, entry.due);
        if (entry.interval > 0.0) {
            // Re-arm before running so the work may cancel its own handle.
            entries_.push_back(
                Entry{entry.due + entry.interval, nextSequence_++, entry.interval, entry.handle, entry.work});
        }
        entry.work();
    }
    now_ = target;
}

std::size_t ManualMainQueue::pendingCount() const {
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.handle->isCancelled(); }));
}

} // namespace sm
