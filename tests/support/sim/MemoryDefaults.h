#pragma once

#include "platform/Defaults.h"

#include <QHash>
#include <QStringList>

namespace sm {

// In-memory defaults for tests. Records every write so tests can tell "saved" from "unchanged", and
// can be told to refuse writes to exercise a full or read-only disk.
class MemoryDefaults final : public Defaults {
public:
    std::optional<DefaultsValue> value(const QString& key) const override;
    bool setValue(const QString& key, const DefaultsValue& value) override;
    bool remove(const QString& key) override;
    void whenDurable(std::function<void(const QString& problem)> done) override;

    QStringList keys() const { return values_.keys(); }
    int writeCount(const QString& key) const { return writes_.value(key); }
    int totalWrites() const;
    void setFailWrites(bool fail) { failWrites_ = fail; }

private:
    QHash<QString, DefaultsValue> values_;
    QHash<QString, int> writes_;
    bool failWrites_ = false;
    bool lastWriteFailed_ = false;
};

} // namespace sm
