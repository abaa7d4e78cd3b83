#include "platform/sway/SwayWindowServer.h"

#include "platform/WorkspaceNames.h"

#include "platform/linux/LogindWakeWatcher.h"
#include "platform/sway/SwayIpcClient.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QScreen>
#include <QTimer>

#include <unistd.h>

namespace sm::sway {

namespace {
// Names stable screen identifiers derived from what the output tells about itself.
const QUuid kScreenNamespace(QStringLiteral("{5b0f3c3e-8d1e-4a47-9a0c-6e2f2d7c41a9}"));
constexpr int kMoveFollowMilliseconds = 100;
constexpr int kMoveRestTicks = 10;
constexpr int kParkedWidth = 75;
constexpr int kParkedHeight = 50;

const QString kLabelPrefix = QStringLiteral("Spacemarquee label ");
const QString kEditorPrefix = QStringLiteral("Spacemarquee editor ");
// A workspace sway dropped has no index in its list: its number, past any list, stands in for one.
constexpr int kDroppedIndexBase = 10000;
constexpr int kDroppedNumberLimit = 90000;

// sway makes a dropped workspace anew as plain "2" for `workspace number 2`, whatever title "2" had.
bool sameWorkspace(const QString& left, const QString& shown) {
    if (left == shown) return true;
    const auto number = WorkspaceNames::numberOf(left);
    return number && WorkspaceNames::numberOf(shown) == number && shown == QString::number(*number);
}

} // namespace

std::shared_ptr<SwayWindowServer> SwayWindowServer::create(const Options& options, QString* error) {
    std::shared_ptr<SwayWindowServer> server(new SwayWindowServer(options));
    QString problem;
    if (!server->start(&problem)) {
        options.logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    std::weak_ptr<SwayWindowServer> weak = server;
    server->wake_ = std::make_unique<LogindWakeWatcher>(options.logger, [weak] {
        if (auto self = weak.lock()) self->didWake.emit();
    });
    return server;
}

SwayWindowServer::SwayWindowServer(Options options) : options_(std::move(options)), pid_(::getpid()) {}

SwayWindowServer::~SwayWindowServer() {
    for (auto* state : panels_)
        state->panel = nullptr;
}

bool SwayWindowServer::start(QString* error) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        *error = QStringLiteral("The sway backend needs Qt's wayland platform, but the toolkit runs on '%1'.")
                     .arg(QGuiApplication::platformName());
        return false;
    }
    const QString socket =
        options_.socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : options_.socketPath;
    ipc_ = std::make_unique<SwayIpcClient>(
        SwayIpcClient::Options{socket,
                               options_.logger,
                               {ipc::WorkspaceEvent, ipc::WindowEvent, ipc::ShutdownEvent},
                               {ipc::OutputEvent}});
    if (!ipc_->open(error)) return false;

    context_ = std::make_unique<QObject>();
    refreshTimer_ = new QTimer(context_.get());
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(0);
    QObject::connect(refreshTimer_, &QTimer::timeout, context_.get(), [this] { refresh(); });
    moveTimer_ = new QTimer(context_.get());
    moveTimer_->setInterval(kMoveFollowMilliseconds);
    QObject::connect(moveTimer_, &QTimer::timeout, context_.get(), [this] {
        if (++restingTicks_ >= kMoveRestTicks) moveTimer_->stop();
        wantTree_ = true;
        refresh();
    });

    ipc_->onEvent = [this](quint32 type, const QByteArray& payload) { handleEvent(type, payload); };
    ipc_->onConnected = [this] {
        // sway may have restarted: rules, outputs, workspaces and containers are all read anew.
        installRules();
        readConfig();
        scheduleRefresh(true, true);
    };
    // sway 1.7 sends no output events: the toolkit's own view of the outputs (wl_output) says when
    // one comes, goes or changes.
    const auto screensMayHaveChanged = [this] { scheduleRefresh(true, true); };
    const auto follow = [this, screensMayHaveChanged](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context_.get(), screensMayHaveChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        follow(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, context_.get(),
                     [follow, screensMayHaveChanged](QScreen* screen) {
                         follow(screen);
                         screensMayHaveChanged();
                     });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, context_.get(), screensMayHaveChanged);

    installRules();
    readConfig();
    refresh();
    if (outputs_.isEmpty()) options_.logger.notice(QStringLiteral("sway reports no active output yet"));
    return true;
}

