#pragma once

#include "platform/LoginItem.h"

namespace sm::test {

// A login item whose answers the test sets; register/unregister move it to the given status.
struct FakeLoginItem final : LoginItemControlling {
    LoginItemStatus current = LoginItemStatus::notRegistered;
    LoginItemCallOutcome outcome = LoginItemCallOutcome::succeeded;
    LoginItemStatus afterRegister = LoginItemStatus::enabled;
    LoginItemStatus afterUnregister = LoginItemStatus::notRegistered;
    int registers = 0, unregisters = 0, reveals = 0;

    LoginItemStatus status() const override { return current; }
    LoginItemCallOutcome registerItem() override { return ++registers, answer(afterRegister); }
    LoginItemCallOutcome unregisterItem() override { return ++unregisters, answer(afterUnregister); }
    void openSettings() override { ++reveals; }

private:
    LoginItemCallOutcome answer(LoginItemStatus to) {
        if (outcome == LoginItemCallOutcome::succeeded) current = to;
        return outcome;
    }
};

} // namespace sm::test
