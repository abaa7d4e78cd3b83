#include "model/TagStore.h"

#include "model/KeepUnreadable.h"
#include "model/ModelJson.h"

namespace sm {

namespace {

// Trace lines show the first 8 characters of ids and screen identifiers.
QString traceId(const QUuid& id) {
    return uuidText(id).left(8);
}
QString traceScreen(const std::optional<QString>& screen) {
    return screen ? screen->left(8) : QStringLiteral("nil");
}

// Whether two versions of a tag differ at most in what the program observes for itself, so that
// saving the change may wait.
bool onlyObservedFieldsDiffer(SpaceTag a, SpaceTag b) {
    for (SpaceTag* t : {&a, &b}) { // cleared, not copied across: a NaN never equals itself
        t->lastSeenAt = 0;
        t->screenIdentifier.reset();
        t->position.reset();
    }
    return a == b;
}

bool onlyObservedFieldsDiffer(AppSettings a, AppSettings b) {
    for (AppSettings* s : {&a, &b}) {
        s->syncedPosition.reset();
        s->syncedPositionRefScreen.reset();
        s->screenCensus.clear();
        for (auto it = s->perScreen.begin(); it != s->perScreen.end();) {
            it->position.reset();
            it = *it == ScreenLayout() ? s->perScreen.erase(it) : std::next(it);
        }
    }
    return a == b;
}

// SpaceTag's == forgives tiny position differences; a reused encoding must match exactly.
bool sameStoredForm(const SpaceTag& a, const SpaceTag& b) {
    const auto exact = [](const std::optional<QPointF>& p, const std::optional<QPointF>& q) {
        return p.has_value() == q.has_value() && (!p || (p->x() == q->x() && p->y() == q->y()));
    };
    return a == b && exact(a.position, b.position);
}

template <class T>
CodecResult<T> decodeStored(const DefaultsValue& stored, CodecResult<T> (*decode)(const QByteArray&)) {
    if (const auto* data = std::get_if<QByteArray>(&stored)) return decode(*data);
    // A hand-edited settings file may hold the document as text rather than data.
    if (const auto* text = std::get_if<QString>(&stored)) return decode(text->toUtf8());
    return CodecResult<T>::failure(QStringLiteral("stored as a plain value, not as a JSON document"));
}

} // namespace

TagStore::TagStore(std::shared_ptr<Defaults> defaults, std::shared_ptr<MainQueue> queue, Logger logger)
    : defaults_(std::move(defaults)), queue_(std::move(queue)), logger_(std::move(logger)) {
    load();
}

TagStore::~TagStore() {
    flush();
}

void TagStore::load() {
    if (deferredSave_) deferredSave_->cancel();
    deferredSave_.reset();
    tagsUnsaved_ = settingsUnsaved_ = false;

    // An absent (or unreadable) schema means a fresh domain. Older documents need no migration: the
    // decoding rules upgrade them, so no other value is acted upon.
    schemaVersion_ = defaults_->intValue(kSchemaKey).value_or(0);
    if (schemaVersion_ == 0) {
        schemaVersion_ = kSchemaVersion;
        write(kSchemaKey, kSchemaVersion);
    }

    tags_.clear();
    if (const auto stored = defaults_->value(kTagsKey)) {
        auto decoded = decodeStored(*stored, ModelJson::decodeTags);
        if (decoded)
            tags_ = std::move(*decoded.value);
        else
            keepUnreadable(kTagsKey, *stored, QStringLiteral("tags"), QStringLiteral("starting with no tags"),
                           decoded.error);
    }

    settings_ = AppSettings();
    if (const auto stored = defaults_->value(kSettingsKey)) {
        auto decoded = decodeStored(*stored, ModelJson::decodeSettings);
        if (decoded) {
            settings_ = std::move(*decoded.value);
            settings_.sanitize();
        } else {
            keepUnreadable(kSettingsKey, *stored, QStringLiteral("settings"),
                           QStringLiteral("using the defaults"), decoded.error);
        }
    }

    tagsChanged_.emit(tags_);
    settingsChanged_.emit(settings_);
}

// Kept aside before the next save overwrites the only copy of the user's names.
void TagStore::keepUnreadable(const QString& key, const DefaultsValue& stored, const QString& what,
                              const QString& fallback, const QString& reason) {
    keepUnreadableCopy(*defaults_, *queue_, logger_, key, stored,
                       QStringLiteral("Stored %1 are unreadable (%2): %3").arg(what, reason, fallback));
}

void TagStore::write(const QString& key, const DefaultsValue& value) {
    if (!defaults_->setValue(key, value))
        logger_.error(
            QStringLiteral("Could not write %1: the change is kept for this session only").arg(key));
}

void TagStore::saveTags() {
    changed(true, false, When::now);
}

void TagStore::saveSettings() {
    changed(false, true, When::now);
}

void TagStore::changed(bool tags, bool settings, When when) {
    tagsUnsaved_ = tagsUnsaved_ || tags;
    settingsUnsaved_ = settingsUnsaved_ || settings;
    if (when == When::now) {
        flush();
        return;
    }
    // Armed by the first waiting change and not pushed back by later ones: the wait stays bounded.
    if (deferredSave_) return;
    // Cancelled by flush(), which the destructor calls, so the item never outlives the store.
    deferredSave_ = queue_->after(kDeferredSaveSeconds, [this] { flush(); });
}

void TagStore::flush() {
    if (deferredSave_) deferredSave_->cancel();
    deferredSave_.reset();

    // A change that cannot be encoded or written stays unsaved and is tried again with the next save.
    QList<std::pair<QString, DefaultsValue>> values;
    if (tagsUnsaved_) {
        if (auto json = encodeTags()) values.append({kTagsKey, std::move(*json)});
    }
    if (settingsUnsaved_) {
        const auto encoded = ModelJson::encodeSettings(settings_);
        if (encoded)
            values.append({kSettingsKey, *encoded.value});
        else
            logger_.error(QStringLiteral("Settings not saved (%1): the stored settings stay as they were")
                              .arg(encoded.error));
    }
    if (values.isEmpty()) return;
    if (!defaults_->setValues(values)) {
        for (const auto& entry : values)
            logger_.error(QStringLiteral("Could not write %1: the change is kept for this session only")
                              .arg(entry.first));
        return;
    }
    for (const auto& entry : values)
        (entry.first == kTagsKey ? tagsUnsaved_ : settingsUnsaved_) = false;
}

std::optional<QByteArray> TagStore::encodeTags() {
    QList<QByteArray> objects;
    objects.reserve(tags_.size());
    QHash<QUuid, EncodedTag> encoded;
    encoded.reserve(tags_.size());
    for (qsizetype i = 0; i < tags_.size(); ++i) {
        const SpaceTag& tag = tags_.at(i);
        if (const auto cached = encodedTags_.constFind(tag.id);
            cached != encodedTags_.cend() && sameStoredForm(cached->tag, tag)) {
            objects.append(cached->json);
            encoded.insert(tag.id, *cached);
            continue;
        }
        auto json = ModelJson::encodeTag(tag, i);
        if (!json) {
            logger_.error(
                QStringLiteral("Tags not saved (%1): the stored tags stay as they were").arg(json.error));
            return std::nullopt;
        }
        objects.append(*json.value);
        encoded.insert(tag.id, {tag, std::move(*json.value)});
    }
    encodedTags_ = std::move(encoded);
    return ModelJson::joinTags(objects);
}

qsizetype TagStore::indexOf(const QUuid& id) const {
    for (qsizetype i = 0; i < tags_.size(); ++i)
        if (tags_.at(i).id == id) return i;
    return -1;
}

std::optional<SpaceTag> TagStore::tag(const QUuid& id) const {
    const qsizetype i = indexOf(id);
    if (i < 0) return std::nullopt;
    return tags_.at(i);
}

void TagStore::addTag(SpaceTag tag, const QString& reason) {
    tags_.append(tag);
    tagsChanged_.emit(QList<SpaceTag>(tags_));
    SM_TRACE(logger_, QStringLiteral("store ADD id=%1 title='%2' scr=%3 reason=%4 total=%5")
                          .arg(traceId(tag.id), tag.title, traceScreen(tag.screenIdentifier), reason,
                               QString::number(tags_.size())));
    changed(true, false, When::now);
}

void TagStore::removeTag(const QUuid& id, const QString& reason) {
    const qsizetype first = indexOf(id);
    const QString title = first >= 0 ? tags_.at(first).title : QStringLiteral("?");
    if (tags_.removeIf([&](const SpaceTag& t) { return t.id == id; }) > 0)
        tagsChanged_.emit(QList<SpaceTag>(tags_));
    SM_TRACE(logger_, QStringLiteral("store REMOVE id=%1 title='%2' reason=%3 total=%4")
                          .arg(traceId(id), title, reason, QString::number(tags_.size())));
    changed(true, false, When::now);
}

bool TagStore::edit(const QUuid& id, const std::function<void(SpaceTag&)>& mutation) {
    const qsizetype i = indexOf(id);
    if (i < 0) return false;
    const SpaceTag before = tags_.at(i);
    mutation(tags_[i]);
    tags_[i].id = before.id;
    const SpaceTag after = tags_.at(i);
    // Observers get their own copy: one that changes the store again must not change what the
    // observers after it are handed in this round.
    tagsChanged_.emit(QList<SpaceTag>(tags_));
    if (before.title != after.title || before.screenIdentifier != after.screenIdentifier)
        SM_TRACE(logger_,
                 QStringLiteral("store UPDATE id=%1 title '%2'->'%3' scr %4->%5")
                     .arg(traceId(id), before.title, after.title, traceScreen(before.screenIdentifier),
                          traceScreen(after.screenIdentifier)));
    changed(true, false, onlyObservedFieldsDiffer(before, after) ? When::soon : When::now);
    return true;
}

bool TagStore::updateTag(const QUuid& id, const std::function<void(SpaceTag&)>& mutation) {
    return edit(id, mutation);
}

bool TagStore::toggleUserOwned(const QUuid& id) {
    return edit(id, [](SpaceTag& t) { t.isUserOwned = !t.isUserOwned; });
}

bool TagStore::tombstoneTag(const QUuid& id) {
    const Date now = queue_->now();
    return edit(id, [now](SpaceTag& t) {
        t.title.clear();
        t.isUserOwned = false;
        t.isTombstone = true;
        t.lastSeenAt = now;
    });
}

bool TagStore::setAutoTitle(const QUuid& id, const QString& title) {
    return setTitle(id, title, false);
}

bool TagStore::renameTag(const QUuid& id, const QString& title) {
    return setTitle(id, title, true);
}

bool TagStore::setTitle(const QUuid& id, const QString& title, bool markUserOwned) {
    const Date now = queue_->now();
    return edit(id, [&](SpaceTag& t) {
        t.title = title;
        t.lastSeenAt = now;
        if (markUserOwned) t.isUserOwned = true;
    });
}

bool TagStore::setTitleOnly(const QUuid& id, const QString& title) {
    return edit(id, [&](SpaceTag& t) { t.title = title; });
}

void TagStore::resetAllPositions() {
    for (auto& t : tags_)
        t.position.reset();
    tagsChanged_.emit(QList<SpaceTag>(tags_));
    settings_.syncedPosition.reset();
    for (auto& layout : settings_.perScreen)
        layout.position.reset();
    settingsChanged_.emit(AppSettings(settings_));
    // Positions may wait when the program moves a label, not when the user asks for them all back.
    changed(true, true, When::now);
}

void TagStore::updateSettings(const std::function<void(AppSettings&)>& change) {
    const AppSettings before = settings_;
    change(settings_);
    settingsChanged_.emit(AppSettings(settings_));
    changed(false, true, onlyObservedFieldsDiffer(before, settings_) ? When::soon : When::now);
}

} // namespace sm
