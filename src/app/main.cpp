// spacemarquee-app: names for virtual desktops, shown as floating labels. The program proper, which
// `spacemarquee` (launcher.cpp) becomes when it is to start rather than to pass a command on; it takes
// the same arguments.
//   spacemarquee-app                 starts it (started again, it opens the running copy's Preferences)
//   spacemarquee-app --login-item    as the autostart entry starts it at login
//   spacemarquee-app COMMAND         hands the command to the running copy, as `spacemarquee` does
#include "app/AppDelegate.h"
#include "app/BackendChoice.h"
#include "app/AutostartLoginItem.h"
#include "app/CommandClient.h"
#include "app/CommandLine.h"
#include "app/ProgramLock.h"
#include "app/qt/QtShellUi.h"
#include "app/qt/QuitOnSignals.h"
#include "app/qt/SingleInstance.h"
#include "app/qt/Translations.h"
#include "app/qt/WorkingSet.h"
#include "dialogs/qt/QtWindowPresenter.h"
#include "platform/UnavailableKeySource.h"
#include "platform/linux/DBusFileManager.h"
#include "platform/linux/FileDefaults.h"
#include "platform/linux/JournalSystemLog.h"
#include "platform/linux/PrivateDirectory.h"
#include "platform/linux/QtMainQueue.h"
#include "platform/linux/QtSpeechSynthesizer.h"
#include "platform/gnome/GnomeBridgeWatch.h"
#include "platform/gnome/GnomeWindowServer.h"
#include "platform/gnome/GnomeWorkspace.h"
#include "platform/kwin/KWinWindowServer.h"
#include "platform/sway/SwayWindowServer.h"
#include "platform/sway/SwayWorkspace.h"
#include "platform/wayland/WaylandWindowServer.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "platform/x11/CurrentDesktop.h"
#include "platform/x11/X11KeySource.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "report/qt/NetworkReportTransport.h"
#include "report/qt/ReportProblemWindowController.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>

#ifndef SM_WEBSITE
#define SM_WEBSITE ""
#endif
#ifndef SM_REPORT_ENDPOINT
#define SM_REPORT_ENDPOINT ""
#endif
#ifndef SM_SUPPORT_PAGE
#define SM_SUPPORT_PAGE ""
#endif

namespace {

using namespace sm;

// The facts the backend is chosen by, from the environment and the desktop's own answers.
BackendFacts sessionFacts() {
    BackendFacts facts;
    facts.forced = qEnvironmentVariable("SPACEMARQUEE_BACKEND");
    facts.onWayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    facts.swaySession = qEnvironmentVariableIsSet("SWAYSOCK");
    facts.gnomeDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
    facts.kwin = [] { return kwin::sessionProblem(); };
    facts.sway = [] { return sway::sessionProblem(); };
    facts.gnome = [] {
        bool isGnome = false;
        return gnome::sessionProblem(&isGnome);
    };
    facts.wayland = [](bool* answered) { return wayland::sessionProblem(answered); };
    facts.x11 = [] { return x11::sessionProblem(); };
    facts.xwayland = [] { return x11::sessionProblem(true); };
    return facts;
}

// GNOME's Wayland session with neither the bridge nor Xwayland: nothing can show a label, and GNOME
// shows no tray. Started from its app grid or at login, nobody reads standard error, so the reason and
// the command that ends it are shown in a window before the program ends.
void tellInAWindow(int argc, char** argv, const QString& problem, const QuitOnSignals& signalGuard) {
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Spacemarquee"));
    QApplication::setDesktopFileName(QStringLiteral("com.quillfern.spacemarquee"));
    installTranslations(installedTranslationsDirectory());
    QtShellUi ui;
    const QuitOnSignals::Listener quitOnSignal(signalGuard, [&ui] { ui.quit(); });
    ui.showAlert(QCoreApplication::translate("main", "Spacemarquee cannot show its labels on this GNOME session."),
                 problem);
}

// What people and the autostart entry run: `spacemarquee` beside this program (a build tree) or in
// bin/ (installed, this one in libexec/spacemarquee/); this program itself when there is none.
QString commandPath() {
    const QString self = QCoreApplication::applicationFilePath();
    const QDir here = QFileInfo(self).dir();
    for (const QString& candidate : {here.filePath(QStringLiteral("spacemarquee")),
                                     here.filePath(QStringLiteral("../../bin/spacemarquee"))})
        if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
    return self;
}

// Set, the socket also takes the requests of tools/memory-curve ("tool open preferences", ...).
constexpr char kToolRequestsVariable[] = "SPACEMARQUEE_TOOL_REQUESTS";
// How long a second start waits for the running copy to take its request before it explains instead.
constexpr int kSecondStartWaitMs = 5000;

} // namespace

