#include "overlay/OverlayManager.h"

#include "logging/TraceFormat.h"
#include "overlay/PanelBirthPlacement.h"

#include <QMap>

namespace sm {

namespace fmt = tracefmt;

std::shared_ptr<OverlayManager> OverlayManager::create(std::weak_ptr<TagStore> tagStore,
                                                       std::shared_ptr<WindowServer> windowServer,
                                                       std::shared_ptr<MainQueue> queue, Logger logger) {
    std::shared_ptr<OverlayManager> manager(new OverlayManager(std::move(tagStore), std::move(windowServer),
                                                               std::move(queue), std::move(logger)));
    manager->start();
    return manager;
}

OverlayManager::OverlayManager(std::weak_ptr<TagStore> tagStore, std::shared_ptr<WindowServer> windowServer,
                               std::shared_ptr<MainQueue> queue, Logger logger)
    : tagStore_(std::move(tagStore)), windowServer_(std::move(windowServer)), queue_(std::move(queue)),
      logger_(std::move(logger)) {}

OverlayManager::~OverlayManager() {
    // Work items hold the manager weakly; cancelling them keeps the queue tidy.
    for (auto& e : panels_) {
        for (auto* w : {&e->fadeOutWorkItem, &e->dragDebounceWorkItem, &e->entryBoostWorkItem})
            if (*w) (*w)->cancel();
    }
    if (coResidencyConfirmWork_) coResidencyConfirmWork_->cancel();
    if (pendingRenderAll_) pendingRenderAll_->cancel();
}

void OverlayManager::start() {
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    if (auto store = tagStore_.lock()) {
        settingsObserver_ = store->subscribeSettings([weak](const AppSettings&) {
            if (auto self = weak.lock()) self->scheduleRenderAll();
        });
        tagsObserver_ = store->subscribeTags([weak](const QList<SpaceTag>&) {
            if (auto self = weak.lock()) self->scheduleRenderAll();
        });
    }
    spaceObserver_ = windowServer_->activeDesktopChanged.connect([weak] {
        if (auto self = weak.lock()) self->handleActiveDesktopChanged();
    });
    screensObserver_ = windowServer_->screensChanged.connect([weak] {
        if (auto self = weak.lock()) self->handleScreensChanged();
    });
    if (logger_.isTracing()) {
        diagnosticSpaceObserver_ = windowServer_->activeDesktopChanged.connect([weak] {
            if (auto self = weak.lock())
                SM_TRACE(self->logger_,
                         QStringLiteral("activeSpaceDidChange snapshot=[%1]").arg(self->panelsDescription()));
        });
    }
}

// Several store changes in one turn of the loop (a save of tags and settings, say) re-render once.
void OverlayManager::scheduleRenderAll() {
    if (pendingRenderAll_ && !pendingRenderAll_->isCancelled()) return;
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    pendingRenderAll_ = queue_->post([weak] {
        if (auto self = weak.lock()) {
            self->pendingRenderAll_.reset();
            self->renderAllPanels();
        }
    });
}

OverlayManager::PanelEntry* OverlayManager::find(const QUuid& id) const {
    return index_.value(id, nullptr);
}

const OverlayManager::PanelEntry* OverlayManager::entry(const QUuid& id) const {
    return find(id);
}

QList<QUuid> OverlayManager::panelIds() const {
    QList<QUuid> ids;
    ids.reserve(static_cast<qsizetype>(panels_.size()));
    for (const auto& e : panels_)
        ids << e->tagId;
    return ids;
}

QString OverlayManager::describeScreen(const std::optional<ScreenInfo>& screen) const {
    if (!screen) return QStringLiteral("nil");
    return screen->localizedName + QLatin1Char('#') +
           (screen->displayNumber ? QString::number(*screen->displayNumber) : QStringLiteral("?"));
}

QString OverlayManager::describePanel(const PanelEntry& e) const {
    return shortId(e.tagId) + QLatin1Char(':') +
           (e.panel->isVisible() ? QLatin1Char('V') : QLatin1Char('-')) +
           (e.panel->isOnActiveSpace() ? QLatin1Char('A') : QLatin1Char('-')) + QLatin1Char(':') +
           describeScreen(e.panel->screen());
}

QString OverlayManager::panelsDescription() const {
    QStringList parts;
    for (const auto& e : panels_)
        parts << describePanel(*e);
    return parts.join(QStringLiteral(" | "));
}

LabelPanel* OverlayManager::createPanel(const SpaceTag& tag, const QString& reason,
                                        const std::optional<DesktopPlace>& place) {
    auto panel = windowServer_->createLabelPanel(tag.id);
    if (place) windowServer_->bindToPlace(*panel, *place);
    panel->setLevel(kPanelLevel);
    panel->setAlpha(0.0);
    panel->setIgnoresMouseEvents(false);

    QList<PanelBirthPlacement::Screen> screens;
    for (const auto& s : windowServer_->screens())
        screens << PanelBirthPlacement::Screen{s.stableId, s.localizedName, s.frame};
    const auto main = windowServer_->mainScreen();
    const QRectF fallback = main ? main->frame : (screens.isEmpty() ? QRectF() : screens.first().frame);
    const QRectF target = PanelBirthPlacement::targetFrame(tag.screenIdentifier, screens).value_or(fallback);
    const QPointF origin = PanelBirthPlacement::birthOrigin(target);
    panel->setFrame(QRectF(origin, PanelBirthPlacement::kBirthSize));
    panel->orderFront(); // binds the panel to its place, else to the desktop active right now

    const auto bornOn = panel->screen();
    SM_TRACE(logger_,
             QStringLiteral("createPanel id=%1 reason=%2 bornOnScreen=%3 targetHome=%4 birthOrigin=%5 "
                            "mainScreen=%6 loadedPos=%7 displayIndex=%8 title=%9")
                 .arg(shortId(tag.id), reason, describeScreen(bornOn), fmt::text(tag.screenIdentifier),
                      fmt::point(origin), describeScreen(main), fmt::point(tag.position))
                 .arg(tag.displayIndex)
                 .arg(tag.title));

    auto entry = std::make_unique<PanelEntry>();
    entry->tagId = tag.id;
    entry->panel = std::move(panel);
    const auto store = tagStore_.lock();
    entry->viewModel.fontSize = store ? store->settings().fontSize : 64.0;
    entry->lastKnownScreenID = bornOn ? bornOn->stableId : std::nullopt;

    const quint32 noDisplay = 0xFFFFFFFFu; // two screens without a number count as the same screen
    const quint32 bornDisplay = bornOn && bornOn->displayNumber ? *bornOn->displayNumber : noDisplay;
    for (const auto& other : panels_) {
        if (other->tagId == tag.id) continue;
        const auto otherTag = store ? store->tag(other->tagId) : std::nullopt;
        if (otherTag && otherTag->isTombstone) continue;
        const auto otherScreen = other->panel->screen();
        const quint32 otherDisplay =
            otherScreen && otherScreen->displayNumber ? *otherScreen->displayNumber : noDisplay;
        if (otherDisplay == bornDisplay && other->panel->isVisible())
            entry->bornCompanionIds.insert(other->tagId);
    }
    entry->bornAsAutomaticMint = reason == QLatin1String("auto-create");
    if (!entry->bornCompanionIds.isEmpty()) {
        QStringList ids;
        for (const auto& id : entry->bornCompanionIds)
            ids << shortId(id);
        ids.sort();
        SM_TRACE(logger_, QStringLiteral("createPanel BORN-INTO-COMPANY id=%1 companions=%2")
                              .arg(shortId(tag.id), ids.join(QLatin1Char(','))));
    }

    // One panel per tag: a new panel replaces an older one with the same key.
    if (find(tag.id)) removePanel(tag.id, QStringLiteral("replaced"));
    PanelEntry& e = *entry;
    panels_.push_back(std::move(entry));
    index_.insert(tag.id, &e);

    installObservers(e);
    installContent(e, tag);
    renderPanel(e, true);
    return e.panel.get();
}

void OverlayManager::installObservers(PanelEntry& e) {
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    const QUuid id = e.tagId;
    e.observerTokens.push_back(e.panel->moved.connect([weak, id] {
        if (auto self = weak.lock()) self->handlePanelMoved(id);
    }));
    e.observerTokens.push_back(e.panel->visibilityChanged.connect([weak, id] {
        if (auto self = weak.lock())
            if (auto* entry = self->find(id)) self->handleOcclusionChange(*entry, true);
    }));
    e.observerTokens.push_back(e.panel->screenChanged.connect([weak, id] {
        if (auto self = weak.lock()) self->handleScreenChange(id);
    }));
    e.observerTokens.push_back(e.panel->desktopRemoved.connect([weak, id] {
        auto self = weak.lock();
        if (!self || !self->find(id)) return;
        SM_TRACE(self->logger_,
                 QStringLiteral("panel DESKTOP-REMOVED id=%1 (its desktop is gone)").arg(shortId(id)));
        if (self->onPanelDesktopRemoved) self->onPanelDesktopRemoved(id);
    }));
}

void OverlayManager::removePanel(const QUuid& id, const QString& reason) {
    auto* found = find(id);
    std::unique_ptr<PanelEntry> removed;
    if (found) {
        index_.remove(id);
        auto it =
            std::find_if(panels_.begin(), panels_.end(), [&](const auto& e) { return e.get() == found; });
        removed = std::move(*it);
        panels_.erase(it);
    }
    if (editorSession_ && editorSession_->tagId == id)
        closeEditSession(QStringLiteral("panel-removed(%1)").arg(reason));
    if (!removed) return;
    SM_TRACE(logger_, QStringLiteral("removePanel id=%1 reason=%2 panelsLeft=%3")
                          .arg(shortId(id), reason)
                          .arg(panels_.size()));
    for (auto* w : {&removed->fadeOutWorkItem, &removed->dragDebounceWorkItem, &removed->entryBoostWorkItem})
        if (*w) (*w)->cancel();
    removed->observerTokens.clear();
    removed->panel->orderOut();
}

QList<SpaceResolutionPolicy::PanelSnapshot> OverlayManager::panelSnapshots() const {
    QList<SpaceResolutionPolicy::PanelSnapshot> out;
    const auto store = tagStore_.lock();
    QSet<QUuid> tombstones;
    if (store)
        for (const auto& t : store->tags())
            if (t.isTombstone) tombstones.insert(t.id);
    for (const auto& e : panels_) {
        if (tombstones.contains(e->tagId)) continue;
        const auto screen = e->panel->screen();
        if (!screen || !screen->displayNumber) {
            SM_TRACE(logger_, QStringLiteral("panelScreenSnapshot DROP id=%1 screen=%2")
                                  .arg(shortId(e->tagId), describeScreen(screen)));
            continue;
        }
        out << SpaceResolutionPolicy::PanelSnapshot{e->tagId, *screen->displayNumber, e->panel->isVisible(),
                                                    e->panel->isOnActiveSpace()};
    }
    return out;
}

QList<OverlayManager::PanelVisibility> OverlayManager::panelVisibilities() const {
    QList<PanelVisibility> out;
    for (const auto& e : panels_)
        out << PanelVisibility{e->tagId, e->panel->isVisible()};
    return out;
}

std::optional<QUuid> OverlayManager::visibleTombstoneAnchor(quint32 displayNumber) const {
    const auto store = tagStore_.lock();
    if (!store) return std::nullopt;
    for (const auto& e : panels_) {
        const auto tag = store->tag(e->tagId);
        if (!tag || !tag->isTombstone) continue;
        const auto screen = e->panel->screen();
        if (screen && screen->displayNumber == displayNumber && e->panel->isVisible() &&
            e->panel->isOnActiveSpace())
            return e->tagId;
    }
    return std::nullopt;
}

void OverlayManager::setActiveTag(const std::optional<QUuid>& id) {
    currentlyActiveTagId_ = id;
    // Refresh the panels whose presentation depends on which tag is active, without telling the tracker.
    QList<QUuid> refresh;
    for (const auto& e : panels_)
        if ((id && e->tagId == *id) || e->isOcclusionVisible) refresh << e->tagId;
    for (const auto& t : refresh)
        if (auto* e = find(t)) handleOcclusionChange(*e, false);
    renderAllPanels();
}

void OverlayManager::handleScreenChange(const QUuid& tagId) {
    auto* e = find(tagId);
    if (!e) return;
    const auto screen = e->panel->screen();
    const auto newId = screen ? screen->stableId : std::nullopt;
    const auto oldId = e->lastKnownScreenID;
    e->lastKnownScreenID = newId;
    const bool crossed = newId && oldId && *newId != *oldId;
    SM_TRACE(logger_,
             QStringLiteral("panel SCREEN-CHANGED id=%1 -> screen=%2 stable=%3 was=%4 crossed=%5 frame=%6 "
                            "(the window manager relocated the panel)")
                 .arg(shortId(tagId), screen ? screen->localizedName : QStringLiteral("nil"),
                      fmt::text(newId), fmt::text(oldId), fmt::boolean(crossed),
                      fmt::rect(e->panel->frame())));
    if (crossed && onPanelCrossedScreens) onPanelCrossedScreens(tagId);
}

// Leaving the desktop leaves the field: the title typed so far is kept.
void OverlayManager::handleActiveDesktopChanged() {
    if (editorSession_) commitEdit(QStringLiteral("desktop-switch"), std::nullopt);
}

// A label laid out for the old screens may now straddle two monitors or hang off its screen: its frame
// is computed again for the screen it is on, in the layout it has. A position the user chose stays.
void OverlayManager::handleScreensChanged() {
    const auto store = tagStore_.lock();
    if (!store) return;
    for (const auto& id : panelIds()) {
        auto* e = find(id);
        if (!e || e->isEditing || !e->lastLayoutState || isBackgroundFrozen(*e)) continue;
        const auto tag = store->tag(id);
        if (!tag || tag->isTombstone) continue;
        const QRectF current = e->panel->frame();
        const QRectF target =
            RenderPlan::frame(*e->lastLayoutState, renderInputs(*e, *tag, store->settings()));
        if (target == current) continue;
        SM_TRACE(logger_, QStringLiteral("screensChanged RELAYOUT id=%1 state=%2 from=%3 to=%4")
                              .arg(shortId(id), RenderPlan::toString(*e->lastLayoutState), fmt::rect(current),
                                   fmt::rect(target)));
        e->panel->setFrame(target);
    }
}

void OverlayManager::scheduleCoResidencyConfirm() {
    if (coResidencyConfirmWork_ && !coResidencyConfirmWork_->isCancelled()) return;
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    coResidencyConfirmWork_ = queue_->after(kCoResidencyConfirmSeconds, [weak] {
        if (auto self = weak.lock()) {
            self->coResidencyConfirmWork_.reset();
            self->runCoResidencyAudit();
        }
    });
}

void OverlayManager::runCoResidencyAudit() {
    const auto store = tagStore_.lock();
    if (!store) return;
    QMap<quint32, QList<PanelEntry*>> present;
    QMap<std::optional<quint32>, int> visibleByScreen;
    for (const auto& e : panels_) {
        const auto tag = store->tag(e->tagId);
        if (tag && tag->isTombstone) continue;
        const auto screen = e->panel->screen();
        const auto display = screen ? screen->displayNumber : std::nullopt;
        if (e->isOcclusionVisible) visibleByScreen[display] += 1;
        if (display && e->panel->isVisible() && e->panel->isOnActiveSpace()) present[*display] << e.get();
    }
    bool hadCoResidents = false;
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        if (it.value().size() < 2) continue;
        hadCoResidents = true;
        QList<SpaceResolutionPolicy::CoResident> coResidents;
        QStringList who;
        for (auto* e : it.value()) {
            const auto tag = store->tag(e->tagId);
            const bool active = currentlyActiveTagId_ == e->tagId;
            coResidents << SpaceResolutionPolicy::CoResident{e->tagId,
                                                             active,
                                                             e->isEditing,
                                                             tag ? tag->isUserOwned : false,
                                                             e->bornAsAutomaticMint,
                                                             e->bornCompanionIds};
            who << QStringLiteral("%1'%2'%3%4")
                       .arg(shortId(e->tagId), tag ? tag->title : QString(),
                            active ? QStringLiteral("*active") : QString(),
                            e->isEditing ? QStringLiteral("*editing") : QString());
        }
        const auto zombies = SpaceResolutionPolicy::coResidentsToZombify(coResidents);
        if (zombies.isEmpty()) {
            SM_TRACE(logger_,
                     QStringLiteral("CO-RESIDENCY ambiguous screen=%1 count=%2 who=[%3] — no unequivocal "
                                    "owner, fail closed, re-arming")
                         .arg(it.key())
                         .arg(coResidents.size())
                         .arg(who.join(QLatin1Char(' '))));
            continue;
        }
        QStringList ids;
        for (const auto& z : zombies)
            ids << shortId(z);
        SM_TRACE(logger_,
                 QStringLiteral("CO-RESIDENCY HEAL screen=%1 zombify=[%2] of %3 co-resident (panel-only; "
                                "titles restorable)")
                     .arg(it.key())
                     .arg(ids.join(QLatin1Char(',')))
                     .arg(coResidents.size()));
        if (onPanelsAnchorLost) onPanelsAnchorLost(zombies);
    }
    bool sharedScreen = false;
    for (int n : visibleByScreen)
        sharedScreen = sharedScreen || n >= 2;
    if (hadCoResidents || sharedScreen) scheduleCoResidencyConfirm();
}

void OverlayManager::tearDown() {
    closeEditSession(QStringLiteral("app-teardown"));
    if (coResidencyConfirmWork_) coResidencyConfirmWork_->cancel();
    coResidencyConfirmWork_.reset();
    for (const auto& id : panelIds())
        removePanel(id, QStringLiteral("app-teardown"));
    diagnosticSpaceObserver_.disconnect();
    spaceObserver_.disconnect();
    screensObserver_.disconnect();
}

} // namespace sm
