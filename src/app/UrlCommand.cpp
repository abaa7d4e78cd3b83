#include "app/UrlCommand.h"

#include <QStringDecoder>
#include <QUrl>
#include <QUrlQuery>

#include <cctype>

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

// Escapes every byte a strict parse refuses but whose meaning is plain: a space, a letter beyond
// ASCII, a control character (refused later, with a reason, as part of the title) and the few signs
// URLs never carry raw. A "%" stays as it is.
QByteArray escapePlainBytes(const QByteArray& raw) {
    static const QByteArrayView kKept = "!#$%&'()*+,-./:;=?@[]_~";
    QByteArray out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte > ' ' && byte < 0x7F && (std::isalnum(byte) || kKept.contains(c))))
            out += c;
        else
            out += '%' + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

} // namespace

UrlCommand UrlCommand::parse(const QByteArray& raw) {
    UrlCommand result;
    if (raw.size() > kMaxBytes) {
        result.kind = Kind::tooLong;
        result.reason = QStringLiteral("longer than %1 bytes").arg(kMaxBytes);
        return result;
    }
    // Tolerant where the intent is plain, as a browser's address bar is: a space typed into a shell
    // command (`title=My Desk`), a raw UTF-8 letter or a "|" can only mean itself, so it is escaped
    // before the strict parse. A stray or broken %-escape stays refused: "%E" or "%ZZ" may be a
    // literal percent sign or an escape a script mangled, and guessing could store a name the user
    // did not write.
    const QByteArray trimmed = raw.trimmed();
    const QUrl url = QUrl::fromEncoded(escapePlainBytes(trimmed), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("spacemarquee")) {
        result.reason = trimmed.toLower().startsWith("spacemarquee:")
                            ? QStringLiteral("not a well-formed URL (a % sign is written %25)")
                            : QStringLiteral("not a spacemarquee:// URL");
        return result;
    }

    result.command = url.host().toLower();
    if (result.command == QLatin1String("clear-current-tag")) {
        result.kind = Kind::clearCurrentTag;
        return result;
    }
    const bool goTo = result.command == QLatin1String("go");
    if (!goTo && result.command != QLatin1String("set-current-tag")) {
        result.kind = Kind::unknown;
        result.reason = result.command.isEmpty()
                            ? QStringLiteral("no command: use spacemarquee://set-current-tag?title=NAME, "
                                             "spacemarquee://clear-current-tag or spacemarquee://go?title=NAME")
                            : QStringLiteral("unknown command \"%1\"").arg(result.command.left(100));
        return result;
    }

    result.kind = goTo ? Kind::goTo : Kind::setCurrentTag;
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("title"))) {
        if (goTo) {
            result.kind = Kind::rejected;
            result.reason = QStringLiteral("go needs the desktop's name: spacemarquee://go?title=NAME");
        }
        return result;
    }
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
    } else if (goTo && title.trimmed().isEmpty()) {
        result.kind = Kind::rejected;
        result.reason = QStringLiteral("go needs the desktop's name: spacemarquee://go?title=NAME");
    } else {
        result.title = title;
    }
    return result;
}

} // namespace sm