// Rules sway applies when our windows map, before anyone sees them: labels float without a border and
// never take the focus from the user's window. A configuration reload forgets them.
void SwayWindowServer::installRules() {
    const QString self = QStringLiteral("pid=%1 title=").arg(pid_);
    ipc_->command(QStringLiteral("for_window [%1%2] \"floating enable, border none\"")
                      .arg(self, quoted(QStringLiteral("^Spacemarquee (label|editor) "))));
    ipc_->command(QStringLiteral("no_focus [%1%2]").arg(self, quoted(QLatin1Char('^') + kLabelPrefix)));
}

void SwayWindowServer::handleEvent(quint32 type, const QByteArray& payload) {
    QString error;
    const auto event = parseEvent(payload, &error);
    if (!event) {
        options_.logger.error(QStringLiteral("sway IPC: an event could not be read (%1)").arg(error));
        scheduleRefresh(true, true);
        return;
    }
    switch (type) {
    case ipc::WorkspaceEvent:
        lastWorkspaceEvent_ = std::chrono::steady_clock::now();
        if (event->change == QLatin1String("reload")) {
            installRules();
            readConfig();
        }
        // A plain switch moves no window: the workspaces alone tell the new facts. Outputs that come
        // and go make and move workspaces, which is all a compositor without output events tells.
        scheduleRefresh(event->change != QLatin1String("focus"), event->change != QLatin1String("focus"));
        break;
    case ipc::OutputEvent:
        scheduleRefresh(true, true);
        break;
    case ipc::WindowEvent: {
        if (event->containerPid != pid_) {
            if (event->change == QLatin1String("focus")) lastForeignFocus_ = event->containerId;
            // A window that comes, goes or moves may leave a label alone on its workspace.
            if (event->change == QLatin1String("new") || event->change == QLatin1String("close") ||
                event->change == QLatin1String("move"))
                scheduleRefresh(true, false);
            break;
        }
        PanelState* state = nullptr;
        for (auto* s : panels_)
            if ((s->container == event->containerId) ||
                (!s->container && s->orderedIn && !s->withdrawnFrom && s->marker == event->containerName))
                state = s;
        if (state && event->change == QLatin1String("new") && !state->container) {
            state->container = event->containerId;
            state->comingBack = false;
            // Its workspace went while the window mapped (the user left it, empty): sent there, the
            // label would make it anew, so it waits unmapped for the workspace to come back.
            if (!state->takesFocus && !state->workspace.isEmpty() && !homeExists(*state))
                withdraw(*state);
            else
                sendPlacement(*state, true);
        }
        scheduleRefresh(true, false); // a label that took the focus gives it back there
        break;
    }
    default:
        break;
    }
}

void SwayWindowServer::scheduleRefresh(bool tree, bool outputs) {
    wantTree_ = wantTree_ || tree;
    wantOutputs_ = wantOutputs_ || outputs;
    if (refreshTimer_ && !refreshTimer_->isActive()) refreshTimer_->start();
}

void SwayWindowServer::refreshNow() {
    if (refreshTimer_) refreshTimer_->stop();
    wantTree_ = wantOutputs_ = true;
    refresh();
}

bool SwayWindowServer::readOutputs() {
    const auto reply = ipc_->request(ipc::GetOutputs);
    if (!reply) return false;
    QString error;
    auto outputs = parseOutputs(*reply, &error);
    if (!outputs) {
        options_.logger.error(QStringLiteral("sway IPC: the outputs could not be read (%1)").arg(error));
        return false;
    }
    if (*outputs == outputs_) return false;
    outputs_ = std::move(*outputs);
    return true;
}

bool SwayWindowServer::readWorkspaces() {
    const auto reply = ipc_->request(ipc::GetWorkspaces);
    if (!reply) return false;
    QString error;
    auto workspaces = parseWorkspaces(*reply, &error);
    if (!workspaces) {
        options_.logger.error(QStringLiteral("sway IPC: the workspaces could not be read (%1)").arg(error));
        return false;
    }
    workspaces_ = std::move(*workspaces);
    return true;
}

