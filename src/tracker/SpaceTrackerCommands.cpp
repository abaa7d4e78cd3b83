// The user's tag commands (menu, URL commands, context menu, preferences) and the junk purge. Each
// keeps the store, the panels and the tracker's own references consistent.
#include "rules/ShortId.h"
#include "tracker/SpaceTracker.h"

#include <QCollator>

#include <algorithm>

namespace sm {

void SpaceTracker::addTagForCurrentSpace() {
    const auto c = collaborators();
    if (!c) return;
    if (queryActiveTagId()) {
        logger_.notice(QStringLiteral("Manual add ignored: Space already has tag"));
        return;
    }
    const auto screen = mainDisplayId();
    const auto tombstone = screen ? c.overlay->visibleTombstoneAnchor(*screen) : std::nullopt;
    if (createTag(false) && tombstone) removeTag(*tombstone, QStringLiteral("tombstone-replaced-manual-add"));
}

void SpaceTracker::setTitleForCurrentSpace(const QString& title, bool markUserOwned) {
    const auto c = collaborators();
    if (!c) return;
    if (const auto current = queryActiveTagId()) {
        c.store->setTitle(*current, title, markUserOwned);
        return;
    }
    const auto screen = mainDisplayId();
    const auto tombstone = screen ? c.overlay->visibleTombstoneAnchor(*screen) : std::nullopt;
    const SpaceTag tag = makeTag(*c.store, title, markUserOwned);
    const QString reason = QStringLiteral("set-title-create");
    c.store->addTag(tag, reason);
    c.overlay->createPanel(tag, reason);
    c.overlay->setActiveTag(tag.id);
    currentActiveTagId_ = tag.id;
    if (tombstone) removeTag(*tombstone, QStringLiteral("tombstone-replaced-set-title"));
    // A creation like any other: its place is recorded while the label is surely on this desktop.
    if (onActiveTagResolved) onActiveTagResolved(tag.id);
}

void SpaceTracker::removeCurrentTag() {
    if (!collaborators()) return;
    const auto current = queryActiveTagId();
    if (!current) {
        logger_.notice(QStringLiteral("Manual remove ignored: no tag on current Space"));
        return;
    }
    removeTag(*current, QStringLiteral("menu-remove-current"));
}

void SpaceTracker::removeTag(const QUuid& id, const QString& reason) {
    const auto c = collaborators();
    if (!c) return;
    c.overlay->removePanel(id, reason);
    c.store->removeTag(id, reason);
    forget(id);
    logger_.notice(QStringLiteral("Removed tag (%1): %2").arg(reason, fullId(id)));
}

void SpaceTracker::renameTag(const QUuid& id, const QString& title) {
    const auto store = tagStore_.lock();
    if (!store || !overlayManager_.lock()) return;
    if (const auto tag = store->tag(id); tag && tag->isTombstone) {
        SM_TRACE(logger_, QStringLiteral("renameTag SKIPPED id=%1 (tombstone anchors are not renamable)").arg(shortId(id)));
        return;
    }
    store->renameTag(id, title);
}

void SpaceTracker::deleteTagFromContextMenu(const QUuid& id) {
    const auto c = collaborators();
    if (!c) return;
    if (!c.overlay->hasPanel(id)) {
        removeTag(id, QStringLiteral("context-menu-delete"));
        return;
    }
    // The panel stays as an invisible anchor: without it the next visit would mint a new label.
    c.store->tombstoneTag(id);
    if (currentActiveTagId_ == id) currentActiveTagId_.reset();
    if (c.overlay->currentlyActiveTagId() == id) c.overlay->setActiveTag(std::nullopt);
    if (lastTimeoutCreate_ && lastTimeoutCreate_->tagId == id) lastTimeoutCreate_.reset();
    deferredZombifies_.remove(id);
    SM_TRACE(logger_, QStringLiteral("TOMBSTONE id=%1 (desktop deliberately unlabeled; invisible anchor vetoes the "
                                     "mint, excluded from resolution)")
                          .arg(shortId(id)));
}

int SpaceTracker::removeDuplicatesOnCurrentSpace() {
    const auto c = collaborators();
    if (!c) return 0;
    const auto screen = mainDisplayId();
    if (!screen) return 0;
    QList<QUuid> present;
    for (const auto& s : c.overlay->panelSnapshots())
        if (s.screenKey == *screen && s.isPresent()) present << s.tagId;
    if (present.size() < 2) return 0;

    std::optional<QUuid> keeper;
    if (currentActiveTagId_ && present.contains(*currentActiveTagId_)) {
        keeper = currentActiveTagId_;
    } else {
        const SpaceTag* best = nullptr;
        for (const auto& t : c.store->tags())
            if (present.contains(t.id) && (!best || t.displayIndex < best->displayIndex)) best = &t;
        if (best) keeper = best->id;
    }

    int removed = 0;
    for (const auto& id : present) {
        if (id == keeper) continue;
        const auto tag = c.store->tag(id);
        if (!tag || (tag->title.trimmed().isEmpty() && !tag->isUserOwned)) {
            const QString reason = QStringLiteral("duplicates-cleanup");
            c.overlay->removePanel(id, reason);
            c.store->removeTag(id, reason);
        } else {
            c.overlay->removePanel(id, QStringLiteral("duplicates-cleanup-zombify"));
            if (lastTimeoutCreate_ && lastTimeoutCreate_->tagId == id) lastTimeoutCreate_.reset();
        }
        ++removed;
    }
    currentActiveTagId_ = keeper;
    c.overlay->setActiveTag(keeper);
    logger_.notice(QStringLiteral("Cleared %1 duplicate label(s) on current Space (titled ones kept as restorable "
                                  "orphans)")
                       .arg(removed));
    return removed;
}

QList<LabelContextMenu::RestorableTitle> SpaceTracker::restorableTitles() const {
    const auto c = collaborators();
    if (!c) return {};
    QSet<QUuid> live;
    for (const auto& s : c.overlay->panelSnapshots()) live.insert(s.tagId);

    struct Candidate {
        const SpaceTag* tag;
        QString trimmed;
    };
    const auto collect = [&](bool mainScreenOnly) {
        const auto main = windowServer_->mainScreen();
        QHash<QString, Candidate> byTitle;
        for (const auto& t : c.store->tags()) {
            if (mainScreenOnly && !isBoundToMainScreen(t, main)) continue;
            const QString trimmed = t.title.trimmed();
            if (live.contains(t.id) || t.isTombstone || trimmed.isEmpty()) continue;
            const auto found = byTitle.find(trimmed);
            if (found == byTitle.end()) {
                byTitle.insert(trimmed, Candidate{&t, trimmed});
                continue;
            }
            // One entry per title: the most recently seen, then the lower ordinal, then the smaller id.
            const SpaceTag& kept = *found->tag;
            const bool better = t.lastSeenAt != kept.lastSeenAt ? t.lastSeenAt > kept.lastSeenAt
                                : t.displayIndex != kept.displayIndex
                                    ? t.displayIndex < kept.displayIndex
                                    : fullId(t.id) < fullId(kept.id);
            if (better) found->tag = &t;
        }
        return byTitle.values();
    };
    auto candidates = collect(true);
    if (candidates.isEmpty()) candidates = collect(false);

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
        const int order = collator.compare(a.trimmed, b.trimmed);
        return order != 0 ? order < 0 : a.trimmed < b.trimmed;
    });
    QList<LabelContextMenu::RestorableTitle> out;
    out.reserve(candidates.size());
    for (const auto& candidate : candidates) out << LabelContextMenu::RestorableTitle{candidate.tag->id, candidate.tag->title};
    return out;
}

