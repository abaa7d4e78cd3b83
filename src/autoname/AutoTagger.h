#pragma once

#include "logging/Logger.h"
#include "model/TagStore.h"
#include "overlay/OverlayManager.h"
#include "platform/MainQueue.h"
#include "platform/Signal.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "tracker/SpaceTracker.h"

#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace sm {

enum class AutoTagRefreshOutcome {
    applied,        // a new title was written
    definitiveSkip, // nothing written, and waiting will not change that
    transientNoTag, // nothing written because no active tag is resolved yet; a retry may succeed
};

// Keeps the active desktop's name in step with what the user works on: after an application switch,
// a desktop switch or the tracker settling on the active tag, it derives a title from the frontmost
// window and writes it into the active tag, unless the user named that tag by hand. A desktop switch
// is announced before the tracker knows the active tag, so its refresh retries a few times on the
// main queue; a newer trigger makes older retries harmless (the generation counter). Main thread only.
class AutoTagger : public std::enable_shared_from_this<AutoTagger> {
public:
    static constexpr double kFirstAttemptDelaySeconds = 0.2;
    static constexpr double kRetryDelaySeconds = 0.25;
    static constexpr int kRetryBudget = 8;

    // The workspace and the window server are the two event sources (application activated, active
    // desktop changed); the workspace also answers what is in front.
    static std::shared_ptr<AutoTagger>
    create(std::weak_ptr<TagStore> tagStore, std::weak_ptr<SpaceTracker> spaceTracker,
           std::weak_ptr<OverlayManager> overlayManager, std::shared_ptr<Workspace> workspace,
           std::shared_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue, Logger logger);

    void start();
    void stop();

    void refreshForResolvedTag(const QUuid& id, const QString& reason);
    AutoTagRefreshOutcome refresh(const QString& reason);
    AutoTagRefreshOutcome apply(const SpaceTag& tag, const QString& reason);
    std::optional<QString> deriveTitle() const;

    quint64 refreshGeneration() const { return refreshGeneration_; }
    bool isStarted() const { return started_; }
    // Attempts on the main queue that have not run yet, stale ones included.
    int scheduledAttempts() const { return scheduledAttempts_; }

private:
    AutoTagger(std::weak_ptr<TagStore> tagStore, std::weak_ptr<SpaceTracker> spaceTracker,
               std::weak_ptr<OverlayManager> overlayManager, std::shared_ptr<Workspace> workspace,
               std::shared_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue, Logger logger);

    void applicationActivated();
    void activeSpaceChanged();
    void attempt(const QString& reason, quint64 generation, int retriesLeft);
    void scheduleAttempt(double seconds, const QString& reason, quint64 generation, int retriesLeft);
    std::optional<WindowNameGuessing> level() const;

    std::weak_ptr<TagStore> tagStore_;
    std::weak_ptr<SpaceTracker> spaceTracker_;
    std::weak_ptr<OverlayManager> overlayManager_;
    std::shared_ptr<Workspace> workspace_;
    std::shared_ptr<WindowServer> windowServer_;
    std::shared_ptr<MainQueue> queue_;
    Logger logger_;

    Signal<>::Connection appActivationObserver_;
    Signal<>::Connection spaceChangeObserver_;
    quint64 refreshGeneration_ = 0;
    int scheduledAttempts_ = 0;
    bool started_ = false;
};

} // namespace sm
