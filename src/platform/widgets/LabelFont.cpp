#include "platform/widgets/LabelFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

#include <cmath>

namespace sm::widgets {

QFont labelFont(double size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // Linux has no "rounded design" of the system font; prefer a rounded family when one is there.
    QStringList families;
    families << QStringLiteral("Nunito") << QStringLiteral("Varela Round") << QStringLiteral("M PLUS Rounded 1c")
             << QStringLiteral("Comfortaa") << font.family();
    font.setFamilies(families);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setWeight(QFont::Bold);
    return font;
}

QSizeF textSize(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    return {std::ceil(metrics.horizontalAdvance(text)), std::ceil(metrics.height())};
}

QSizeF measuredSize(const QString& text, const QFont& font) {
    const QSizeF size = textSize(text, font);
    return {size.width() + 2 * kTextInset, size.height() + 2 * kTextInset};
}

} // namespace sm::widgets