void SwayWindowServer::readConfig() {
    const auto reply = ipc_->request(ipc::GetConfig);
    const QJsonValue config = reply ? QJsonDocument::fromJson(*reply).object().value(QLatin1String("config"))
                                    : QJsonValue();
    if (!config.isString()) {
        // Then no binding is known to go by name, and the numbered workspaces take their titles.
        options_.logger.notice(QStringLiteral("sway IPC: the configuration could not be read"));
        return;
    }
    reachedByName_ = WorkspaceNames::reachedByName(config.toString());
}

bool SwayWindowServer::readTree() {
    const auto reply = ipc_->request(ipc::GetTree);
    if (!reply) return false;
    QString error;
    const auto windows = parseWindows(*reply, pid_, &error, &viewsOn_);
    if (!windows) {
        options_.logger.error(QStringLiteral("sway IPC: the window tree could not be read (%1)").arg(error));
        return false;
    }
    windows_.clear();
    for (const auto& w : *windows)
        windows_.insert(w.id, w);
    return true;
}

void SwayWindowServer::refresh() {
    if (!ipc_->isConnected()) return;
    const bool outputsChanged = std::exchange(wantOutputs_, false) && readOutputs();
    const bool treeRead = std::exchange(wantTree_, false) && readTree();
    const QStringList namesBefore = desktopNames();
    readWorkspaces();
    const bool namesChanged = desktopNames() != namesBefore;

    QSet<qint64> visible;
    qint64 focused = 0;
    for (const auto& w : workspaces_) {
        if (w.visible) visible.insert(w.id);
        if (w.focused) focused = w.id;
    }
    const bool desktopChanged = visible != visibleWorkspaces_ || focused != focusedWorkspace_;
    visibleWorkspaces_ = visible;
    focusedWorkspace_ = focused;

    std::vector<quint64> visibilityChanged;
    std::vector<quint64> screenChanged;
    std::vector<quint64> moved;
    // Before the facts: a label whose workspace shows again counts as present at this very switch. One
    // label a workspace: two unmapped from workspaces of one number would otherwise pile up on it.
    QSet<qint64> labelled;
    for (const auto* s : panels_)
        if (!s->withdrawnFrom && s->orderedIn && !s->takesFocus) labelled.insert(s->workspaceId);
    for (auto* s : panels_) {
        if (!s->withdrawnFrom || !s->orderedIn) continue;
        for (const auto& w : std::as_const(workspaces_))
            if (w.visible && !labelled.contains(w.id) && sameWorkspace(*s->withdrawnFrom, w.name)) {
                labelled.insert(w.id);
                if (bringBack(*s, w)) moved.push_back(s->serial);
                break;
            }
    }
    for (auto* s : panels_) {
        if (s->withdrawnFrom) {
            // Nothing of it is on screen; its last workspace and output are kept.
        } else if (treeRead && s->orderedIn && !s->container) {
            // Its "new" event went by unseen (a reconnection).
            for (const auto& w : std::as_const(windows_))
                if (w.title == s->marker) {
                    s->container = w.id;
                    s->comingBack = false;
                    sendPlacement(*s, true);
                    break;
                }
        } else if (treeRead && s->container) {
            if (const auto it = windows_.constFind(*s->container); it != windows_.constEnd()) {
                // Focus goes back to the user's window on this workspace: a label never keeps the
                // keyboard. Decided on the tree, not on the focus event: the user may have switched
                // since, and focusing by that event would pull them back.
                if (it->focused && !s->takesFocus && lastForeignFocus_)
                    ipc_->command(QStringLiteral("[con_id=%1] focus mode_toggle").arg(it->id));
                s->workspaceId = it->workspaceId;
                s->workspace = it->workspace;
                // The compositor moved it (a drag, its workspace went to another output).
                if (!s->parked && it->rect.topLeft() != s->frame.topLeft() && !it->rect.isEmpty()) {
                    s->frame.moveTopLeft(it->rect.topLeft());
                    if (s->window) s->window->move(s->frame.topLeft());
                    moved.push_back(s->serial);
                }
            } else {
                s->container.reset(); // closed behind our back; shown again it is placed anew
            }
        }
        const WorkspaceInfo* ws = s->withdrawnFrom ? nullptr : workspaceById(s->workspaceId);
        if (!ws && !s->withdrawnFrom && !s->workspace.isEmpty())
            for (const auto& w : workspaces_)
                if (w.name == s->workspace) ws = &w;
        if (ws) s->workspace = ws->name;
        // Left alone on a workspace no output shows: sway would have dropped it without us.
        if (ws && !ws->visible && s->orderedIn && s->container && !s->takesFocus &&
            windows_.value(*s->container).workspaceId == ws->id && !heldByOthers(*ws)) {
            withdraw(*s);
            ws = nullptr;
        }
        const std::optional<QString> output = ws ? std::optional(ws->output) : s->output;
        const bool onActive = s->bound && ws && ws->visible;
        // One coming back counts as shown from the switch on, as one ordered front does until it maps.
        const bool shown = s->orderedIn &&
                           ((s->container && windows_.contains(*s->container)) || s->comingBack) && ws &&
                           ws->visible;
        if (onActive != s->onActiveSpace || shown != s->visible) visibilityChanged.push_back(s->serial);
        if (output != s->output && s->output) screenChanged.push_back(s->serial);
        s->onActiveSpace = onActive;
        s->visible = shown;
        s->output = output;
    }

    if (outputsChanged) screensChanged.emit();
    if (desktopChanged) activeDesktopChanged.emit();
    if (namesChanged) desktopNamesChanged.emit();
    // Observers may remove panels: look each one up again.
    const auto tell = [this](const std::vector<quint64>& serials, auto signal) {
        for (const quint64 serial : serials) {
            const auto it =
                std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->serial == serial; });
            if (it != panels_.end() && (*it)->panel) ((*it)->panel->*signal).emit();
        }
    };
    tell(moved, &Panel::moved);
    tell(visibilityChanged, &Panel::visibilityChanged);
    tell(screenChanged, &Panel::screenChanged);
}

