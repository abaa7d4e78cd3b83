#pragma once

#include <QString>

namespace sm {

inline constexpr const char* kLogSubsystem = "com.quillfern.spacemarquee";

enum class LogCategory { App, Tracker, Overlay, Storage };
enum class LogLevel { Debug, Info, Default, Error, Fault };

inline const char* categoryName(LogCategory category) {
    switch (category) {
    case LogCategory::App: return "app";
    case LogCategory::Tracker: return "tracker";
    case LogCategory::Overlay: return "overlay";
    case LogCategory::Storage: return "storage";
    }
    return "app";
}

// The system's own log (journald on Linux). Messages are public text: nothing is redacted.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(LogCategory category, LogLevel level, const QString& message) = 0;
};

} // namespace sm
