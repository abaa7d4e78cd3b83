#pragma once

#include "model/TagStore.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/TestLoggers.h"
#include "dialogs/PreferencesViewModel.h"

#include <QTemporaryDir>

namespace sm::test {

struct RecordingFileManager final : FileManager {
    QList<QStringList> revealed;
    QStringList opened;
    void revealFiles(const QStringList& paths) override { revealed << paths; }
    void openFolder(const QString& path) override { opened << path; }
};

// A store on memory defaults, a virtual clock, a trace folder of its own and a view model whose
// callbacks record what they were asked.
struct PreferencesFixture {
    static inline const QString kMainScreen = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");

    TestLoggers logs;
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<ManualMainQueue> clock = std::make_shared<ManualMainQueue>();
    std::shared_ptr<TagStore> store = std::make_shared<TagStore>(defaults, clock, logs.loggers.storage);
    QTemporaryDir traceDir;
    std::shared_ptr<TraceLog> traceLog =
        std::make_shared<TraceLog>(false, TraceLog::Options{traceDir.path()});
    std::shared_ptr<RecordingFileManager> files = std::make_shared<RecordingFileManager>();
    std::optional<QString> mainScreen = kMainScreen;
    std::shared_ptr<PreferencesViewModel> model =
        std::make_shared<PreferencesViewModel>(PreferencesViewModel::Services{
            store, defaults, clock, traceLog, files, [this] { return mainScreen; }, logs.loggers.app});

    int duplicatesFound = 0;
    LoginItemStatus loginStatus = LoginItemStatus::enabled;
    QStringList calls;

    PreferencesFixture() { refresh(); }

    void refresh() {
        PreferencesViewModel::Callbacks c;
        c.onRemoveDuplicates = [this] { return calls << "removeDuplicates", duplicatesFound; };
        c.onResetAllPositions = [this] { calls << "resetAllPositions"; };
        c.onRenameTag = [this](QUuid id, QString title) {
            calls << "rename " + title;
            store->renameTag(id, title);
        };
        c.onDeleteTag = [this](QUuid id) {
            calls << "delete";
            store->removeTag(id, QStringLiteral("preferences-delete"));
        };
        c.onDeleteStaleTags = [this](QList<QUuid> ids) {
            QStringList titles;
            for (const auto& id : ids)
                titles << store->tag(id)->title;
            calls << "deleteStale " + titles.join(',');
        };
        c.launchAtLoginStatus = [this] { return loginStatus; };
        c.onSetLaunchAtLogin = [this](bool on) {
            calls << QStringLiteral("setLaunchAtLogin %1").arg(on);
            return on && loginStatus != LoginItemStatus::requiresApproval;
        };
        c.onRevealLoginItems = [this] { calls << "revealLoginItems"; };
        model->refresh(c, 1);
    }

    SpaceTag addTag(const QString& title, int displayIndex, double ageSeconds = 0, bool tombstone = false) {
        SpaceTag tag;
        tag.id = QUuid::createUuid();
        tag.title = title;
        tag.displayIndex = displayIndex;
        tag.lastSeenAt = clock->now() - ageSeconds;
        tag.isTombstone = tombstone;
        store->addTag(tag, QStringLiteral("test"));
        return tag;
    }
    int settingsWrites() const { return defaults->writeCount(TagStore::kSettingsKey); }
};

} // namespace sm::test