void SwayWindowServer::adopt(PanelState& state) {
    state.serial = nextSerial_++;
    state.marker = (state.takesFocus ? kEditorPrefix : kLabelPrefix) + QString::number(state.serial);
    panels_.push_back(&state);
    state.window->onSystemMoveStarted = [server = weak_from_this()] {
        if (auto s = server.lock()) s->followSystemMove();
    };
    state.window->onPointerEntered = state.window->onSystemMoveStarted;
}

void SwayWindowServer::forget(PanelState& state) {
    std::erase(panels_, &state);
}

bool SwayWindowServer::shown(PanelState& state) {
    if (!state.bound) {
        // The desktop active on the screen it is placed on, as a panel ordered front joins it.
        const OutputInfo* output = outputAt(state.frame.center());
        const WorkspaceInfo* target = nullptr;
        for (const auto& w : workspaces_)
            if ((output && w.output == output->name && w.visible) || (!output && w.focused)) target = &w;
        if (!target)
            for (const auto& w : workspaces_)
                if (w.focused) target = &w;
        if (target) {
            state.workspaceId = target->id;
            state.workspace = target->name;
            state.output = target->output;
        }
        state.bound = true;
    }
    state.orderedIn = true;
    state.container.reset();
    if (!state.withdrawnFrom && !state.takesFocus && !state.workspace.isEmpty() &&
        !workspaceById(state.workspaceId) && !workspaceNamed(state.workspace))
        state.withdrawnFrom = state.workspace;
    // A container that already mapped under this title (a very fast compositor) is found by the tree;
    // a label whose workspace is gone comes back there if it shows.
    scheduleRefresh(true, false);
    return !state.withdrawnFrom;
}

// sway drops a workspace that is empty and not shown; the label's window was all that kept it.
void SwayWindowServer::withdraw(PanelState& state) {
    state.withdrawnFrom = state.workspace;
    state.comingBack = false;
    state.container.reset();
    if (state.window) state.window->hide();
}

// The workspace may be sway's new one on another output than the label's: the label keeps its place
// relative to the output, as when a workspace is moved there. Whether it moved is returned.
bool SwayWindowServer::bringBack(PanelState& state, const WorkspaceInfo& workspace) {
    state.withdrawnFrom.reset();
    state.comingBack = true;
    state.workspaceId = workspace.id;
    state.workspace = workspace.name;
    const OutputInfo* from = outputNamed(state.output.value_or(QString()));
    const OutputInfo* to = outputNamed(workspace.output);
    bool moved = false;
    if (from && to && from != to) {
        QRect frame = state.frame.translated(to->rect.topLeft() - from->rect.topLeft());
        frame.moveLeft(std::clamp(frame.left(), to->rect.left(),
                                  std::max(to->rect.left(), to->rect.right() + 1 - frame.width())));
        frame.moveTop(std::clamp(frame.top(), to->rect.top(),
                                 std::max(to->rect.top(), to->rect.bottom() + 1 - frame.height())));
        moved = frame.topLeft() != state.frame.topLeft();
        state.frame = frame;
    }
    if (state.window) {
        state.window->move(state.frame.topLeft());
        state.window->show();
    }
    applyInput(state);
    return moved;
}

