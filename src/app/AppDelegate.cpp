#include "app/AppDelegate.h"

#include <QCoreApplication>

#include "app/CommandLine.h"
#include "app/TagListing.h"
#include "app/UrlCommand.h"
#include "dialogs/SwitcherViewModel.h"
#include "logging/TraceFormat.h"
#include "rules/ShortId.h"

#include <algorithm>
#include <tuple>

namespace sm {

using tracefmt::boolean;

std::shared_ptr<AppDelegate> AppDelegate::create(AppBackend backend) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(backend)));
}

AppDelegate::AppDelegate(AppBackend backend) : backend_(std::move(backend)), app_(backend_.loggers.app) {}

bool AppDelegate::applicationDidFinishLaunching(bool launchedAsLoginItem) {
    if (launched_) return true;
    app_.notice(QStringLiteral("Spacemarquee launching"));

    // Two copies would overwrite each other's names, so the newcomer leaves before it loads anything.
    const QList<OtherInstance> others =
        backend_.otherInstances ? backend_.otherInstances() : QList<OtherInstance>{};
    if (!others.isEmpty()) {
        yieldToOtherInstance(others);
        return false;
    }
    launched_ = true;

    // After the single-instance check, so a copy that yields never rotates the running copy's file.
    backend_.traceLog->beginSession(
        QStringLiteral("SESSION START Spacemarquee v%1 (%2) pid=%3")
            .arg(backend_.version.isEmpty() ? QStringLiteral("?") : backend_.version,
                 backend_.buildVersion.isEmpty() ? QStringLiteral("?") : backend_.buildVersion,
                 QString::number(backend_.pid)));
    traceLaunchOrigin(launchedAsLoginItem);

    Defaults& defaults = *backend_.defaults;
    if (defaults.doubleValue(kFirstUseDateKey).value_or(0.0) == 0.0)
        defaults.setValue(kFirstUseDateKey, unixSecondsFromDate(backend_.queue->now()));
    // Read before the store writes its schema: it tells a fresh install from an update.
    const bool hadStoredSchema = defaults.contains(TagStore::kSchemaKey);

    const Loggers& loggers = backend_.loggers;
    core_ = CoreServices::create(backend_);
    goTo_ = std::make_unique<GoToDesktop>(backend_.windowServer, backend_.queue, loggers.app);
    menuBarItem_ = std::make_shared<MenuBarItem>(backend_.ui, backend_.website, loggers.app);
    if (!menuBarItem_->hasTrayIcon())
        app_.notice(
            QStringLiteral(
                "No system tray on this desktop, so Spacemarquee has no tray menu. Everything it holds is "
                "reached otherwise: start Spacemarquee again or run spacemarquee preferences for Preferences; "
                "right-click a label for its menu; spacemarquee report for a problem report; spacemarquee "
                "name NAME, clear and list for the labels; spacemarquee quit (or kill %1) to quit")
                .arg(backend_.pid));
    preferencesController_ = std::make_shared<PreferencesWindowController>(
        core_->store(),
        PreferencesViewModel::Services{
            {},
            backend_.defaults,
            backend_.queue,
            backend_.traceLog,
            backend_.fileManager,
            [server = std::weak_ptr<WindowServer>(backend_.windowServer)]() -> std::optional<QString> {
                auto s = server.lock();
                auto main = s ? s->mainScreen() : std::nullopt;
                return main ? main->stableId : std::nullopt;
            },
            loggers.app},
        backend_.windows);
    preferencesController_->viewModel()->setLimits(
        [keys = backend_.keySource, speech = backend_.speechSynthesizer, front = backend_.workspace != nullptr,
         problem = backend_.backendProblem] {
            return PreferencesViewModel::Limits{keys ? keys->unavailableReason() : QString(),
                                                speech && speech->hasEngine(), front,
                                                problem ? problem() : QString()};
        });
    // Every callback is in place before anything starts, so no early event finds one missing.
    wireServices();

    if (!defaults.boolValue(kJunkPurgedKey).value_or(false)) {
        const int removed = core_->tracker()->purgeJunk(QStringLiteral("junk-purge-oneshot"), 0.0);
        defaults.setValue(kJunkPurgedKey, true);
        app_.notice(QStringLiteral("One-time store junk purge removed %1 row(s)").arg(removed));
    }

    core_->start(launchedAsLoginItem);
    takeCommandsOnceResolved();

    launchAtLogin_ =
        std::make_shared<LaunchAtLoginCoordinator>(backend_.loginItem, backend_.defaults, true, loggers.app);
    launchAtLogin_->bootstrap();

    welcomeController_ = std::make_shared<WelcomeWindowController>(backend_.windows, loggers.app);
    decideWelcome(hadStoredSchema, launchedAsLoginItem);
    if (app_.isTracing()) traceSessionState();
    app_.notice(QStringLiteral("Spacemarquee launched (tags loaded: %1)").arg(core_->store()->tags().size()));
    return true;
}

