#pragma once

#include "logging/Logger.h"
#include "model/TagStore.h"
#include "overlay/LabelContextMenu.h"
#include "overlay/OverlayManager.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/WindowServer.h"
#include "rules/AutoCreateGuard.h"
#include "rules/CreationGate.h"
#include "rules/SpaceResolutionPolicy.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace sm {

// Decides which tag is active after every desktop change, creates tags for desktops that are really
// new (and never for labels that are merely late), rides out display reconfigurations, and carries
// out the user's tag commands. Holds the store and the overlay weakly: once either is gone every
// operation does nothing. Main thread only.
class SpaceTracker : public std::enable_shared_from_this<SpaceTracker> {
public:
    static constexpr double kNewSpaceTimeoutSeconds = 2.0;
    static constexpr double kPollSeconds = 0.25;
    static constexpr double kReconfigGraceSeconds = 25.0;
    static constexpr double kSettleDelaySeconds = 10.0;
    static constexpr double kHealWindowSeconds = 4.0;
    static inline const QString kQuietSecondsKey = QStringLiteral("Spacemarquee.PopulatedCreateQuietSeconds");

    struct TimeoutCreate {
        QUuid tagId;
        quint32 screen = 0;
        Date at = 0.0;
    };

    static std::shared_ptr<SpaceTracker> create(std::weak_ptr<TagStore> tagStore,
                                                std::weak_ptr<OverlayManager> overlayManager,
                                                std::shared_ptr<WindowServer> windowServer,
                                                std::shared_ptr<MainQueue> queue,
                                                std::shared_ptr<const Defaults> defaults, Logger logger);
    ~SpaceTracker();
    SpaceTracker(const SpaceTracker&) = delete;
    SpaceTracker& operator=(const SpaceTracker&) = delete;

    // ---- Lifecycle ----
    void start(bool launchedAsLoginItem);
    void stop();

    // ---- Resolution ----
    // The tag the panels name right now; changes nothing.
    std::optional<QUuid> queryActiveTagId() const;
    void activeSpaceChanged();
    void resolve();
    void panelPresenceChanged(const QUuid& id, bool isOnActiveSpace);
    void adopt(const QUuid& id);
    bool createTag(bool automatic);

    // ---- Storms ----
    void displayReconfigured(const QString& reason);
    void armSettlementAudit();
    void settlementAudit();
    void zombifyPanel(const QUuid& id, const QString& reason);
    void editSessionClosed(const QUuid& id);
    void panelCrossedScreens(const QUuid& id);
    void updateScreenCensus();

    // ---- Tag commands ----
    void addTagForCurrentSpace();
    void setTitleForCurrentSpace(const QString& title, bool markUserOwned);
    void removeCurrentTag();
    void removeTag(const QUuid& id, const QString& reason);
    void renameTag(const QUuid& id, const QString& title);
    int removeDuplicatesOnCurrentSpace();
    void deleteTagFromContextMenu(const QUuid& id);
    QList<LabelContextMenu::RestorableTitle> restorableTitles() const;
    void restoreTitle(const QUuid& orphanId, const QUuid& onto);
    int purgeJunk(const QString& reason, double olderThanSeconds);

    // ---- State, for the shell and for tests ----
    std::optional<QUuid> currentActiveTagId() const { return currentActiveTagId_; }
    bool hasPendingEpisode() const { return pending_.has_value(); }
    std::optional<TimeoutCreate> lastTimeoutCreate() const { return lastTimeoutCreate_; }
    bool isSettlementAuditArmed() const { return reconfigSettleWork_ && !reconfigSettleWork_->isCancelled(); }
    const QHash<QUuid, QString>& deferredZombifies() const { return deferredZombifies_; }
    // The populated-screen quiet period as configured now.
    double populatedCreateQuietSeconds() const;

    // ---- Callbacks (optional; set by the composition root before start) ----
    // Every adoption and every creation, also when the tag did not change.
    std::function<void(QUuid)> onActiveTagResolved;
    // Speaks a desktop's name (title, rate, volume as stored); called when the active tag changes and
    // the user asked for announcements.
    std::function<void(QString, double, double)> speakSpaceName;
    // The automatic title of a tag made for the active desktop (not the user's own); empty: untitled.
    std::function<QString()> newTagTitleProvider;

private:
    SpaceTracker(std::weak_ptr<TagStore> tagStore, std::weak_ptr<OverlayManager> overlayManager,
                 std::shared_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue,
                 std::shared_ptr<const Defaults> defaults, Logger logger);

    struct Collaborators {
        std::shared_ptr<TagStore> store;
        std::shared_ptr<OverlayManager> overlay;
        explicit operator bool() const { return store && overlay; }
    };
    Collaborators collaborators() const;

    std::optional<quint32> mainDisplayId() const;
    QString describeMainScreen() const;
    bool withinReconfigGrace() const;
    QSet<QString> knownScreenIdentifiers(const QList<ScreenInfo>& screens) const;
    bool isBoundToMainScreen(const SpaceTag& tag, const std::optional<ScreenInfo>& main) const;
    SpaceTag makeTag(const TagStore& store, const QString& title, bool isUserOwned) const;

    void beginEpisode(quint32 screen, std::optional<QUuid> previouslyActive);
    void cancelEpisode();
    void poll(quint32 screen, quint64 generation);
    void timeout(quint32 screen, quint64 generation);
    bool healSpuriousCreate(const Collaborators& c, const QUuid& reporter, quint32 reportScreen,
                            bool isOnActiveSpace);
    void applyHomeScreenRule(TagStore& store, OverlayManager& overlay, const QUuid& id);
    void forget(const QUuid& id);

    std::weak_ptr<TagStore> tagStore_;
    std::weak_ptr<OverlayManager> overlayManager_;
    std::shared_ptr<WindowServer> windowServer_;
    std::shared_ptr<MainQueue> queue_;
    std::shared_ptr<const Defaults> defaults_;
    Logger logger_;

    Signal<>::Connection spaceChangeObserver_;
    Signal<>::Connection displayReconfigObserver_;
    Signal<>::Connection systemWakeObserver_;

    std::optional<QUuid> currentActiveTagId_;
    ThrottleClock autoCreateThrottle_{AutoCreateGuard::kThrottleSeconds};
    std::optional<SpaceResolutionPolicy::PendingResolution> pending_;
    WorkHandle pendingTimeoutWork_;
    WorkHandle pendingPollWork_;
    quint64 pendingGeneration_ = 0;
    int rawLagDeferrals_ = 0;
    std::optional<Date> pendingEpisodeBeganAt_;
    std::optional<Date> lastDisplayReconfigAt_;
    WorkHandle reconfigSettleWork_;
    std::optional<TimeoutCreate> lastTimeoutCreate_;
    QHash<QUuid, QString> deferredZombifies_;
};

} // namespace sm
