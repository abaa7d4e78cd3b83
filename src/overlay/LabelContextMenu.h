#pragma once

#include "platform/WindowServer.h"

#include <QList>
#include <QString>
#include <QUuid>

// The label's context menu as plain data: what the real menu renders and what the chosen item means.
namespace sm::LabelContextMenu {

struct RestorableTitle {
    QUuid id;
    QString title;
    bool operator==(const RestorableTitle&) const = default;
};

namespace Item {
inline const QString rename = QStringLiteral("rename");
inline const QString toggleUserOwned = QStringLiteral("toggle-user-owned");
inline const QString bigger = QStringLiteral("font-bigger");
inline const QString smaller = QStringLiteral("font-smaller");
inline const QString resetSize = QStringLiteral("font-reset");
inline const QString removeDuplicates = QStringLiteral("remove-duplicates");
inline const QString deleteLabel = QStringLiteral("delete-label");
inline const QString preferences = QStringLiteral("preferences");
// Restore items carry the orphan's id: "restore:<uuid>".
inline const QString restorePrefix = QStringLiteral("restore:");
} // namespace Item

// The items in order; the "Restore name" submenu only when something can be restored; one lock item,
// chosen by who owns the name; Preferences last, the way in on a desktop without a tray.
QList<MenuItem> build(bool isUserOwned, const QList<RestorableTitle>& restorable);

// The orphan id of a restore item, if `identifier` is one.
std::optional<QUuid> restoreTarget(const QString& identifier);

} // namespace sm::LabelContextMenu
