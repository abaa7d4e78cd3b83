#pragma once

#include "logging/Logger.h"
#include "model/AppSettings.h"
#include "platform/Signal.h"
#include "model/SpaceTag.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// The single owner of the persisted tags and settings. Loads them at construction and publishes every
// change synchronously to its observers. Main thread only.
//
// When a change reaches the disk:
// - Whatever the user did (titles, ownership, tombstones, added and removed tags, fonts, preferences,
//   resetAllPositions) is written before the operation returns, so an acknowledged change survives a
//   crash a moment later.
// - A change made only of what the program observes for itself, on its own or together, waits up to
//   kDeferredSaveSeconds: last-seen times, home screens and label positions of tags, and the synced and
//   per-screen positions and screen census of the settings. Desktop switches and drags then cost no
//   disk write each. flush() (at quit, and on destruction) writes them at once; so does any
//   immediate change, since every write carries everything pending.
//
// Tag ids are expected to be unique; lookups take the first tag with an id, removeTag removes all.
class TagStore {
public:
    static inline const QString kTagsKey = QStringLiteral("Spacemarquee.Tags");
    static inline const QString kSettingsKey = QStringLiteral("Spacemarquee.AppSettings");
    static inline const QString kSchemaKey = QStringLiteral("Spacemarquee.SchemaVersion");
    static constexpr qint64 kSchemaVersion = 1;
    static constexpr double kDeferredSaveSeconds = 2.0;

    // `queue` supplies "now" for the edits that stamp lastSeenAt and for naming kept-aside data, and
    // runs deferred saves; `logger` is the storage logger.
    TagStore(std::shared_ptr<Defaults> defaults, std::shared_ptr<MainQueue> queue, Logger logger);
    ~TagStore();
    TagStore(const TagStore&) = delete;
    TagStore& operator=(const TagStore&) = delete;

    // Reads schema, tags and settings. Unreadable stored data is copied aside under
    // "<key>.unreadable-<yyyyMMdd-HHmmss UTC>" before the store starts empty or with the defaults.
    void load();
    // Write the tags (settings) now, with anything else pending.
    void saveTags();
    void saveSettings();
    // Writes every change that is waiting, now. Does nothing when none is.
    void flush();
    // Right after a user's change, true only when writing it failed: a reply saying "done" can ask this.
    bool hasUnsavedChanges() const { return tagsUnsaved_ || settingsUnsaved_; }

    const QList<SpaceTag>& tags() const { return tags_; }
    const AppSettings& settings() const { return settings_; }
    std::optional<SpaceTag> tag(const QUuid& id) const;
    qint64 schemaVersion() const { return schemaVersion_; }

    // Observers receive the whole new value once per change, during the change. They do not receive
    // the value current at subscription: read tags()/settings() for that.
    [[nodiscard]] Connection subscribeTags(std::function<void(const QList<SpaceTag>&)> observer) {
        return tagsChanged_.connect(std::move(observer));
    }
    [[nodiscard]] Connection subscribeSettings(std::function<void(const AppSettings&)> observer) {
        return settingsChanged_.connect(std::move(observer));
    }

    // ---- Tag operations: each publishes, traces and saves (at once or deferred, see above). ----
    void addTag(SpaceTag tag, const QString& reason);
    // Traces and saves even when no tag has the id.
    void removeTag(const QUuid& id, const QString& reason);
    // The per-tag edits return false, and do nothing, when no tag has the id. A tag's id never changes
    // through an edit.
    bool updateTag(const QUuid& id, const std::function<void(SpaceTag&)>& mutation);
    bool toggleUserOwned(const QUuid& id);
    bool tombstoneTag(const QUuid& id);
    // Automatic naming: leaves ownership alone.
    bool setAutoTitle(const QUuid& id, const QString& title);
    // The user's own name: takes ownership.
    bool renameTag(const QUuid& id, const QString& title);
    bool setTitle(const QUuid& id, const QString& title, bool markUserOwned);
    // Changes the title and nothing else (no ownership, no last-seen time).
    bool setTitleOnly(const QUuid& id, const QString& title);
    // Clears every label position: the tags', the synced one and the per-screen ones (other per-screen
    // overrides stay). One publication of tags and one of settings.
    void resetAllPositions();

    // ---- Settings: changed in place, then published once and saved (at once or deferred). ----
    void updateSettings(const std::function<void(AppSettings&)>& change);

private:
    qsizetype indexOf(const QUuid& id) const;
    bool edit(const QUuid& id, const std::function<void(SpaceTag&)>& mutation);
    void keepUnreadable(const QString& key, const DefaultsValue& stored, const QString& what,
                        const QString& fallback, const QString& reason);
    void write(const QString& key, const DefaultsValue& value);
    enum class When { now, soon };
    void changed(bool tags, bool settings, When when);
    std::optional<QByteArray> encodeTags();

    std::shared_ptr<Defaults> defaults_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;

    bool tagsUnsaved_ = false;
    bool settingsUnsaved_ = false;
    WorkHandle deferredSave_;
    // Each tag's JSON object as last encoded, so a save re-encodes only the tags that changed.
    struct EncodedTag {
        SpaceTag tag;
        QByteArray json;
    };
    QHash<QUuid, EncodedTag> encodedTags_;

    QList<SpaceTag> tags_;
    AppSettings settings_;
    qint64 schemaVersion_ = kSchemaVersion;

    Signal<const QList<SpaceTag>&> tagsChanged_;
    Signal<const AppSettings&> settingsChanged_;
};

} // namespace sm
