#pragma once

#include <QLabel>
#include <QWidget>

#include <functional>

class QSlider;

namespace sm {

// Small secondary text under a control, as Linux desktop dialogs put help. Its colour is a blend of
// the palette's text and background, so it stays readable under light and dark styles alike.
class HelpLabel final : public QLabel {
public:
    explicit HelpLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();
};

// A horizontal slider over a range of doubles, in fixed steps, with its two end labels.
class ValueSlider final : public QWidget {
public:
    ValueSlider(double minimum, double maximum, double step, const QString& minimumText,
                const QString& maximumText, const QString& accessibleName, QWidget* parent = nullptr);

    // Shows `value` (clamped to the range) without reporting it as an edit.
    void setValue(double value);
    double value() const;
    QSlider* slider() const { return slider_; }

    // The user moved the slider (mouse, wheel or keyboard).
    std::function<void(double)> onEdited;

private:
    double minimum_;
    double step_;
    QSlider* slider_;
};

// Gives `control` its help as a tooltip and an accessible description, and returns the secondary text
// for the caller to place under it.
HelpLabel* describe(QWidget* control, const QString& help);

} // namespace sm
