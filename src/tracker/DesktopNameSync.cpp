#include "tracker/DesktopNameSync.h"

#include "model/KeepUnreadable.h"
#include "model/TagStore.h"
#include "overlay/OverlayManager.h"

namespace sm {

using namespace DesktopNamePolicy;

std::shared_ptr<DesktopNameSync> DesktopNameSync::create(std::weak_ptr<TagStore> tagStore,
                                                         std::weak_ptr<OverlayManager> overlayManager,
                                                         std::shared_ptr<WindowServer> windowServer,
                                                         std::shared_ptr<Defaults> defaults,
                                                         std::shared_ptr<MainQueue> queue, Logger logger) {
    return std::shared_ptr<DesktopNameSync>(
        new DesktopNameSync(std::move(tagStore), std::move(overlayManager), std::move(windowServer),
                            std::move(defaults), std::move(queue), std::move(logger)));
}

DesktopNameSync::DesktopNameSync(std::weak_ptr<TagStore> tagStore,
                                 std::weak_ptr<OverlayManager> overlayManager,
                                 std::shared_ptr<WindowServer> windowServer,
                                 std::shared_ptr<Defaults> defaults, std::shared_ptr<MainQueue> queue,
                                 Logger logger)
    : tagStore_(std::move(tagStore)), overlayManager_(std::move(overlayManager)),
      windowServer_(std::move(windowServer)), defaults_(std::move(defaults)), queue_(std::move(queue)),
      logger_(std::move(logger)) {}

void DesktopNameSync::start() {
    if (started_) return;
    started_ = true;
    if (const auto stored = defaults_->value(kRecordKey)) {
        const QByteArray* data = std::get_if<QByteArray>(&*stored);
        const QString* text = std::get_if<QString>(&*stored);
        const auto record = decode(data ? *data : text ? text->toUtf8() : QByteArray());
        if (!record) {
            keepUnreadableCopy(*defaults_, *queue_, logger_, kRecordKey, *stored,
                               QStringLiteral("The window manager's remembered desktop names are unreadable: "
                                              "the names it shows now are taken as its own"));
            defaults_->remove(kRecordKey);
        } else if (windowServer_->canSetDesktopNames()) {
            // The last session ended without giving the names back. What still reads as written then is
            // ours; a name changed since is whoever's changed it, and counts as the window manager's own.
            const QStringList current = windowServer_->desktopNames();
            record_ = Record{ownNames(current, *record), current};
            logger_.notice(
                QStringLiteral("Taking up the desktop names an earlier session lent the window manager"));
        }
    }

    std::weak_ptr<DesktopNameSync> weak = weak_from_this();
    auto again = [weak] {
        if (auto self = weak.lock()) self->schedule();
    };
    if (const auto store = tagStore_.lock()) {
        tags_ = store->subscribeTags([again](const QList<SpaceTag>&) { again(); });
        settings_ = store->subscribeSettings([again](const AppSettings&) { again(); });
    }
    switches_ = windowServer_->activeDesktopChanged.connect(again);
    names_ = windowServer_->desktopNamesChanged.connect(again);
    schedule();
}

void DesktopNameSync::stop() {
    if (!started_) return;
    started_ = false;
    tags_.disconnect();
    settings_.disconnect();
    switches_.disconnect();
    names_.disconnect();
    giveBack();
}

void DesktopNameSync::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    std::weak_ptr<DesktopNameSync> weak = weak_from_this();
    queue_->post([weak] {
        if (auto self = weak.lock()) {
            self->scheduled_ = false;
            if (self->started_) self->sync();
        }
    });
}

void DesktopNameSync::sync() {
    const auto store = tagStore_.lock();
    if (!store || !windowServer_->canSetDesktopNames()) return;
    const QStringList current = windowServer_->desktopNames();
    if (record_) {
        if (windowServer_->mayRewriteDesktopNames() && titleOverwritten(current, *record_)) {
            logger_.notice(
                QStringLiteral("The window manager replaced the desktop names Spacemarquee gave it; "
                               "leaving them to it for this session"));
            backedOff_ = true;
            giveBack();
            return;
        }
        record_->original = ownNames(current, *record_); // names set by others since are theirs
        record_->written = current;
    }
    const bool shared = store->settings().shareDesktopNames;
    if (shared && !wasShared_) backedOff_ = false; // turned on again: the user asks to try once more
    wasShared_ = shared;
    if (!shared || backedOff_) return giveBack();

    const QStringList own = record_ ? record_->original : current;
    QMap<int, QString> titles = titlesByDesktop();
    for (auto it = titles.begin(); it != titles.end(); ++it)
        it.value() = windowServer_->desktopNameShowing(own.value(it.key()), it.value());
    const QStringList names = namesToWrite(own, titles);
    if (names == own) return giveBack();
    // The window manager's names are on disk before any of them is replaced.
    record_ = Record{own, names};
    saveRecord();
    if (names == current) return;
    windowServer_->setDesktopNames(names);
    SM_TRACE(logger_, QStringLiteral("desktopNames WRITTEN [%1]").arg(names.join(QStringLiteral(" | "))));
}

void DesktopNameSync::giveBack() {
    if (!record_) return;
    const QStringList current = windowServer_->desktopNames();
    const QStringList own = ownNames(current, *record_);
    record_.reset();
    if (own != current) windowServer_->setDesktopNames(own);
    defaults_->remove(kRecordKey);
    saved_.clear();
    SM_TRACE(logger_, QStringLiteral("desktopNames GIVEN-BACK [%1]").arg(own.join(QStringLiteral(" | "))));
}

// Several screens share each desktop: the label on the screen listed first names it.
QMap<int, QString> DesktopNameSync::titlesByDesktop() const {
    QMap<int, QString> titles;
    const auto store = tagStore_.lock();
    const auto overlay = overlayManager_.lock();
    if (!store || !overlay) return titles;
    QStringList screenOrder;
    for (const auto& screen : windowServer_->screens())
        screenOrder << screen.stableId.value_or(QString());
    QMap<int, qsizetype> rankOf;
    for (const QUuid& id : overlay->panelIds()) {
        const auto* e = overlay->entry(id);
        const auto tag = store->tag(id);
        const auto place = e && e->panel ? windowServer_->placeOf(*e->panel) : std::nullopt;
        if (!tag || tag->isTombstone || tag->title.trimmed().isEmpty() || !place) continue;
        const int index = windowServer_->desktopNameIndex(*place);
        if (index < 0) continue;
        const qsizetype rank = screenOrder.indexOf(place->screenId);
        const qsizetype key = rank < 0 ? screenOrder.size() : rank;
        if (rankOf.contains(index) && rankOf[index] <= key) continue;
        rankOf[index] = key;
        titles[index] = tag->title;
    }
    return titles;
}

QString DesktopNameSync::chosenNameOfActiveDesktop() const {
    const auto active = windowServer_->activePlace();
    if (!active) return {};
    const QStringList current = windowServer_->desktopNames();
    const int index = windowServer_->desktopNameIndex(*active);
    return chosenPart((record_ ? ownNames(current, *record_) : current).value(index));
}

void DesktopNameSync::saveRecord() {
    const QByteArray encoded = encode(*record_);
    if (encoded == saved_) return;
    if (defaults_->setValue(kRecordKey, encoded))
        saved_ = encoded;
    else
        logger_.error(
            QStringLiteral("Could not write %1: the window manager's desktop names are given back at "
                           "quit, but not after a crash")
                .arg(kRecordKey));
}

} // namespace sm
