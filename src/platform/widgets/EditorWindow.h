#pragma once

#include "platform/WindowServer.h"
#include "platform/widgets/PanelWindow.h"

#include <optional>

class QLineEdit;

namespace sm::widgets {

// The title editor: one line of white text on translucent black. Return commits, and so does leaving
// the field: losing the keyboard after having had it, or a click outside it (leave()). Escape cancels.
// Either way at most once per begin(), so the focus loss that a Return or an Escape causes (the
// overlay closes the editor) never commits again.
class EditorWindow final : public PanelWindow, public EditorView {
public:
    EditorWindow();

    void begin(double fontSize, const QString& initialDraft, const QString& placeholder) override;

    // The user left the field some other way than through the keyboard focus: a click elsewhere.
    void leave() { commit(); }

    QLineEdit* field() const { return field_; }
    std::optional<QSizeF> measuredSize() const { return measured_; }

    void dropCallbacks() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commit();
    void cancel();
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
