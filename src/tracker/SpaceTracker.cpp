#include "tracker/SpaceTracker.h"

#include "logging/TraceFormat.h"
#include "rules/ShortId.h"

#include <algorithm>
#include <cmath>

namespace sm {

namespace Policy = SpaceResolutionPolicy;

namespace {

QString shortText(const std::optional<QString>& text) {
    return text ? text->left(8) : QStringLiteral("nil");
}

std::optional<Policy::PanelSnapshot> snapshotOf(const QList<Policy::PanelSnapshot>& snapshots, const QUuid& id) {
    for (const auto& s : snapshots)
        if (s.tagId == id) return s;
    return std::nullopt;
}

qint64 wholeSeconds(double seconds) {
    return std::isfinite(seconds) ? static_cast<qint64>(std::trunc(seconds)) : 0;
}

} // namespace

std::shared_ptr<SpaceTracker> SpaceTracker::create(std::weak_ptr<TagStore> tagStore,
                                                   std::weak_ptr<OverlayManager> overlayManager,
                                                   std::shared_ptr<WindowServer> windowServer,
                                                   std::shared_ptr<MainQueue> queue,
                                                   std::shared_ptr<const Defaults> defaults, Logger logger) {
    return std::shared_ptr<SpaceTracker>(new SpaceTracker(std::move(tagStore), std::move(overlayManager),
                                                          std::move(windowServer), std::move(queue),
                                                          std::move(defaults), std::move(logger)));
}

SpaceTracker::SpaceTracker(std::weak_ptr<TagStore> tagStore, std::weak_ptr<OverlayManager> overlayManager,
                           std::shared_ptr<WindowServer> windowServer, std::shared_ptr<MainQueue> queue,
                           std::shared_ptr<const Defaults> defaults, Logger logger)
    : tagStore_(std::move(tagStore)), overlayManager_(std::move(overlayManager)),
      windowServer_(std::move(windowServer)), queue_(std::move(queue)), defaults_(std::move(defaults)),
      logger_(std::move(logger)) {}

SpaceTracker::~SpaceTracker() {
    // The work items hold the tracker weakly; cancelling keeps the queue tidy.
    for (const auto* w : {&pendingTimeoutWork_, &pendingPollWork_, &reconfigSettleWork_})
        if (*w) (*w)->cancel();
}

SpaceTracker::Collaborators SpaceTracker::collaborators() const {
    return Collaborators{tagStore_.lock(), overlayManager_.lock()};
}

// ---- Lifecycle ----------------------------------------------------------------------------------------

void SpaceTracker::start(bool launchedAsLoginItem) {
    logger_.notice(QStringLiteral("SpaceTracker starting"));
    updateScreenCensus();
    std::weak_ptr<SpaceTracker> weak = weak_from_this();
    spaceChangeObserver_ = windowServer_->activeDesktopChanged.connect([weak] {
        if (auto self = weak.lock()) self->activeSpaceChanged();
    });
    displayReconfigObserver_ = windowServer_->screensChanged.connect([weak] {
        if (auto self = weak.lock()) self->displayReconfigured(QStringLiteral("screenParameters"));
    });
    systemWakeObserver_ = windowServer_->didWake.connect([weak] {
        if (auto self = weak.lock()) self->displayReconfigured(QStringLiteral("systemWake"));
    });
    // Logging in brings the displays up in several steps, exactly like a reconfiguration.
    if (launchedAsLoginItem) displayReconfigured(QStringLiteral("launched-as-login-item"));
    resolve();
}

void SpaceTracker::stop() {
    spaceChangeObserver_.disconnect();
    displayReconfigObserver_.disconnect();
    systemWakeObserver_.disconnect();
    if (reconfigSettleWork_) reconfigSettleWork_->cancel();
    reconfigSettleWork_.reset();
    // An open episode's poll and time-out would otherwise still fire, and could mint a tag, while the
    // program is shutting down.
    cancelEpisode();
    pendingEpisodeBeganAt_.reset();
}

// ---- Screens ------------------------------------------------------------------------------------------

std::optional<quint32> SpaceTracker::mainDisplayId() const {
    const auto main = windowServer_->mainScreen();
    return main ? main->displayNumber : std::nullopt;
}

QString SpaceTracker::describeMainScreen() const {
    const auto main = windowServer_->mainScreen();
    if (!main) return QStringLiteral("nil");
    return main->localizedName + QLatin1Char('#') +
           (main->displayNumber ? QString::number(*main->displayNumber) : QStringLiteral("?"));
}

bool SpaceTracker::withinReconfigGrace() const {
    return lastDisplayReconfigAt_ && queue_->now() - *lastDisplayReconfigAt_ < kReconfigGraceSeconds;
}

// Stable identifiers of the attached screens, plus names only one of them carries: a home written as
// a name still identifies a screen when the name is unambiguous.
QSet<QString> SpaceTracker::knownScreenIdentifiers(const QList<ScreenInfo>& screens) const {
    QSet<QString> known;
    QHash<QString, int> nameCount;
    for (const auto& s : screens) {
        if (s.stableId) known.insert(*s.stableId);
        nameCount[s.localizedName] += 1;
    }
    for (auto it = nameCount.cbegin(); it != nameCount.cend(); ++it)
        if (it.value() == 1) known.insert(it.key());
    return known;
}

bool SpaceTracker::isBoundToMainScreen(const SpaceTag& tag, const std::optional<ScreenInfo>& main) const {
    if (!main || !tag.screenIdentifier) return false;
    return (main->stableId && *tag.screenIdentifier == *main->stableId) || *tag.screenIdentifier == main->localizedName;
}

// ---- Resolution ---------------------------------------------------------------------------------------

std::optional<QUuid> SpaceTracker::queryActiveTagId() const {
    const auto c = collaborators();
    if (!c) return std::nullopt;
    const auto screen = mainDisplayId();
    if (!screen) return std::nullopt;
    const auto snapshots = c.overlay->panelSnapshots();
    const auto result = Policy::verdict(snapshots, *screen, currentActiveTagId_, false);
    SM_TRACE(logger_, QStringLiteral("resolveQuery verdict=%1 rule=%2 screen=%3 %4")
                          .arg(result.verdict.toString(), result.rule)
                          .arg(*screen)
                          .arg(Policy::describe(snapshots, *screen)));
    if (result.verdict.isResolved()) return result.verdict.tagId();
    return std::nullopt;
}

void SpaceTracker::activeSpaceChanged() {
    const auto overlay = overlayManager_.lock();
    if (!overlay) return;
    logger_.info(QStringLiteral("activeSpaceDidChange fired — starting resolution"));
    SM_TRACE(logger_, [&] {
        const auto main = windowServer_->mainScreen();
        QStringList screens;
        for (const auto& s : windowServer_->screens()) {
            QString entry = s.localizedName + QLatin1Char('#') +
                            (s.displayNumber ? QString::number(*s.displayNumber) : QStringLiteral("?"));
            if (main && s == *main) entry += QStringLiteral("*main");
            screens << entry;
        }
        return QStringLiteral("spaceChange resolution start mainScreen=%1 screens=[%2] snapshot=[%3]")
            .arg(describeMainScreen(), screens.join(QStringLiteral(", ")), overlay->panelsDescription());
    }());
    resolve();
}

void SpaceTracker::resolve() {
    const auto c = collaborators();
    if (!c) return;
    const auto screen = mainDisplayId();
    if (!screen) {
        logger_.notice(QStringLiteral("Resolution: no active-screen displayID, skipping"));
        return;
    }
    const auto snapshots = c.overlay->panelSnapshots();
    const auto result = Policy::verdict(snapshots, *screen, currentActiveTagId_, false);
    SM_TRACE(logger_, QStringLiteral("resolveFinal verdict=%1 rule=%2 prev=%3 mainScreen=%4 input=%5 snapshot=[%6]")
                          .arg(result.verdict.toString(), result.rule, shortId(currentActiveTagId_),
                               describeMainScreen(), Policy::describe(snapshots, *screen),
                               c.overlay->panelsDescription()));
    if (result.verdict.isResolved()) {
        adopt(result.verdict.tagId());
        return;
    }
    pendingEpisodeBeganAt_ = queue_->now();
    rawLagDeferrals_ = 0;
    beginEpisode(*screen, currentActiveTagId_);
}

void SpaceTracker::cancelEpisode() {
    if (pendingTimeoutWork_) pendingTimeoutWork_->cancel();
    if (pendingPollWork_) pendingPollWork_->cancel();
    pendingTimeoutWork_.reset();
    pendingPollWork_.reset();
    pending_.reset();
}

void SpaceTracker::beginEpisode(quint32 screen, std::optional<QUuid> previouslyActive) {
    cancelEpisode();
    if (!previouslyActive) previouslyActive = currentActiveTagId_;
    if (auto overlay = overlayManager_.lock()) overlay->setActiveTag(std::nullopt);
    currentActiveTagId_.reset();
    pending_.emplace(screen, previouslyActive);
    const quint64 gen = ++pendingGeneration_;
    SM_TRACE(logger_, QStringLiteral("pending BEGIN gen=%1 activeScreen=%2 previouslyActive=%3 timeout=%4s")
                          .arg(gen)
                          .arg(screen)
                          .arg(shortId(previouslyActive), tracefmt::num(kNewSpaceTimeoutSeconds)));
    std::weak_ptr<SpaceTracker> weak = weak_from_this();
    pendingTimeoutWork_ = queue_->after(kNewSpaceTimeoutSeconds, [weak, screen, gen] {
        if (auto self = weak.lock()) self->timeout(screen, gen);
    });
    pendingPollWork_ = queue_->after(kPollSeconds, [weak, screen, gen] {
        if (auto self = weak.lock()) self->poll(screen, gen);
    });
}

void SpaceTracker::poll(quint32 screen, quint64 generation) {
    if (!pending_ || pendingGeneration_ != generation) return;
    const auto schedule = [this, screen, generation] {
        std::weak_ptr<SpaceTracker> weak = weak_from_this();
        pendingPollWork_ = queue_->after(kPollSeconds, [weak, screen, generation] {
            if (auto self = weak.lock()) self->poll(screen, generation);
        });
    };
    const auto c = collaborators();
    const auto main = mainDisplayId();
    if (!c || !main || *main != screen) {
        schedule();
        return;
    }
    const auto snapshots = c.overlay->panelSnapshots();
    const auto result = Policy::verdict(snapshots, screen, pending_->previouslyActive(), false);
    SM_TRACE(logger_, QStringLiteral("pendingPoll TICK gen=%1 verdict=%2 rule=%3 %4")
                          .arg(generation)
                          .arg(result.verdict.toString(), result.rule, Policy::describe(snapshots, screen)));
    if (result.verdict.isResolved()) {
        SM_TRACE(logger_, QStringLiteral("pending ADOPT id=%1 (presence poll — A arrived without a notification)")
                              .arg(shortId(result.verdict.tagId())));
        adopt(result.verdict.tagId());
        return;
    }
    schedule();
}

void SpaceTracker::panelPresenceChanged(const QUuid& id, bool isOnActiveSpace) {
    const auto c = collaborators();
    if (!c) return;
    const auto snapshot = snapshotOf(c.overlay->panelSnapshots(), id);
    if (!snapshot) return;
    const auto main = mainDisplayId();

    if (pending_) {
        if (!main || *main != pending_->activeScreen()) return;
        const auto action = Policy::action(*pending_, id, snapshot->screenKey, isOnActiveSpace);
        if (action.isAdopt()) {
            SM_TRACE(logger_, QStringLiteral("pending ADOPT id=%1 (panel present on active screen)")
                                  .arg(shortId(action.tagId())));
            adopt(action.tagId());
        } else if (!isOnActiveSpace && snapshot->screenKey == pending_->activeScreen()) {
            SM_TRACE(logger_, QStringLiteral("pending IGNORE raw-only id=%1 (visible but not on active Space — flap)")
                                  .arg(shortId(id)));
        }
        return;
    }
    if (lastTimeoutCreate_ && main && *main == lastTimeoutCreate_->screen)
        healSpuriousCreate(c, id, snapshot->screenKey, isOnActiveSpace);
}

// A label that wakes up on the screen just after a time-out minted a tag there was merely late: the
// mint is spurious. An empty mint goes; a titled one keeps its title as a restorable orphan.
bool SpaceTracker::healSpuriousCreate(const Collaborators& c, const QUuid& reporter, quint32 reportScreen,
                                      bool isOnActiveSpace) {
    const TimeoutCreate mint = *lastTimeoutCreate_;
    if (reporter == mint.tagId || reportScreen != mint.screen || !isOnActiveSpace) return false;
    if (queue_->now() - mint.at > kHealWindowSeconds) return false;
    const auto* entry = c.overlay->entry(mint.tagId);
    if (entry && entry->isEditing) return false;
    const auto tag = c.store->tag(mint.tagId);
    if (tag && tag->isUserOwned) return false;

    if (!tag || tag->title.trimmed().isEmpty()) {
        SM_TRACE(logger_, QStringLiteral("pending HEAL removed=%1 adopted=%2 (empty mint deleted; woke panel is present)")
                              .arg(shortId(mint.tagId), shortId(reporter)));
        const QString reason = QStringLiteral("heal-spurious-create");
        c.overlay->removePanel(mint.tagId, reason);
        c.store->removeTag(mint.tagId, reason);
    } else {
        SM_TRACE(logger_, QStringLiteral("pending HEAL orphaned=%1 adopted=%2 (titled mint kept as restorable orphan)")
                              .arg(shortId(mint.tagId), shortId(reporter)));
        c.overlay->removePanel(mint.tagId, QStringLiteral("heal-spurious-create-orphaned"));
    }
    if (currentActiveTagId_ == mint.tagId) currentActiveTagId_.reset();
    lastTimeoutCreate_.reset();
    adopt(reporter);
    return true;
}

double SpaceTracker::populatedCreateQuietSeconds() const {
    return CreationGate::quietSeconds(defaults_ ? defaults_->doubleValue(kQuietSecondsKey) : std::nullopt);
}

void SpaceTracker::timeout(quint32 screen, quint64 generation) {
    if (pendingGeneration_ != generation || !pending_) return;
    const auto c = collaborators();
    if (!c) return;
    const auto main = mainDisplayId();
    if (!main || *main != screen) {
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT stale-screen abort (active screen changed during wait)"));
        cancelEpisode();
        pendingEpisodeBeganAt_.reset();
        return;
    }
    const auto previouslyActive = pending_->previouslyActive();
    const auto snapshots = c.overlay->panelSnapshots();
    const auto result = Policy::verdict(snapshots, screen, previouslyActive, true);
    SM_TRACE(logger_, QStringLiteral("pending TIMEOUT verdict=%1 rule=%2 prev=%3 mainScreen=%4 input=%5")
                          .arg(result.verdict.toString(), result.rule, shortId(previouslyActive),
                               describeMainScreen(), Policy::describe(snapshots, screen)));
    cancelEpisode();

    switch (result.verdict.kind()) {
    case Policy::Verdict::Kind::resolved:
        adopt(result.verdict.tagId());
        return;
    case Policy::Verdict::Kind::keepWaiting:
        // An ambiguous pair or a pile never mints; the next desktop change tries again.
        pendingEpisodeBeganAt_.reset();
        return;
    case Policy::Verdict::Kind::createNew:
        break;
    }

    const auto mainScreen = windowServer_->mainScreen();
    const auto& tags = c.store->tags();
    CreationGate::Facts gate;
    // The window server shuffles panels for a while after a reconfiguration: a missing label is likely late.
    gate.withinReconfigGrace = withinReconfigGrace();
    gate.rawWithoutA = std::any_of(snapshots.cbegin(), snapshots.cend(), [screen](const auto& s) {
        return s.screenKey == screen && s.isVisible && !s.isOnActiveSpace;
    });
    gate.rawLagDeferrals = rawLagDeferrals_;
    gate.existing = std::count_if(tags.cbegin(), tags.cend(),
                                  [&](const SpaceTag& t) { return isBoundToMainScreen(t, mainScreen); });
    gate.elapsed = pendingEpisodeBeganAt_ ? queue_->now() - *pendingEpisodeBeganAt_ : 0.0;
    gate.quiet = populatedCreateQuietSeconds();
    switch (CreationGate::next(gate)) {
    case CreationGate::Step::suppressed:
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT create SUPPRESSED (within display-reconfig grace) — "
                                         "re-waiting on screen %1")
                              .arg(screen));
        beginEpisode(screen, previouslyActive);
        return;
    case CreationGate::Step::deferred:
        ++rawLagDeferrals_;
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT create DEFERRED raw-without-A on screen (strike %1/3) — "
                                         "probable lagging label, re-waiting")
                              .arg(rawLagDeferrals_));
        beginEpisode(screen, previouslyActive);
        return;
    case CreationGate::Step::gated:
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT create GATED existing=%1 quiet=%2s/%3s — re-waiting "
                                         "(no duplicate)")
                              .arg(gate.existing)
                              .arg(wholeSeconds(gate.elapsed))
                              .arg(wholeSeconds(gate.quiet)));
        beginEpisode(screen, previouslyActive);
        return;
    case CreationGate::Step::escalated:
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT create ESCALATED existing=%1 quiet=%2s — genuinely new "
                                         "Space on a populated screen")
                              .arg(gate.existing)
                              .arg(wholeSeconds(gate.elapsed)));
        break;
    case CreationGate::Step::create:
        break;
    }

    pendingEpisodeBeganAt_.reset();
    rawLagDeferrals_ = 0;
    if (!c.store->settings().autoCreateOnNewSpace) {
        c.overlay->setActiveTag(std::nullopt);
        currentActiveTagId_.reset();
        return;
    }
    if (createTag(true) && currentActiveTagId_) {
        lastTimeoutCreate_ = TimeoutCreate{*currentActiveTagId_, screen, queue_->now()};
        SM_TRACE(logger_, QStringLiteral("pending TIMEOUT-CREATE id=%1 screen=%2 (heal-armed)")
                              .arg(shortId(*currentActiveTagId_))
                              .arg(screen));
    }
}

