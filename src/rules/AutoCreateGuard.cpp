#include "rules/AutoCreateGuard.h"

#include "rules/ShortId.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sm {

bool ThrottleClock::tryTrigger(Date now) {
    if (now - m_lastTriggeredAt < m_minInterval) return false;
    m_lastTriggeredAt = now;
    return true;
}

QString ThrottleClock::refusalMessage() const {
    return QStringLiteral("Throttle: skipping auto-create (within %1s of last)")
        .arg(m_minInterval, 0, 'f', 6);
}

namespace AutoCreateGuard {

QList<QUuid> evictionCandidates(std::span<const EvictableTag> rows, int softCap, Date now,
                                double staleAfter) {
    // The row about to be added counts too.
    const qsizetype excess = static_cast<qsizetype>(rows.size()) + 1 - softCap;
    if (excess < 1) return {};

    std::vector<const EvictableTag*> evictable;
    for (const EvictableTag& row : rows)
        if (!row.isUserOwned && row.isEmpty && !row.hasLivePanel) evictable.push_back(&row);

    // A NaN date would break the sort's ordering; such a row is treated as never seen.
    auto seenAt = [](const EvictableTag* row) {
        return std::isnan(row->lastSeenAt) ? kDistantPast : row->lastSeenAt;
    };
    auto isStale = [&](const EvictableTag* row) { return now - seenAt(row) > staleAfter; };
    std::stable_sort(evictable.begin(), evictable.end(), [&](const EvictableTag* a, const EvictableTag* b) {
        const bool aStale = isStale(a);
        const bool bStale = isStale(b);
        if (aStale != bStale) return aStale;
        return seenAt(a) < seenAt(b);
    });

    QList<QUuid> ids;
    const qsizetype take = std::min(excess, static_cast<qsizetype>(evictable.size()));
    ids.reserve(take);
    for (qsizetype i = 0; i < take; ++i)
        ids.append(evictable[static_cast<size_t>(i)]->id);
    return ids;
}

QString softCapExceededLine(qsizetype rowCount, qsizetype evictedCount, int softCap) {
    const qsizetype wanted = rowCount + 1 - softCap;
    if (wanted < 1 || evictedCount >= wanted) return {};
    return QStringLiteral("autoCreate SOFT-CAP exceeded rows=%1 evictable=%2/%3 "
                          "(titled/owned/live tags are never destroyed)")
        .arg(rowCount)
        .arg(evictedCount)
        .arg(wanted);
}

QString evictLine(const QUuid& id, double ageSeconds, int displayIndex, qsizetype rowsOnScreen) {
    return QStringLiteral(
               "autoCreate EVICT id=%1 ageSec=%2 displayIndex=%3 (self-cleaning, was %4 on screen)")
        .arg(shortId(id))
        .arg(std::isfinite(ageSeconds) ? static_cast<qint64>(std::trunc(ageSeconds)) : 0)
        .arg(displayIndex)
        .arg(rowsOnScreen);
}

} // namespace AutoCreateGuard

} // namespace sm
