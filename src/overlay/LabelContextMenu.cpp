#include "overlay/LabelContextMenu.h"

#include <QCoreApplication>

namespace sm::LabelContextMenu {

QList<MenuItem> build(bool isUserOwned, const QList<RestorableTitle>& restorable) {
    QList<MenuItem> items;
    items << MenuItem::action(Item::rename, QCoreApplication::translate("LabelContextMenu", "Rename…"));
    if (!restorable.isEmpty()) {
        QList<MenuItem> restoreItems;
        for (const auto& r : restorable)
            restoreItems << MenuItem::action(Item::restorePrefix + r.id.toString(QUuid::WithoutBraces), r.title);
        items << MenuItem::submenuOf(QCoreApplication::translate("LabelContextMenu", "Restore name"),
                                     restoreItems);
    }
    items << MenuItem::action(
        Item::toggleUserOwned,
        isUserOwned ? QCoreApplication::translate("LabelContextMenu", "Unlock (allow auto-naming)")
                    : QCoreApplication::translate("LabelContextMenu", "Lock (never auto-name)"));
    items << MenuItem::separator();
    items << MenuItem::action(Item::bigger, QCoreApplication::translate("LabelContextMenu", "Bigger"));
    items << MenuItem::action(Item::smaller, QCoreApplication::translate("LabelContextMenu", "Smaller"));
    items << MenuItem::action(Item::resetSize,
                              QCoreApplication::translate("LabelContextMenu", "Reset to Default Size"));
    items << MenuItem::separator();
    items << MenuItem::action(
        Item::removeDuplicates,
        QCoreApplication::translate("LabelContextMenu", "Remove duplicates on this desktop"));
    items << MenuItem::action(Item::deleteLabel,
                              QCoreApplication::translate("LabelContextMenu", "Delete this label"),
                              /*destructive=*/true);
    items << MenuItem::separator();
    items << MenuItem::action(Item::preferences,
                              QCoreApplication::translate("LabelContextMenu", "Preferences…"));
    return items;
}

std::optional<QUuid> restoreTarget(const QString& identifier) {
    if (!identifier.startsWith(Item::restorePrefix)) return std::nullopt;
    const QUuid id(identifier.mid(Item::restorePrefix.size()));
    if (id.isNull()) return std::nullopt;
    return id;
}

} // namespace sm::LabelContextMenu
