#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace sm {

// Full upper-case UUID text without braces: the form ordinary log messages and stored data use.
inline QString fullId(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// First 8 characters of the upper-case UUID text, the form every trace line uses. Those characters
// are exactly data1 in hex, so they are formatted directly instead of via the full text: trace
// lines that list every panel call this once per panel.
inline QString shortId(const QUuid& id) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    QString text(8, Qt::Uninitialized);
    QChar* out = text.data();
    for (int i = 0; i < 8; ++i)
        out[i] = QChar(kHex[(id.data1 >> (28 - 4 * i)) & 0xFu]);
    return text;
}

// Trace lines write an absent id as "nil".
inline QString shortId(const std::optional<QUuid>& id) {
    return id ? shortId(*id) : QStringLiteral("nil");
}

} // namespace sm