void AppDelegate::yieldToOtherInstance(const QList<OtherInstance>& others) {
    QStringList entries;
    for (const auto& other : others)
        entries << QString::number(other.pid) + QLatin1Char(':') +
                       (other.path.isEmpty() ? QStringLiteral("?") : other.path);
    SM_TRACE(app_, QStringLiteral("singleInstance YIELDING own=%1 others=[%2]")
                       .arg(QString::number(backend_.pid), entries.join(QStringLiteral(" | "))));
    app_.notice(QStringLiteral("Another Spacemarquee instance is running - quitting this one"));
    SM_TRACE(app_, QStringLiteral("singleInstance alert PRESENTING"));
    backend_.ui->showAlert(
        QCoreApplication::translate("AppDelegate", "Spacemarquee is already running"),
        QCoreApplication::translate(
            "AppDelegate",
            "Another copy of Spacemarquee is already running on this computer, so this one will quit.\n\n"
            "Two copies share the same saved desktop names and would overwrite each other's, which looks "
            "like labels duplicating and names disappearing.\n\n"
            "To use this copy instead, quit the other one first from its tray icon."));
    SM_TRACE(app_, QStringLiteral("singleInstance alert DISMISSED by user"));
    backend_.ui->quit();
}

// Linux has no launch event: the autostart entry passes a flag instead, so "event" names where the
// answer came from (the command line) and the flag that was looked for.
void AppDelegate::traceLaunchOrigin(bool launchedAsLoginItem) {
    SM_TRACE(app_, QStringLiteral("launchOrigin event=argv.%1 openApplication=true lgit=%2 -> %3")
                       .arg(launchedAsLoginItem ? QStringLiteral("--login-item") : QStringLiteral("none"),
                            boolean(launchedAsLoginItem),
                            launchedAsLoginItem ? QStringLiteral("LOGIN ITEM (grace seeded)")
                                                : QStringLiteral("user-initiated")));
}

void AppDelegate::wireServices() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto tracker = [weak]() -> std::shared_ptr<SpaceTracker> {
        auto self = weak.lock();
        return self ? self->spaceTracker() : nullptr;
    };

    wirePreferences();

    menuBarItem_->onShowPreferences = [weak] {
        if (auto self = weak.lock(); self && self->preferencesController_)
            self->preferencesController_->show();
    };
    // Without a tray the labels are where the user meets the program.
    core_->overlay()->onPreferencesRequested = [weak] {
        if (auto self = weak.lock(); self && self->menuBarItem_->onShowPreferences)
            self->menuBarItem_->onShowPreferences();
    };
    menuBarItem_->labelCount = [weak] {
        auto self = weak.lock();
        return self && self->core_ ? static_cast<int>(self->core_->store()->tags().size()) : 0;
    };
    menuBarItem_->onAddTagToCurrentSpace = [tracker] {
        if (auto t = tracker()) t->addTagForCurrentSpace();
    };
    menuBarItem_->onRemoveTagFromCurrentSpace = [tracker] {
        if (auto t = tracker()) t->removeCurrentTag();
    };
    menuBarItem_->currentSpaceHasTag = [tracker] {
        auto t = tracker();
        return t && t->queryActiveTagId().has_value();
    };
    menuBarItem_->namedDesktops = [weak] {
        auto self = weak.lock();
        return self && self->core_ ? self->namedDesktops() : QList<NamedDesktop>();
    };
    menuBarItem_->activePlace = [server = std::weak_ptr<WindowServer>(backend_.windowServer)] {
        auto s = server.lock();
        return s ? s->activePlace() : std::nullopt;
    };
    // What went wrong is logged where it happens; a menu has no one to answer.
    menuBarItem_->onGoTo = [weak](const NamedDesktop& desktop) {
        if (auto self = weak.lock(); self && self->goTo_) self->goTo_->goTo(desktop, [](const QString&) {});
    };

}

