#include "windows/qt/FormWidgets.h"

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
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) restyle();
}

void HelpLabel::restyle() {
    const QColor text = palette().color(QPalette::WindowText);
    const QColor back = palette().color(QPalette::Window);
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
