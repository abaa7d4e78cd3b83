#include "platform/gnome/GnomeWindowServer.h"

#include "platform/gnome/GnomeBridgeClient.h"
#include "platform/linux/LogindWakeWatcher.h"

#include <QDBusConnection>
#include <QGuiApplication>

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

namespace sm::gnome {

namespace {
// Names stable screen identifiers derived from what the shell tells about a monitor.
const QUuid kScreenNamespace(QStringLiteral("{0d6f7c52-3f0e-4b8b-a3f5-2b7e91c46d18}"));
const QString kLabelPrefix = QStringLiteral("Spacemarquee label ");
const QString kEditorPrefix = QStringLiteral("Spacemarquee editor ");
} // namespace

std::shared_ptr<GnomeWindowServer> GnomeWindowServer::create(const Options& options, QString* error) {
    std::shared_ptr<GnomeWindowServer> server(new GnomeWindowServer(options));
    QString problem;
    if (!server->start(&problem)) {
        options.logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    std::weak_ptr<GnomeWindowServer> weak = server;
    server->wake_ = std::make_unique<LogindWakeWatcher>(options.logger, [weak] {
        if (auto self = weak.lock()) self->didWake.emit();
    });
    return server;
}

GnomeWindowServer::GnomeWindowServer(Options options) : options_(std::move(options)), pid_(::getpid()) {}

GnomeWindowServer::~GnomeWindowServer() {
    for (auto* state : panels_)
        state->panel = nullptr;
}

bool GnomeWindowServer::start(QString* error) {
    bridge_ = std::make_unique<GnomeBridgeClient>(options_.logger, QDBusConnection::sessionBus());
    QString why;
    const auto json = bridge_->state(&why);
    if (!json) {
        *error = QStringLiteral("The GNOME bridge does not answer (%1). Turn it on with: %2")
                     .arg(why, enableCommand());
        return false;
    }
    auto first = parseState(*json, &why);
    if (!first) {
        *error = QStringLiteral("The GNOME bridge's state could not be read (%1)").arg(why);
        return false;
    }
    if (const QString mismatch = versionProblem(first->version, options_.programVersion); !mismatch.isEmpty()) {
        *error = mismatch;
        return false;
    }
    state_ = std::move(*first);
    bridge_->onState = [this](const QByteArray& message) {
        QString problem;
        auto next = parseState(message, &problem);
        if (!next) {
            options_.logger.error(QStringLiteral("GNOME bridge: a state could not be read (%1)").arg(problem));
            return;
        }
        apply(std::move(*next));
    };
    // The shell restarted (on X11) or the extension was turned off and on: everything is placed anew.
    bridge_->onPresence = [this](bool present) {
        if (!present) {
            options_.logger.notice(QStringLiteral("GNOME bridge: gone; the labels wait for it"));
            return;
        }
        readAgain();
    };
    return true;
}

void GnomeWindowServer::readAgain() {
    QString why;
    const auto json = bridge_->state(&why);
    auto next = json ? parseState(*json, &why) : std::nullopt;
    if (!next) {
        options_.logger.error(QStringLiteral("GNOME bridge: the state could not be read (%1)").arg(why));
        return;
    }
    if (const QString mismatch = versionProblem(next->version, options_.programVersion); !mismatch.isEmpty()) {
        options_.logger.error(mismatch);
        return;
    }
    for (auto* s : panels_)
        if (s->orderedIn) place(*s);
    apply(std::move(*next));
}

void GnomeWindowServer::apply(BridgeState next) {
    const quint64 wasActive = state_.activeWorkspace();
    const bool monitorsChanged = next.monitors != state_.monitors;
    const bool desktopChanged = next.activeWorkspace() != wasActive;
    if (desktopChanged) lastSwitch_ = std::chrono::steady_clock::now();
    // Names are taken as written at once: only someone else's change is news.
    bool renamed = false;
    if (written_ && next.names == *written_) written_.reset();
    if (written_) next.names = *written_;
    else renamed = next.names != state_.names;
    state_ = std::move(next);
    const quint64 active = state_.activeWorkspace();

    std::vector<quint64> moved, visibilityChanged, screenChanged, removed;
    for (auto* s : panels_) {
        const OwnWindow* window = nullptr;
        for (const auto& w : state_.windows)
            if (w.pid == pid_ && w.marker == s->marker) window = &w;
        s->mapped = window != nullptr;
        if (window && s->bound && s->workspace && window->workspace != s->workspace &&
            !state_.workspaces.contains(s->workspace)) {
            // Its workspace went, and the shell moved the window onto a neighbour where it does not belong.
            removed.push_back(s->serial);
        }
        if (window && s->followsShell && window->rect.topLeft() != s->frame.topLeft() &&
            !window->rect.isEmpty()) {
            s->frame.moveTopLeft(window->rect.topLeft());
            if (s->window) s->window->move(s->frame.topLeft());
            moved.push_back(s->serial);
        }
        const bool onActive = s->bound && (s->workspace == 0 || s->workspace == active);
        const bool shown = s->orderedIn && window && window->showing && onActive;
        const MonitorInfo* m = monitorAt(s->frame.center());
        const std::optional<int> monitor = m ? std::optional(m->index) : s->monitor;
        if (onActive != s->onActiveSpace || shown != s->visible) visibilityChanged.push_back(s->serial);
        if (monitor != s->monitor && s->monitor) screenChanged.push_back(s->serial);
        s->onActiveSpace = onActive;
        s->visible = shown;
        s->monitor = monitor;
    }

    if (monitorsChanged) screensChanged.emit();
    if (desktopChanged) activeDesktopChanged.emit();
    if (renamed) desktopNamesChanged.emit();
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
    tell(removed, &Panel::desktopRemoved);
    stateChanged.emit();
}

void GnomeWindowServer::adopt(PanelState& state) {
    state.serial = nextSerial_++;
    state.marker = (state.takesFocus ? kEditorPrefix : kLabelPrefix) + QString::number(state.serial);
    panels_.push_back(&state);
    state.window->onSystemMoveStarted = [s = &state] { s->followsShell = true; };
}

void GnomeWindowServer::forget(PanelState& state) {
    std::erase(panels_, &state);
}

bool GnomeWindowServer::shown(PanelState& state) {
    if (!state.bound) {
        state.workspace = state_.activeWorkspace();
        state.bound = true;
    }
    state.orderedIn = true;
    place(state);
    if (state.takesFocus) focus(state);
    return true;
}

void GnomeWindowServer::hidden(PanelState& state) {
    state.orderedIn = false;
    state.mapped = false;
    if (state.visible) {
        state.visible = false;
        if (state.panel) state.panel->visibilityChanged.emit();
    }
}

// The bridge keeps the last placement asked for a window and applies it when the window maps, so the
// order of showing and placing does not matter.
void GnomeWindowServer::place(PanelState& state) {
    if (!state.orderedIn) return;
    state.followsShell = false;
    bridge_->send(QStringLiteral("Place"),
                  {state.marker, QVariant::fromValue<qulonglong>(state.workspace), state.frame.x(),
                   state.frame.y()});
    state.sentAlpha.reset();
    applyAlpha(state);
}

// The shell blends the window with its own opacity; the window's pixels carry their own alpha too.
void GnomeWindowServer::applyAlpha(PanelState& state) {
    applyInput(state);
    if (!state.orderedIn) return;
    const double alpha = std::clamp(state.alpha, 0.0, 1.0);
    if (state.sentAlpha && std::abs(*state.sentAlpha - alpha) < 0.004) return;
    state.sentAlpha = alpha;
    bridge_->send(QStringLiteral("SetOpacity"), {state.marker, alpha});
}

// A window that ignores the pointer, or is faded out entirely, lets it through to the window beneath.
// The bridge does it in the shell, which then picks again under a resting pointer; an empty input
// region set here left the pointer on the window it rested on. The bridge keeps what it was told for a
// window that has not mapped yet.
void GnomeWindowServer::applyInput(PanelState& state) {
    const bool transparent = state.ignoresInput || state.alpha <= 0.0;
    if (transparent == state.inputCut) return;
    state.inputCut = transparent;
    bridge_->send(QStringLiteral("SetInput"), {state.marker, !transparent});
}

void GnomeWindowServer::focus(PanelState& state) {
    bridge_->send(QStringLiteral("Focus"), {state.marker});
}

PanelState* GnomeWindowServer::stateOf(const Panel& panel) const {
    for (auto* s : panels_)
        if (s->panel == &panel) return s;
    return nullptr;
}

std::optional<int> GnomeWindowServer::workspaceIndexOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    if (!s || !s->bound) return std::nullopt;
    const int index = state_.indexOf(s->workspace);
    return index >= 0 ? std::optional(index) : std::nullopt;
}

// Workspaces span every monitor: a place is the workspace's index, on the primary monitor.
std::optional<DesktopPlace> GnomeWindowServer::placeOn(int index) const {
    if (index < 0 || index >= state_.workspaces.size()) return std::nullopt;
    const auto main = mainScreen();
    if (!main || !main->stableId) return std::nullopt;
    return DesktopPlace{*main->stableId, index, {}};
}

std::optional<DesktopPlace> GnomeWindowServer::placeOf(const Panel& panel) const {
    const auto index = workspaceIndexOf(panel);
    return index ? placeOn(*index) : std::nullopt;
}

std::optional<DesktopPlace> GnomeWindowServer::activePlace() const {
    return placeOn(state_.active);
}

std::optional<DesktopPlace> GnomeWindowServer::locate(const DesktopPlace& place) const {
    return placeOn(place.desktop);
}

void GnomeWindowServer::bindToPlace(Panel& panel, const DesktopPlace& place) {
    PanelState* s = stateOf(panel);
    if (!s || s->bound || place.desktop < 0 || place.desktop >= state_.workspaces.size()) return;
    s->bound = true;
    s->workspace = state_.workspaces.at(place.desktop);
}

// The bridge activates the workspace as the shell's own switcher would; its next state tells of the switch.
QString GnomeWindowServer::switchTo(const DesktopPlace& place) {
    const auto where = locate(place);
    if (!where) return QStringLiteral("that workspace no longer exists");
    bridge_->send(QStringLiteral("ActivateWorkspace"), {where->desktop});
    return {};
}

void GnomeWindowServer::setDesktopNames(const QStringList& names) {
    if (names == state_.names) return;
    written_ = names;
    state_.names = names;
    bridge_->send(QStringLiteral("SetWorkspaceNames"), {names});
}

const MonitorInfo* GnomeWindowServer::monitorAt(const QPoint& point) const {
    for (const auto& m : state_.monitors)
        if (m.rect.contains(point)) return &m;
    return nullptr;
}

// The shell names a monitor only by its place in its list: its index and size stand for it.
std::optional<ScreenInfo> GnomeWindowServer::screenInfo(const MonitorInfo& monitor) const {
    ScreenInfo info;
    info.displayNumber = quint32(monitor.index + 1);
    const QString key =
        QStringLiteral("gnome:%1:%2x%3").arg(monitor.index).arg(monitor.rect.width()).arg(monitor.rect.height());
    info.stableId = QUuid::createUuidV5(kScreenNamespace, key).toString(QUuid::WithoutBraces).toUpper();
    info.localizedName = QStringLiteral("Monitor %1").arg(monitor.index + 1);
    info.frame = toLogical(monitor.rect);
    return info;
}

std::optional<ScreenInfo> GnomeWindowServer::screenOf(const PanelState& state) const {
    for (const auto& m : state_.monitors)
        if (state.monitor && m.index == *state.monitor) return screenInfo(m);
    if (const MonitorInfo* m = monitorAt(state.frame.center())) return screenInfo(*m);
    return std::nullopt;
}

QList<ScreenInfo> GnomeWindowServer::screens() const {
    QList<MonitorInfo> ordered = state_.monitors;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const MonitorInfo& a, const MonitorInfo& b) { return a.primary && !b.primary; });
    QList<ScreenInfo> list;
    for (const auto& m : ordered)
        if (auto info = screenInfo(m)) list << *info;
    return list;
}

