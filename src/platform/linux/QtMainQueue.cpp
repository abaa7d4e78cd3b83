#include "platform/linux/QtMainQueue.h"

#include <QTimer>

#include <chrono>
#include <cmath>

namespace sm {

namespace {
int toMilliseconds(double seconds) {
    if (!(seconds > 0.0)) return 0;
    return static_cast<int>(std::min(std::ceil(seconds * 1000.0), 2.0e9));
}
} // namespace

QtMainQueue::QtMainQueue() = default;
QtMainQueue::~QtMainQueue() = default;

Date QtMainQueue::now() const {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return dateFromUnixSeconds(static_cast<double>(us) / 1.0e6);
}

WorkHandle QtMainQueue::after(double seconds, std::function<void()> work) {
    auto handle = std::make_shared<WorkItem>();
    QTimer::singleShot(toMilliseconds(seconds), Qt::PreciseTimer, &context_,
                       [handle, work = std::move(work)] {
                           if (!handle->isCancelled()) work();
                       });
    return handle;
}

WorkHandle QtMainQueue::every(double seconds, std::function<void()> work) {
    auto handle = std::make_shared<WorkItem>();
    auto* timer = new QTimer(&context_);
    timer->setInterval(std::max(1, toMilliseconds(seconds)));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, handle, work = std::move(work)] {
        if (handle->isCancelled()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        work();
    });
    timer->start();
    return handle;
}

} // namespace sm
