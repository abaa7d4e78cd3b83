#pragma once

#include "platform/Date.h"
#include "platform/WindowServer.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QUuid>

#include <functional>
#include <optional>

namespace sm {

// Which remembered labels come back at launch, and on which desktop. One label per desktop and
// screen: of several tags remembered for one desktop the most recently seen wins; the others, and
// those whose desktop is gone, are left without a label (a titled one stays restorable by hand).
namespace PlaceRestorePolicy {

struct Candidate {
    QUuid tagId;
    DesktopPlace remembered;
    Date lastSeenAt = 0.0;
};

struct Decision {
    QList<std::pair<QUuid, DesktopPlace>> restore; // in candidate order
    QList<QUuid> desktopGone;
    QList<QUuid> outranked;
};

// `locate` says where a remembered place is today (none: gone).
Decision decide(const QList<Candidate>& candidates,
                const std::function<std::optional<DesktopPlace>(const DesktopPlace&)>& locate);

// The stored form: {"version":1,"places":[{"tag":"<UUID>","screen":"...","desktop":N,"name":"..."}]}.
// Unreadable input gives none; entries that make no sense are dropped one by one.
QByteArray encode(const QHash<QUuid, DesktopPlace>& places);
std::optional<QHash<QUuid, DesktopPlace>> decode(const QByteArray& json);

} // namespace PlaceRestorePolicy
} // namespace sm
