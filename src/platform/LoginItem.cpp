#include "platform/LoginItem.h"

namespace sm {

QString toString(LoginItemStatus status) {
    switch (status) {
    case LoginItemStatus::enabled:
        return QStringLiteral("enabled");
    case LoginItemStatus::notRegistered:
        return QStringLiteral("notRegistered");
    case LoginItemStatus::requiresApproval:
        return QStringLiteral("requiresApproval");
    case LoginItemStatus::notFound:
        return QStringLiteral("notFound");
    }
    return QStringLiteral("notRegistered");
}

QString toString(LoginItemOperation operation) {
    return operation == LoginItemOperation::registerItem ? QStringLiteral("register")
                                                         : QStringLiteral("unregister");
}

QString toString(LoginItemCallOutcome outcome) {
    switch (outcome) {
    case LoginItemCallOutcome::succeeded:
        return QStringLiteral("succeeded");
    case LoginItemCallOutcome::deniedByUser:
        return QStringLiteral("deniedByUser");
    case LoginItemCallOutcome::failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("failed");
}

} // namespace sm
