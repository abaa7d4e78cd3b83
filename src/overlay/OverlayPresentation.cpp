// How each label looks at every moment: layout, opacity, boosts, fades, and following its measured size.
#include "overlay/OverlayManager.h"

#include "logging/TraceFormat.h"

#include <cmath>

namespace sm {

namespace fmt = tracefmt;

namespace {
QString modeName(VisibilityMode mode) { return rawValue(mode); }

std::optional<quint32> displayOf(const std::optional<ScreenInfo>& screen) {
    return screen ? screen->displayNumber : std::nullopt;
}
} // namespace

void OverlayManager::renderAllPanels() {
    const auto store = tagStore_.lock();
    if (!store) return;
    // One index per pass keeps a full render linear in the number of panels.
    QHash<QUuid, const SpaceTag*> tags;
    tags.reserve(store->tags().size());
    for (const auto& t : store->tags())
        if (!tags.contains(t.id)) tags.insert(t.id, &t);
    for (const auto& id : panelIds())
        if (auto* e = find(id)) renderPanel(*e, true, tags.value(id, nullptr));
}

// A background label that already shows its band or magnified layout is left alone: moving or resizing
// it could disturb the window manager's idea of which desktop it belongs to.
bool OverlayManager::isBackgroundFrozen(const PanelEntry& e) const {
    const bool active = currentlyActiveTagId_ == e.tagId;
    const bool present = e.panel->isVisible() && e.panel->isOnActiveSpace();
    return !active && !present && e.lastLayoutState &&
           (*e.lastLayoutState == RenderPlan::LayoutState::band ||
            *e.lastLayoutState == RenderPlan::LayoutState::magnified);
}

void OverlayManager::pushContent(PanelEntry& e, const SpaceTag& tag) {
    e.panel->view().present(LabelPresentation{tag.title, e.placeholder, e.viewModel.fontSize,
                                              e.viewModel.showsBackgroundBand, e.viewModel.hidesText,
                                              e.viewModel.isUserOwned});
}

double OverlayManager::fontSizeFor(const std::optional<QString>& screenId, const AppSettings& settings) const {
    if (screenId) {
        const auto it = settings.perScreen.constFind(*screenId);
        if (it != settings.perScreen.constEnd() && it->fontSize) return *it->fontSize;
    }
    return settings.fontSize;
}

VisibilityMode OverlayManager::effectiveVisibilityMode(const AppSettings& settings) const {
    if (settings.visibilityMode != VisibilityMode::onCtrl || ctrlUnavailableReason_.isEmpty()) {
        ctrlFallbackLogged_ = false;
        return settings.visibilityMode;
    }
    if (!std::exchange(ctrlFallbackLogged_, true))
        logger_.notice(QStringLiteral("\"Visible only while Ctrl is held\" is not available here (%1); the labels are "
                                      "visible on desktop change instead.")
                           .arg(ctrlUnavailableReason_));
    return VisibilityMode::onChange;
}

RenderPlan::Inputs OverlayManager::renderInputs(const PanelEntry& e, const SpaceTag& tag,
                                                const AppSettings& settings) const {
    const auto screen = e.panel->screen();
    const auto screenId = screen ? screen->stableId : std::nullopt;
    const ScreenLayout* layout = nullptr;
    if (screenId) {
        const auto it = settings.perScreen.constFind(*screenId);
        if (it != settings.perScreen.constEnd()) layout = &*it;
    }
    std::optional<QRectF> mainFrame;
    if (!screen)
        if (const auto main = windowServer_->mainScreen()) mainFrame = main->frame;

    RenderPlan::Inputs in;
    in.isMagnified = e.isMagnified;
    in.isEditing = e.isEditing;
    in.ctrlBoostActive = ctrlBoostActive_;
    in.entryBoostActive = e.entryBoostActive;
    in.isOcclusionVisible = e.isOcclusionVisible;
    in.visibilityMode = effectiveVisibilityMode(settings);
    in.baseOpacity = settings.baseOpacity;
    in.ctrlBoostOpacity = settings.ctrlBoostOpacity;
    in.magnifyOpacity = settings.magnifyOpacity;
    in.fontSize = layout && layout->fontSize ? *layout->fontSize : settings.fontSize;
    in.magnifyScale = layout && layout->magnifyScale ? *layout->magnifyScale : settings.magnifyScale;
    in.screenFrame = RenderPlan::screenFrameOrFallback(screen ? std::optional(screen->frame) : std::nullopt, mainFrame);
    in.fittedSize = e.fittedSize.value_or(RenderPlan::kDefaultFittedSize);
    in.liveHeight = e.panel->frame().height();
    in.syncPositionsAcrossSpaces = settings.syncPositionsAcrossSpaces;
    in.syncedPosition = layout && layout->position ? layout->position : settings.syncedPosition;
    in.tagPosition = tag.position;
    in.lastLayoutState = e.lastLayoutState;

    SM_TRACE(logger_, QStringLiteral("renderInputs id=%1 state=%2 tagPos=%3 synced=%4 sync=%5 scr=%6 font=%7 "
                                     "magScale=%8 fitted=%9 liveH=%10 screen=%11")
                          .arg(shortId(e.tagId),
                               e.lastLayoutState ? RenderPlan::toString(*e.lastLayoutState) : QStringLiteral("nil"),
                               fmt::point(in.tagPosition), fmt::point(in.syncedPosition),
                               fmt::boolean(in.syncPositionsAcrossSpaces), fmt::text(screenId), fmt::num(in.fontSize),
                               fmt::num(in.magnifyScale), fmt::size(in.fittedSize))
                          .arg(fmt::num(in.liveHeight), fmt::rect(in.screenFrame)));
    return in;
}

void OverlayManager::renderPanel(PanelEntry& e, bool animated, const SpaceTag* knownTag) {
    const auto store = tagStore_.lock();
    if (!store) return;
    std::optional<SpaceTag> looked;
    if (!knownTag) {
        looked = store->tag(e.tagId);
        if (!looked) return;
        knownTag = &*looked;
    }
    const SpaceTag& tag = *knownTag;
    const AppSettings& settings = store->settings();
    auto cancelFade = [&] {
        if (e.fadeOutWorkItem) e.fadeOutWorkItem->cancel();
        e.fadeOutWorkItem.reset();
    };

    if (isBackgroundFrozen(e)) {
        cancelFade();
        pushContent(e, tag);
        SM_TRACE(logger_, QStringLiteral("renderPanel FROZEN id=%1 layout=%2 (background-freeze: anchor protection)")
                              .arg(shortId(e.tagId), RenderPlan::toString(*e.lastLayoutState)));
        return;
    }
    if (e.isEditing || tag.isTombstone) {
        cancelFade();
        if (e.panel->alpha() != 0.0) e.panel->setAlpha(0.0);
        if (tag.isTombstone && !e.panel->ignoresMouseEvents()) e.panel->setIgnoresMouseEvents(true);
        pushContent(e, tag);
        return;
    }

    const bool active = currentlyActiveTagId_ == e.tagId;
    SM_TRACE(logger_, QStringLiteral("renderPanel id=%1 magnified=%2 editing=%3 active=%4 ctrl=%5 occlVisible=%6 mode=%7")
                          .arg(shortId(e.tagId), fmt::boolean(e.isMagnified), fmt::boolean(e.isEditing),
                               fmt::boolean(active), fmt::boolean(ctrlBoostActive_),
                               fmt::boolean(e.isOcclusionVisible), modeName(settings.visibilityMode)));
    if (e.panel->level() != kPanelLevel) e.panel->setLevel(kPanelLevel);

    const auto in = renderInputs(e, tag, settings);
    const auto plan = RenderPlan::plan(in);
    e.viewModel.fontSize = plan.fontSize;
    e.viewModel.showsBackgroundBand = plan.showsBackgroundBand;
    e.viewModel.isUserOwned = tag.isUserOwned;
    pushContent(e, tag);
    cancelFade();

    const QRectF current = e.panel->frame();
    SM_TRACE(logger_, QStringLiteral("renderPanel.frame id=%1 animated=%2 state=%3 stateChanged=%4 current=%5 "
                                     "target=%6 hostingFit=%7 tagPos=%8")
                          .arg(shortId(e.tagId), fmt::boolean(animated), RenderPlan::toString(plan.layoutState),
                               fmt::boolean(plan.frame.has_value()), fmt::rect(current),
                               fmt::rect(plan.frame.value_or(current)), fmt::size(e.fittedSize),
                               fmt::point(tag.position)));

    if (!plan.frame) {
        if (e.panel->alpha() != plan.opacity) e.panel->setAlpha(plan.opacity);
    } else if (!animated) {
        e.panel->setFrame(*plan.frame);
        e.panel->setAlpha(plan.opacity);
        e.lastLayoutState = plan.layoutState;
    } else {
        e.isAnimatingFrame = true;
        e.lastLayoutState = plan.layoutState;
        std::weak_ptr<OverlayManager> weak = weak_from_this();
        const QUuid id = e.tagId;
        e.panel->animate(*plan.frame, plan.opacity, kFrameAnimationSeconds, [weak, id] {
            auto self = weak.lock();
            auto* entry = self ? self->find(id) : nullptr;
            if (!entry) return;
            entry->isAnimatingFrame = false;
            // A size measured while the frame was animating was kept but not applied: apply it now.
            if (entry->lastMeasuredSize) self->applyMeasuredSize(id, *entry->lastMeasuredSize);
        });
    }

    if (active && effectiveVisibilityMode(settings) == VisibilityMode::onChange && !e.isEditing && !e.isMagnified &&
        !ctrlBoostActive_ && !e.entryBoostActive)
        scheduleFadeOut(e, settings.onChangeDurationSec);
}

void OverlayManager::scheduleFadeOut(PanelEntry& e, double seconds) {
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    const QUuid id = e.tagId;
    e.fadeOutWorkItem = queue_->after(seconds, [weak, id] {
        auto self = weak.lock();
        if (!self) return;
        auto* entry = self->find(id);
        if (!entry || self->currentlyActiveTagId_ != id) return;
        entry->panel->animate(std::nullopt, 0.0, kFadeOutSeconds, {});
    });
}

void OverlayManager::startEntryBoost(PanelEntry& e) {
    if (e.entryBoostWorkItem) e.entryBoostWorkItem->cancel();
    e.entryBoostActive = true;
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    const QUuid id = e.tagId;
    e.entryBoostWorkItem = queue_->after(kEntryBoostSeconds, [weak, id] {
        auto self = weak.lock();
        if (!self) return;
        if (auto* entry = self->find(id)) {
            entry->entryBoostActive = false;
            self->renderPanel(*entry, true);
        }
    });
}

void OverlayManager::handleOcclusionChange(PanelEntry& e, bool notifyTracker) {
    const auto store = tagStore_.lock();
    if (!store) return;
    const bool raw = e.panel->isVisible();
    const bool onActiveSpace = e.panel->isOnActiveSpace();
    const bool current = currentlyActiveTagId_ == e.tagId;
    const auto screen = e.panel->screen();
    const auto main = windowServer_->mainScreen();
    const bool mainDisplay = displayOf(screen) == displayOf(main);
    const bool magnifySetting = store->settings().magnifyWhenUnfocused;

    bool renderVisible = raw;
    bool magnify = !raw && magnifySetting;
    if (!raw && onActiveSpace) {
        renderVisible = current && mainDisplay;
        magnify = !current ? magnifySetting : (!mainDisplay && magnifySetting);
    }
    SM_TRACE(logger_, QStringLiteral("occlusionChange id=%1 raw=%2 renderVisible=%3 onActiveSpace=%4 currentTag=%5 "
                                     "mainDisplay=%6 magnify=%7 active=%8 notifyTracker=%9 level=%10 alpha=%11 "
                                     "screen=%12 frame=%13")
                          .arg(shortId(e.tagId), fmt::boolean(raw), fmt::boolean(renderVisible),
                               fmt::boolean(onActiveSpace), fmt::boolean(current), fmt::boolean(mainDisplay),
                               fmt::boolean(magnify), fmt::boolean(windowServer_->isApplicationActive()),
                               fmt::boolean(notifyTracker))
                          .arg(e.panel->level())
                          .arg(fmt::num(e.panel->alpha()), screen ? screen->localizedName : QStringLiteral("nil"),
                               fmt::rect(e.panel->frame())));

    if (renderVisible == e.isOcclusionVisible && magnify == e.isMagnified) return;
    const bool visibilityChanged = renderVisible != e.isOcclusionVisible;
    e.isOcclusionVisible = renderVisible;
    e.isMagnified = magnify;

    if (visibilityChanged && renderVisible) {
        QStringList pile;
        for (const auto& other : panels_) {
            if (!other->isOcclusionVisible) continue;
            const auto tag = store->tag(other->tagId);
            if (tag && tag->isTombstone) continue;
            if (displayOf(other->panel->screen()) == displayOf(screen)) pile << shortId(other->tagId);
        }
        if (pile.size() >= 2) {
            SM_TRACE(logger_, QStringLiteral("PILEUP %1 labels render-visible on screen=%2 ids=[%3]")
                                  .arg(pile.size())
                                  .arg(screen ? screen->localizedName : QStringLiteral("nil"), pile.join(QLatin1Char(','))));
            scheduleCoResidencyConfirm();
        }
        const QUuid id = e.tagId;
        startEntryBoost(e);
        if (notifyTracker && onPanelBecameVisible) onPanelBecameVisible(id, onActiveSpace);
        // The tracker may have removed this very panel while adopting.
        if (auto* still = find(id)) {
            renderPanel(*still, false);
            // The view reports a size only when it changes; one reported while hidden is applied now.
            if (still->lastMeasuredSize) applyMeasuredSize(id, *still->lastMeasuredSize);
        }
        return;
    }
    renderPanel(e, false);
}

void OverlayManager::applyMeasuredSize(const QUuid& tagId, QSizeF size) {
    auto* found = find(tagId);
    if (!found) return;
    PanelEntry& e = *found;
    e.lastMeasuredSize = size;
    if (isBackgroundFrozen(e)) {
        SM_TRACE(logger_, QStringLiteral("applyMeasuredSize FROZEN id=%1 measured=%2").arg(shortId(tagId), fmt::size(size)));
        return;
    }
    if (size.width() > 0 && size.height() > 0 && !e.isMagnified && e.isOcclusionVisible && !e.isEditing)
        e.fittedSize = size;

    std::optional<QRectF> newFrame;
    const QRectF current = e.panel->frame();
    if (!e.isMagnified && !e.isAnimatingFrame && !e.isEditing && e.isOcclusionVisible) {
        const QSizeF wanted(std::max(size.width(), kMinimumLabelWidth), std::max(size.height(), kMinimumLabelHeight));
        if (std::fabs(current.width() - wanted.width()) >= kSizeTolerance ||
            std::fabs(current.height() - wanted.height()) >= kSizeTolerance) {
            QRectF f(QPointF(), wanted);
            f.moveCenter(current.center());
            newFrame = f;
        }
    }
    if (newFrame) {
        SM_TRACE(logger_, QStringLiteral("applyMeasuredSize APPLY id=%1 measured=%2 from=%3 to=%4")
                              .arg(shortId(tagId), fmt::size(size), fmt::rect(current), fmt::rect(*newFrame)));
        e.panel->setFrame(*newFrame);
    } else {
        SM_TRACE(logger_, QStringLiteral("applyMeasuredSize SKIP id=%1 measured=%2 editing=%3 occlVisible=%4 "
                                         "magnified=%5 animating=%6")
                              .arg(shortId(tagId), fmt::size(size), fmt::boolean(e.isEditing),
                                   fmt::boolean(e.isOcclusionVisible), fmt::boolean(e.isMagnified),
                                   fmt::boolean(e.isAnimatingFrame)));
    }
}

} // namespace sm
