#pragma once

#include "logging/TraceLog.h"
#include "logging/SystemLog.h"

#include <memory>

namespace sm {

// One category logger ("app", "tracker", "overlay", "storage"). Carries both the ordinary log
// messages and the trace lines of its category. Cheap to copy; services keep one by value.
class Logger {
public:
    Logger() = default;
    Logger(LogCategory category, std::shared_ptr<SystemLog> systemLog, std::shared_ptr<TraceLog> traceLog)
        : category_(category), systemLog_(std::move(systemLog)), traceLog_(std::move(traceLog)),
          tracing_(traceLog_ && traceLog_->isEnabled()) {}

    bool isTracing() const { return tracing_; }
    LogCategory category() const { return category_; }

    // Use SM_TRACE rather than calling this directly: the macro skips building the message.
    void traceLine(const QString& message) const;

    void debug(const QString& message) const { write(LogLevel::Debug, message); }
    void info(const QString& message) const { write(LogLevel::Info, message); }
    void notice(const QString& message) const { write(LogLevel::Default, message); }
    void error(const QString& message) const { write(LogLevel::Error, message); }
    void fault(const QString& message) const { write(LogLevel::Fault, message); }

private:
    void write(LogLevel level, const QString& message) const {
        if (systemLog_) systemLog_->write(category_, level, message);
    }

    LogCategory category_ = LogCategory::App;
    std::shared_ptr<SystemLog> systemLog_;
    std::shared_ptr<TraceLog> traceLog_;
    bool tracing_ = false;
};

// The four category loggers, made once by the composition root and handed to each service.
struct Loggers {
    Logger app;
    Logger tracker;
    Logger overlay;
    Logger storage;

    static Loggers make(const std::shared_ptr<SystemLog>& systemLog, const std::shared_ptr<TraceLog>& traceLog) {
        return Loggers{Logger(LogCategory::App, systemLog, traceLog),
                       Logger(LogCategory::Tracker, systemLog, traceLog),
                       Logger(LogCategory::Overlay, systemLog, traceLog),
                       Logger(LogCategory::Storage, systemLog, traceLog)};
    }
};

} // namespace sm

// Records one trace line. `message` is evaluated only when tracing is on, so a disabled trace costs
// one boolean test however expensive the message is to build.
#define SM_TRACE(logger, message)                                                                            \
    do {                                                                                                     \
        if ((logger).isTracing()) (logger).traceLine(message);                                               \
    } while (false)
