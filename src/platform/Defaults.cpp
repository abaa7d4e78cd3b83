#include "platform/Defaults.h"

#include <cmath>

namespace sm {

bool Defaults::setValues(const QList<std::pair<QString, DefaultsValue>>& values) {
    bool ok = true;
    for (const auto& [key, v] : values)
        ok = setValue(key, v) && ok;
    return ok;
}

void Defaults::whenDurable(std::function<void(const QString& problem)> done) {
    done({});
}

std::optional<bool> Defaults::boolValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<bool>(*v)) return std::get<bool>(*v);
    return std::nullopt;
}

std::optional<qint64> Defaults::intValue(const QString& key) const {
    const auto v = value(key);
    if (!v) return std::nullopt;
    if (std::holds_alternative<qint64>(*v)) return std::get<qint64>(*v);
    if (std::holds_alternative<double>(*v)) {
        const double d = std::get<double>(*v);
        if (std::isfinite(d) && std::fabs(d) < 9.0e15) return static_cast<qint64>(d);
    }
    return std::nullopt;
}

std::optional<double> Defaults::doubleValue(const QString& key) const {
    const auto v = value(key);
    if (!v) return std::nullopt;
    if (std::holds_alternative<double>(*v)) return std::get<double>(*v);
    if (std::holds_alternative<qint64>(*v)) return static_cast<double>(std::get<qint64>(*v));
    return std::nullopt;
}

std::optional<QString> Defaults::stringValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<QString>(*v)) return std::get<QString>(*v);
    return std::nullopt;
}

std::optional<QByteArray> Defaults::dataValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<QByteArray>(*v)) return std::get<QByteArray>(*v);
    return std::nullopt;
}

} // namespace sm