// ---- Adoption -----------------------------------------------------------------------------------------

void SpaceTracker::adopt(const QUuid& id) {
    cancelEpisode();
    lastTimeoutCreate_.reset();
    pendingEpisodeBeganAt_.reset();
    rawLagDeferrals_ = 0;
    logger_.info(QStringLiteral("Active tag (adopted): %1").arg(fullId(id)));

    const auto c = collaborators();
    if (!c) return;
    applyHomeScreenRule(*c.store, *c.overlay, id);

    c.overlay->setActiveTag(id);
    const bool changed = currentActiveTagId_ != id;
    currentActiveTagId_ = id;
    const auto& settings = c.store->settings();
    if (changed && settings.speakSpaceNameOnChange && speakSpaceName)
        if (const auto tag = c.store->tag(id)) speakSpaceName(tag->title, settings.speechRate, settings.speechVolume);
    if (onActiveTagResolved) onActiveTagResolved(id);
}

// Records when the tag was seen and, outside a storm, binds it to the screen it is really on.
void SpaceTracker::applyHomeScreenRule(TagStore& store, OverlayManager& overlay, const QUuid& id) {
    const auto tag = store.tag(id);
    if (!tag) return;
    const auto* entry = overlay.entry(id);
    const auto live = entry ? entry->panel->screen() : std::nullopt;
    const auto screens = windowServer_->screens();
    const auto home = tag->screenIdentifier;

    std::optional<QString> newHome;
    if (live && live->stableId) {
        const QString& liveId = *live->stableId;
        const auto skipped = [&](bool grace) {
            SM_TRACE(logger_, QStringLiteral("adopt BACKFILL-SKIPPED home=%1 live=%2 grace=%3 (durable home preserved)")
                                  .arg(shortText(home), liveId.left(8), tracefmt::boolean(grace)));
        };
        if (withinReconfigGrace()) {
            if (home != liveId) skipped(true);
        } else if (home != liveId) {
            const auto known = knownScreenIdentifiers(screens);
            const bool nameUnique = std::count_if(screens.cbegin(), screens.cend(), [&](const ScreenInfo& s) {
                                        return s.localizedName == live->localizedName;
                                    }) == 1;
            const bool missing = !home || home->isEmpty();
            if (missing || (*home == live->localizedName && nameUnique) || !known.contains(*home)) {
                SM_TRACE(logger_, QStringLiteral("adopt BACKFILL home %1 -> %2 id=%3")
                                      .arg(shortText(home), liveId.left(8), shortId(id)));
                newHome = liveId;
            } else {
                skipped(false);
            }
        }
    }
    const Date now = queue_->now();
    store.updateTag(id, [&](SpaceTag& t) {
        t.lastSeenAt = now;
        if (newHome) t.screenIdentifier = newHome;
    });
}

