// Display reconfigurations: the grace that keeps late labels from being replaced, the settlement
// audit that removes labels the window server left on the wrong screen, and the zombify they share
// with the overlay's co-residency heal.
#include "rules/ShortId.h"
#include "tracker/SpaceTracker.h"

namespace sm {

void SpaceTracker::displayReconfigured(const QString& reason) {
    lastDisplayReconfigAt_ = queue_->now();
    // The quiet period of a populated screen starts again: the storm may still be moving its labels.
    if (pendingEpisodeBeganAt_) pendingEpisodeBeganAt_ = queue_->now();
    armSettlementAudit();
    SM_TRACE(logger_, QStringLiteral("displayReconfig reason=%1 — auto-create suppressed for 25.0s; settlement audit armed")
                          .arg(reason));
}

void SpaceTracker::armSettlementAudit() {
    if (reconfigSettleWork_) reconfigSettleWork_->cancel();
    std::weak_ptr<SpaceTracker> weak = weak_from_this();
    reconfigSettleWork_ = queue_->after(kSettleDelaySeconds, [weak] {
        if (auto self = weak.lock()) {
            self->reconfigSettleWork_.reset();
            self->settlementAudit();
        }
    });
}

void SpaceTracker::panelCrossedScreens(const QUuid& id) {
    // A drag by the user is a choice, not the server's doing.
    if (!windowServer_->isLeftMouseButtonDown() && withinReconfigGrace()) {
        SM_TRACE(logger_, QStringLiteral("panel crossed screens id=%1 within reconfig grace — settlement audit (re-)armed")
                              .arg(shortId(id)));
        armSettlementAudit();
        return;
    }
    SM_TRACE(logger_, QStringLiteral("panel crossed screens id=%1 outside reconfig grace (or mid-drag) — left alone")
                          .arg(shortId(id)));
}

void SpaceTracker::settlementAudit() {
    const auto c = collaborators();
    if (!c) return;
    const auto screens = windowServer_->screens();
    const auto known = knownScreenIdentifiers(screens);
    int kept = 0;
    int zombified = 0;
    for (const auto& id : c.overlay->panelIds()) {
        const auto* entry = c.overlay->entry(id);
        if (!entry) continue; // an earlier zombify in this audit may have taken it
        const auto& panel = *entry->panel;
        if (panel.isVisible() && panel.isOnActiveSpace()) {
            SM_TRACE(logger_, QStringLiteral("settlementAudit KEEP-PRESENT id=%1 (live V&&A where it is — anchor works)")
                                  .arg(shortId(id)));
            ++kept;
            continue;
        }
        const auto tag = c.store->tag(id);
        const auto home = tag ? tag->screenIdentifier : std::nullopt;
        const auto live = panel.screen();
        const bool stays = !home || home->isEmpty() || !live || (live->stableId && *home == *live->stableId) ||
                           *home == live->localizedName || !known.contains(*home);
        if (stays) {
            ++kept;
            continue;
        }
        SM_TRACE(logger_, QStringLiteral("settlementAudit ZOMBIFY id=%1 home=%2 live=%3 (re-home stuck after the storm)")
                              .arg(shortId(id), home->left(8),
                                   live->stableId ? live->stableId->left(8) : QStringLiteral("nil")));
        zombifyPanel(id, QStringLiteral("anchor-lost-reconfig-settled"));
        ++zombified;
    }
    SM_TRACE(logger_, QStringLiteral("settlementAudit DONE kept=%1 zombified=%2 (storm quiet for 10s)")
                          .arg(kept)
                          .arg(zombified));
    updateScreenCensus();
}

void SpaceTracker::zombifyPanel(const QUuid& id, const QString& reason) {
    const auto c = collaborators();
    if (!c) return;
    // Pulling the label from under the user's typing would lose the draft; wait for the editor.
    if (const auto* entry = c.overlay->entry(id); entry && entry->isEditing) {
        deferredZombifies_.insert(id, reason);
        SM_TRACE(logger_, QStringLiteral("panel ZOMBIFY DEFERRED id=%1 reason=%2 (tag is being edited — will re-apply "
                                         "on edit close)")
                              .arg(shortId(id), reason));
        return;
    }
    c.overlay->removePanel(id, reason);
    const auto tag = c.store->tag(id);
    if (!tag || (tag->title.trimmed().isEmpty() && !tag->isUserOwned)) {
        SM_TRACE(logger_, QStringLiteral("panel ZOMBIFY id=%1 reason=%2 (empty mint — tag deleted)").arg(shortId(id), reason));
        c.store->removeTag(id, reason + QStringLiteral("-empty-deleted"));
    } else {
        SM_TRACE(logger_, QStringLiteral("panel ZOMBIFY id=%1 reason=%2 (panel-only; titled tag kept as orphan)")
                              .arg(shortId(id), reason));
    }
    forget(id);
}

void SpaceTracker::editSessionClosed(const QUuid& id) {
    const auto found = deferredZombifies_.constFind(id);
    if (found == deferredZombifies_.cend()) return;
    const QString reason = *found;
    deferredZombifies_.erase(found);
    const auto overlay = overlayManager_.lock();
    if (overlay && overlay->hasPanel(id)) {
        SM_TRACE(logger_, QStringLiteral("panel ZOMBIFY deferred-apply id=%1 reason=%2").arg(shortId(id), reason));
        zombifyPanel(id, reason + QStringLiteral("-deferred"));
        return;
    }
    SM_TRACE(logger_, QStringLiteral("panel ZOMBIFY deferred-moot id=%1 reason=%2 (panel already removed)")
                          .arg(shortId(id), reason));
}

void SpaceTracker::updateScreenCensus() {
    const auto store = tagStore_.lock();
    if (!store) return;
    QList<ScreenObservation> observations;
    for (const auto& s : windowServer_->screens())
        if (s.displayNumber && s.stableId)
            observations << ScreenObservation{*s.stableId, s.localizedName, s.frame.width(), s.frame.height()};
    if (observations.isEmpty()) return;
    AppSettings settings = store->settings();
    if (!settings.recordScreenCensus(observations, queue_->now())) return;
    SM_TRACE(logger_, QStringLiteral("screenCensus UPDATED screens=%1 known=%2")
                          .arg(observations.size())
                          .arg(settings.screenCensus.size()));
    settings.sanitize();
    store->updateSettings([&](AppSettings& s) { s = settings; });
}

} // namespace sm