// Windows of other programs, and this one's other than labels, keep a workspace anyway.
bool SwayWindowServer::heldByOthers(const WorkspaceInfo& workspace) const {
    int labels = 0;
    for (const auto& w : windows_)
        if (w.workspaceId == workspace.id && w.title.startsWith(kLabelPrefix)) ++labels;
    return viewsOn_.value(workspace.id) > labels;
}

// Asked of sway itself: the workspaces known here may be older than the window event.
bool SwayWindowServer::homeExists(const PanelState& state) const {
    const auto reply = ipc_->request(ipc::GetWorkspaces);
    QString error;
    const auto workspaces = reply ? parseWorkspaces(*reply, &error) : std::nullopt;
    if (!workspaces) return true;
    return std::any_of(workspaces->begin(), workspaces->end(), [&](const WorkspaceInfo& w) {
        return w.id == state.workspaceId || w.name == state.workspace;
    });
}

const OutputInfo* SwayWindowServer::outputNamed(const QString& name) const {
    for (const auto& o : outputs_)
        if (o.name == name) return &o;
    return nullptr;
}

void SwayWindowServer::hidden(PanelState& state) {
    state.orderedIn = false;
    state.comingBack = false;
    state.container.reset();
    scheduleRefresh(false, false);
}

// sway hands a floating window moved to a position over to the visible workspace of the output there:
// the move back to its own workspace comes last too, in the same command, so nothing shows between.
void SwayWindowServer::sendPlacement(PanelState& state, bool firstTime) {
    if (!state.container || !ipc_->isConnected()) return;
    QStringList steps;
    if (firstTime) steps << QStringLiteral("floating enable") << QStringLiteral("border none");
    const QString home = state.workspace.isEmpty()
                             ? QString()
                             : QStringLiteral("move container to workspace ") + quoted(state.workspace);
    // A window maps on the focused workspace, and one mapped into an empty workspace takes the focus
    // there. Moved by position to another output first, it would carry the focus, and the user, along;
    // sent to its own workspace first, it leaves the focus on the workspace the user is on.
    if (!home.isEmpty()) steps << home;
    const QRect box = state.parked ? parkingBox(state) : state.frame;
    if (!box.isEmpty()) steps << QStringLiteral("resize set %1 px %2 px").arg(box.width()).arg(box.height());
    steps << QStringLiteral("move absolute position %1 px %2 px").arg(box.x()).arg(box.y());
    if (!home.isEmpty()) steps << home;
    ipc_->command(
        QStringLiteral("[con_id=%1] %2").arg(*state.container).arg(steps.join(QStringLiteral(", "))));
    if (firstTime) {
        state.sentAlpha.reset();
        applyAlpha(state);
        if (state.takesFocus) focus(state);
    }
}

void SwayWindowServer::place(PanelState& state) {
    sendPlacement(state, false);
}

// The bottom-right corner of the label's output, room for sway's smallest floating window (75 x 50 by
// default), which it makes of the 1 x 1 asked for.
QRect SwayWindowServer::parkingBox(const PanelState& state) const {
    QRect output;
    for (const auto& o : outputs_)
        if (o.name == state.output.value_or(QString()) ||
            (output.isNull() && o.rect.contains(state.frame.center())))
            output = o.rect;
    if (output.isNull()) return state.frame;
    return {output.x() + output.width() - kParkedWidth, output.y() + output.height() - kParkedHeight, 1, 1};
}

// sway blends the window with its own opacity; the window's pixels carry their own alpha too.
void SwayWindowServer::applyAlpha(PanelState& state) {
    applyInput(state);
    if (!state.container || !ipc_->isConnected()) return;
    const double alpha = std::clamp(state.alpha, 0.0, 1.0);
    if (state.sentAlpha && std::abs(*state.sentAlpha - alpha) < 0.004) return;
    state.sentAlpha = alpha;
    ipc_->command(QStringLiteral("[con_id=%1] opacity %2").arg(*state.container).arg(alpha, 0, 'f', 3));
}

