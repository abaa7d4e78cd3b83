#include "overlay/KeyMonitor.h"

namespace sm {

KeyMonitor::KeyMonitor(std::shared_ptr<KeySource> source, std::shared_ptr<MainQueue> queue)
    : source_(std::move(source)), queue_(std::move(queue)) {}

KeyMonitor::~KeyMonitor() { stop(); }

void KeyMonitor::start() {
    if (self_ || !source_) return;
    self_ = std::make_shared<KeyMonitor*>(this);
    std::weak_ptr<KeyMonitor*> weak = self_;
    source_->start([weak](bool down) {
        if (auto self = weak.lock(); self && *self) (*self)->handle(down);
    });
}

void KeyMonitor::stop() {
    if (!self_) return;
    *self_ = nullptr;
    self_.reset();
    if (source_) source_->stop();
}

void KeyMonitor::handle(bool down) {
    if (down == isCtrlDown_) return; // Shift, Alt and repeats leave Ctrl as it was
    isCtrlDown_ = down;
    std::weak_ptr<KeyMonitor*> weak = self_;
    queue_->post([weak, down] {
        const auto self = weak.lock();
        if (!self || !*self) return;
        if ((*self)->onCtrlChange) (*self)->onCtrlChange(down);
    });
}

} // namespace sm
