#pragma once

#include "platform/KeySource.h"

namespace sm {

// A session in which this program cannot watch Ctrl: nothing is ever reported, and it says why.
class UnavailableKeySource final : public KeySource {
public:
    explicit UnavailableKeySource(QString reason) : reason_(std::move(reason)) {}
    void start(std::function<void(bool)>) override {}
    void stop() override {}
    QString unavailableReason() const override { return reason_; }

private:
    QString reason_;
};

} // namespace sm
