#include "dialogs/qt/FormWidgets.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace sm {

HelpLabel::HelpLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    setFont(small);
    restyle();
}

void HelpLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    const auto type = event->type();
    if (type == QEvent::PaletteChange || type == QEvent::StyleChange || type == QEvent::ParentChange)
        restyle();
}

// Blends from the surroundings' palette, never from its own: its own already holds the blend, and
// blending that again on every palette change would fade the text into the background.
void HelpLabel::restyle() {
    const QPalette around = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const QColor text = around.color(QPalette::WindowText);
    const QColor back = around.color(QPalette::Window);
    const QColor blended((text.red() * 2 + back.red()) / 3, (text.green() * 2 + back.green()) / 3,
                         (text.blue() * 2 + back.blue()) / 3);
    if (palette().color(QPalette::Active, foregroundRole()) == blended) return;
    QPalette p = palette();
    p.setColor(QPalette::Active, foregroundRole(), blended);
    p.setColor(QPalette::Inactive, foregroundRole(), blended);
    setPalette(p);
}

ValueSlider::ValueSlider(double minimum, double maximum, double step, const QString& minimumText,
                         const QString& maximumText, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), minimum_(minimum), step_(step), slider_(new QSlider(Qt::Horizontal, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* low = new QLabel(minimumText, this);
    auto* high = new QLabel(maximumText, this);
    // Equal end-label widths line the sliders of a form up under one another.
    const QFontMetrics metrics(font());
    low->setMinimumWidth(std::max(metrics.horizontalAdvance(QStringLiteral("slow")),
                                  metrics.horizontalAdvance(QStringLiteral("0.5s"))));
    low->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    high->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("100%")));
    slider_->setRange(0, static_cast<int>(std::lround((maximum - minimum) / step)));
    slider_->setPageStep(std::max(1, slider_->maximum() / 10));
    slider_->setAccessibleName(accessibleName);
    row->addWidget(low);
    row->addWidget(slider_, 1);
    row->addWidget(high);
    QObject::connect(slider_, &QSlider::valueChanged, this, [this](int) {
        if (onEdited) onEdited(value());
    });
}

void ValueSlider::setValue(double v) {
    const QSignalBlocker quiet(slider_);
    slider_->setValue(static_cast<int>(std::lround((v - minimum_) / step_))); // QSlider clamps to its range
}

double ValueSlider::value() const {
    // Rounded to the step so 0.1-steps store 0.3, not 0.30000000000000004.
    const double raw = minimum_ + slider_->value() * step_;
    const double decimals = std::pow(10.0, std::max(0.0, std::ceil(-std::log10(step_))));
    return std::round(raw * decimals) / decimals;
}

HelpLabel* describe(QWidget* control, const QString& help) {
    control->setToolTip(help);
    control->setAccessibleDescription(help);
    return new HelpLabel(help);
}

} // namespace sm
