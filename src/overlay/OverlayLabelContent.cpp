// What a label shows and what its view reports back: clicks, sizes and context-menu choices.
#include "overlay/OverlayManager.h"

#include <QCoreApplication>

namespace sm {

QString OverlayManager::emptyPlaceholder(const QList<SpaceTag>& tags) {
    for (const auto& t : tags)
        if (t.isUserOwned && !t.isTombstone && !t.title.trimmed().isEmpty())
            return QCoreApplication::translate("OverlayLabelContent", "Untitled");
    return QCoreApplication::translate("OverlayLabelContent", "Click to name");
}

void OverlayManager::installContent(PanelEntry& e, const SpaceTag& tag) {
    const auto store = tagStore_.lock();
    e.placeholder = emptyPlaceholder(store ? store->tags() : QList<SpaceTag>{});
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    const QUuid id = e.tagId;
    LabelView& view = e.panel->view();
    view.onClick = [weak, id] {
        if (auto self = weak.lock()) self->beginEdit(id);
    };
    // Views measure during layout; the size is applied on the next turn so a render never re-enters itself.
    view.onSizeChange = [weak, id](QSizeF size) {
        if (auto self = weak.lock())
            self->queue_->post([weak, id, size] {
                if (auto again = weak.lock()) again->applyMeasuredSize(id, size);
            });
    };
    view.menuProvider = [weak, id] {
        auto self = weak.lock();
        if (!self) return QList<MenuItem>{};
        auto* entry = self->find(id);
        const auto restorable =
            self->restorableTitlesProvider ? self->restorableTitlesProvider() : QList<LabelContextMenu::RestorableTitle>{};
        return LabelContextMenu::build(entry && entry->viewModel.isUserOwned, restorable);
    };
    view.onMenuAction = [weak, id](const QString& item) {
        auto self = weak.lock();
        if (!self || !self->find(id)) return;
        namespace I = LabelContextMenu::Item;
        if (item == I::rename) {
            self->beginEdit(id);
        } else if (item == I::toggleUserOwned) {
            if (auto s = self->tagStore_.lock()) s->toggleUserOwned(id);
        } else if (item == I::bigger) {
            self->adjustFontSize(FontSizeStepper::Adjustment::bigger, id);
        } else if (item == I::smaller) {
            self->adjustFontSize(FontSizeStepper::Adjustment::smaller, id);
        } else if (item == I::resetSize) {
            self->adjustFontSize(FontSizeStepper::Adjustment::resetToDefault, id);
        } else if (item == I::removeDuplicates) {
            if (self->onRemoveDuplicatesRequested) self->onRemoveDuplicatesRequested();
        } else if (item == I::deleteLabel) {
            if (self->onDeleteTagRequested) self->onDeleteTagRequested(id);
        } else if (item == I::preferences) {
            if (self->onPreferencesRequested) self->onPreferencesRequested();
        } else if (const auto orphan = LabelContextMenu::restoreTarget(item)) {
            if (self->onRestoreTitleRequested) self->onRestoreTitleRequested(*orphan, id);
        }
    };
    pushContent(e, tag);
}

void OverlayManager::adjustFontSize(FontSizeStepper::Adjustment adjustment, const QUuid& tagId) {
    const auto store = tagStore_.lock();
    auto* e = find(tagId);
    if (!store || !e) return;
    const auto screen = e->panel->screen();
    const auto screenId = screen ? screen->stableId : std::nullopt;
    const double current = fontSizeFor(screenId, store->settings());
    const double next = FontSizeStepper::step(current, adjustment);
    SM_TRACE(logger_, QStringLiteral("fontStep %1 %2 -> %3 scr=%4 id=%5")
                          .arg(FontSizeStepper::toString(adjustment), QString::number(current), QString::number(next),
                               screenId.value_or(QStringLiteral("global")), shortId(tagId)));
    store->updateSettings([&](AppSettings& settings) {
        settings.setFontSize(next, screenId, screenId);
        settings.sanitize();
    });
}

} // namespace sm
