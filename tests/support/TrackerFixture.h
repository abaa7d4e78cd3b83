#pragma once

#include "core/CoreServices.h"
#include "support/OverlayFixture.h"
#include "rules/ShortId.h"
#include "support/TestPrinters.h"

namespace sm::test {

// The program's core (CoreServices) on OverlayFixture's desktop (display 1, four desktops here), not
// yet started. A switch is announced once the panels know whether they are on the active desktop, as
// the real servers do; visibility follows 0.1 s later.
class TrackerFixture : public OverlayFixture {
protected:
    static constexpr SimDesktop::SwitchOptions kSwitch{0.02, 0.01, 0.12, 0.0};

    TrackerFixture() {
        desktop->setDefaultSwitchOptions(kSwitch);
        desktop->addDesktop(kMain);
        launch();
    }
    ~TrackerFixture() override {
        if (core) core->stop();
    }
    // A new run of the program on the same desktop, settings and clock; the previous one quits first.
    void launch(CoreServices::Options options = {}) {
        if (core) core->stop();
        core = CoreServices::create({desktop, nullptr, workspace, nullptr, defaults, queue, logs.loggers}, options);
        store = core->store();
        overlay = core->overlay();
        tracker = core->tracker();
        core->onActiveTagResolved = [this](QUuid id) { resolved << id; };
        tracker->speakSpaceName = [this](const QString& title, double, double) { spoken << title; };
    }
    void start(bool asLoginItem = false) {
        core->start(asLoginItem);
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

    std::shared_ptr<Workspace> workspace; // none: automatic naming finds no window
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<SpaceTracker> tracker;
    QList<QUuid> resolved;
    QStringList spoken;
};

} // namespace sm::test
