#pragma once

#include "platform/WindowServer.h"

#include <optional>

namespace sm {

// An editor view driven by the test: it types, presses Return or loses focus. Like the real field it
// commits at most once per begin(), so Return followed by the focus loss it causes commits once.
class FakeEditorView final : public EditorView {
public:
    // Takes focus and reports the measured size of the initial text (synchronously).
    void begin(double fontSize, const QString& initialDraft, const QString& placeholder) override;

    // Replaces the whole draft, as if the user had typed it.
    void type(const QString& text);
    void pressReturn() { commit(); }
    void pressEscape() {
        if (onCancel) onCancel();
    }
    void loseFocus();

    bool hasFocus() const { return focused_; }

private:
    void commit();
    void reportSize();

    std::optional<double> fontSize_; // set by begin()
    QString placeholder_, draft_;
    bool focused_ = false;
    bool committed_ = false;
    std::optional<QSizeF> measured_;
};

} // namespace sm
