#include "support/sim/FakeEditorView.h"

#include "support/sim/FakeLabelView.h"

namespace sm {

void FakeEditorView::begin(double fontSize, const QString& initialDraft, const QString& placeholder) {
    begins_.append(Begin{fontSize, initialDraft, placeholder});
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
    if (begins_.isEmpty() || committed_) return;
    committed_ = true;
    ++commits_;
    if (onCommit) onCommit();
}

void FakeEditorView::reportSize() {
    if (begins_.isEmpty()) return;
    const Begin& session = begins_.last();
    const QSizeF size =
        FakeLabelView::measure(draft_.isEmpty() ? session.placeholder : draft_, session.fontSize);
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

} // namespace sm
