#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// How values appear inside trace lines: numbers always with a fractional part ("12.0"), points as
// "(x, y)", sizes as "(w, h)", rectangles as "(x, y, w, h)", absent values as "nil".
namespace sm::tracefmt {

inline QString num(double v) {
    QString text = QString::number(v, 'g', 15);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('n')))
        text += QStringLiteral(".0");
    return text;
}

inline QString boolean(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

inline QString point(const QPointF& p) {
    return QStringLiteral("(%1, %2)").arg(num(p.x()), num(p.y()));
}

inline QString size(const QSizeF& s) {
    return QStringLiteral("(%1, %2)").arg(num(s.width()), num(s.height()));
}

inline QString rect(const QRectF& r) {
    return QStringLiteral("(%1, %2, %3, %4)").arg(num(r.x()), num(r.y()), num(r.width()), num(r.height()));
}

template <class T, class F> QString optional(const std::optional<T>& value, F format) {
    return value ? format(*value) : QStringLiteral("nil");
}

inline QString point(const std::optional<QPointF>& p) { return optional(p, [](const QPointF& v) { return point(v); }); }
inline QString size(const std::optional<QSizeF>& s) { return optional(s, [](const QSizeF& v) { return size(v); }); }
inline QString text(const std::optional<QString>& s) { return s.value_or(QStringLiteral("nil")); }

} // namespace sm::tracefmt
