#include "report/ProblemReporter.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextBoundaryFinder>

#include <cmath>

namespace sm::ProblemReporter {

namespace {

int utf8Length(char32_t codePoint) {
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

QString orUnknown(const QString& text) {
    return text.isEmpty() ? QStringLiteral("?") : text;
}

// What the platform calls white space on one line: space separators and the tab, not line breaks.
QString trimSpacesAndTabs(const QString& text) {
    auto blank = [](QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// The first `limit` user-perceived characters, so an accent or an emoji is never split off.
QString firstCharacters(const QString& text, int limit) {
    if (text.size() <= limit) return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (int i = 0; i < limit; ++i)
        if (finder.toNextBoundary() < 0) return text;
    return text.left(finder.position());
}

// Reads at most `budget` bytes from the end of the file: a longer file would be cut to its tail in
// the report anyway, and a session that traced for days must not be loaded whole. A tail that starts
// inside a character starts at the next one.
std::optional<QByteArray> readTail(const QString& path, qint64 budget) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 size = file.size();
    const bool cut = size > budget;
    if (cut && !file.seek(size - budget)) return std::nullopt;
    QByteArray bytes = file.read(budget);
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    if (cut) {
        qsizetype skip = 0;
        while (skip < bytes.size() && skip < 3 && (static_cast<unsigned char>(bytes[skip]) & 0xC0) == 0x80)
            ++skip;
        bytes.remove(0, skip);
    }
    return bytes;
}

} // namespace

QString SendResult::description() const {
    return sent ? QStringLiteral("sent") : QStringLiteral("failed(\"%1\")").arg(failure);
}

QString collectLog(const QStringList& traceFiles, qint64 budget) {
    QStringList chosen;
    qint64 total = 0;
    for (const QString& path : traceFiles) {
        const QFileInfo info(path);
        const qint64 size = info.exists() ? info.size() : 0;
        if (!chosen.isEmpty() && total + size > budget) continue;
        chosen << path;
        total += size;
    }
    QStringList pieces;
    for (const QString& path : chosen) {
        const auto bytes = readTail(path, budget);
        if (!bytes) continue;
        // Invalid sequences become U+FFFD: one damaged byte must not hide a whole session.
        pieces << QStringLiteral("===== %1 =====\n").arg(QFileInfo(path).fileName()) +
                      QString::fromUtf8(*bytes);
    }
    return pieces.join(QLatin1Char('\n'));
}

QString keepLastUtf8Bytes(const QString& text, qint64 maxBytes) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= maxBytes) return text;
    const QString tail = QString::fromUtf8(utf8.right(maxBytes));
    qint64 size = tail.toUtf8().size(); // a character cut at the start decoded as U+FFFD may add bytes
    qsizetype start = 0;
    while (size > maxBytes && start < tail.size()) {
        const bool pair =
            tail[start].isHighSurrogate() && start + 1 < tail.size() && tail[start + 1].isLowSurrogate();
        const char32_t codePoint =
            pair ? QChar::surrogateToUcs4(tail[start], tail[start + 1]) : tail[start].unicode();
        size -= utf8Length(codePoint);
        start += pair ? 2 : 1;
    }
    return tail.mid(start);
}

QByteArray makeReportBody(const ReportFields& fields) {
    QJsonObject report{
        {QStringLiteral("kind"), QStringLiteral("diagnostics-report")},
        {QStringLiteral("app"), QJsonObject{{QStringLiteral("version"), orUnknown(fields.version)},
                                            {QStringLiteral("build"), orUnknown(fields.build)},
                                            {QStringLiteral("channel"), fields.channel}}},
        {QStringLiteral("macos"), fields.osVersion},
        {QStringLiteral("note"), firstCharacters(fields.note, kNoteCharacterLimit)},
        {QStringLiteral("log"), keepLastUtf8Bytes(fields.log, kLogBudgetBytes)},
        {QStringLiteral("ts"), fields.unixMilliseconds},
    };
    if (!trimSpacesAndTabs(fields.email).isEmpty()) report.insert(QStringLiteral("email"), fields.email);
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

qint64 unixMillisecondsFrom(double unixSeconds) {
    return std::llround(unixSeconds * 1000.0);
}

Request makeRequest(const QUrl& endpoint, QByteArray body) {
    Request request;
    request.url = endpoint;
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json; charset=utf-8"}, {"X-Spacemarquee-Report", "1"}};
    request.body = std::move(body);
    return request;
}

bool saveReport(const QString& path, const QByteArray& body, QString* error) {
    QSaveFile file(path);
    // Owner-only before the first byte: the log may hold window titles.
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                    file.write(body) == body.size() && file.commit();
    if (!ok && error) *error = file.errorString();
    return ok;
}

} // namespace sm::ProblemReporter
