#pragma once

#include "model/SpaceTag.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace sm::ReassignTags {

// One row of the reassign sheet.
struct Row {
    QUuid id;
    QString number; // "#<displayIndex + 1>": the stored ordinal, not the row's position
    QString title;

    bool operator==(const Row&) const = default;
};

// Every tag but the tombstones (they have no name to fix), ordered by displayIndex; equal indices keep
// their stored order.
QList<Row> rows(const QList<SpaceTag>& tags);

} // namespace sm::ReassignTags