void AppDelegate::wirePreferences() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto tracker = [weak]() -> std::shared_ptr<SpaceTracker> {
        auto self = weak.lock();
        return self ? self->spaceTracker() : nullptr;
    };
    PreferencesViewModel::Callbacks& prefs = preferencesController_->callbacks;
    prefs.onRemoveDuplicates = [tracker] {
        auto t = tracker();
        return t ? t->removeDuplicatesOnCurrentSpace() : 0;
    };
    prefs.onResetAllPositions = [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->core_->store()->resetAllPositions();
        self->core_->overlay()->reapplyNormalFrames();
    };
    prefs.launchAtLoginStatus = [weak] {
        auto self = weak.lock();
        return self && self->backend_.loginItem ? self->backend_.loginItem->status()
                                                : LoginItemStatus::notFound;
    };
    prefs.onSetLaunchAtLogin = [weak](bool on) {
        auto self = weak.lock();
        return self && self->launchAtLogin_ && self->launchAtLogin_->setEnabled(on);
    };
    prefs.onRevealLoginItems = [weak] {
        auto self = weak.lock();
        if (!self || !self->backend_.loginItem) return;
        const QString status = toString(self->backend_.loginItem->status());
        SM_TRACE(self->app_, QStringLiteral("launchAtLogin reveal requested status=") + status);
        SM_TRACE(self->app_, QStringLiteral("launchAtLogin reveal system-settings status=") + status);
        self->backend_.loginItem->openSettings();
    };
    prefs.onRenameTag = [tracker](QUuid id, QString title) {
        if (auto t = tracker()) t->renameTag(id, title);
    };
    prefs.onDeleteTag = [tracker](QUuid id) {
        if (auto t = tracker()) t->removeTag(id, QStringLiteral("preferences-delete"));
    };
    prefs.onDeleteStaleTags = [tracker](const QList<QUuid>& ids) {
        for (const auto& id : ids)
            if (auto t = tracker()) t->removeTag(id, QStringLiteral("preferences-delete-stale"));
    };
}

void AppDelegate::decideWelcome(bool hadStoredSchema, bool launchedAsLoginItem) {
    const bool welcomeShown = backend_.defaults->boolValue(kWelcomeShownKey).value_or(false);
    const bool show = !(hadStoredSchema || launchedAsLoginItem || welcomeShown);
    // A login-item launch leaves the marker alone, so the first launch by hand still greets the user.
    const bool setMarker = !launchedAsLoginItem && !welcomeShown;
    SM_TRACE(
        app_,
        QStringLiteral(
            "welcome decision show=%1 setMarker=%2 freshInstall=%3 loginItem=%4 forced=false qa=false")
            .arg(boolean(show), boolean(setMarker), boolean(!hadStoredSchema), boolean(launchedAsLoginItem)));
    if (setMarker) backend_.defaults->setValue(kWelcomeShownKey, true);
    welcomeRequested_ = show;
    if (show) welcomeController_->show(menuBarItem_->hasTrayIcon());
}

void AppDelegate::traceSessionState() {
    const auto main = backend_.windowServer->mainScreen();
    for (const auto& screen : backend_.windowServer->screens())
        SM_TRACE(app_, QStringLiteral("session screen '%1' id=%2 stable=%3 frame=%4 isMain=%5")
                           .arg(screen.localizedName,
                                screen.displayNumber ? QString::number(*screen.displayNumber)
                                                     : QStringLiteral("nil"),
                                tracefmt::text(screen.stableId), tracefmt::rect(screen.frame),
                                boolean(main && *main == screen)));
    QStringList entries;
    for (const auto& tag : core_->store()->tags())
        entries << QStringLiteral("%1:'%2':scr=%3")
                       .arg(shortId(tag.id), tag.title,
                            tag.screenIdentifier ? tag.screenIdentifier->left(8) : QStringLiteral("nil"));
    SM_TRACE(app_, QStringLiteral("session tags=%1 [%2]")
                       .arg(core_->store()->tags().size())
                       .arg(entries.join(QStringLiteral(" | "))));
}

