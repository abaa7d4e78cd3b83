#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <variant>

namespace sm {

using DefaultsValue = std::variant<bool, qint64, double, QString, QByteArray>;

// The persistent key-value store behind every setting. Keys that were never written read as absent,
// which is different from false, 0 or an empty string. Writes return false when they could not be
// made durable; the value is still kept in memory for this run.
class Defaults {
public:
    virtual ~Defaults() = default;

    virtual std::optional<DefaultsValue> value(const QString& key) const = 0;
    virtual bool setValue(const QString& key, const DefaultsValue& value) = 0;
    virtual bool remove(const QString& key) = 0;
    // Several values as one change: a file-backed store replaces its file once, not once per key.
    // False when any of them could not be made durable.
    virtual bool setValues(const QList<std::pair<QString, DefaultsValue>>& values);

    // Calls `done` on this thread once every change made before the call is on disk (an empty string)
    // or is known not to be (the system's reason, such as "Permission denied"). A store that writes
    // before returning calls at once, with the outcome of its last write.
    virtual void whenDurable(std::function<void(const QString& problem)> done);

    bool contains(const QString& key) const { return value(key).has_value(); }

    // Typed reads. Numbers convert between integer and double; any other type mismatch reads as absent.
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<qint64> intValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;
};

} // namespace sm
