#pragma once

#include "app/LaunchAtLoginPolicy.h"
#include "platform/LoginItem.h"
#include "logging/Logger.h"
#include "platform/Defaults.h"

#include <memory>

namespace sm {

// Applies the launch-at-login policy: once, at the first launch, and whenever the user flips the
// preference. Keeps no state of its own: the desktop's autostart entry is the truth.
class LaunchAtLoginCoordinator {
public:
    static inline const QString kBootstrappedKey = QStringLiteral("Spacemarquee.LaunchAtLoginBootstrapped");

    // `logger` is the app logger.
    LaunchAtLoginCoordinator(std::shared_ptr<LoginItemControlling> controller,
                             std::shared_ptr<Defaults> defaults, bool autoRegisterAllowed, Logger logger);

    void bootstrap();
    // Returns what the preference's checkbox must show afterwards.
    bool setEnabled(bool desired);
    LoginItemStatus status() const { return controller_->status(); }

private:
    const std::shared_ptr<LoginItemControlling> controller_;
    const std::shared_ptr<Defaults> defaults_;
    const bool autoRegisterAllowed_;
    Logger logger_;
};

} // namespace sm
