#include "model/TagStore.h"

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

template <class T>
CodecResult<T> decodeStored(const DefaultsValue& stored, CodecResult<T> (*decode)(const QByteArray&)) {
    if (const auto* data = std::get_if<QByteArray>(&stored)) return decode(*data);
    // A hand-edited settings file may hold the document as text rather than data.
    if (const auto* text = std::get_if<QString>(&stored)) return decode(text->toUtf8());
    return CodecResult<T>::failure(QStringLiteral("stored as a plain value, not as a JSON document"));
}

} // namespace

TagStore::TagStore(std::shared_ptr<Defaults> defaults, std::shared_ptr<const Clock> clock, Logger logger)
    : defaults_(std::move(defaults)), clock_(std::move(clock)), logger_(std::move(logger)) {
    load();
}

void TagStore::load() {
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

    tagsPublisher_.publish(tags_);
    settingsPublisher_.publish(settings_);
}

// The next save would overwrite the only copy of the user's names, so the unreadable value is copied
// aside first. The original key is left as it is until that save.
void TagStore::keepUnreadable(const QString& key, const DefaultsValue& stored, const QString& what,
                              const QString& fallback, const QString& reason) {
    const QString problem = QStringLiteral("Stored %1 are unreadable (%2): %3").arg(what, reason, fallback);

    // Unchanged since the last launch's copy: one copy is enough, don't add one per launch.
    const QString lastCopyKey = key + QStringLiteral(".unreadableCopy");
    if (const auto lastCopy = defaults_->stringValue(lastCopyKey);
        lastCopy && defaults_->value(*lastCopy) == stored) {
        logger_.error(problem + QStringLiteral("; the data is already kept under ") + *lastCopy);
        return;
    }

    const QString base = key + QStringLiteral(".unreadable-") +
                         dateTimeFromDate(clock_->now()).toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copyKey = base;
    for (int n = 2; defaults_->contains(copyKey) && n < 100; ++n)
        copyKey = base + QLatin1Char('-') + QString::number(n);

    if (!defaults_->setValue(copyKey, stored)) {
        logger_.error(problem + QStringLiteral("; could not keep a copy of the data"));
        return;
    }
    defaults_->setValue(lastCopyKey, copyKey);
    logger_.error(problem + QStringLiteral("; the data is kept under ") + copyKey);
}

void TagStore::write(const QString& key, const DefaultsValue& value) {
    if (!defaults_->setValue(key, value))
        logger_.error(
            QStringLiteral("Could not write %1: the change is kept for this session only").arg(key));
}

void TagStore::saveTags() {
    const auto encoded = ModelJson::encodeTags(tags_);
    if (!encoded) {
        logger_.error(
            QStringLiteral("Tags not saved (%1): the stored tags stay as they were").arg(encoded.error));
        return;
    }
    write(kTagsKey, *encoded.value);
}

void TagStore::saveSettings() {
    const auto encoded = ModelJson::encodeSettings(settings_);
    if (!encoded) {
        logger_.error(QStringLiteral("Settings not saved (%1): the stored settings stay as they were")
                          .arg(encoded.error));
        return;
    }
    write(kSettingsKey, *encoded.value);
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
    tagsPublisher_.publish(QList<SpaceTag>(tags_));
    SM_TRACE(logger_, QStringLiteral("store ADD id=%1 title='%2' scr=%3 reason=%4 total=%5")
                          .arg(traceId(tag.id), tag.title, traceScreen(tag.screenIdentifier), reason,
                               QString::number(tags_.size())));
    saveTags();
}

void TagStore::removeTag(const QUuid& id, const QString& reason) {
    const qsizetype first = indexOf(id);
    const QString title = first >= 0 ? tags_.at(first).title : QStringLiteral("?");
    if (tags_.removeIf([&](const SpaceTag& t) { return t.id == id; }) > 0)
        tagsPublisher_.publish(QList<SpaceTag>(tags_));
    SM_TRACE(logger_, QStringLiteral("store REMOVE id=%1 title='%2' reason=%3 total=%4")
                          .arg(traceId(id), title, reason, QString::number(tags_.size())));
    saveTags();
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
    tagsPublisher_.publish(QList<SpaceTag>(tags_));
    if (before.title != after.title || before.screenIdentifier != after.screenIdentifier)
        SM_TRACE(logger_,
                 QStringLiteral("store UPDATE id=%1 title '%2'->'%3' scr %4->%5")
                     .arg(traceId(id), before.title, after.title, traceScreen(before.screenIdentifier),
                          traceScreen(after.screenIdentifier)));
    saveTags();
    return true;
}

bool TagStore::updateTag(const QUuid& id, const std::function<void(SpaceTag&)>& mutation) {
    return edit(id, mutation);
}

bool TagStore::toggleUserOwned(const QUuid& id) {
    return edit(id, [](SpaceTag& t) { t.isUserOwned = !t.isUserOwned; });
}

bool TagStore::tombstoneTag(const QUuid& id) {
    const Date now = clock_->now();
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
    const Date now = clock_->now();
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
    tagsPublisher_.publish(QList<SpaceTag>(tags_));
    saveTags();
    settings_.syncedPosition.reset();
    for (auto& layout : settings_.perScreen)
        layout.position.reset();
    settingsPublisher_.publish(AppSettings(settings_));
    saveSettings();
}

void TagStore::updateSettings(const std::function<void(AppSettings&)>& change) {
    change(settings_);
    settingsPublisher_.publish(AppSettings(settings_));
    saveSettings();
}

} // namespace sm
