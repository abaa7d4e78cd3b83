#include "overlay/LabelContextMenu.h"

namespace sm::LabelContextMenu {

QList<MenuItem> build(bool isUserOwned, const QList<RestorableTitle>& restorable) {
    QList<MenuItem> items;
    items << MenuItem::action(Item::rename, QStringLiteral("Rename…"));
    if (!restorable.isEmpty()) {
        QList<MenuItem> restoreItems;
        for (const auto& r : restorable)
            restoreItems << MenuItem::action(Item::restorePrefix + r.id.toString(QUuid::WithoutBraces), r.title);
        items << MenuItem::submenuOf(QStringLiteral("Restore name"), restoreItems);
    }
    items << MenuItem::action(Item::toggleUserOwned, isUserOwned ? QStringLiteral("Unlock (allow auto-naming)")
                                                                 : QStringLiteral("Lock (never auto-name)"));
    items << MenuItem::separator();
    items << MenuItem::action(Item::bigger, QStringLiteral("Bigger"));
    items << MenuItem::action(Item::smaller, QStringLiteral("Smaller"));
    items << MenuItem::action(Item::resetSize, QStringLiteral("Reset to Default Size"));
    items << MenuItem::separator();
    items << MenuItem::action(Item::removeDuplicates, QStringLiteral("Remove duplicates on this desktop"));
    items << MenuItem::action(Item::deleteLabel, QStringLiteral("Delete this label"), /*destructive=*/true);
    items << MenuItem::separator();
    items << MenuItem::action(Item::preferences, QStringLiteral("Preferences…"));
    return items;
}

std::optional<QUuid> restoreTarget(const QString& identifier) {
    if (!identifier.startsWith(Item::restorePrefix)) return std::nullopt;
    const QUuid id(identifier.mid(Item::restorePrefix.size()));
    if (id.isNull()) return std::nullopt;
    return id;
}

} // namespace sm::LabelContextMenu
