#pragma once

#include "platform/WindowServer.h"

#include <optional>

namespace sm {

// An editor view driven by the test: it types, presses Return or loses focus. Like the real field it
// commits at most once per begin(), so Return followed by the focus loss it causes commits once.
class FakeEditorView final : public EditorView {
public:
    struct Begin {
        double fontSize = 0.0;
        QString initialDraft;
        QString placeholder;
        bool operator==(const Begin&) const = default;
    };

    // Takes focus and reports the measured size of the initial text (synchronously).
    void begin(double fontSize, const QString& initialDraft, const QString& placeholder) override;

    // Replaces the whole draft, as if the user had typed it.
    void type(const QString& text);
    void pressReturn() { commit(); }
    void loseFocus();

    const QList<Begin>& begins() const { return begins_; }
    QString draft() const { return draft_; }
    bool hasFocus() const { return focused_; }
    int commitCount() const { return commits_; }

private:
    void commit();
    void reportSize();

    QList<Begin> begins_;
    QString draft_;
    bool focused_ = false;
    bool committed_ = false;
    int commits_ = 0;
    std::optional<QSizeF> measured_;
};

} // namespace sm
