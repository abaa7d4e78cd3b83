#pragma once

#include "logging/Logger.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"

#include <QString>

namespace sm {

// The next save would overwrite the only copy of what the user stored, so an unreadable value is
// copied aside under "<key>.unreadable-<yyyyMMdd-HHmmss UTC>" first, once per distinct value; the
// original key is left as it is until that save. `problem` is logged with where the copy went.
void keepUnreadableCopy(Defaults& defaults, const Clock& clock, const Logger& logger, const QString& key,
                        const DefaultsValue& stored, const QString& problem);

} // namespace sm
