#pragma once

#include "support/OverlayFixture.h"
#include "tracking/ShortId.h"
#include "tracker/SpaceTracker.h"
#include "tracking/TestPrinters.h"

namespace sm::test {

// A tracker wired to the overlay on OverlayFixture's desktop (display 1, four desktops here). A switch
// is announced once the panels know whether they are on the active desktop, as the real servers do;
// visibility follows 0.1 s later.
class TrackerFixture : public OverlayFixture {
protected:
    static constexpr SimDesktop::SwitchOptions kSwitch{0.02, 0.01, 0.12, 0.0};

    TrackerFixture() {
        desktop->setDefaultSwitchOptions(kSwitch);
        desktop->addDesktop(kMain);
        makeTracker();
    }
    void makeTracker() {
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
    void advanceTo(double from, double seconds) { queue->advance(from + seconds - queue->now()); }
    int count(const QString& prefix) const { return traceCount(prefix); }

    std::shared_ptr<SpaceTracker> tracker;
    QList<QUuid> resolved;
    QStringList spoken;
};

} // namespace sm::test