int main(int argc, char** argv) {
    const CommandLine command = commandLine(argc, argv);
    if (const auto status = answerAtOnce(command))
        return *status;
    const bool sending = command.action == CommandLine::Action::send;
    // The program proper ends in order on a signal from its first moment on; a command sent to the
    // running copy stays killable at once by ^C.
    std::optional<QuitOnSignals> signalGuard;
    if (!sending) signalGuard.emplace();
    // A command whose copy went away must end with an error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);

    const PrivateDirectory runtime = PrivateDirectory::ensureStandard();
    if (!runtime.isUsable()) {
        say(runtime.error);
        return 1;
    }
    if (sending) {
        QCoreApplication app(argc, argv);
        return sendCommands(command, runtime.path, commandPath());
    }
    const bool launchedAsLoginItem = command.loginItem;

    const BackendChoice choice = chooseBackend(sessionFacts());
    if (!choice.backend) {
        say(choice.problem);
        if (choice.bridgeMissing && signalGuard->received() == 0) tellInAWindow(argc, argv, choice.problem, *signalGuard);
        return 1;
    }
    const Backend session = *choice.backend;
    if (choice.xwayland)
        qputenv("QT_QPA_PLATFORM", "xcb");
    else if (session != Backend::x11)
        qputenv("QT_QPA_PLATFORM", "wayland");
    // Until the launch is done a signal is only noted; these checks act on it.
    const auto signalled = [&signalGuard] { return signalGuard->received() != 0; };
    if (signalled()) return 0;

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // a tray utility: labels and dialogs come and go
    QApplication::setApplicationName(QStringLiteral("Spacemarquee"));
    QApplication::setApplicationVersion(programVersion());
    QApplication::setDesktopFileName(QStringLiteral("com.quillfern.spacemarquee"));
    QApplication::setWindowIcon(QtShellUi::appIcon());
    app.setProperty("buildVersion", buildVersion());
    installTranslations(installedTranslationsDirectory());

    auto systemLog = std::make_shared<JournalSystemLog>();
    auto defaults = std::make_shared<FileDefaults>(FileDefaults::standardDirectory(), systemLog);
    auto traceLog = std::make_shared<TraceLog>(defaults->boolValue(TraceLog::kEnabledKey).value_or(false),
                                               TraceLog::Options{runtime.path});
    const Loggers loggers = Loggers::make(systemLog, traceLog);
    auto ui = std::make_shared<QtShellUi>();
    // Also ends the "already running" alert of a copy that yields.
    const QuitOnSignals::Listener quitOnSignal(*signalGuard, [ui] { ui->quit(); });

    SingleInstance instance(runtime.path);
    std::shared_ptr<QtWindowPresenter> windows;
    std::function<QString(const QByteArray&)> toolRequest = [](const QByteArray&) { return QString(); };
    AppBackend backend;
    backend.defaults = defaults;
    backend.traceLog = traceLog;
    backend.loggers = loggers;
    backend.ui = ui;
    backend.version = programVersion();
    backend.buildVersion = buildVersion();
    backend.pid = ::getpid();
    backend.website = QUrl(QStringLiteral(SM_WEBSITE));
    const bool first = instance.tryLock();
    // Two commands given at the same moment with no copy running each start one: the copy that loses
    // the lock leaves quietly, and its command goes to the one that won.
    const bool startedForCommand = qEnvironmentVariableIsSet(kStartedForCommandVariable);
    qunsetenv(kStartedForCommandVariable); // not handed on to what the program opens
    if (!first && startedForCommand) {
        loggers.app.notice(QStringLiteral("Another copy started at the same moment takes the command"));
        return 0;
    }
    // Started again from a launcher or a shortcut while it runs: what the user is after is the
    // running copy's window, the way a tray utility's second start brings it up. The running copy may
    // still be finding its first desktop, so a refused connection is tried again while it holds on.
    if (!first && !launchedAsLoginItem) {
        const QString socketPath = QDir(runtime.path).filePath(ProgramLock::kSocketName);
        const QDeadlineTimer deadline(kSecondStartWaitMs);
        QString why;
        Forwarded outcome;
        while ((outcome = forwardRequest(socketPath, CommandLine::kPreferencesRequest, &why)) ==
                   Forwarded::noRunningCopy &&
               instance.holder() && !deadline.hasExpired() && !signalled())
            QThread::msleep(20);
        if (outcome == Forwarded::delivered) {
            loggers.app.notice(QStringLiteral("Spacemarquee is already running: opened its Preferences"));
            return 0;
        }
        if (signalled()) return 0;
        loggers.app.notice(QStringLiteral("The running copy did not open its Preferences: ") + why);
    }
    backend.otherInstances = [&instance, first]() -> QList<OtherInstance> {
        if (first) return {};
        return {instance.holder().value_or(OtherInstance{})};
    };

    std::shared_ptr<gnome::GnomeBridgeWatch> bridgeWatch; // set while GNOME runs without its bridge
    // The backend is brought up only by the copy that stays.
    if (first) {
        backend.queue = std::make_shared<QtMainQueue>();
        QString error;
        if (session == Backend::kwin) {
            auto server = kwin::KWinWindowServer::create({loggers.overlay, runtime.path}, &error);
            if (server) backend.workspace = server->workspace();
            backend.windowServer = server;
            backend.keySource = std::make_shared<UnavailableKeySource>(sway::kNoGlobalCtrl);
        } else if (session == Backend::sway) {
            backend.windowServer = sway::SwayWindowServer::create({loggers.overlay, {}}, &error);
            backend.keySource = std::make_shared<UnavailableKeySource>(sway::kNoGlobalCtrl);
            backend.workspace = sway::SwayWorkspace::create({loggers.tracker, {}}, nullptr);
        } else if (session == Backend::wayland) {
            // Without its compositor the program has nothing to show: it ends as a quit ends it.
            auto lost = [logger = loggers.app](const QString& why) {
                logger.error(QStringLiteral("Spacemarquee ends: ") + why);
                QCoreApplication::exit(1);
            };
            auto server = wayland::WaylandWindowServer::create(
                {loggers.overlay, {}, wayland::namerFor(QProcessEnvironment::systemEnvironment()), lost},
                &error);
            backend.windowServer = server;
            backend.workspace = wayland::WaylandWorkspace::create(server); // none without the window list
            backend.keySource = std::make_shared<UnavailableKeySource>(sway::kNoGlobalCtrl);
        } else if (session == Backend::gnome) {
            auto server = gnome::GnomeWindowServer::create({loggers.overlay, programVersion()}, &error);
            backend.windowServer = server;
            backend.keySource = std::make_shared<UnavailableKeySource>(sway::kNoGlobalCtrl);
            if (server) backend.workspace = std::make_shared<gnome::GnomeWorkspace>(server);
        } else {
            if (choice.bridgeMissing) {
                bridgeWatch = std::make_shared<gnome::GnomeBridgeWatch>(loggers.app);
                loggers.app.error(bridgeWatch->problem());
                backend.backendProblem = [watch = bridgeWatch] { return watch->problem(); };
            }
            if (choice.xwayland) {
                // Xwayland hears the keyboard only while one of its own windows has it.
                backend.keySource = std::make_shared<UnavailableKeySource>(sway::kNoGlobalCtrl);
                if (QString why; !x11::ensureCurrentDesktopPublished(&why))
                    loggers.app.error(QStringLiteral("The desktop on screen is unknown until the first switch: ") + why);
            }
            backend.windowServer = x11::X11WindowServer::create({loggers.overlay, 10.0}, &error);
            if (!backend.keySource) backend.keySource = x11::X11KeySource::create(loggers.app, &error);
            if (!backend.keySource) backend.keySource = std::make_shared<UnavailableKeySource>(error);
            // Without it automatic naming finds nothing in front; everything else works.
            backend.workspace = x11::X11Workspace::create(loggers.tracker, nullptr);
        }
        if (!backend.windowServer) {
            say(error);
            return 1;
        }
        if (const QString why = backend.keySource->unavailableReason(); !why.isEmpty())
            loggers.app.notice(QStringLiteral("Ctrl will not reveal the labels: ") + why);
        backend.speechSynthesizer = std::make_shared<QtSpeechSynthesizer>(loggers.tracker);
        backend.loginItem = std::make_shared<AutostartLoginItem>(AutostartLoginItem::Options{
            AutostartLoginItem::standardDirectory(), commandPath(), loggers.app,
            [](const QUrl& url) { return QDesktopServices::openUrl(url); },
            [](const QString& program, const QStringList& args) {
                return QProcess::startDetached(program, args);
            },
            qEnvironmentVariable("XDG_CURRENT_DESKTOP")});
        windows = std::make_shared<QtWindowPresenter>();
        backend.windows = windows;
        backend.fileManager = std::make_shared<DBusFileManager>(
            [](const QUrl& url) { return QDesktopServices::openUrl(url); }, loggers.app);
        backend.listenForUrlCommands =
            [&instance, &toolRequest, loggers](CommandHandler handler) {
                // Only tools/memory-curve asks for these: it opens every window many times over, which
                // people do from the tray menu, and a session without a tray lacks.
                if (qEnvironmentVariableIsSet(kToolRequestsVariable))
                    handler = [handler, &toolRequest](const QByteArray& raw, CommandReply reply) {
                        if (!raw.startsWith("tool ")) return handler(raw, std::move(reply));
                        reply(toolRequest(raw.mid(5)), {});
                    };
                // Launched and on its first desktop: what start-up alone touched can go.
                releaseUnusedMemory();
                QString why;
                if (!instance.listen(std::move(handler), &why))
                    loggers.app.error(QStringLiteral("URL commands cannot be received: ") + why);
            };
    }

    // The problem report's window and network thread are made the first time the report is asked for.
    std::unique_ptr<NetworkReportTransport> reportTransport;
    std::shared_ptr<ReportSubmission> reportSubmission;
    std::unique_ptr<ReportProblemWindowController> reportWindow;
    auto showReportProblem = [&, queue = backend.queue, logger = loggers.app] {
        if (!reportWindow) {
            reportTransport = std::make_unique<NetworkReportTransport>();
            reportSubmission = std::make_shared<ReportSubmission>(ReportSubmission::Options{
                programVersion(), buildVersion(), QSysInfo::prettyProductName(),
                QUrl(QStringLiteral(SM_REPORT_ENDPOINT)), [traceLog] { return traceLog->traceLogFiles(); },
                queue, logger, reportTransport->transport()});
            reportWindow = std::make_unique<ReportProblemWindowController>(
                ReportProblemWindowController::Options{reportSubmission,
                                                       [traceLog] { return traceLog->traceLogFiles(); },
                                                       queue,
                                                       logger,
                                                       QUrl(QStringLiteral(SM_SUPPORT_PAGE)),
                                                       {}});
        }
        reportWindow->show();
    };

    if (signalled()) return 0;
    auto delegate = AppDelegate::create(std::move(backend));
    if (!delegate->applicationDidFinishLaunching(launchedAsLoginItem)) return 0;
    delegate->menuBarItem()->onShowReportProblem = showReportProblem;
    if (bridgeWatch && delegate->preferencesController()) // an open Preferences window shows it at once
        bridgeWatch->onChange = [model = delegate->preferencesController()->viewModel()] { model->changed.emit(); };
    toolRequest = [&](const QByteArray& what) -> QString {
        if (what == "open preferences")
            delegate->menuBarItem()->onShowPreferences();
        else if (what == "open report")
            showReportProblem();
        else if (what == "open welcome" && windows)
            windows->showWelcome();
        else
            return QStringLiteral("no such tool request");
        return {};
    };
    // The windows touch far more library code than the labels ever use again.
    const WorkingSetTrimmer trimmer;
    // A signal that came during the launch found no main loop to end; one that comes later does.
    const int status = signalled() ? 0 : app.exec();
    delegate->applicationWillTerminate();
    defaults->waitForWrites(); // the last changes are on disk before the process ends
    return status;
}
