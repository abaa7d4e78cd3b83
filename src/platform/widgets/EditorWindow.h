#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/PanelWindow.h"

#include <optional>

class QLineEdit;

namespace sm::widgets {

// The title editor: one line of white text on translucent black. Return commits, and so does losing
// the keyboard after having had it; either way at most once per begin(), so the focus loss that a
// Return causes (the overlay closes the editor) never commits twice.
class EditorWindow final : public PanelWindow, public EditorView {
public:
    EditorWindow();

    void begin(double fontSize, const QString& initialDraft, const QString& placeholder) override;

    QLineEdit* field() const { return field_; }
    std::optional<QSizeF> measuredSize() const { return measured_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commit();
    void reportSize();

    QLineEdit* field_ = nullptr;
    QString placeholder_;
    double fontSize_ = 64.0;
    bool begun_ = false;
    bool hadFocus_ = false;
    bool committed_ = false;
    std::optional<QSizeF> measured_;
};

} // namespace sm::widgets
