#pragma once

#include "model/TagStore.h"
#include "overlay/OverlayManager.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/sim/SimDesktop.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

namespace sm::test {

// A store and an overlay manager on a simulated desktop: one 1440 × 900 screen (display 1,
// "SCREEN-A", three desktops). Stories add screens, tags and panels as they need.
class OverlayFixture : public ::testing::Test {
protected:
    static constexpr quint32 kMain = 1;
    static inline const QString kMainId = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");

    OverlayFixture() {
        desktop->attachScreen({kMain, kMainId, QStringLiteral("Built-in Display"), QRectF(0, 0, 1440, 900), 3});
        queue->drain();
        store = std::make_shared<TagStore>(defaults, queue, logs.loggers.storage);
        overlay = OverlayManager::create(store, desktop, queue, logs.loggers.overlay);
    }

    // A stored tag with its panel on the active desktop of the main screen.
    QUuid addLabel(const QString& title, const QString& reason = QStringLiteral("manual-create"),
                   std::optional<QString> screen = kMainId) {
        SpaceTag tag;
        tag.id = QUuid::createUuid();
        tag.title = title;
        tag.screenIdentifier = std::move(screen);
        tag.lastSeenAt = queue->now();
        tag.isUserOwned = !title.isEmpty();
        store->addTag(tag, reason);
        overlay->createPanel(tag, reason);
        queue->advance(0.5); // the facts catch up, the first measured size lands
        return tag.id;
    }

    // Adopts the tag whose panel reports present, as the space tracker does.
    void adoptOnPresence() {
        overlay->onPanelBecameVisible = [this](QUuid id, bool onActive) {
            if (onActive) overlay->setActiveTag(id);
        };
    }

    SimLabelPanel& panel(const QUuid& id) { return *desktop->labelPanel(id); }
    QStringList traces() const { return logs.log->traces(); }
    int traceCount(const QString& prefix) const {
        int n = 0;
        for (const auto& t : traces()) n += t.startsWith(prefix) ? 1 : 0;
        return n;
    }
    void setSettings(const std::function<void(AppSettings&)>& change) {
        store->updateSettings(change);
        queue->drain();
    }

    TestLoggers logs;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<SimDesktop> desktop = std::make_shared<SimDesktop>(queue);
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<TagStore> store;
    std::shared_ptr<OverlayManager> overlay;
};

} // namespace sm::test