// A window that ignores the pointer, or is faded out entirely, takes no input: its input region is cut
// down to nothing (a region outside the surface). sway 1.7 still gives a click inside a floating
// window's box to that window, so the box is also parked, as small as sway allows, in the corner of its
// output until the label shows or takes clicks again.
void SwayWindowServer::applyInput(PanelState& state) {
    const bool transparent = state.ignoresInput || state.alpha <= 0.0;
    if (state.window) state.window->letPointerThrough(transparent);
    if (transparent == state.parked) return;
    state.parked = transparent;
    sendPlacement(state, false);
}

void SwayWindowServer::focus(PanelState& state) {
    if (state.container) ipc_->command(QStringLiteral("[con_id=%1] focus").arg(*state.container));
}

void SwayWindowServer::followSystemMove() {
    restingTicks_ = 0;
    if (moveTimer_ && !moveTimer_->isActive()) moveTimer_->start();
}

const WorkspaceInfo* SwayWindowServer::workspaceById(qint64 id) const {
    if (!id) return nullptr;
    for (const auto& w : workspaces_)
        if (w.id == id) return &w;
    return nullptr;
}

const OutputInfo* SwayWindowServer::outputAt(const QPoint& point) const {
    for (const auto& o : outputs_)
        if (o.rect.contains(point)) return &o;
    return nullptr;
}

PanelState* SwayWindowServer::stateOf(const Panel& panel) const {
    for (auto* s : panels_)
        if (s->panel == &panel) return s;
    return nullptr;
}

std::optional<QString> SwayWindowServer::workspaceOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    if (!s || !s->bound) return std::nullopt;
    return s->workspace;
}

std::optional<qint64> SwayWindowServer::containerOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    return s ? s->container : std::nullopt;
}

const WorkspaceInfo* SwayWindowServer::workspaceNamed(const QString& name) const {
    for (const auto& w : workspaces_)
        if (w.name == name) return &w;
    return nullptr;
}

// Workspaces come and go as they are visited and left empty, and the numbers of the others shift: a
// workspace is known by its name, and its screen is the output it is on today.
std::optional<DesktopPlace> SwayWindowServer::placeOn(const WorkspaceInfo* workspace) const {
    if (!workspace) return std::nullopt;
    for (const auto& o : outputs_)
        if (o.name == workspace->output) {
            const auto info = screenInfo(o);
            if (!info || !info->stableId) return std::nullopt;
            return DesktopPlace{*info->stableId, static_cast<int>(workspace - workspaces_.constData()),
                                workspace->name};
        }
    return std::nullopt;
}

std::optional<DesktopPlace> SwayWindowServer::placeOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    if (!s || !s->bound) return std::nullopt;
    const WorkspaceInfo* w = workspaceById(s->workspaceId);
    if (!w) w = workspaceNamed(s->workspace);
    if (!w && s->withdrawnFrom) return droppedPlace(*s->withdrawnFrom, s->output.value_or(QString()));
    return placeOn(w);
}

// A numbered workspace sway dropped, on the output it was on: sway makes it anew when it is visited.
std::optional<DesktopPlace> SwayWindowServer::droppedPlace(const QString& name, const QString& output) const {
    const auto number = WorkspaceNames::numberOf(name);
    const OutputInfo* o = outputNamed(output);
    const auto info = o ? screenInfo(*o) : std::nullopt;
    if (!number || *number < 0 || *number > kDroppedNumberLimit || !info || !info->stableId)
        return std::nullopt;
    return DesktopPlace{*info->stableId, kDroppedIndexBase + *number, name, {}};
}

std::optional<DesktopPlace> SwayWindowServer::activePlace() const {
    return placeOn(workspaceById(focusedWorkspace_));
}

std::optional<DesktopPlace> SwayWindowServer::locate(const DesktopPlace& place) const {
    if (const WorkspaceInfo* w = workspaceFor(place)) return placeOn(w);
    for (const auto& o : outputs_)
        if (const auto info = screenInfo(o); info && info->stableId == place.screenId)
            return droppedPlace(place.desktopName, o.name);
    return std::nullopt;
}

