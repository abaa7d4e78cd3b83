#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

// The problem report: what is collected, how the JSON document and the HTTPS request look, and the
// outcome a send ends with. Pure functions over files and values; the network lives elsewhere.
namespace sm::ProblemReporter {

inline constexpr qint64 kLogBudgetBytes = 1'500'000;
inline constexpr int kNoteCharacterLimit = 2000;
inline constexpr auto kRequestTimeout = std::chrono::seconds(30);
inline const QString kChannel = QStringLiteral("direct");

struct SendResult {
    bool sent = false;
    QString failure; // short text for the user; empty when sent

    static SendResult ok() { return {true, {}}; }
    static SendResult failed(QString text) { return {false, std::move(text)}; }
    // "sent" or failed("<text>"), as trace lines write it.
    QString description() const;
    bool operator==(const SendResult&) const = default;
};

// Reads the trace files (current first, then rotated newest first) into one text: the first file is
// always taken, each later one only while the sizes taken so far stay within `budget`. Each piece is
// "===== <name> =====\n<content>", pieces joined by a line feed. Files that vanish are left out.
QString collectLog(const QStringList& traceFiles, qint64 budget = kLogBudgetBytes);

struct ReportFields {
    QString version; // empty: sent as "?"
    QString build;   // empty: sent as "?"
    QString channel = kChannel;
    QString osVersion;
    QString note;
    QString log;
    QString email;
    qint64 unixMilliseconds = 0;
};

// The end of `text` in at most `maxBytes` bytes of UTF-8, starting on a whole character.
QString keepLastUtf8Bytes(const QString& text, qint64 maxBytes);

// The compact JSON document. The log keeps its last 1,500,000 UTF-8 bytes (never half a character),
// the note its first 2000 characters; "email" is present only when it is more than spaces and tabs.
QByteArray makeReportBody(const ReportFields& fields);

// Milliseconds since 1970 for a time in seconds, rounded half away from zero.
qint64 unixMillisecondsFrom(double unixSeconds);

struct Request {
    QUrl url;
    QByteArray method;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds timeout{kRequestTimeout};
};

Request makeRequest(const QUrl& endpoint, QByteArray body);

// Writes the document to `path`, readable by the owner only. False with `error` set on failure.
bool saveReport(const QString& path, const QByteArray& body, QString* error);

} // namespace sm::ProblemReporter