// A command that started the program (a link opened with no copy running) is meant for the desktop
// on screen, so commands are taken once the tracker has adopted or made its label; a desktop that
// never gets one does not hold them up for longer than kCommandWaitSeconds. Senders wait meanwhile.
void AppDelegate::takeCommandsOnceResolved() {
    if (!backend_.listenForUrlCommands) return;
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto listen = [weak] {
        auto self = weak.lock();
        if (!self || !self->commandWait_) return;
        self->commandWait_->cancel();
        self->commandWait_.reset();
        SM_TRACE(self->app_, QStringLiteral("commands TAKEN resolved=%1")
                                 .arg(boolean(self->core_->tracker()->currentActiveTagId().has_value())));
        self->backend_.listenForUrlCommands([weak](const QByteArray& raw, CommandReply reply) {
            if (auto me = weak.lock())
                me->handleRequest(raw, reply);
            else
                reply(QStringLiteral("Spacemarquee is quitting"), {});
        });
    };
    commandWaitStart_ = backend_.queue->now();
    commandWait_ = backend_.queue->every(0.02, [weak, listen] {
        auto self = weak.lock();
        if (self && (self->core_->tracker()->currentActiveTagId() ||
                     self->backend_.queue->now() - self->commandWaitStart_ >= kCommandWaitSeconds))
            listen();
    });
}

void AppDelegate::handleRequest(const QByteArray& raw, const CommandReply& reply) {
    if (raw == CommandLine::kPreferencesRequest || raw == CommandLine::kReportRequest) {
        const bool preferences = raw == CommandLine::kPreferencesRequest;
        const auto& open = preferences ? menuBarItem_->onShowPreferences : menuBarItem_->onShowReportProblem;
        if (!open) return reply(QStringLiteral("this Spacemarquee has no such window"), {});
        app_.notice(QStringLiteral("Command received: ") + QString::fromLatin1(raw));
        open();
        SM_TRACE(app_, QStringLiteral("command %1 SHOWN").arg(QString::fromLatin1(raw)));
        return reply({}, {});
    }
    if (raw == CommandLine::kEditRequest) {
        app_.notice(QStringLiteral("Command received: edit"));
        auto tracker = spaceTracker();
        if (!tracker) return reply(QStringLiteral("Spacemarquee is quitting"), {});
        // A desktop without a label gets an untitled one first, the one a click would name; made at
        // once, not through the creation guard, which may hold a new label back for a while.
        auto id = tracker->queryActiveTagId();
        if (!id) {
            tracker->setTitleForCurrentSpace({}, false);
            id = tracker->currentActiveTagId(); // its window is not on screen yet
        }
        if (!id) return reply(QStringLiteral("this desktop cannot have a label now"), {});
        core_->overlay()->beginEdit(*id);
        if (!core_->overlay()->isEditing()) return reply(QStringLiteral("the label cannot be edited now"), {});
        return reply({}, {});
    }
    if (raw == CommandLine::kSwitchRequest) {
        app_.notice(QStringLiteral("Command received: switch"));
        if (!goTo_) return reply(QStringLiteral("Spacemarquee is quitting"), {});
        const QList<NamedDesktop> desktops = namedDesktops();
        QList<SwitcherViewModel::Entry> entries;
        for (const auto& desktop : desktops)
            entries << SwitcherViewModel::Entry{desktop.title, desktop.place.desktop + 1};
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        // The switcher's choice takes the same road as `go`; a window has no one to answer.
        const bool shown = backend_.windows &&
                           backend_.windows->showSwitcher(std::make_shared<SwitcherViewModel>(entries),
                                                          [weak, desktops](int chosen) {
                                                              auto self = weak.lock();
                                                              if (self && self->goTo_ && chosen >= 0 &&
                                                                  chosen < desktops.size())
                                                                  self->goTo_->goTo(desktops[chosen],
                                                                                    [](const QString&) {});
                                                          });
        if (!shown) return reply(QStringLiteral("this Spacemarquee has no such window"), {});
        SM_TRACE(app_, QStringLiteral("command switch SHOWN (%1 named)").arg(desktops.size()));
        return reply({}, {});
    }
    if (raw == CommandLine::kQuitRequest) {
        app_.notice(QStringLiteral("Command received: quit"));
        // Answered first: the sender hears that the quit has begun, not that it has ended.
        reply({}, {});
        backend_.queue->post([ui = backend_.ui] { ui->quit(); });
        return;
    }
    if (raw != CommandLine::kListRequest && raw != CommandLine::kListJsonRequest) {
        if (raw.startsWith("list"))
            return reply(QStringLiteral("this Spacemarquee answers \"%1\" and \"%2\" only")
                             .arg(QLatin1String(CommandLine::kListRequest),
                                  QLatin1String(CommandLine::kListJsonRequest)),
                         {});
        // Answered once the switch is seen, and nothing to save.
        if (const UrlCommand command = UrlCommand::parse(raw); command.kind == UrlCommand::Kind::goTo) {
            app_.notice(QStringLiteral("URL command received: go"));
            if (!goTo_) return reply(QStringLiteral("Spacemarquee is quitting"), {});
            return goTo_->go(namedDesktops(), command.title,
                             [reply](const QString& refusal) { reply(refusal, {}); });
        }
        if (const QString refusal = handleUrlCommand(raw); !refusal.isEmpty()) return reply(refusal, {});
        // "ok" vouches for the change on disk, so it waits for the write; a change that stays in
        // memory only is not "done" for a script that goes on to rely on it.
        backend_.defaults->whenDurable([reply](const QString& problem) {
            reply(problem.isEmpty() ? QString() : QLatin1String(CommandLine::kNotSaved) + problem, {});
        });
        return;
    }
    QList<TagListEntry> entries;
    for (const auto& tag : core_->store()->tags()) {
        const auto* entry = core_->overlay()->entry(tag.id);
        auto place = entry && entry->panel ? backend_.windowServer->placeOf(*entry->panel) : std::nullopt;
        if (!place) place = core_->placeMemory()->placeOf(tag.id);
        entries << TagListEntry{tag, place};
    }
    reply({}, raw == CommandLine::kListRequest ? formatTagList(entries) : formatTagListJson(entries));
}