// By name; else by number, as `workspace number N` finds it: a workspace remembered with its title
// ("2: Mail") is plain "2" again after the title was given back at quit, and the other way round.
const WorkspaceInfo* SwayWindowServer::workspaceFor(const DesktopPlace& place) const {
    if (place.desktopName.isEmpty()) return nullptr;
    if (const WorkspaceInfo* w = workspaceNamed(place.desktopName)) return w;
    const auto number = WorkspaceNames::numberOf(place.desktopName);
    if (!number) return nullptr;
    // Names are sway-wide but numbers are not ("3" and "3: Web" may both be there): the one on the
    // remembered output first.
    const WorkspaceInfo* found = nullptr;
    for (const auto& w : workspaces_) {
        if (WorkspaceNames::numberOf(w.name) != number) continue;
        const OutputInfo* o = outputNamed(w.output);
        const auto info = o ? screenInfo(*o) : std::nullopt;
        if (info && info->stableId == place.screenId) return &w;
        if (!found) found = &w;
    }
    return found;
}

// Only a workspace that exists: `workspace` would make a missing one. Without back-and-forth, which
// a user's configuration may turn on, a second request for the same workspace cannot leave it. A
// numbered one that sway closed is made anew on its own output, as `workspace number N` there would.
// The output is focused first in both cases: the list known here may be a moment behind sway, and a
// workspace it has just closed is then made there too, not on whichever output has the focus.
QString SwayWindowServer::switchTo(const DesktopPlace& place) {
    QString there;
    for (const auto& o : outputs_)
        if (const auto info = screenInfo(o); info && info->stableId == place.screenId)
            there = QStringLiteral("focus output %1, ").arg(quoted(o.name));
    QString command;
    if (!place.desktopName.isEmpty() && workspaceNamed(place.desktopName))
        command = there + "workspace --no-auto-back-and-forth " + quoted(place.desktopName);
    else if (place.desktop >= kDroppedIndexBase && !there.isEmpty() && !workspaceFor(place))
        command = there + QStringLiteral("workspace --no-auto-back-and-forth number %1")
                              .arg(place.desktop - kDroppedIndexBase);
    else
        return QStringLiteral("that workspace no longer exists");
    const auto reply = ipc_->request(ipc::RunCommand, command.toUtf8());
    if (!reply) return QStringLiteral("sway did not answer");
    return commandFailure(*reply);
}

// Only to a workspace that exists: moving a window to a missing one would make it. For a numbered
// workspace sway closed, the label is bound unmapped to its name and output, and shows once it is back.
void SwayWindowServer::bindToPlace(Panel& panel, const DesktopPlace& place) {
    PanelState* s = stateOf(panel);
    if (!s || s->bound) return;
    if (const WorkspaceInfo* w = workspaceFor(place)) {
        s->workspaceId = w->id;
        s->workspace = w->name;
        s->output = w->output;
    } else if (const auto dropped = locate(place)) {
        for (const auto& o : outputs_)
            if (const auto info = screenInfo(o); info && info->stableId == dropped->screenId)
                s->output = o.name;
        s->workspaceId = 0;
        s->workspace = place.desktopName;
        s->withdrawnFrom = place.desktopName;
    } else {
        return;
    }
    s->bound = true;
}

QStringList SwayWindowServer::desktopNames() const {
    QStringList names;
    for (const auto& w : workspaces_)
        names << w.name;
    return WorkspaceNames::byNumber(names);
}

int SwayWindowServer::desktopNameIndex(const DesktopPlace& place) const {
    const auto number = WorkspaceNames::numberOf(place.desktopName);
    return number ? *number : -1;
}

QString SwayWindowServer::desktopNameShowing(const QString& own, const QString& title) const {
    return reachedByName_.contains(own) ? own : WorkspaceNames::withTitle(own, title);
}

// Renamed at once in what the backend knows too: sway answers the next request after the rename, so
// no reply can bring the old name back.
void SwayWindowServer::setDesktopNames(const QStringList& names) {
    const QStringList current = desktopNames();
    for (qsizetype n = 0; n < names.size() && n < current.size(); ++n) {
        if (names[n].isEmpty() || current[n].isEmpty() || names[n] == current[n]) continue;
        ipc_->command(QStringLiteral("rename workspace %1 to %2").arg(quoted(current[n]), quoted(names[n])));
        for (auto& w : workspaces_)
            if (w.name == current[n]) w.name = names[n];
        for (auto* s : panels_)
            if (s->workspace == current[n]) s->workspace = names[n];
    }
}

