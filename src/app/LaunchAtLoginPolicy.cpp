#include "app/LaunchAtLoginPolicy.h"

namespace sm {

namespace LaunchAtLoginPolicy {

LaunchAction launchAction(LoginItemStatus status, bool bootstrapped) {
    const bool absent = status == LoginItemStatus::notRegistered || status == LoginItemStatus::notFound;
    return !bootstrapped && absent ? LaunchAction::registerAsDefault : LaunchAction::doNothing;
}

ToggleAction toggleAction(bool desired, LoginItemStatus status) {
    switch (status) {
    case LoginItemStatus::enabled:
        return desired ? ToggleAction::doNothing : ToggleAction::unregisterItem;
    case LoginItemStatus::notRegistered:
    case LoginItemStatus::notFound:
        return desired ? ToggleAction::registerItem : ToggleAction::doNothing;
    // Switched off by the user in the desktop's own settings: only they can switch it back on there.
    case LoginItemStatus::requiresApproval:
        return desired ? ToggleAction::revealInSystemSettings : ToggleAction::unregisterItem;
    }
    return ToggleAction::doNothing;
}

QString toString(LaunchAction action) {
    return action == LaunchAction::registerAsDefault ? QStringLiteral("registerAsDefault")
                                                     : QStringLiteral("doNothing");
}

QString toString(ToggleAction action) {
    switch (action) {
    case ToggleAction::registerItem:
        return QStringLiteral("register");
    case ToggleAction::unregisterItem:
        return QStringLiteral("unregister");
    case ToggleAction::revealInSystemSettings:
        return QStringLiteral("revealInSystemSettings");
    case ToggleAction::doNothing:
        return QStringLiteral("doNothing");
    }
    return QStringLiteral("doNothing");
}

} // namespace LaunchAtLoginPolicy
} // namespace sm
