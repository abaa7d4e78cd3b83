#include "diagnostics/TraceLog.h"

namespace sm {

TraceLog::TraceLog(const Defaults& defaults, Options options) : options_(std::move(options)) {
    enabled_ = defaults.boolValue(kEnabledKey).value_or(false);
}

std::shared_ptr<TraceLog> TraceLog::memoryOnly(bool enabled) {
    struct Fixed final : Defaults {
        bool on;
        explicit Fixed(bool e) : on(e) {}
        std::optional<DefaultsValue> value(const QString&) const override { return DefaultsValue(on); }
        bool setValue(const QString&, const DefaultsValue&) override { return false; }
        bool remove(const QString&) override { return false; }
    };
    return std::make_shared<TraceLog>(Fixed(enabled), Options{});
}

void TraceLog::appendLine(const QString&) {}
void TraceLog::beginSession(const QString&) {}
QStringList TraceLog::traceLogFiles() const { return {}; }
QString TraceLog::traceFilePath() const { return {}; }

} // namespace sm
