#pragma once

#include "platform/MainQueue.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sm {

// Virtual time for tests. Nothing runs until the test advances the clock; due work then runs in time
// order, ties in the order it was scheduled, including work scheduled while advancing.
class ManualMainQueue final : public MainQueue {
public:
    explicit ManualMainQueue(Date start = 800000000.0) : now_(start) {}

    Date now() const override { return now_; }
    WorkHandle after(double seconds, std::function<void()> work) override;
    WorkHandle every(double seconds, std::function<void()> work) override;

    // Moves virtual time forward by `seconds`, running everything that falls due on the way.
    void advance(double seconds);
    // Runs whatever is due now (zero-delay posts) without moving time.
    void drain() { advance(0.0); }
    // Number of scheduled, uncancelled items.
    std::size_t pendingCount() const;

private:
    struct Entry {
        Date due;
        std::uint64_t sequence;
        double interval; // 0 for one-shot work
        WorkHandle handle;
        std::function<void()> work;
    };
    WorkHandle schedule(double delay, double interval, std::function<void()> work);

    Date now_;
    std::uint64_t nextSequence_ = 0;
    std::vector<Entry> entries_;
};

} // namespace sm
