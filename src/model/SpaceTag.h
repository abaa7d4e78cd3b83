#pragma once

#include "platform/Date.h"

#include <QList>
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
    // Far more tags than any desktop holds, and far from int's end, so that counting on stays defined.
    static constexpr int kMaxDisplayIndex = 1'000'000;

    QUuid id;
    QString title;
    // Lower-left corner of the label's panel in screen points; none means the default position.
    std::optional<QPointF> position;
    // Ordinal among the tags of the same screen, in order of creation; 0 … kMaxDisplayIndex.
    int displayIndex = 0;
    std::optional<QString> screenIdentifier;
    Date lastSeenAt = 0.0;
    // Absent in old documents means the user owns the name, so nothing automatic touches it.
    bool isUserOwned = true;
    bool isTombstone = false;

    bool operator==(const SpaceTag&) const = default;
};

// The ordinal of a new tag on `screen`: one past the highest there (0 for the first), never past
// SpaceTag::kMaxDisplayIndex.
int nextDisplayIndex(const QList<SpaceTag>& tags, const std::optional<QString>& screen);

} // namespace sm
