#pragma once

#include "core/CoreServices.h"
#include "platform/linux/QtMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/TestLoggers.h"

#include <algorithm>
#include <memory>

namespace sm::test {

// One run of the program's core on a real backend and the Qt event loop, started as the program starts
// it and stopped as it quits. The runs of one story share `defaults`, as one user's logins do; a story
// that makes its labels itself turns automatic creation off.
struct CoreRun {
    explicit CoreRun(std::shared_ptr<WindowServer> server,
                     std::shared_ptr<Defaults> defaults = std::make_shared<MemoryDefaults>(),
                     bool autoCreate = false, std::shared_ptr<Workspace> workspace = nullptr)
        : core(CoreServices::create({std::move(server), nullptr, std::move(workspace), nullptr,
                                     std::move(defaults), queue, logs.loggers})),
          store(core->store()), overlay(core->overlay()), tracker(core->tracker()) {
        if (!autoCreate) store->updateSettings([](AppSettings& s) { s.autoCreateOnNewSpace = false; });
        restored = core->start(false);
    }
    ~CoreRun() {
        core->stop();
        // A loaded series keeps what every run did: set, the trace goes to the test's output.
        if (qEnvironmentVariableIsSet("SM_TEST_TRACES"))
            for (const QString& line : logs.log->traces()) qInfo("trace: %s", qUtf8Printable(line));
    }
    CoreRun(const CoreRun&) = delete;
    CoreRun& operator=(const CoreRun&) = delete;

    void quit() { core->stop(); }
    QString activeTitle() const {
        const auto id = tracker->queryActiveTagId();
        return id ? store->tag(*id)->title : QString();
    }
    // Each tag as id and title, in store order: what a restart or a storm must neither lose nor add to.
    QStringList tagsAndTitles() const {
        QStringList out;
        for (const auto& t : store->tags())
            out << t.id.toString() + t.title;
        return out;
    }
    qsizetype traced(const QString& prefix) const {
        const QStringList traces = logs.log->traces();
        return std::count_if(traces.begin(), traces.end(), [&](const QString& t) { return t.startsWith(prefix); });
    }

    TestLoggers logs;
    std::shared_ptr<QtMainQueue> queue = std::make_shared<QtMainQueue>();
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<TagStore> store;
    std::shared_ptr<OverlayManager> overlay;
    std::shared_ptr<SpaceTracker> tracker;
    int restored = 0;
};

} // namespace sm::test
