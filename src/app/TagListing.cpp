#include "app/TagListing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sm {

namespace {

QString lastSeen(const SpaceTag& tag) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(unixSecondsFromDate(tag.lastSeenAt) * 1000.0),
                                          Qt::UTC)
        .toString(Qt::ISODate);
}

QString screenOf(const TagListEntry& entry) {
    if (entry.place && !entry.place->screenId.isEmpty()) return entry.place->screenId;
    return entry.tag.screenIdentifier.value_or(QString());
}

} // namespace

QByteArray formatTagList(const QList<TagListEntry>& entries) {
    QByteArray out;
    auto orDash = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    for (const auto& entry : entries) {
        const QString desktop =
            entry.place && entry.place->desktop >= 0 ? QString::number(entry.place->desktop) : QString();
        out += QStringList{orDash(desktop), orDash(screenOf(entry)),
                           entry.tag.isUserOwned ? QStringLiteral("user") : QStringLiteral("auto"),
                           lastSeen(entry.tag), entry.tag.title}
                   .join(QLatin1Char('\t'))
                   .toUtf8() +
               '\n';
    }
    return out;
}

QByteArray formatTagListJson(const QList<TagListEntry>& entries) {
    QJsonArray tags;
    auto orNull = [](const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); };
    for (const auto& entry : entries) {
        const bool placed = entry.place && entry.place->desktop >= 0;
        tags.append(QJsonObject{
            {QStringLiteral("id"), entry.tag.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("title"), entry.tag.title},
            {QStringLiteral("desktop"), placed ? QJsonValue(entry.place->desktop) : QJsonValue()},
            {QStringLiteral("desktopName"), orNull(entry.place ? entry.place->desktopName : QString())},
            {QStringLiteral("screen"), orNull(screenOf(entry))},
            {QStringLiteral("userOwned"), entry.tag.isUserOwned},
            {QStringLiteral("tombstone"), entry.tag.isTombstone},
            {QStringLiteral("lastSeen"), lastSeen(entry.tag)},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("tags"), tags}})
        .toJson(QJsonDocument::Indented);
}

} // namespace sm
