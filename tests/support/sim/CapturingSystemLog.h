#pragma once

#include "logging/SystemLog.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace sm {

// Keeps every message so tests can assert on log and trace lines.
class CapturingSystemLog final : public SystemLog {
public:
    struct Entry {
        LogCategory category;
        LogLevel level;
        QString message;
    };

    void write(LogCategory category, LogLevel level, const QString& message) override {
        entries.push_back({category, level, message});
    }

    // Messages of one category (all categories when none is given), in order.
    QStringList messages(std::optional<LogCategory> category = std::nullopt) const {
        QStringList out;
        for (const auto& e : entries)
            if (!category || e.category == *category) out << e.message;
        return out;
    }
    // Trace lines with their "TRACE " prefix removed, in order.
    QStringList traces() const {
        QStringList out;
        for (const auto& e : entries)
            if (e.message.startsWith(QLatin1String("TRACE "))) out << e.message.mid(6);
        return out;
    }
    void clear() { entries.clear(); }

    std::vector<Entry> entries;
};

} // namespace sm
