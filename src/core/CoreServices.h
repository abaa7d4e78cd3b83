#pragma once

#include "autoname/AutoTagger.h"
#include "autoname/SpeechAnnouncer.h"
#include "logging/Logger.h"
#include "model/StaleTagSweeper.h"
#include "model/TagStore.h"
#include "overlay/KeyMonitor.h"
#include "overlay/OverlayManager.h"
#include "platform/Defaults.h"
#include "platform/KeySource.h"
#include "platform/MainQueue.h"
#include "platform/SpeechSynthesizer.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "tracker/DesktopNameSync.h"
#include "tracker/PlaceMemory.h"
#include "tracker/SpaceTracker.h"

#include <functional>
#include <memory>

namespace sm {

// What the core runs on: a desktop backend and the seams. The program passes the real desktop, tests
// the simulated one or a real backend under test.
struct CoreBackend {
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<KeySource> keySource;                 // none: Ctrl never reveals the labels
    std::shared_ptr<Workspace> workspace;                 // none: automatic naming finds no window
    std::shared_ptr<SpeechSynthesizer> speechSynthesizer; // none: names are never spoken
    std::shared_ptr<Defaults> defaults;
    std::shared_ptr<MainQueue> queue;
    Loggers loggers;
};

// The store, the overlay and the space tracker with everything that hangs on them (place memory,
// desktop-name sync, the Ctrl key, automatic naming, spoken names, the stale tag janitor), built,
// wired, started and stopped in one place, so the program, the backend tests, the tools and the
// benchmarks all run the same core. The tracker and the overlay need each other; the overlay's side is
// connected here through callbacks that hold the tracker weakly, so neither includes the other's
// composition. Every callback installed here holds the core weakly.
class CoreServices : public std::enable_shared_from_this<CoreServices> {
public:
    static constexpr double kJunkJanitorAgeSeconds = 1296000.0; // 15 days

    // What a story leaves out; the program runs everything.
    struct Options {
        bool placeMemory = true;
        bool desktopNameSync = true;
        bool autoNaming = true;
        bool staleTagJanitor = true;
    };

    static std::shared_ptr<CoreServices> create(CoreBackend backend, Options options);
    static std::shared_ptr<CoreServices> create(CoreBackend backend) { return create(std::move(backend), {}); }
    ~CoreServices();
    CoreServices(const CoreServices&) = delete;
    CoreServices& operator=(const CoreServices&) = delete;

    // Puts the remembered labels back, then starts every service. Returns how many labels came back.
    int start(bool launchedAsLoginItem);
    // Stops every service in the reverse order, gives the window manager its names back, remembers
    // where every label sits, takes the labels down and saves what is still waiting. Once; also for a
    // core that never started (its labels come down all the same).
    void stop();

    std::shared_ptr<TagStore> store() const { return store_; }
    std::shared_ptr<OverlayManager> overlay() const { return overlay_; }
    std::shared_ptr<SpaceTracker> tracker() const { return tracker_; }
    std::shared_ptr<PlaceMemory> placeMemory() const { return placeMemory_; }         // null when left out
    std::shared_ptr<DesktopNameSync> desktopNameSync() const { return desktopNameSync_; } // null when left out
    std::shared_ptr<KeyMonitor> keyMonitor() const { return keyMonitor_; }
    std::shared_ptr<AutoTagger> autoTagger() const { return autoTagger_; }         // null when left out
    std::shared_ptr<SpeechAnnouncer> speechAnnouncer() const { return speechAnnouncer_; } // null: no speech
    std::shared_ptr<StaleTagSweeper> staleTagSweeper() const { return staleTagSweeper_; } // null when left out

    // Also told of every adoption and creation, after the core's own listeners.
    std::function<void(QUuid)> onActiveTagResolved;

private:
    CoreServices(CoreBackend backend, Options options);
    void build();
    void wire();
    void wireOverlayToTracker();

    CoreBackend backend_;
    Options options_;
    Logger app_;
    bool started_ = false;
    bool stopped_ = false;

    std::shared_ptr<TagStore> store_;
    std::shared_ptr<OverlayManager> overlay_;
    std::shared_ptr<SpaceTracker> tracker_;
    std::shared_ptr<PlaceMemory> placeMemory_;
    std::shared_ptr<DesktopNameSync> desktopNameSync_;
    std::shared_ptr<KeyMonitor> keyMonitor_;
    std::shared_ptr<AutoTagger> autoTagger_;
    std::shared_ptr<SpeechAnnouncer> speechAnnouncer_;
    Connection speechSettingSubscription_; // warms the engine when announcements are turned on
    std::shared_ptr<StaleTagSweeper> staleTagSweeper_;
};

} // namespace sm
