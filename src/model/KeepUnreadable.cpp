#include "model/KeepUnreadable.h"

namespace sm {

void keepUnreadableCopy(Defaults& defaults, const Clock& clock, const Logger& logger, const QString& key,
                        const DefaultsValue& stored, const QString& problem) {
    // Unchanged since the last launch's copy: one copy is enough, don't add one per launch.
    const QString lastCopyKey = key + QStringLiteral(".unreadableCopy");
    if (const auto lastCopy = defaults.stringValue(lastCopyKey);
        lastCopy && defaults.value(*lastCopy) == stored) {
        logger.error(problem + QStringLiteral("; the data is already kept under ") + *lastCopy);
        return;
    }

    const QString base = key + QStringLiteral(".unreadable-") +
                         dateTimeFromDate(clock.now()).toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copyKey = base;
    for (int n = 2; defaults.contains(copyKey) && n < 100; ++n)
        copyKey = base + QLatin1Char('-') + QString::number(n);

    if (!defaults.setValue(copyKey, stored)) {
        logger.error(problem + QStringLiteral("; could not keep a copy of the data"));
        return;
    }
    defaults.setValue(lastCopyKey, copyKey);
    logger.error(problem + QStringLiteral("; the data is kept under ") + copyKey);
}

} // namespace sm
