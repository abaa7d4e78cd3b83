#pragma once

#include "platform/Date.h"

#include <functional>
#include <memory>

namespace sm {

// A scheduled piece of work. Cancelling it guarantees it never runs (again); a repeating item stops.
class WorkItem {
public:
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }

private:
    bool cancelled_ = false;
};

using WorkHandle = std::shared_ptr<WorkItem>;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
};

// The main thread's queue: every delay in the program goes through here so that timing rules can run
// on virtual time in tests. Work always runs on the main thread, never re-entrantly from `after`.
class MainQueue : public Clock {
public:
    // Runs `work` once, `seconds` from now (0 or less: on the next turn of the loop).
    virtual WorkHandle after(double seconds, std::function<void()> work) = 0;
    // Runs `work` every `seconds` until the handle is cancelled. The first run is one interval away.
    virtual WorkHandle every(double seconds, std::function<void()> work) = 0;

    WorkHandle post(std::function<void()> work) { return after(0.0, std::move(work)); }
};

} // namespace sm
