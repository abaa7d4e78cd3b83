#pragma once

#include "platform/KeySource.h"
#include "platform/MainQueue.h"

#include <functional>
#include <memory>

namespace sm {

// Watches the Ctrl key system-wide and reports each change of its state once, always later on the
// main queue, so the overlay is never touched from inside the key source's event handling.
class KeyMonitor {
public:
    KeyMonitor(std::shared_ptr<KeySource> source, std::shared_ptr<MainQueue> queue);
    ~KeyMonitor();
    KeyMonitor(const KeyMonitor&) = delete;
    KeyMonitor& operator=(const KeyMonitor&) = delete;

    void start();
    // No callback runs after this returns, not even one already queued.
    void stop();

    bool isCtrlDown() const { return isCtrlDown_; }

    std::function<void(bool)> onCtrlChange;

private:
    void handle(bool down);

    std::shared_ptr<KeySource> source_;
    std::shared_ptr<MainQueue> queue_;
    // Shared with queued deliveries; cleared by stop() so they find the monitor gone.
    std::shared_ptr<KeyMonitor*> self_;
    bool isCtrlDown_ = false;
};

} // namespace sm
