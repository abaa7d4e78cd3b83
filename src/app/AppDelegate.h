#pragma once

#include "app/GoToDesktop.h"
#include "app/LaunchAtLoginCoordinator.h"
#include "app/MenuBarItem.h"
#include "app/ShellUi.h"
#include "core/CoreServices.h"
#include "logging/Logger.h"
#include "platform/Defaults.h"
#include "platform/FileManager.h"
#include "platform/LoginItem.h"
#include "platform/MainQueue.h"
#include "platform/WindowServer.h"
#include "dialogs/PreferencesWindowController.h"
#include "dialogs/WelcomeWindowController.h"

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

// How a received command is answered: `refusal` says why it was refused or not saved (empty: done,
// and saved), `body` is what follows the "ok". Called once, possibly after the handler returned.
using CommandReply = std::function<void(const QString& refusal, const QByteArray& body)>;
using CommandHandler = std::function<void(const QByteArray& request, CommandReply reply)>;

// Everything the composition root needs from the outside world: the real desktop in the program,
// the simulated one in tests. The core's part (window server, key source, workspace, speech, defaults,
// queue, loggers) goes to CoreServices as it is.
struct AppBackend : CoreBackend {
    std::shared_ptr<TraceLog> traceLog;
    std::shared_ptr<LoginItemControlling> loginItem;
    std::shared_ptr<ShellUi> ui;
    // The preferences and welcome windows; none in a headless run.
    std::shared_ptr<WindowPresenter> windows;
    std::shared_ptr<FileManager> fileManager;
    // The single-instance lookup: other copies of this program running for this user.
    std::function<QList<OtherInstance>()> otherInstances;
    // Starts handing received commands to the handler, whose reply goes back to the sender.
    std::function<void(CommandHandler)> listenForUrlCommands;
    QUrl website; // scheme and host of the product's pages
    QString version;
    QString buildVersion;
    // Why the desktop's own backend is not in use, with the one command that fixes it; shown in
    // Preferences, asked each time it is shown. None or empty when it is in use.
    std::function<QString()> backendProblem;
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

    static std::shared_ptr<AppDelegate> create(AppBackend backend);

    // The launch sequence. False when another copy runs: this one has shown the alert, asked the UI
    // to quit and touched nothing else.
    bool applicationDidFinishLaunching(bool launchedAsLoginItem);
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    // Carries the command out before it returns. Returns why the command was refused; empty when it
    // was carried out (not necessarily saved yet).
    QString handleUrlCommand(const QByteArray& raw);
    // A URL command or a list request. A command is answered once its change is on disk, or with
    // CommandLine::kNotSaved and the system's reason when it cannot be.
    void handleRequest(const QByteArray& raw, const CommandReply& reply);
    static constexpr double kCommandWaitSeconds = 3.0;
    // The named desktops that can be gone to, in desktop order: every label that is not a tombstone,
    // on a desktop that still exists.
    QList<NamedDesktop> namedDesktops() const;

    // ---- The services, for the shell and for tests ----
    std::shared_ptr<CoreServices> core() const { return core_; }
    std::shared_ptr<TagStore> tagStore() const { return core_ ? core_->store() : nullptr; }
    std::shared_ptr<OverlayManager> overlayManager() const { return core_ ? core_->overlay() : nullptr; }
    std::shared_ptr<SpaceTracker> spaceTracker() const { return core_ ? core_->tracker() : nullptr; }
    std::shared_ptr<PlaceMemory> placeMemory() const { return core_ ? core_->placeMemory() : nullptr; }
    std::shared_ptr<DesktopNameSync> desktopNameSync() const {
        return core_ ? core_->desktopNameSync() : nullptr;
    }
    std::shared_ptr<KeyMonitor> keyMonitor() const { return core_ ? core_->keyMonitor() : nullptr; }
    std::shared_ptr<MenuBarItem> menuBarItem() const { return menuBarItem_; }
    std::shared_ptr<StaleTagSweeper> staleTagSweeper() const {
        return core_ ? core_->staleTagSweeper() : nullptr;
    }
    std::shared_ptr<SpeechAnnouncer> speechAnnouncer() const {
        return core_ ? core_->speechAnnouncer() : nullptr;
    }
    std::shared_ptr<AutoTagger> autoTagger() const { return core_ ? core_->autoTagger() : nullptr; }
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

    std::shared_ptr<CoreServices> core_;
    std::shared_ptr<MenuBarItem> menuBarItem_;
    std::shared_ptr<PreferencesWindowController> preferencesController_;
    std::shared_ptr<LaunchAtLoginCoordinator> launchAtLogin_;
    std::shared_ptr<WelcomeWindowController> welcomeController_;
    std::unique_ptr<GoToDesktop> goTo_;
    bool welcomeRequested_ = false;
    WorkHandle commandWait_;
    Date commandWaitStart_ = 0.0;
    bool launched_ = false;
};

} // namespace sm
