#include "support/sim/FakeEditorView.h"

#include "support/sim/FakeLabelView.h"

namespace sm {

void FakeEditorView::begin(double fontSize, const QString& initialDraft, const QString& placeholder) {
    fontSize_ = fontSize;
    placeholder_ = placeholder;
    draft_ = initialDraft;
    focused_ = true;
    committed_ = false;
    measured_.reset(); // a fresh field always reports its first size
    reportSize();
}

void FakeEditorView::type(const QString& text) {
    draft_ = text;
    if (onDraftChange) onDraftChange(text);
    reportSize();
}

void FakeEditorView::loseFocus() {
    focused_ = false;
    commit();
}

void FakeEditorView::commit() {
    if (!fontSize_ || committed_) return;
    committed_ = true;
    if (onCommit) onCommit();
}

void FakeEditorView::reportSize() {
    if (!fontSize_) return;
    const QSizeF size = FakeLabelView::measure(draft_.isEmpty() ? placeholder_ : draft_, *fontSize_);
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

} // namespace sm
