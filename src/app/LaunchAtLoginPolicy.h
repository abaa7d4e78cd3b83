#pragma once

#include "platform/LoginItem.h"

namespace sm::LaunchAtLoginPolicy {

enum class LaunchAction { doNothing, registerAsDefault };
enum class ToggleAction { registerItem, unregisterItem, revealInSystemSettings, doNothing };

// First launch only: an item the user never had is switched on by default.
LaunchAction launchAction(LoginItemStatus status, bool bootstrapped);
// What turning the checkbox to `desired` does, given what the desktop holds now.
ToggleAction toggleAction(bool desired, LoginItemStatus status);

QString toString(LaunchAction action);
QString toString(ToggleAction action);

} // namespace sm::LaunchAtLoginPolicy
