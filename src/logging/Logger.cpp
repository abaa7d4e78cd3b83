#include "logging/Logger.h"

namespace sm {

void Logger::traceLine(const QString& message) const {
    if (!tracing_) return;
    write(LogLevel::Default, QStringLiteral("TRACE ") + message);
    traceLog_->appendLine(message);
}

} // namespace sm
