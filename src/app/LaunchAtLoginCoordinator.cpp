#include "app/LaunchAtLoginCoordinator.h"

#include "logging/TraceFormat.h"

namespace sm {

using namespace LaunchAtLoginPolicy;
using tracefmt::boolean;

LaunchAtLoginCoordinator::LaunchAtLoginCoordinator(std::shared_ptr<LoginItemControlling> controller,
                                                   std::shared_ptr<Defaults> defaults,
                                                   bool autoRegisterAllowed, Logger logger)
    : controller_(std::move(controller)), defaults_(std::move(defaults)),
      autoRegisterAllowed_(autoRegisterAllowed), logger_(std::move(logger)) {}

void LaunchAtLoginCoordinator::bootstrap() {
    const bool bootstrapped = defaults_->boolValue(kBootstrappedKey).value_or(false);
    const LoginItemStatus status = controller_->status();
    const LaunchAction action = launchAction(status, bootstrapped);
    SM_TRACE(logger_,
             QStringLiteral("launchAtLogin bootstrap status=%1 bootstrapped=%2 defaultOn=true action=%3")
                 .arg(toString(status), boolean(bootstrapped), toString(action)));
    if (action == LaunchAction::registerAsDefault) {
        const LoginItemCallOutcome outcome = controller_->registerItem();
        SM_TRACE(logger_, QStringLiteral("launchAtLogin bootstrap register outcome=%1 status=%2")
                              .arg(toString(outcome), toString(controller_->status())));
    }
    // Set whatever the outcome: a refused registration is not retried, and a user who later turns
    // the item off keeps it off.
    if (!bootstrapped) {
        defaults_->setValue(kBootstrappedKey, true);
        SM_TRACE(logger_, QStringLiteral("launchAtLogin bootstrap marker SET key=") + kBootstrappedKey);
    }
}

bool LaunchAtLoginCoordinator::setEnabled(bool desired) {
    const LoginItemStatus status = controller_->status();
    const ToggleAction action = toggleAction(desired, status);
    SM_TRACE(logger_, QStringLiteral("launchAtLogin toggle desired=%1 status=%2 action=%3")
                          .arg(boolean(desired), toString(status), toString(action)));
    bool shows = false;
    switch (action) {
    case ToggleAction::registerItem:
        shows = controller_->registerItem() == LoginItemCallOutcome::succeeded ||
                controller_->status() == LoginItemStatus::enabled;
        break;
    case ToggleAction::unregisterItem:
        shows = controller_->unregisterItem() != LoginItemCallOutcome::succeeded &&
                controller_->status() == LoginItemStatus::enabled;
        break;
    case ToggleAction::revealInSystemSettings:
        SM_TRACE(logger_, QStringLiteral("launchAtLogin reveal system-settings status=") + toString(status));
        controller_->openSettings();
        shows = controller_->status() == LoginItemStatus::enabled;
        break;
    case ToggleAction::doNothing:
        shows = status == LoginItemStatus::enabled;
        break;
    }
    SM_TRACE(logger_, QStringLiteral("launchAtLogin toggle RESULT desired=%1 shows=%2 status=%3")
                          .arg(boolean(desired), boolean(shows), toString(controller_->status())));
    return shows;
}

} // namespace sm
