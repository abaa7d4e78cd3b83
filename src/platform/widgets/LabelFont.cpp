#include "platform/widgets/LabelFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>
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

double textWidthLimit() {
    // Without a screen (none attached yet), a 4K screen's width.
    int widest = 0;
    for (const QScreen* screen : QGuiApplication::screens())
        widest = std::max(widest, screen->geometry().width());
    return (widest > 0 ? widest : 3840) - 2 * kTextInset;
}

QString displayedText(const QString& text, const QFont& font, double limit) {
    // Letters, digits and spaces are wider than a fifth of the size, so this many characters fill the
    // limit; cutting first keeps the shaping in proportion to what is shown, not to the title. A title
    // of thinner marks shows its ellipsis early.
    const auto enough = static_cast<qsizetype>(limit / std::max(1.0, font.pixelSize() * 0.2)) + 2;
    QString head = text;
    if (head.size() > enough) {
        head.truncate(head.at(enough - 1).isHighSurrogate() ? enough - 1 : enough);
        head += QChar(0x2026); // the ellipsis keeps saying there is more, should the cut fit the limit
    }
    return QFontMetricsF(font).elidedText(head, Qt::ElideRight, limit);
}

QSizeF textSize(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    return {std::ceil(metrics.horizontalAdvance(text)), std::ceil(metrics.height())};
}

QSizeF measuredSize(const QString& text, const QFont& font) {
    const QSizeF size = textSize(text, font);
    return {std::min(size.width(), textWidthLimit()) + 2 * kTextInset, size.height() + 2 * kTextInset};
}

} // namespace sm::widgets
