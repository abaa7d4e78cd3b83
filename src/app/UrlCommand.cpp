#include "app/UrlCommand.h"

#include <QStringDecoder>
#include <QUrl>
#include <QUrlQuery>

namespace sm {

namespace {

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

} // namespace

UrlCommand UrlCommand::parse(const QByteArray& raw) {
    UrlCommand result;
    if (raw.size() > kMaxBytes) {
        result.kind = Kind::tooLong;
        return result;
    }
    // Strict: a stray space or a broken %-escape means it was not written as a URL.
    const QUrl url = QUrl::fromEncoded(raw, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("spacemarquee")) return result;

    result.command = url.host().toLower();
    if (result.command == QLatin1String("clear-current-tag")) {
        result.kind = Kind::clearCurrentTag;
        return result;
    }
    if (result.command != QLatin1String("set-current-tag")) {
        result.kind = Kind::unknown;
        return result;
    }

    result.kind = Kind::setCurrentTag;
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("title"))) return result;
    // Decoded by hand: QUrl would quietly turn bytes that are not UTF-8 into replacement characters.
    const QByteArray bytes = QByteArray::fromPercentEncoding(
        query.queryItemValue(QStringLiteral("title"), QUrl::FullyEncoded).toLatin1());
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString title = decoder.decode(bytes);
    if (decoder.hasError()) {
        result.kind = Kind::rejected;
        result.reason = QStringLiteral("title is not UTF-8");
    } else if (hasControlCharacter(title)) {
        result.kind = Kind::rejected;
        result.reason = QStringLiteral("title contains control characters");
    } else {
        result.title = title;
    }
    return result;
}

} // namespace sm