// ---- Creation -----------------------------------------------------------------------------------------

SpaceTag SpaceTracker::makeTag(const TagStore& store, const QString& title, bool isUserOwned) const {
    const auto main = windowServer_->mainScreen();
    SpaceTag tag;
    tag.id = QUuid::createUuid();
    tag.title = title;
    tag.screenIdentifier = main ? main->stableId : std::nullopt;
    tag.displayIndex = nextDisplayIndex(store.tags(), tag.screenIdentifier);
    tag.lastSeenAt = queue_->now();
    tag.isUserOwned = isUserOwned;
    tag.isTombstone = false;
    return tag;
}

bool SpaceTracker::createTag(bool automatic) {
    const auto c = collaborators();
    if (!c) return false;
    const auto main = windowServer_->mainScreen();
    // Without a main screen id there is no veto and no presence to describe.
    const bool hasScreen = main && main->displayNumber;
    const quint32 screen = hasScreen ? *main->displayNumber : 0;
    const Date now = queue_->now();

    if (automatic) {
        if (hasScreen)
            if (const auto tombstone = c.overlay->visibleTombstoneAnchor(screen)) {
                SM_TRACE(logger_, QStringLiteral("create VETOED tombstone=%1 (desktop deliberately unlabeled)")
                                      .arg(shortId(*tombstone)));
                return false;
            }
        if (!autoCreateThrottle_.tryTrigger(now)) {
            logger_.info(autoCreateThrottle_.refusalMessage());
            return false;
        }
    }

    QList<AutoCreateGuard::EvictableTag> rows;
    QHash<QUuid, SpaceTag> rowTags;
    for (const auto& t : c.store->tags()) {
        if (!isBoundToMainScreen(t, main)) continue;
        rows << AutoCreateGuard::EvictableTag{t.id, t.isUserOwned, t.title.trimmed().isEmpty(), c.overlay->hasPanel(t.id),
                                              t.lastSeenAt};
        rowTags.insert(t.id, t);
    }
    const auto evict = AutoCreateGuard::evictionCandidates(rows, AutoCreateGuard::kSoftCap, now,
                                                           AutoCreateGuard::kStaleAfterSeconds);
    if (logger_.isTracing())
        if (const QString line = AutoCreateGuard::softCapExceededLine(rows.size(), evict.size()); !line.isEmpty())
            logger_.traceLine(line);
    for (const auto& id : evict) {
        const auto& t = rowTags[id];
        SM_TRACE(logger_, AutoCreateGuard::evictLine(id, now - t.lastSeenAt, t.displayIndex, rows.size()));
        const QString reason = QStringLiteral("eviction");
        c.overlay->removePanel(id, reason);
        c.store->removeTag(id, reason);
        if (currentActiveTagId_ == id) currentActiveTagId_.reset();
    }

    const auto snapshots = hasScreen ? c.overlay->panelSnapshots() : QList<Policy::PanelSnapshot>{};
    QStringList presentIds;
    qsizetype rawVisible = 0;
    for (const auto& s : snapshots) {
        if (s.screenKey != screen) continue;
        rawVisible += s.isVisible ? 1 : 0;
        if (s.isPresent()) presentIds << shortId(s.tagId);
    }
    SM_TRACE(logger_, QStringLiteral("autoCreate CONTEXT mainScreen=%1 existingOnActiveScreen=%2 "
                                     "visibleOnActiveScreen=%3 auto=%4 presence=%5")
                          .arg(describeMainScreen())
                          .arg(rows.size())
                          .arg(rawVisible)
                          .arg(tracefmt::boolean(automatic),
                               hasScreen ? Policy::describe(snapshots, screen) : QStringLiteral("screen=nil")));
    if (!presentIds.isEmpty())
        SM_TRACE(logger_, QStringLiteral("autoCreate SUPERSEDES-VIEW count=%1 ids=[%2] — mint born onto a screen "
                                         "whose active Space still has PRESENT panels (user sees replacement/pile)")
                              .arg(presentIds.size())
                              .arg(presentIds.join(QLatin1Char(','))));

    const SpaceTag tag = makeTag(*c.store, newTagTitleProvider ? newTagTitleProvider() : QString(), false);
    const QString reason = automatic ? QStringLiteral("auto-create") : QStringLiteral("manual-create");
    c.store->addTag(tag, reason);
    c.overlay->createPanel(tag, reason);
    c.overlay->setActiveTag(tag.id);
    currentActiveTagId_ = tag.id;
    logger_.info(QStringLiteral("Auto-created tag for new Space: %1").arg(fullId(tag.id)));
    if (onActiveTagResolved) onActiveTagResolved(tag.id);
    return true;
}

// Clears every reference the tracker holds to a tag that lost its panel or its row.
void SpaceTracker::forget(const QUuid& id) {
    if (currentActiveTagId_ == id) currentActiveTagId_.reset();
    if (lastTimeoutCreate_ && lastTimeoutCreate_->tagId == id) lastTimeoutCreate_.reset();
}

} // namespace sm
