#pragma once

#include "logging/Logger.h"
#include "model/TagStore.h"
#include "platform/Defaults.h"
#include "platform/FileManager.h"
#include "platform/LoginItem.h"
#include "platform/MainQueue.h"
#include "platform/Signal.h"
#include "dialogs/ReassignTags.h"

#include <QList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// What the preferences window shows and does, without the widgets: every control binds to one
// operation here. A setting change writes its field into the store's settings, which publishes it (the
// labels follow at once) and saves it. Tag actions go through the callbacks the composition root sets.
class PreferencesViewModel {
public:
    struct Callbacks {
        std::function<int()> onRemoveDuplicates;
        std::function<void()> onResetAllPositions;
        std::function<void(QUuid, QString)> onRenameTag;
        std::function<void(QUuid)> onDeleteTag;
        std::function<void(QList<QUuid>)> onDeleteStaleTags;
        std::function<LoginItemStatus()> launchAtLoginStatus;
        std::function<bool(bool)> onSetLaunchAtLogin;
        std::function<void()> onRevealLoginItems;
    };

    struct Services {
        std::weak_ptr<TagStore> tagStore;
        std::shared_ptr<Defaults> defaults;
        std::shared_ptr<const Clock> clock;
        std::shared_ptr<TraceLog> traceLog;
        std::shared_ptr<FileManager> fileManager;
        // The stable identifier of the screen the user works on; none when it has none.
        std::function<std::optional<QString>()> mainScreenId;
        Logger logger; // the app logger
    };

    // What the desktop at hand cannot do, and why; asked again each time the rows are read.
    struct Limits {
        QString ctrlUnavailable; // why Ctrl held elsewhere cannot be seen; empty when it can
        bool speechEngine = true;
        bool frontWindow = true; // the backend can tell which window is in front
        QString backendProblem{}; // why the desktop's own backend is not in use (with the fix); empty when it is
    };
    // A row saying what cannot work here. The setting it concerns stays as chosen.
    struct Unavailable {
        QString identifier; // "ctrl", "speech", "windowNames", "backend"
        QString text;
    };

    explicit PreferencesViewModel(Services services);
    PreferencesViewModel(const PreferencesViewModel&) = delete;
    PreferencesViewModel& operator=(const PreferencesViewModel&) = delete;

    // Each time the window is shown: takes the current callbacks, re-reads what the desktop has for
    // launch at login and the diagnostics switch, and forgets the last duplicates result.
    void refresh(Callbacks callbacks, int refreshToken);
    int launchAtLoginRefreshToken() const { return refreshToken_; }

    // Anything shown may have changed (settings, tags, or the window's own state).
    Signal<> changed;

    // ---- Settings ----
    // The store's settings (the defaults once the store is gone).
    AppSettings settings() const;
    // Applies `change` to the settings, publishes and saves once.
    void updateSettings(const std::function<void(AppSettings&)>& change);
    template <class T> void set(T AppSettings::*field, T value) {
        updateSettings([field, value](AppSettings& s) { s.*field = value; });
    }
    // Font size and magnification are per screen: the main screen's override, or the global value
    // when the main screen has no stable identifier.
    double fontSizeHere() const;
    void setFontSizeHere(double size);
    double magnifyScaleHere() const;
    void setMagnifyScaleHere(double scale);
    // Every setting back to its default, the screen census and per-screen overrides included.
    void resetSettingsToDefaults();

    QString fontSizeCaption() const;
    QString baseOpacityCaption() const;
    QString ctrlBoostOpacityCaption() const;
    QString durationCaption() const;
    QString magnifyScaleCaption() const;
    QString magnifyOpacityCaption() const;

    void setLimits(std::function<Limits()> limits) { limits_ = std::move(limits); }
    // One row per cause present now; none once the cause is gone.
    QList<Unavailable> unavailableRows() const;

    // ---- Launch at login ----
    bool launchAtLoginOn() const { return launchAtLoginOn_; }
    LoginItemStatus launchAtLoginState() const { return launchAtLoginState_; }
    // The "turned off in your session settings" row: only the user can switch the entry back on there.
    bool showsApprovalRow() const;
    void setLaunchAtLogin(bool on);
    void revealLoginItems();

    // ---- Tags ----
    void removeDuplicates();
    // The last duplicates result, empty before the first removal since the window was shown.
    QString duplicatesRemovedToast() const { return duplicatesRemovedToast_; }
    void resetAllPositions();
    // Tags not seen for more than seven days, in list order, as of now.
    QList<SpaceTag> staleTags() const;
    // "<n> tag(s) not seen in 7+ days"; empty when nothing is stale (the row is hidden).
    QString staleRowText() const;
    void deleteStaleTags();
    QList<ReassignTags::Row> reassignRows() const;
    void renameTag(const QUuid& id, const QString& title);
    void deleteTag(const QUuid& id);

    // ---- Diagnostics ----
    bool diagnosticsLogging() const { return diagnosticsLogging_; }
    // Written at once; the trace log reads it at the next launch.
    void setDiagnosticsLogging(bool on);
    // The trace files selected in the file manager; the trace folder when there are none.
    void showLogFiles();

private:
    void readLaunchAtLogin();

    Services services_;
    Callbacks callbacks_;
    std::function<Limits()> limits_;
    int refreshToken_ = 0;
    bool launchAtLoginOn_ = false;
    LoginItemStatus launchAtLoginState_ = LoginItemStatus::notRegistered;
    QString duplicatesRemovedToast_;
    bool diagnosticsLogging_ = false;
    Connection tagsSubscription_;
    Connection settingsSubscription_;
};

} // namespace sm
