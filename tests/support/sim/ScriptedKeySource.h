#pragma once

#include "platform/KeySource.h"

namespace sm {

// A key source driven by the test. Modifier presses other than Ctrl report the unchanged Ctrl state,
// as the real source does for Shift or Alt.
class ScriptedKeySource final : public KeySource {
public:
    void start(std::function<void(bool)> onCtrlState) override { callback_ = std::move(onCtrlState); }
    void stop() override { callback_ = nullptr; }

    void pressCtrl() { set(true); }
    void releaseCtrl() { set(false); }
    void otherModifier() { report(); }
    bool isStarted() const { return static_cast<bool>(callback_); }

private:
    void set(bool down) {
        ctrl_ = down;
        report();
    }
    void report() {
        if (callback_) callback_(ctrl_);
    }

    std::function<void(bool)> callback_;
    bool ctrl_ = false;
};

} // namespace sm