QList<NamedDesktop> AppDelegate::namedDesktops() const {
    QList<std::pair<DesktopPlace, QString>> found;
    for (const auto& tag : core_->store()->tags()) {
        if (tag.isTombstone || tag.title.isEmpty()) continue;
        const auto* entry = core_->overlay()->entry(tag.id);
        auto place = entry && entry->panel ? backend_.windowServer->placeOf(*entry->panel) : std::nullopt;
        if (!place) place = core_->placeMemory()->placeOf(tag.id);
        if (place) place = backend_.windowServer->locate(*place);
        if (place) found.append({*place, tag.title});
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first.screenId, a.first.desktop) < std::tie(b.first.screenId, b.first.desktop);
    });
    QList<NamedDesktop> out;
    for (const auto& [place, title] : found)
        out << NamedDesktop{title, place};
    return out;
}

QString AppDelegate::handleUrlCommand(const QByteArray& raw) {
    const UrlCommand command = UrlCommand::parse(raw);
    switch (command.kind) {
    case UrlCommand::Kind::notOurs:
        app_.error(QStringLiteral("Ignored URL event: not a spacemarquee:// URL"));
        return command.reason;
    case UrlCommand::Kind::tooLong:
        app_.error(QStringLiteral("Ignored URL event: longer than %1 bytes").arg(UrlCommand::kMaxBytes));
        return command.reason;
    default:
        break;
    }
    app_.notice(QStringLiteral("URL command received: ") + command.command);
    auto tracker = spaceTracker();
    switch (command.kind) {
    case UrlCommand::Kind::setCurrentTag:
    case UrlCommand::Kind::clearCurrentTag:
        if (!tracker) return QStringLiteral("Spacemarquee is quitting");
        // Both run to the end here, and the store saves a user's change before its operation returns.
        if (command.kind == UrlCommand::Kind::setCurrentTag)
            tracker->setTitleForCurrentSpace(command.title, true);
        else
            tracker->removeCurrentTag();
        return {};
    case UrlCommand::Kind::rejected:
        app_.error(QStringLiteral("Ignored URL command %1: %2").arg(command.command, command.reason));
        return command.reason;
    default:
        app_.error(QStringLiteral("Unknown URL command: ") + command.command);
        return command.reason;
    }
}

void AppDelegate::applicationWillTerminate() {
    if (!launched_) return;
    launched_ = false;
    SM_TRACE(app_, QStringLiteral("SESSION END applicationWillTerminate"));
    app_.notice(QStringLiteral("Spacemarquee terminating"));
    if (commandWait_) commandWait_->cancel();
    core_->stop();
}

} // namespace sm
