#pragma once

#include "platform/Date.h"

#include <QPointF>
#include <QString>
#include <QUuid>

#include <optional>

namespace sm {

// The stored and logged form of an identifier: 36 upper-case characters, no braces.
QString uuidText(const QUuid& id);

// One named desktop. Identity is `id`; equality is member-wise over all eight fields (positions compare
// as QPointF does, which forgives differences below about 1e-12).
struct SpaceTag {
    QUuid id;
    QString title;
    // Lower-left corner of the label's panel in screen points; none means the default position.
    std::optional<QPointF> position;
    // Ordinal among the tags of the same screen, in order of creation.
    int displayIndex = 0;
    std::optional<QString> screenIdentifier;
    Date lastSeenAt = 0.0;
    // Absent in old documents means the user owns the name, so nothing automatic touches it.
    bool isUserOwned = true;
    bool isTombstone = false;

    bool operator==(const SpaceTag&) const = default;
};

} // namespace sm