// Only the primary monitor switches workspaces (GNOME's default); it is where the user works.
std::optional<ScreenInfo> GnomeWindowServer::mainScreen() const {
    for (const auto& m : state_.monitors)
        if (m.primary) return screenInfo(m);
    if (!state_.monitors.isEmpty()) return screenInfo(state_.monitors.first());
    return std::nullopt;
}

// The logic's origin is the bottom left of the primary monitor, y up; the shell's the top left, y down.
QRectF GnomeWindowServer::toLogical(const QRect& layout) const {
    double bottom = 0.0;
    for (const auto& m : state_.monitors)
        if (m.primary) bottom = m.rect.y() + m.rect.height();
    if (bottom == 0.0 && !state_.monitors.isEmpty())
        bottom = state_.monitors.first().rect.y() + state_.monitors.first().rect.height();
    return {static_cast<double>(layout.x()), bottom - layout.y() - layout.height(),
            static_cast<double>(layout.width()), static_cast<double>(layout.height())};
}

QRect GnomeWindowServer::toLayout(const QRectF& logical) const {
    const double bottom = toLogical(QRect(0, 0, 0, 0)).y();
    return QRectF(logical.x(), bottom - logical.y() - logical.height(), logical.width(), logical.height())
        .toAlignedRect();
}

