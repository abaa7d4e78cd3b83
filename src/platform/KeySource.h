#pragma once

#include <QString>

#include <functional>

namespace sm {

// System-wide keyboard modifiers, as far as the key monitor needs them: whether a Ctrl key is held.
// A source may report the same state several times in a row (other keys, repeated raw events); the
// consumer keeps the last state and reacts to changes only.
class KeySource {
public:
    virtual ~KeySource() = default;
    // Starts reporting; `onCtrlState` runs on the main thread. A second start replaces the callback.
    virtual void start(std::function<void(bool ctrlDown)> onCtrlState) = 0;
    // No report arrives after this returns.
    virtual void stop() = 0;
    // Empty when Ctrl is seen whichever window has the keyboard; otherwise why it cannot be, for the
    // log and the preferences.
    virtual QString unavailableReason() const { return {}; }
};

} // namespace sm
