#pragma once

#include "platform/MainQueue.h"

#include <QObject>

namespace sm {

// The real main queue: QTimer on the Qt event loop, wall-clock time.
class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;

    Date now() const override;
    WorkHandle after(double seconds, std::function<void()> work) override;
    WorkHandle every(double seconds, std::function<void()> work) override;

private:
    QObject context_; // timers die with the queue
};

} // namespace sm
