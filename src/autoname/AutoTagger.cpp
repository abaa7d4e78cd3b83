#include "autoname/AutoTagger.h"

#include "autoname/TitleDerivation.h"
#include "logging/TraceFormat.h"
#include "rules/ShortId.h"

namespace sm {

namespace {

const QString kAppActivated = QStringLiteral("app-activated");
const QString kSpaceChanged = QStringLiteral("space-changed");

std::optional<SpaceTag> firstTagWithId(const TagStore& store, const QUuid& id) {
    for (const auto& tag : store.tags())
        if (tag.id == id) return tag;
    return std::nullopt;
}

} // namespace

std::shared_ptr<AutoTagger> AutoTagger::create(std::weak_ptr<TagStore> tagStore,
                                               std::weak_ptr<SpaceTracker> spaceTracker,
                                               std::weak_ptr<OverlayManager> overlayManager,
                                               std::shared_ptr<Workspace> workspace,
                                               std::shared_ptr<WindowServer> windowServer,
                                               std::shared_ptr<MainQueue> queue, Logger logger) {
    return std::shared_ptr<AutoTagger>(
        new AutoTagger(std::move(tagStore), std::move(spaceTracker), std::move(overlayManager),
                       std::move(workspace), std::move(windowServer), std::move(queue), std::move(logger)));
}

AutoTagger::AutoTagger(std::weak_ptr<TagStore> tagStore, std::weak_ptr<SpaceTracker> spaceTracker,
                       std::weak_ptr<OverlayManager> overlayManager, std::shared_ptr<Workspace> workspace,
                       std::shared_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue,
                       Logger logger)
    : tagStore_(std::move(tagStore)), spaceTracker_(std::move(spaceTracker)),
      overlayManager_(std::move(overlayManager)), workspace_(std::move(workspace)),
      windowServer_(std::move(windowServer)), queue_(std::move(queue)), logger_(std::move(logger)) {}

std::optional<WindowNameGuessing> AutoTagger::level() const {
    const auto store = tagStore_.lock();
    return store ? std::optional(store->settings().windowNameGuessing) : std::nullopt;
}

void AutoTagger::start() {
    logger_.info(QStringLiteral("AutoTagger starting"));
    const auto current = level();
    // titleAccess: whether other programs' window titles can be read (always so on X11).
    SM_TRACE(logger_, QStringLiteral("AutoTagger start level=%1 titleAccess=%2")
                          .arg(current ? rawValue(*current) : -1)
                          .arg(tracefmt::boolean(workspace_ && workspace_->canReadWindowTitles())));
    std::weak_ptr<AutoTagger> weak = weak_from_this();
    if (workspace_)
        appActivationObserver_ = workspace_->applicationActivated.connect([weak] {
            if (auto self = weak.lock()) self->applicationActivated();
        });
    if (windowServer_)
        spaceChangeObserver_ = windowServer_->activeDesktopChanged.connect([weak] {
            if (auto self = weak.lock()) self->activeSpaceChanged();
        });
    started_ = true;
}

void AutoTagger::stop() {
    appActivationObserver_.disconnect();
    spaceChangeObserver_.disconnect();
    started_ = false;
}

// One refresh, no retry: an application switch does not move the desktop, so no tag is on its way.
void AutoTagger::applicationActivated() {
    refresh(kAppActivated);
}

void AutoTagger::activeSpaceChanged() {
    const quint64 generation = ++refreshGeneration_;
    scheduleAttempt(kFirstAttemptDelaySeconds, kSpaceChanged, generation, kRetryBudget);
}

void AutoTagger::scheduleAttempt(double seconds, const QString& reason, quint64 generation, int retriesLeft) {
    std::weak_ptr<AutoTagger> weak = weak_from_this();
    ++scheduledAttempts_;
    queue_->after(seconds, [weak, reason, generation, retriesLeft] {
        if (auto self = weak.lock()) {
            --self->scheduledAttempts_;
            self->attempt(reason, generation, retriesLeft);
        }
    });
}

void AutoTagger::attempt(const QString& reason, quint64 generation, int retriesLeft) {
    if (refreshGeneration_ != generation) {
        SM_TRACE(logger_, QStringLiteral("autoTag ABORT stale-generation reason=%1 gen=%2 current=%3")
                              .arg(reason)
                              .arg(generation)
                              .arg(refreshGeneration_));
        return;
    }
    if (refresh(reason) != AutoTagRefreshOutcome::transientNoTag || retriesLeft <= 0) return;
    SM_TRACE(logger_, QStringLiteral("autoTag RETRY reason=%1 attemptsLeft=%2 gen=%3")
                          .arg(reason)
                          .arg(retriesLeft - 1)
                          .arg(generation));
    scheduleAttempt(kRetryDelaySeconds, reason, generation, retriesLeft - 1);
}

void AutoTagger::refreshForResolvedTag(const QUuid& id, const QString& reason) {
    const auto store = tagStore_.lock();
    if (!store) return;
    ++refreshGeneration_; // a space-change retry still pending is superseded
    if (store->settings().windowNameGuessing == WindowNameGuessing::off) {
        SM_TRACE(logger_, QStringLiteral("autoTag SKIP reason=%1 cause=setting-off").arg(reason));
        return;
    }
    const auto tag = firstTagWithId(*store, id);
    if (!tag) {
        SM_TRACE(logger_,
                 QStringLiteral("autoTag SKIP reason=%1 cause=tag-gone id=%2").arg(reason, shortId(id)));
        return;
    }
    apply(*tag, reason);
}

AutoTagRefreshOutcome AutoTagger::refresh(const QString& reason) {
    const auto store = tagStore_.lock();
    const auto tracker = spaceTracker_.lock();
    const auto overlay = overlayManager_.lock();
    if (!store || !tracker || !overlay) return AutoTagRefreshOutcome::definitiveSkip;
    if (store->settings().windowNameGuessing == WindowNameGuessing::off) {
        SM_TRACE(logger_, QStringLiteral("autoTag SKIP reason=%1 cause=setting-off").arg(reason));
        return AutoTagRefreshOutcome::definitiveSkip;
    }
    const auto activeId = tracker->queryActiveTagId();
    const auto tag = activeId ? firstTagWithId(*store, *activeId) : std::nullopt;
    if (!tag) {
        SM_TRACE(logger_, QStringLiteral("autoTag SKIP reason=%1 cause=no-active-tag-resolved snapshot=[%2]")
                              .arg(reason, overlay->panelsDescription()));
        return AutoTagRefreshOutcome::transientNoTag;
    }
    return apply(*tag, reason);
}

AutoTagRefreshOutcome AutoTagger::apply(const SpaceTag& tag, const QString& reason) {
    const auto store = tagStore_.lock();
    if (!store) return AutoTagRefreshOutcome::definitiveSkip;
    if (tag.isUserOwned) {
        SM_TRACE(logger_, QStringLiteral("autoTag SKIP reason=%1 cause=tag-is-userOwned id=%2 title='%3'")
                              .arg(reason, shortId(tag.id), tag.title));
        return AutoTagRefreshOutcome::definitiveSkip;
    }
    const auto derived = deriveTitle();
    if (!derived) {
        SM_TRACE(logger_, QStringLiteral(
                              "autoTag SKIP reason=%1 cause=no-derived-title (see autoTag.derive line above)")
                              .arg(reason));
        return AutoTagRefreshOutcome::definitiveSkip;
    }
    if (*derived == tag.title) {
        SM_TRACE(logger_,
                 QStringLiteral("autoTag SKIP reason=%1 cause=unchanged derived='%2'").arg(reason, *derived));
        return AutoTagRefreshOutcome::definitiveSkip;
    }
    logger_.info(QStringLiteral("AutoTag (%1) -> %2").arg(reason, *derived));
    SM_TRACE(
        logger_,
        QStringLiteral("autoTag APPLY reason=%1 id=%2 derived='%3'").arg(reason, shortId(tag.id), *derived));
    store->setAutoTitle(tag.id, *derived);
    return AutoTagRefreshOutcome::applied;
}

std::optional<QString> AutoTagger::deriveTitle() const {
    if (!workspace_) return std::nullopt;
    return TitleDerivation::deriveTitle(*workspace_, level(), logger_);
}

} // namespace sm
