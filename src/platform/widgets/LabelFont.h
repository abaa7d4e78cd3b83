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

// The widest text a label draws, in points: the widest attached screen less the insets. A title may be
// thousands of characters long; what no screen can show is not drawn, so the label's drawing and its
// shape cost no more than a screen-wide text whatever the title.
double textWidthLimit();

// The text as the label shows it: cut with an ellipsis where it passes `limit`. The title itself stays
// whole; only its display is shortened.
QString displayedText(const QString& text, const QFont& font, double limit = textWidthLimit());

// The text's own size (no inset) as the label draws it.
QSizeF textSize(const QString& text, const QFont& font);

// What a label or editor reports as its measured size: the text plus the inset on every edge, never
// wider than the limit (an editor scrolls a longer draft).
QSizeF measuredSize(const QString& text, const QFont& font);

} // namespace sm::widgets
