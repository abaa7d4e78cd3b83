// In-place title editing: one editor window at a time, placed over the label; a generation number
// makes every callback of an older editor harmless.
#include "overlay/OverlayManager.h"

#include <QCoreApplication>

#include "logging/TraceFormat.h"

#include <cmath>

namespace sm {

namespace fmt = tracefmt;

void OverlayManager::beginEdit(const QUuid& tagId) {
    const auto store = tagStore_.lock();
    if (!store) return;
    if (editorSession_) commitEdit(QStringLiteral("superseded-by-new-edit"), std::nullopt);
    auto* e = find(tagId);
    const auto tag = store->tag(tagId);
    if (!e || !tag || tag->isTombstone) return;

    e->isEditing = true;
    e->viewModel.hidesText = true;
    e->panel->setIgnoresMouseEvents(true);
    pushContent(*e, *tag);

    auto panel = windowServer_->createEditorPanel();
    panel->setLevel(kPanelLevel);
    const auto screen = e->panel->screen();
    const double fontSize = fontSizeFor(screen ? screen->stableId : std::nullopt, store->settings());
    const int generation = ++editorGenerationCounter_;

    std::weak_ptr<OverlayManager> weak = weak_from_this();
    auto current = [weak, generation]() -> std::shared_ptr<OverlayManager> {
        auto self = weak.lock();
        if (!self || !self->editorSession_ || self->editorSession_->generation != generation) return nullptr;
        return self;
    };
    EditorView& view = panel->view();
    view.onDraftChange = [current](const QString& text) {
        if (auto self = current()) self->editorSession_->latestDraft = text;
    };
    view.onCommit = [current, generation] {
        if (auto self = current()) {
            // Consulted for parity with the commit flow; this program never prompts for a review.
            if (self->reviewPromptDecider) self->reviewPromptDecider(self->editorSession_->tagId, self->editorSession_->latestDraft);
            self->commitEdit(QStringLiteral("editor-commit"), generation);
        }
    };
    view.onCancel = [current, generation] {
        if (auto self = current()) self->cancelEdit(generation);
    };
    view.onSizeChange = [current, generation](QSizeF size) {
        if (auto self = current()) self->resizeEditor(generation, size);
    };
    const QRectF labelFrame = e->panel->frame();
    panel->setFrame(labelFrame);
    EditorPanel* raw = panel.get();
    editorSession_ = EditorSession{tagId, labelFrame.center(), generation, std::move(panel), tag->title, false};

    SM_TRACE(logger_, QStringLiteral("editSession BEGIN id=%1 appActive=%2 anchorKeyable=false frame=%3 snapshot=[%4]")
                          .arg(shortId(tagId), fmt::boolean(windowServer_->isApplicationActive()),
                               fmt::rect(labelFrame), panelsDescription()));
    view.begin(fontSize, tag->title, QCoreApplication::translate("OverlayEditing", "Untitled"));
    raw->makeKeyAndOrderFront();
    SM_TRACE(logger_, QStringLiteral("editSession AFTER makeKey id=%1 editorIsKey=%2 labelIsKey=%3")
                          .arg(shortId(tagId), fmt::boolean(raw->isKey()), fmt::boolean(e->panel->isKey())));
    if (auto* still = find(tagId)) renderPanel(*still, true);
}

void OverlayManager::commitEdit(const QString& reason, std::optional<int> generation) {
    if (!editorSession_ || editorSession_->committed) return;
    if (generation && *generation != editorSession_->generation) {
        SM_TRACE(logger_, QStringLiteral("editSession COMMIT ignored stale-generation gen=%1 current=%2")
                              .arg(*generation)
                              .arg(editorSession_->generation));
        return;
    }
    editorSession_->committed = true;
    const QUuid id = editorSession_->tagId;
    const QString title = editorSession_->latestDraft.trimmed();
    SM_TRACE(logger_, QStringLiteral("editSession COMMIT id=%1 reason=%2 title='%3'").arg(shortId(id), reason, title));
    if (auto store = tagStore_.lock()) {
        // A label deleted while its editor was open is a tombstone now; its title must stay empty.
        const auto tag = store->tag(id);
        if (tag && tag->isTombstone)
            SM_TRACE(logger_, QStringLiteral("editSession COMMIT dropped id=%1 (tombstoned while editing)").arg(shortId(id)));
        else
            store->renameTag(id, title);
    }
    closeEditSession(reason);
}

// Escape: the title stays as it was, and the session ends like any other (deferred zombifies apply).
void OverlayManager::cancelEdit(int generation) {
    if (!editorSession_ || editorSession_->committed || editorSession_->generation != generation) return;
    SM_TRACE(logger_, QStringLiteral("editSession CANCEL id=%1").arg(shortId(editorSession_->tagId)));
    closeEditSession(QStringLiteral("editor-cancel"));
}

void OverlayManager::closeEditSession(const QString& reason) {
    if (!editorSession_) return;
    EditorSession session = std::move(*editorSession_);
    editorSession_.reset();
    SM_TRACE(logger_,
             QStringLiteral("editSession CLOSE id=%1 reason=%2").arg(shortId(session.tagId), reason));
    session.panel->view().onDraftChange = nullptr;
    session.panel->view().onCommit = nullptr;
    session.panel->view().onCancel = nullptr;
    session.panel->view().onSizeChange = nullptr;
    // The label is back, and takes the pointer, before its editor goes: mutter looks for the window
    // under a pointer that has not moved when the window over it goes, and a label still see-through
    // then missed every click until something on screen moved.
    if (auto* e = find(session.tagId)) {
        e->isEditing = false;
        e->viewModel.hidesText = false;
        e->panel->setIgnoresMouseEvents(false);
        renderPanel(*e, true);
    }
    session.panel->orderOut();
    // The view that triggered this close may still be on the stack: the window is kept until the next
    // close (or the manager's end) instead of being destroyed here.
    retiredEditor_ = std::move(session.panel);
    if (onEditSessionClosed) onEditSessionClosed(session.tagId);
}

void OverlayManager::resizeEditor(int generation, QSizeF size) {
    if (!editorSession_ || editorSession_->generation != generation) return;
    if (size.width() <= 0 || size.height() <= 0) return;
    const auto* e = find(editorSession_->tagId);
    const QPointF anchor = e ? e->panel->frame().center() : editorSession_->anchorCenter;
    QRectF target(QPointF(), size);
    target.moveCenter(anchor);
    const QRectF current = editorSession_->panel->frame();
    auto close = [](double a, double b) { return std::fabs(a - b) <= kSizeTolerance; };
    if (close(current.width(), target.width()) && close(current.height(), target.height()) &&
        close(current.center().x(), target.center().x()) && close(current.center().y(), target.center().y()))
        return;
    SM_TRACE(logger_, QStringLiteral("editSession RESIZE id=%1 from=%2 to=%3 center=%4")
                          .arg(shortId(editorSession_->tagId), fmt::rect(current), fmt::rect(target), fmt::point(anchor)));
    editorSession_->panel->setFrame(target);
}

} // namespace sm