// make, model and serial name the monitor wherever it is plugged in; the output's name is added when
// they cannot tell it from another one (no serial, or an identical twin attached).
std::optional<ScreenInfo> SwayWindowServer::screenInfo(const OutputInfo& output) const {
    ScreenInfo info;
    auto it = displayNumbers_.constFind(output.name);
    if (it == displayNumbers_.constEnd())
        it = displayNumbers_.insert(output.name, static_cast<quint32>(displayNumbers_.size() + 1));
    info.displayNumber = *it;
    const QString key = screenKey(output, outputs_);
    const bool twin = key.endsWith(QLatin1Char('|') + output.name);
    info.stableId = QUuid::createUuidV5(kScreenNamespace, key).toString(QUuid::WithoutBraces).toUpper();
    const QString model = QStringList{output.make, output.model}.join(u' ').trimmed();
    info.localizedName = model.isEmpty() || twin ? output.name : model;
    info.frame = toLogical(output.rect);
    return info;
}

std::optional<ScreenInfo> SwayWindowServer::screenOf(const PanelState& state) const {
    const QString name = state.output.value_or(QString());
    for (const auto& o : outputs_)
        if (o.name == name) return screenInfo(o);
    if (const OutputInfo* o = outputAt(state.frame.center())) return screenInfo(*o);
    return std::nullopt;
}

QList<ScreenInfo> SwayWindowServer::screens() const {
    QList<OutputInfo> ordered = outputs_;
    // The primary first: the output at the layout's origin.
    std::stable_sort(ordered.begin(), ordered.end(), [](const OutputInfo& a, const OutputInfo& b) {
        return a.rect.contains(QPoint(0, 0)) && !b.rect.contains(QPoint(0, 0));
    });
    QList<ScreenInfo> list;
    for (const auto& o : ordered)
        if (auto info = screenInfo(o)) list << *info;
    return list;
}

std::optional<ScreenInfo> SwayWindowServer::mainScreen() const {
    if (const WorkspaceInfo* w = workspaceById(focusedWorkspace_))
        for (const auto& o : outputs_)
            if (o.name == w->output) return screenInfo(o);
    if (!outputs_.isEmpty()) return screenInfo(outputs_.first());
    return std::nullopt;
}

// The logic's origin is the bottom left of the primary output, y up; sway's layout the top left, y down.
QRectF SwayWindowServer::toLogical(const QRect& layout) const {
    double bottom = 0.0;
    for (const auto& o : outputs_)
        if (o.rect.contains(QPoint(0, 0))) bottom = o.rect.y() + o.rect.height();
    if (bottom == 0.0 && !outputs_.isEmpty())
        bottom = outputs_.first().rect.y() + outputs_.first().rect.height();
    return {static_cast<double>(layout.x()), bottom - layout.y() - layout.height(),
            static_cast<double>(layout.width()), static_cast<double>(layout.height())};
}

QRect SwayWindowServer::toLayout(const QRectF& logical) const {
    const QRectF probe = toLogical(QRect(0, 0, 0, 0)); // y of the origin: the primary's bottom
    const double bottom = probe.y();
    return QRectF(logical.x(), bottom - logical.y() - logical.height(), logical.width(), logical.height())
        .toAlignedRect();
}

QString sessionProblem() {
    const QString socket = qEnvironmentVariable("SWAYSOCK");
    if (socket.isEmpty()) return QStringLiteral("SWAYSOCK is not set: this is not a sway session.");
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral(
            "SWAYSOCK is set but WAYLAND_DISPLAY is not: sway's display cannot be reached.");
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (!probe.waitForConnected(1000))
        return QStringLiteral("sway does not answer on its IPC socket %1: %2")
            .arg(socket, probe.errorString());
    probe.write(ipc::encode(ipc::GetVersion));
    QByteArray reply;
    while (probe.waitForReadyRead(1000)) {
        reply += probe.readAll();
        if (ipc::take(reply).status != ipc::Taken::Status::incomplete) return {};
    }
    return QStringLiteral("sway does not answer on its IPC socket %1").arg(socket);
}

} // namespace sm::sway
