// Where labels sit: drags persisted into the tag (and the shared position), normal frames re-applied.
#include "overlay/OverlayManager.h"

#include "logging/TraceFormat.h"

namespace sm {

namespace fmt = tracefmt;

void OverlayManager::handlePanelMoved(const QUuid& tagId) {
    auto* e = find(tagId);
    if (!e) return;
    // Only the user's own drags count; renders and relocations by the window manager move labels too.
    const bool dragging = windowServer_->isLeftMouseButtonDown();
    const bool willPersist = dragging && e->isOcclusionVisible && !e->isMagnified;
    const auto was = e->lastKnownOrigin;
    const QPointF origin = e->panel->frame().topLeft(); // lower-left corner in y-up coordinates
    e->lastKnownOrigin = origin;
    SM_TRACE(logger_, QStringLiteral("persistDrag SCHEDULE id=%1 willPersist=%2 dragging=%3 magnified=%4 "
                                     "occlVisible=%5 origin=%6 was=%7")
                          .arg(shortId(tagId), fmt::boolean(willPersist), fmt::boolean(dragging),
                               fmt::boolean(e->isMagnified), fmt::boolean(e->isOcclusionVisible), fmt::point(origin),
                               fmt::point(was)));
    if (!willPersist) return;
    if (e->dragDebounceWorkItem) e->dragDebounceWorkItem->cancel();
    const auto screen = e->panel->screen();
    const auto screenId = screen ? screen->stableId : std::nullopt;
    std::weak_ptr<OverlayManager> weak = weak_from_this();
    e->dragDebounceWorkItem = queue_->after(kDragPersistSeconds, [weak, tagId, origin, screenId] {
        if (auto self = weak.lock()) self->persistDrag(tagId, origin, screenId);
    });
}

void OverlayManager::persistDrag(const QUuid& tagId, QPointF origin, std::optional<QString> screenId) {
    const auto store = tagStore_.lock();
    if (!store) return;
    if (auto* e = find(tagId)) e->dragDebounceWorkItem.reset();
    store->updateTag(tagId, [&](SpaceTag& tag) {
        SM_TRACE(logger_, QStringLiteral("persistDrag FIRE id=%1 old=%2 new=%3")
                              .arg(shortId(tagId), fmt::point(tag.position), fmt::point(origin)));
        tag.position = origin;
    });
    if (store->settings().syncPositionsAcrossSpaces) {
        store->updateSettings([&](AppSettings& settings) {
            settings.setSyncedPosition(origin, screenId, screenId);
            settings.sanitize();
        });
        SM_TRACE(logger_, QStringLiteral("persistDrag SYNC syncedPosition=%1").arg(fmt::point(origin)));
    }
}

void OverlayManager::reapplyNormalFrames() {
    const auto store = tagStore_.lock();
    if (!store) return;
    for (const auto& id : panelIds()) {
        auto* e = find(id);
        if (!e) continue;
        if (e->lastLayoutState && *e->lastLayoutState != RenderPlan::LayoutState::normal) continue;
        if (e->isMagnified || !e->isOcclusionVisible || e->isEditing) continue;
        const auto tag = store->tag(id);
        if (!tag) continue;
        const auto in = renderInputs(*e, *tag, store->settings());
        const auto state = RenderPlan::LayoutState::normal;
        const QRectF target = RenderPlan::frame(state, in);
        SM_TRACE(logger_, QStringLiteral("reapplyNormalFrames id=%1 target=%2 tagPos=%3")
                              .arg(shortId(id), fmt::rect(target), fmt::point(tag->position)));
        e->panel->setFrame(target);
        e->lastLayoutState = state;
    }
}

} // namespace sm
