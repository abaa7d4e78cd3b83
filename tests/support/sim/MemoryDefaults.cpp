#include "support/sim/MemoryDefaults.h"

namespace sm {

std::optional<DefaultsValue> MemoryDefaults::value(const QString& key) const {
    const auto it = values_.constFind(key);
    if (it == values_.constEnd()) return std::nullopt;
    return *it;
}

bool MemoryDefaults::setValue(const QString& key, const DefaultsValue& value) {
    lastWriteFailed_ = failWrites_;
    if (failWrites_) return false;
    values_.insert(key, value);
    writes_[key] += 1;
    return true;
}

bool MemoryDefaults::remove(const QString& key) {
    lastWriteFailed_ = failWrites_;
    if (failWrites_) return false;
    values_.remove(key);
    writes_[key] += 1;
    return true;
}

void MemoryDefaults::whenDurable(std::function<void(const QString& problem)> done) {
    done(lastWriteFailed_ ? QStringLiteral("No space left on device") : QString());
}

int MemoryDefaults::totalWrites() const {
    int total = 0;
    for (int n : writes_) total += n;
    return total;
}

} // namespace sm
