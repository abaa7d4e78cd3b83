#include "tracker/PlaceMemory.h"

#include "model/KeepUnreadable.h"
#include "model/TagStore.h"
#include "overlay/OverlayManager.h"
#include "rules/PlaceRestorePolicy.h"
#include "rules/ShortId.h"

namespace sm {

namespace {

bool sameDesktop(const DesktopPlace& a, const DesktopPlace& b) {
    return a.screenId == b.screenId && a.desktop == b.desktop;
}

QString describe(const DesktopPlace& p) {
    return QStringLiteral("desktop=%1 name='%2' screen=%3")
        .arg(p.desktop)
        .arg(p.desktopName, p.screenId.left(8));
}

} // namespace

std::shared_ptr<PlaceMemory> PlaceMemory::create(std::weak_ptr<TagStore> tagStore,
                                                 std::weak_ptr<OverlayManager> overlayManager,
                                                 std::shared_ptr<WindowServer> windowServer,
                                                 std::shared_ptr<Defaults> defaults,
                                                 std::shared_ptr<const Clock> clock, Logger logger) {
    return std::shared_ptr<PlaceMemory>(new PlaceMemory(std::move(tagStore), std::move(overlayManager),
                                                        std::move(windowServer), std::move(defaults),
                                                        std::move(clock), std::move(logger)));
}

PlaceMemory::PlaceMemory(std::weak_ptr<TagStore> tagStore, std::weak_ptr<OverlayManager> overlayManager,
                         std::shared_ptr<WindowServer> windowServer, std::shared_ptr<Defaults> defaults,
                         std::shared_ptr<const Clock> clock, Logger logger)
    : tagStore_(std::move(tagStore)), overlayManager_(std::move(overlayManager)),
      windowServer_(std::move(windowServer)), defaults_(std::move(defaults)), clock_(std::move(clock)),
      logger_(std::move(logger)) {}

void PlaceMemory::load() {
    if (loaded_) return;
    loaded_ = true;
    const auto stored = defaults_->value(kPlacesKey);
    if (!stored) return;
    const QByteArray* data = std::get_if<QByteArray>(&*stored);
    const QString* text = std::get_if<QString>(&*stored);
    const auto decoded = PlaceRestorePolicy::decode(data ? *data : text ? text->toUtf8() : QByteArray());
    if (!decoded) {
        keepUnreadableCopy(*defaults_, *clock_, logger_, kPlacesKey, *stored,
                           QStringLiteral("Stored desktop places are unreadable: labels start on the desktop "
                                          "they are first seen on"));
        return;
    }
    places_ = *decoded;
    saved_ = data ? *data : QByteArray();
}

int PlaceMemory::restoreLabels() {
    load();
    const int restored = restore([](const DesktopPlace&) { return true; }, QStringLiteral("restore-place"));
    logger_.notice(QStringLiteral("Put %1 remembered label(s) back on their desktops").arg(restored));
    return restored;
}

int PlaceMemory::restore(const std::function<bool(const DesktopPlace&)>& wanted, const QString& reason) {
    const auto store = tagStore_.lock();
    const auto overlay = overlayManager_.lock();
    if (!store || !overlay) return 0;

    // Desktops that already have a label keep it.
    QList<DesktopPlace> taken;
    for (const QUuid& id : overlay->panelIds())
        if (const auto* e = overlay->entry(id); e && e->panel)
            if (auto p = windowServer_->placeOf(*e->panel)) taken << *p;

    QList<PlaceRestorePolicy::Candidate> candidates;
    for (const SpaceTag& tag : store->tags()) {
        const auto remembered = places_.constFind(tag.id);
        if (remembered == places_.cend() || overlay->entry(tag.id)) continue;
        candidates.append({tag.id, *remembered, tag.lastSeenAt});
    }
    const auto decision = PlaceRestorePolicy::decide(candidates, [&](const DesktopPlace& p) {
        auto now = windowServer_->locate(p);
        const bool free = now && wanted(*now) && std::none_of(taken.begin(), taken.end(), [&](const auto& t) {
                              return sameDesktop(t, *now);
                          });
        return free ? now : std::nullopt;
    });
    for (const auto& [id, place] : decision.restore) {
        const auto tag = store->tag(id);
        if (!tag) continue;
        SM_TRACE(logger_, QStringLiteral("placeMemory RESTORE id=%1 reason=%2 %3")
                              .arg(shortId(id), reason, describe(place)));
        overlay->createPanel(*tag, reason, place);
        places_[id] = place;
    }
    if (!decision.outranked.isEmpty() && logger_.isTracing()) {
        QStringList ids;
        for (const auto& id : decision.outranked)
            ids << shortId(id);
        SM_TRACE(logger_,
                 QStringLiteral("placeMemory OUTRANKED ids=[%1] (another label of the same desktop was "
                                "seen more recently)")
                     .arg(ids.join(QLatin1Char(','))));
    }
    return static_cast<int>(decision.restore.size());
}

void PlaceMemory::start() {
    std::weak_ptr<PlaceMemory> weak = weak_from_this();
    switches_ = windowServer_->activeDesktopChanged.connect([weak] {
        if (auto self = weak.lock()) self->restoreOnVisit();
    });
    names_ = windowServer_->desktopNamesChanged.connect([weak] {
        if (auto self = weak.lock()) self->followRenames();
    });
}

void PlaceMemory::stop() {
    switches_.disconnect();
    names_.disconnect();
}

// A label whose desktop now goes by another name, where the remembered name is no other desktop's:
// its desktop was renamed, and a restart (or a crash) must find it under the new name.
void PlaceMemory::followRenames() {
    const auto overlay = overlayManager_.lock();
    if (!overlay) return;
    bool changed = false;
    for (auto it = places_.begin(); it != places_.end(); ++it) {
        const auto* e = overlay->entry(it.key());
        const auto now = e && e->panel ? windowServer_->placeOf(*e->panel) : std::nullopt;
        if (!now || now->screenId != it->screenId || now->desktopName == it->desktopName) continue;
        if (const auto old = windowServer_->locate(*it); old && !sameDesktop(*old, *now)) continue;
        SM_TRACE(logger_, QStringLiteral("placeMemory RENAMED id=%1 from='%2' %3")
                              .arg(shortId(it.key()), it->desktopName, describe(*now)));
        *it = *now;
        changed = true;
    }
    if (changed) save();
}

void PlaceMemory::restoreOnVisit() {
    const auto active = windowServer_->activePlace();
    if (!active) return;
    restore([&](const DesktopPlace& p) { return sameDesktop(p, *active); },
            QStringLiteral("restore-place-visit"));
}

void PlaceMemory::remember(const QUuid& tagId) {
    const auto overlay = overlayManager_.lock();
    const auto* e = overlay ? overlay->entry(tagId) : nullptr;
    const auto place = e && e->panel ? windowServer_->placeOf(*e->panel) : std::nullopt;
    if (!place || places_.value(tagId) == *place) return;
    places_[tagId] = *place;
    save();
}

void PlaceMemory::rememberAll() {
    const auto overlay = overlayManager_.lock();
    if (!overlay) return;
    QList<std::pair<QUuid, DesktopPlace>> live;
    for (const QUuid& id : overlay->panelIds())
        if (const auto* e = overlay->entry(id); e && e->panel)
            if (auto p = windowServer_->placeOf(*e->panel)) live.append({id, *p});
    // A desktop holding several labels is a pile a window manager made; its labels keep their last
    // adopted places.
    for (const auto& [id, place] : live)
        if (std::count_if(live.begin(), live.end(),
                          [&](const auto& o) { return sameDesktop(o.second, place); }) == 1)
            places_[id] = place;
    save();
}

std::optional<DesktopPlace> PlaceMemory::placeOf(const QUuid& tagId) const {
    const auto it = places_.constFind(tagId);
    return it == places_.cend() ? std::nullopt : std::optional<DesktopPlace>(*it);
}

void PlaceMemory::save() {
    // Tags that are gone take their places with them.
    if (const auto store = tagStore_.lock())
        for (auto it = places_.begin(); it != places_.end();)
            it = store->tag(it.key()) ? std::next(it) : places_.erase(it);
    const QByteArray encoded = PlaceRestorePolicy::encode(places_);
    if (encoded == saved_) return;
    if (defaults_->setValue(kPlacesKey, encoded))
        saved_ = encoded;
    else
        logger_.error(QStringLiteral("Could not write %1: desktop places are kept for this session only")
                          .arg(kPlacesKey));
}

} // namespace sm
