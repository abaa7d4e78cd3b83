#pragma once

#include <QFont>
#include <QSizeF>
#include <QString>

namespace sm::widgets {

// Space around the text on every edge, in points.
inline constexpr double kTextInset = 12.0;

// The label's face: bold, rounded where such a family is installed, else the system font. Sizes are
// points of the logic, which are the toolkit's device-independent pixels.
QFont labelFont(double size);

// The text's own size (no inset) as the label draws it.
QSizeF textSize(const QString& text, const QFont& font);

// What a label or editor reports as its measured size: the text plus the inset on every edge.
QSizeF measuredSize(const QString& text, const QFont& font);

} // namespace sm::widgets