void SpaceTracker::restoreTitle(const QUuid& orphanId, const QUuid& onto) {
    const auto c = collaborators();
    if (!c) return;
    const auto orphan = c.store->tag(orphanId);
    if (!orphan) return;
    SM_TRACE(logger_, QStringLiteral("restoreTitle '%1' from=%2 onto=%3 (orphan consumed)")
                          .arg(orphan->title, shortId(orphanId), shortId(onto)));
    const Date now = queue_->now();
    c.store->updateTag(onto, [&](SpaceTag& t) {
        t.title = orphan->title;
        t.isUserOwned = true;
        t.lastSeenAt = now;
    });
    removeTag(orphanId, QStringLiteral("restore-title-consumed"));
}

int SpaceTracker::purgeJunk(const QString& reason, double olderThanSeconds) {
    const auto c = collaborators();
    if (!c) return 0;
    const Date now = queue_->now();
    QList<QUuid> junk;
    for (const auto& t : c.store->tags())
        if (!c.overlay->hasPanel(t.id) && !t.isUserOwned && now - t.lastSeenAt >= olderThanSeconds) junk << t.id;
    if (junk.isEmpty()) return 0;
    SM_TRACE(logger_, QStringLiteral("junkPurge reason=%1 removing=%2 of %3 rows (orphan + non-user-owned + older "
                                     "than %4s)")
                          .arg(reason)
                          .arg(junk.size())
                          .arg(c.store->tags().size())
                          .arg(static_cast<qint64>(olderThanSeconds)));
    for (const auto& id : junk) removeTag(id, reason);
    return static_cast<int>(junk.size());
}

} // namespace sm
