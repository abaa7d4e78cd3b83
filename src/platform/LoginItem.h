#pragma once

#include <QString>

namespace sm {

// What the desktop will do with the program at the next login.
enum class LoginItemStatus { enabled, notRegistered, requiresApproval, notFound };
enum class LoginItemOperation { registerItem, unregisterItem };
enum class LoginItemCallOutcome { succeeded, deniedByUser, failed };

QString toString(LoginItemStatus status);
QString toString(LoginItemOperation operation);
QString toString(LoginItemCallOutcome outcome);

// The login item as the desktop holds it. Calls never throw: a refusal comes back as an outcome.
class LoginItemControlling {
public:
    virtual ~LoginItemControlling() = default;
    virtual LoginItemStatus status() const = 0;
    virtual LoginItemCallOutcome registerItem() = 0;
    virtual LoginItemCallOutcome unregisterItem() = 0;
    // Shows the user where login items are switched on and off.
    virtual void openSettings() = 0;
};

} // namespace sm
