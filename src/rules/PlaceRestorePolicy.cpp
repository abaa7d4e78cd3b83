#include "rules/PlaceRestorePolicy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace sm::PlaceRestorePolicy {

namespace {

constexpr int kMaxPlaces = 10000;   // far beyond any real desktop; bounds a hostile file
constexpr int kMaxTextLength = 512; // screen ids and desktop names

bool sameDesktop(const DesktopPlace& a, const DesktopPlace& b) {
    return a.screenId == b.screenId && a.desktop == b.desktop;
}

} // namespace

Decision decide(const QList<Candidate>& candidates,
                const std::function<std::optional<DesktopPlace>(const DesktopPlace&)>& locate) {
    Decision decision;
    QList<std::pair<const Candidate*, DesktopPlace>> located;
    for (const auto& c : candidates) {
        if (auto place = locate(c.remembered))
            located.append({&c, *place});
        else
            decision.desktopGone << c.tagId;
    }
    for (const auto& [candidate, place] : located) {
        // The winner of a desktop: the latest seen; equal times go to the smaller id, so the outcome
        // does not depend on the order tags happen to be stored in.
        const bool wins = std::none_of(located.begin(), located.end(), [&](const auto& other) {
            const Candidate* o = other.first;
            return o != candidate && sameDesktop(other.second, place) &&
                   (o->lastSeenAt > candidate->lastSeenAt ||
                    (o->lastSeenAt == candidate->lastSeenAt &&
                     o->tagId.toString() < candidate->tagId.toString()));
        });
        if (wins)
            decision.restore.append({candidate->tagId, place});
        else
            decision.outranked << candidate->tagId;
    }
    return decision;
}

QByteArray encode(const QHash<QUuid, DesktopPlace>& places) {
    QList<QUuid> ids = places.keys();
    std::sort(ids.begin(), ids.end(),
              [](const QUuid& a, const QUuid& b) { return a.toString() < b.toString(); });
    QJsonArray entries;
    for (const auto& id : ids) {
        const DesktopPlace& p = places[id];
        QJsonObject entry{{QStringLiteral("tag"), id.toString(QUuid::WithoutBraces).toUpper()},
                          {QStringLiteral("screen"), p.screenId},
                          {QStringLiteral("desktop"), p.desktop},
                          {QStringLiteral("name"), p.desktopName}};
        if (!p.desktopId.isEmpty()) entry.insert(QStringLiteral("desktopId"), p.desktopId);
        entries.append(entry);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("places"), entries}})
        .toJson(QJsonDocument::Compact);
}

std::optional<QHash<QUuid, DesktopPlace>> decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonValue entries = document.object().value(QStringLiteral("places"));
    if (!entries.isArray()) return std::nullopt;
    QHash<QUuid, DesktopPlace> places;
    for (const QJsonValue& value : entries.toArray()) {
        if (places.size() >= kMaxPlaces) break;
        const QJsonObject entry = value.toObject();
        const QUuid id = QUuid::fromString(entry.value(QStringLiteral("tag")).toString());
        const QJsonValue desktop = entry.value(QStringLiteral("desktop"));
        const QString screen = entry.value(QStringLiteral("screen")).toString();
        const QString name = entry.value(QStringLiteral("name")).toString();
        const QString desktopId = entry.value(QStringLiteral("desktopId")).toString();
        // Numbers from a file are untrusted: only small whole non-negative ones name a desktop.
        const double number = desktop.toDouble(-1.0);
        if (id.isNull() || !desktop.isDouble() || number < 0 || number > 100000 ||
            number != static_cast<int>(number) || screen.size() > kMaxTextLength ||
            name.size() > kMaxTextLength || desktopId.size() > kMaxTextLength)
            continue;
        places.insert(id, DesktopPlace{screen, static_cast<int>(number), name, desktopId});
    }
    return places;
}

} // namespace sm::PlaceRestorePolicy
