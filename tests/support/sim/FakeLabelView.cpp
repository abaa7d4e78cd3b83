#include "support/sim/FakeLabelView.h"

namespace sm {

namespace {

bool offers(const QList<MenuItem>& items, const QString& identifier) {
    for (const auto& item : items) {
        if (item.kind == MenuItem::Kind::Action && item.identifier == identifier) return true;
        if (item.kind == MenuItem::Kind::Submenu && offers(item.submenu, identifier)) return true;
    }
    return false;
}

} // namespace

QSizeF FakeLabelView::measure(const QString& text, double fontSize) {
    // Code points, not UTF-16 units, so an emoji counts once.
    const auto characters = static_cast<double>(text.toUcs4().size());
    return {24.0 + 0.6 * fontSize * characters, 24.0 + 1.2 * fontSize};
}

void FakeLabelView::present(const LabelPresentation& presentation) {
    // hidesText keeps the size: the editor sits exactly over the label.
    const QString& text = presentation.title.isEmpty() ? presentation.placeholder : presentation.title;
    const QSizeF size = measure(text, presentation.fontSize);
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

void FakeLabelView::click() {
    if (onClick) onClick();
}

QList<MenuItem> FakeLabelView::openMenu() {
    return menuProvider ? menuProvider() : QList<MenuItem>{};
}

bool FakeLabelView::choose(const QString& identifier) {
    if (!offers(openMenu(), identifier)) return false;
    if (onMenuAction) onMenuAction(identifier);
    return true;
}

} // namespace sm
