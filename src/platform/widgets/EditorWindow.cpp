#include "platform/widgets/EditorWindow.h"

#include "platform/widgets/LabelFont.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace sm::widgets {

namespace {
// QLineEdit keeps a couple of pixels between its edge and the text; take them out of the inset so the
// text sits where the label draws it.
constexpr int kFieldMargin = 2;

// A one-pixel caret is lost next to glyphs this large; it grows with the font.
class CaretStyle final : public QProxyStyle {
public:
    explicit CaretStyle(int width) : caretWidth(width) {}
    const int caretWidth;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        return metric == PM_TextCursorWidth ? caretWidth : QProxyStyle::pixelMetric(metric, option, widget);
    }
};
} // namespace

EditorWindow::EditorWindow() : PanelWindow({}) {
    auto* layout = new QVBoxLayout(this);
    const int inset = static_cast<int>(kTextInset);
    layout->setContentsMargins(inset - kFieldMargin, inset, inset - kFieldMargin, inset);
    field_ = new QLineEdit(this);
    field_->setFrame(false);
    field_->setAlignment(Qt::AlignCenter);
    field_->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = field_->palette();
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    palette.setColor(QPalette::PlaceholderText, QColor(255, 255, 255, 128));
    palette.setColor(QPalette::Highlight, QColor(255, 255, 255, 90));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    field_->setPalette(palette);
    field_->setAutoFillBackground(false);
    layout->addWidget(field_);
    field_->installEventFilter(this);

    QObject::connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) {
        update(); // the placeholder comes or goes
        if (!begun_) return;
        if (onDraftChange) onDraftChange(text);
        reportSize();
    });
    QObject::connect(field_, &QLineEdit::returnPressed, this, [this] { commit(); });
}

void EditorWindow::dropCallbacks() {
    PanelWindow::dropCallbacks();
    onDraftChange = nullptr;
    onCommit = nullptr;
    onCancel = nullptr;
    onSizeChange = nullptr;
}

void EditorWindow::begin(double fontSize, const QString& initialDraft, const QString& placeholder) {
    begun_ = false; // the initial text is not a change of the draft
    fontSize_ = fontSize;
    placeholder_ = placeholder;
    field_->setFont(labelFont(fontSize));
    // The line edit reads the caret width when its style is set.
    QStyle* previous = field_->style();
    auto* caret = new CaretStyle(std::max(2, qRound(fontSize / 24)));
    caret->setParent(field_);
    field_->setStyle(caret);
    if (dynamic_cast<CaretStyle*>(previous)) delete previous;
    field_->setText(initialDraft);
    field_->selectAll();
    begun_ = true;
    hadFocus_ = false;
    committed_ = false;
    measured_.reset(); // a fresh field always reports its first size
    reportSize();
    // Focus is asked for once the window can take it, after the caller has shown it.
    QTimer::singleShot(0, this, [this] {
        // An editor closed meanwhile (the second click of a double click opens the next one) asks
        // for nothing: its late request would take the keyboard from the editor now open.
        if (committed_ || !isVisible()) return;
        activateWindow();
        field_->setFocus(Qt::OtherFocusReason);
    });
}

void EditorWindow::commit() {
    if (!begun_ || committed_) return;
    committed_ = true;
    if (onCommit) onCommit();
}

void EditorWindow::cancel() {
    if (!begun_ || committed_) return;
    committed_ = true;
    if (onCancel) onCancel();
}

void EditorWindow::reportSize() {
    const QString text = field_->text().isEmpty() ? placeholder_ : field_->text();
    const QSizeF size = widgets::measuredSize(text, labelFont(fontSize_));
    if (measured_ == size) return;
    measured_ = size;
    if (onSizeChange) onSizeChange(size);
}

// The placeholder is drawn here, under the transparent field: a centred line edit hides its own while
// it has the keyboard, which left an unnamed label's editor an empty black box. The outline marks the
// field on any backdrop, and stays visible where no compositor blends the translucent fill.
void EditorWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(0, 0, 0, 178));
    painter.setPen(QPen(QColor(255, 255, 255, 200), 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    if (!field_->text().isEmpty() || placeholder_.isEmpty()) return;
    painter.setFont(field_->font());
    painter.setPen(field_->palette().color(QPalette::PlaceholderText));
    painter.drawText(field_->geometry(), Qt::AlignCenter, placeholder_);
}

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_) {
        if (event->type() == QEvent::FocusIn) hadFocus_ = true;
        // A field that never had the keyboard has not been edited: its focus loss is no commit.
        if (event->type() == QEvent::FocusOut && hadFocus_) commit();
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
    }
    return PanelWindow::eventFilter(watched, event);
}

} // namespace sm::widgets
