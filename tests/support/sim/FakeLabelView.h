#pragma once

#include "platform/WindowServer.h"

#include <optional>

namespace sm {

// A label view that draws nothing. It measures text by a fixed rule, so
// the size-driven layout of labels can be asserted to the point.
class FakeLabelView final : public LabelView {
public:
    // 24 points of inset plus 0.6 em per character wide, 24 points plus 1.2 em high.
    static QSizeF measure(const QString& text, double fontSize);

    // Reports the measured size synchronously, as a widget's layout would, and only when it changed.
    void present(const LabelPresentation& presentation) override;

    void click();
    // What the context menu would show now.
    QList<MenuItem> openMenu();
    // Picks an action offered by the menu; false (and nothing called) when the menu does not offer it.
    bool choose(const QString& identifier);

private:
    std::optional<QSizeF> measured_;
};

} // namespace sm