namespace {
// Whether the bridge owns its name on the session bus; asked without Qt, before the toolkit starts.
std::optional<bool> bridgeOwnsName(QString* error) {
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0) {
        *error = QStringLiteral("the session bus cannot be reached: %1").arg(QString::fromLocal8Bit(strerror(-r)));
        return std::nullopt;
    }
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                     "NameHasOwner", &failure, &reply, "s", kBridgeService);
    const bool read = r >= 0 && sd_bus_message_read(reply, "b", &owned) >= 0;
    if (!read) *error = QStringLiteral("the session bus does not answer");
    sd_bus_message_unref(reply);
    sd_bus_error_free(&failure);
    sd_bus_flush_close_unref(bus);
    return read ? std::optional(owned != 0) : std::nullopt;
}
} // namespace

QString sessionProblem(bool* isGnome) {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    *isGnome = desktop.split(u':').contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
    QString error;
    const auto owned = bridgeOwnsName(&error);
    if (!owned) return error;
    if (*owned) {
        *isGnome = true;
        return {};
    }
    if (!*isGnome) return QStringLiteral("XDG_CURRENT_DESKTOP is '%1': this is not a GNOME session").arg(desktop);
    return QStringLiteral("GNOME bridge missing: the GNOME Shell extension %1 is not installed or not enabled. "
                          "Turn it on with: %2 (then log out and in again)")
        .arg(QLatin1String(kExtensionUuid), enableCommand());
}

} // namespace sm::gnome
