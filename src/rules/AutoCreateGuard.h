#pragma once

#include "platform/Date.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <span>

namespace sm {

// Refuses an automatic creation that follows the previous one too closely, so a storm of desktop
// changes cannot mint a storm of tags. User commands are never throttled.
class ThrottleClock {
public:
    explicit ThrottleClock(double minInterval, Date lastTriggeredAt = kDistantPast)
        : m_minInterval(minInterval), m_lastTriggeredAt(lastTriggeredAt) {}

    double minInterval() const { return m_minInterval; }
    Date lastTriggeredAt() const { return m_lastTriggeredAt; }

    // Passing records `now` at once: a creation that later stops for another reason still counts.
    bool tryTrigger(Date now);

    // The ordinary log message for a refusal.
    QString refusalMessage() const;

private:
    double m_minInterval;
    Date m_lastTriggeredAt;
};

// Keeps the tags bound to one screen near a soft cap by naming the automatic, never-named,
// label-less tags that may be destroyed before one more is made.
namespace AutoCreateGuard {

inline constexpr int kSoftCap = 30;
inline constexpr double kStaleAfterSeconds = 600.0;
inline constexpr double kThrottleSeconds = 3.0;

struct EvictableTag {
    QUuid id;
    bool isUserOwned = false;
    bool isEmpty = false; // title empty after trimming
    bool hasLivePanel = false;
    Date lastSeenAt = kDistantPast;

    friend bool operator==(const EvictableTag&, const EvictableTag&) = default;
};

// Ids to destroy, in destruction order (stale ones first, then oldest first), before one more row is
// added. Titled, user-owned and live tags are never named.
QList<QUuid> evictionCandidates(std::span<const EvictableTag> rows, int softCap, Date now, double staleAfter);

// The "autoCreate SOFT-CAP exceeded ..." trace line when fewer tags could be evicted than the cap
// asks for; empty when the line is not due.
QString softCapExceededLine(qsizetype rowCount, qsizetype evictedCount, int softCap = kSoftCap);

// The trace line written for each evicted tag, before it is removed.
QString evictLine(const QUuid& id, double ageSeconds, int displayIndex, qsizetype rowsOnScreen);

} // namespace AutoCreateGuard

} // namespace sm
