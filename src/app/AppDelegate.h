#pragma once

#include "app/LaunchAtLoginCoordinator.h"
#include "app/MenuBarItem.h"
#include "app/ShellUi.h"
#include "autoname/AutoTagger.h"
#include "autoname/SpeechAnnouncer.h"
#include "diagnostics/Logger.h"
#include "model/StaleTagSweeper.h"
#include "model/TagStore.h"
#include "overlay/KeyMonitor.h"
#include "overlay/OverlayManager.h"
#include "platform/Defaults.h"
#include "platform/FileManager.h"
#include "platform/KeySource.h"
#include "platform/LoginItem.h"
#include "platform/MainQueue.h"
#include "platform/SpeechSynthesizer.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "tracker/DesktopNameSync.h"
#include "tracker/PlaceMemory.h"
#include "tracker/SpaceTracker.h"
#include "windows/PreferencesWindowController.h"
#include "windows/WelcomeWindowController.h"

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <functional>
#include <memory>

namespace sm {

// Another running copy of the program for this user.
struct OtherInstance {
    qint64 pid = 0;
    QString path; // its executable; empty when unknown
};

// Everything the composition root needs from the outside world: the real desktop in the program,
// the simulated one in tests.
struct AppBackend {
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<KeySource> keySource;
    std::shared_ptr<Workspace> workspace;                 // none: automatic naming finds no window
    std::shared_ptr<SpeechSynthesizer> speechSynthesizer; // none: names are never spoken
    std::shared_ptr<Defaults> defaults;
    std::shared_ptr<MainQueue> queue;
    std::shared_ptr<TraceLog> traceLog;
    Loggers loggers;
    std::shared_ptr<LoginItemControlling> loginItem;
    std::shared_ptr<ShellUi> ui;
    // The preferences and welcome windows; none in a headless run.
    std::shared_ptr<WindowPresenter> windows;
    std::shared_ptr<FileManager> fileManager;
    // The single-instance lookup: other copies of this program running for this user.
    std::function<QList<OtherInstance>()> otherInstances;
    // Starts handing received commands to the handler, whose answer (a refusal, else "ok" and the
    // body it wrote) goes back to the sender.
    std::function<void(std::function<QString(const QByteArray&, QByteArray*)>)> listenForUrlCommands;
    QUrl website; // scheme and host of the product's pages
    QString version;
    QString buildVersion;
    qint64 pid = 0;
};

// The composition root: creates every long-lived service in a fixed order, connects them through
// their callbacks, starts them, answers URL commands and stops everything at the end. Every
// callback it installs holds it weakly.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    static inline const QString kFirstUseDateKey = QStringLiteral("Spacemarquee.FirstUseDate");
    static inline const QString kJunkPurgedKey = QStringLiteral("Spacemarquee.StoreJunkPurged20260808");
    static inline const QString kWelcomeShownKey = QStringLiteral("Spacemarquee.WelcomeShown");
    static constexpr double kJunkJanitorAgeSeconds = 1296000.0; // 15 days

    static std::shared_ptr<AppDelegate> create(AppBackend backend);

    // The launch sequence. False when another copy runs: this one has shown the alert, asked the UI
    // to quit and touched nothing else.
    bool applicationDidFinishLaunching(bool launchedAsLoginItem);
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    // Carries the command out before it returns, so that a reply sent afterwards vouches for a saved
    // change. Returns why the command was refused; empty when it was carried out.
    QString handleUrlCommand(const QByteArray& raw);
    // A URL command, or a list request whose reply goes to `body`.
    QString handleRequest(const QByteArray& raw, QByteArray* body);
    static constexpr double kCommandWaitSeconds = 3.0;

    // ---- The services, for the shell and for tests ----
    std::shared_ptr<TagStore> tagStore() const { return tagStore_; }
    std::shared_ptr<OverlayManager> overlayManager() const { return overlayManager_; }
    std::shared_ptr<SpaceTracker> spaceTracker() const { return spaceTracker_; }
    std::shared_ptr<PlaceMemory> placeMemory() const { return placeMemory_; }
    std::shared_ptr<DesktopNameSync> desktopNameSync() const { return desktopNameSync_; }
    std::shared_ptr<KeyMonitor> keyMonitor() const { return keyMonitor_; }
    std::shared_ptr<MenuBarItem> menuBarItem() const { return menuBarItem_; }
    std::shared_ptr<StaleTagSweeper> staleTagSweeper() const { return staleTagSweeper_; }
    std::shared_ptr<SpeechAnnouncer> speechAnnouncer() const { return speechAnnouncer_; }
    std::shared_ptr<AutoTagger> autoTagger() const { return autoTagger_; }
    std::shared_ptr<LaunchAtLoginCoordinator> launchAtLogin() const { return launchAtLogin_; }
    std::shared_ptr<PreferencesWindowController> preferencesController() const {
        return preferencesController_;
    }
    bool welcomeRequested() const { return welcomeRequested_; }

private:
    explicit AppDelegate(AppBackend backend);

    void yieldToOtherInstance(const QList<OtherInstance>& others);
    void traceLaunchOrigin(bool launchedAsLoginItem);
    void wireServices();
    void wirePreferences();
    void decideWelcome(bool hadStoredSchema, bool launchedAsLoginItem);
    void traceSessionState();
    void takeCommandsOnceResolved();

    AppBackend backend_;
    Logger app_;

    std::shared_ptr<TagStore> tagStore_;
    std::shared_ptr<OverlayManager> overlayManager_;
    std::shared_ptr<SpaceTracker> spaceTracker_;
    std::shared_ptr<PlaceMemory> placeMemory_;
    std::shared_ptr<DesktopNameSync> desktopNameSync_;
    std::shared_ptr<KeyMonitor> keyMonitor_;
    std::shared_ptr<MenuBarItem> menuBarItem_;
    std::shared_ptr<PreferencesWindowController> preferencesController_;
    std::shared_ptr<StaleTagSweeper> staleTagSweeper_;
    std::shared_ptr<SpeechAnnouncer> speechAnnouncer_;
    Connection speechSettingSubscription_; // warms the engine when announcements are turned on
    std::shared_ptr<AutoTagger> autoTagger_;
    std::shared_ptr<LaunchAtLoginCoordinator> launchAtLogin_;
    std::shared_ptr<WelcomeWindowController> welcomeController_;
    bool welcomeRequested_ = false;
    WorkHandle commandWait_;
    Date commandWaitStart_ = 0.0;
    bool launched_ = false;
};

} // namespace sm
