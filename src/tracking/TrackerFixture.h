#pragma once

#include "support/OverlayFixture.h"
#include "tracking/ShortId.h"
#include "tracking/SpaceTracker.h"
#include "tracking/TestPrinters.h"

namespace sm::test {

// A tracker wired to the overlay on the simulated desktop of OverlayFixture (display 1, four desktops
// here). Switches announce themselves once the panels know whether they are on the active desktop, as
// the real servers do; visibility follows 0.1 s later.
class TrackerFixture : public OverlayFixture {
protected:
    static constexpr SimDesktop::SwitchOptions kSwitch{0.02, 0.01, 0.12, 0.0};

    TrackerFixture() {
        desktop->setDefaultSwitchOptions(kSwitch);
        desktop->addDesktop(kMain);
        tracker = SpaceTracker::create(store, overlay, desktop, queue, defaults, logs.loggers.tracker);
        wire(tracker, *overlay);
        tracker->onActiveTagResolved = [this](QUuid id) { resolved << id; };
        tracker->speakSpaceName = [this](const QString& title, double, double) { spoken << title; };
    }

    void start(bool asLoginItem = false) {
        tracker->start(asLoginItem);
        queue->drain();
    }

    // A label the user made earlier on that desktop of the main screen.
    QUuid labelOn(int index, const QString& title) {
        switchTo(index, 0.3);
        return addLabel(title);
    }

    void switchTo(int index, double settle = 0.5, quint32 screen = kMain) {
        desktop->switchDesktop(screen, index);
        queue->advance(settle);
    }

    // The new desktop's labels report `lag` seconds late; the leaving desktop's drop at once.
    void switchLate(int index, double lag) {
        const auto leaving = desktop->presentLabels(kMain);
        desktop->switchDesktop(kMain, index, {0.0, lag, lag, 0.0});
        for (const auto& id : leaving) desktop->forceFacts(panel(id), false, false);
    }

    // Advances until `now` is `seconds` after `from`.
    void advanceTo(double from, double seconds) { queue->advance(from + seconds - queue->now()); }

    int count(const QString& prefix) const { return traceCount(prefix); }
    QStringList tagIds() const {
        QStringList ids;
        for (const auto& t : store->tags()) ids << shortId(t.id);
        return ids;
    }

    std::shared_ptr<SpaceTracker> tracker;
    QList<QUuid> resolved;
    QStringList spoken;
};

} // namespace sm::test
