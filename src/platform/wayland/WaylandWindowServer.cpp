#include "platform/wayland/WaylandWindowServer.h"

#include "platform/wayland/LayerSurface.h"
#include "platform/wayland/WaylandPanels.h"

#include <QUuid>

#include <algorithm>

namespace sm::wayland {

namespace {
const QUuid kScreenNamespace(QStringLiteral("{5b0d7c2e-41a8-4f0e-9c6b-2f83d1a7e914}"));

// What the compositor does not let this program do with a workspace, in words; empty when it may.
QString activateRefusal(const WorkspaceRecord& w) {
    if (w.capabilities & kCanActivate) return {};
    return QStringLiteral(
               "the compositor does not let other programs activate its workspaces (ext-workspace-v1 "
               "grants no activate capability for \"%1\")")
        .arg(w.name);
}
} // namespace

WaylandWindowServer::WaylandWindowServer(Options options) : options_(std::move(options)) {}

std::shared_ptr<WaylandWindowServer> WaylandWindowServer::create(const Options& options, QString* error) {
    auto connection = WaylandConnection::open(options.display, options.logger, error);
    if (!connection) return nullptr;
    if (const QString missing = connection->missing(); !missing.isEmpty()) {
        if (error) *error = missing;
        return nullptr;
    }
    std::shared_ptr<WaylandWindowServer> server(new WaylandWindowServer(options));
    server->connection_ = std::move(connection);
    WaylandWindowServer* raw = server.get();
    server->connection_->onWorkspacesDone = [raw](const WorkspaceChanges& c) { raw->workspacesDone(c); };
    server->connection_->onOutputsChanged = [raw] { raw->outputsChanged(); };
    server->connection_->onLost = options.onLost;
    if (const OutputInfo* o = server->mainOutput()) server->currentOutput_ = o->name;
    server->followActive();
    server->lastNames_ = server->desktopNames();
    return server;
}

WaylandWindowServer::~WaylandWindowServer() {
    for (auto* s : panels_)
        s->surface.reset();
}

void WaylandWindowServer::adopt(PanelState& state) {
    panels_.push_back(&state);
}

void WaylandWindowServer::forget(PanelState& state) {
    state.surface.reset();
    std::erase(panels_, &state);
}

// The output the user last switched on; else the one at the layout's origin; else the first.
const OutputInfo* WaylandWindowServer::mainOutput() const {
    if (const OutputInfo* o = connection_->outputNamed(currentOutput_)) return o;
    for (const auto& o : connection_->outputs())
        if (o.rect.contains(QPoint(0, 0))) return &o;
    return connection_->outputs().isEmpty() ? nullptr : &connection_->outputs().first();
}

void WaylandWindowServer::workspacesDone(const WorkspaceChanges& changes) {
    lastDone_ = std::chrono::steady_clock::now();
    const Snapshot& state = connection_->workspaces();
    followActive();
    std::vector<Panel*> removed;
    for (auto* s : panels_) {
        if (s->bound && !state.workspace(s->workspace)) removed.push_back(s->panel);
        refresh(*s);
    }
    for (Panel* p : removed)
        p->desktopRemoved.emit();
    for (auto it = sentNames_.begin(); it != sentNames_.end();) {
        const WorkspaceRecord* w = state.workspace(it.key());
        it = !w || w->name == it.value() ? sentNames_.erase(it) : std::next(it);
    }
    const QStringList names = desktopNames();
    const bool renamed = names != std::exchange(lastNames_, names);
    if (changes.layout) screensChanged.emit();
    if (changes.active) activeDesktopChanged.emit();
    if (renamed) desktopNamesChanged.emit();
}

// The output whose active workspace changed is where the user works now.
void WaylandWindowServer::followActive() {
    const Snapshot& state = connection_->workspaces();
    for (const auto& o : connection_->outputs()) {
        const WorkspaceRecord* active = state.activeOn(o.name);
        const quint64 now = active ? active->handle : 0;
        const auto before = lastActive_.constFind(o.name);
        if (before != lastActive_.constEnd() && *before != now && now != 0) currentOutput_ = o.name;
        lastActive_.insert(o.name, now);
    }
}

void WaylandWindowServer::outputsChanged() {
    for (auto* s : panels_)
        refresh(*s);
    screensChanged.emit();
}

// A panel is on screen while its workspace is the active one of an output that is there.
void WaylandWindowServer::refresh(PanelState& s) {
    const Snapshot& state = connection_->workspaces();
    const WorkspaceRecord* w = s.bound ? state.workspace(s.workspace) : nullptr;
    const QString output = w ? state.outputOf(*w) : QString();
    if (!output.isEmpty()) s.output = output;
    s.onActiveSpace = w && w->isActive() && !output.isEmpty();
    const OutputInfo* o = connection_->outputNamed(output);
    const bool wanted = s.orderedIn && s.onActiveSpace && o && s.alpha > 0.0;
    if (!wanted && s.surface) s.surface.reset();
    if (wanted && !s.surface) {
        s.surface = std::make_unique<LayerSurface>(*connection_, *o, QRect(s.offset, s.size), &s.input);
        s.surface->setTakesInput(!s.ignoresInput);
        if (s.takesKeyboard) s.surface->setKeyboard(true);
        s.surface->onMapped = [this, &s] {
            s.visible = true;
            s.panel->visibilityChanged.emit();
        };
        s.surface->onClosed = [this, &s] {
            // The output went: the surface comes back with it.
            s.surface.reset();
            if (std::exchange(s.visible, false)) s.panel->visibilityChanged.emit();
        };
        s.surface->show(s.draw(s.size, s.alpha));
    }
    const bool visible = s.surface && s.surface->isMapped();
    if (visible != s.visible) {
        s.visible = visible;
        s.panel->visibilityChanged.emit();
    }
}

void WaylandWindowServer::shown(PanelState& s) {
    s.orderedIn = true;
    if (!s.bound) {
        // The first time: the active workspace of the output the panel stands on.
        const Snapshot& state = connection_->workspaces();
        QString output = s.output;
        if (!connection_->outputNamed(output))
            if (const OutputInfo* o = mainOutput()) output = o->name;
        if (const WorkspaceRecord* w = state.activeOn(output)) {
            s.bound = true;
            s.workspace = w->handle;
            s.output = output;
        }
    }
    refresh(s);
}

void WaylandWindowServer::hidden(PanelState& s) {
    s.orderedIn = false;
    refresh(s);
}

void WaylandWindowServer::place(PanelState& s) {
    if (s.alpha <= 0.0 || !s.surface) return refresh(s);
    s.surface->setRect(QRect(s.offset, s.size));
    repaint(s);
}

void WaylandWindowServer::repaint(PanelState& s) {
    if (s.surface) s.surface->show(s.draw(s.size, s.alpha));
}

void WaylandWindowServer::applyInput(PanelState& s) {
    if (!s.surface) return refresh(s);
    s.surface->setTakesInput(!s.ignoresInput);
    s.surface->setKeyboard(s.takesKeyboard);
}

QRectF WaylandWindowServer::frameOf(const PanelState& s) const {
    const OutputInfo* o = connection_->outputNamed(s.output);
    const QPoint origin = o ? o->rect.topLeft() : QPoint();
    return toLogical(QRect(origin + s.offset, s.size));
}

// A frame in the logic's coordinates: its output is the one it stands on (for a bound panel, the one its
// workspace is on), and its place is kept relative to that output.
void WaylandWindowServer::setFrame(PanelState& s, const QRectF& frame) {
    const QRect layout = toLayout(frame);
    if (!s.bound) {
        for (const auto& o : connection_->outputs())
            if (o.rect.contains(layout.center())) s.output = o.name;
    }
    const OutputInfo* o = connection_->outputNamed(s.output);
    if (!o) o = mainOutput();
    if (o && !s.bound) s.output = o->name;
    const QPoint origin = o ? o->rect.topLeft() : QPoint();
    const QSize oldSize = s.size;
    s.offset = layout.topLeft() - origin;
    s.size = layout.size().expandedTo(QSize(1, 1));
    if (!s.surface) return refresh(s);
    s.surface->setRect(QRect(s.offset, s.size));
    if (s.size != oldSize) repaint(s);
}

std::optional<ScreenInfo> WaylandWindowServer::screenOf(const PanelState& s) const {
    if (const OutputInfo* o = connection_->outputNamed(s.output)) return screenInfo(*o);
    return std::nullopt;
}

// make, model and connector name the monitor: the output comes back under them when it is plugged in
// again.
std::optional<ScreenInfo> WaylandWindowServer::screenInfo(const OutputInfo& o) const {
    if (o.name.isEmpty()) return std::nullopt;
    ScreenInfo info;
    auto it = displayNumbers_.constFind(o.name);
    if (it == displayNumbers_.constEnd())
        it = displayNumbers_.insert(o.name, static_cast<quint32>(displayNumbers_.size() + 1));
    info.displayNumber = *it;
    const QString key = QStringList{o.make, o.model, o.name}.join(u'|');
    info.stableId = QUuid::createUuidV5(kScreenNamespace, key).toString(QUuid::WithoutBraces).toUpper();
    info.localizedName = o.name;
    info.frame = toLogical(o.rect);
    return info;
}

QList<ScreenInfo> WaylandWindowServer::screens() const {
    QList<OutputInfo> ordered = connection_->outputs();
    std::stable_sort(ordered.begin(), ordered.end(), [](const OutputInfo& a, const OutputInfo& b) {
        return a.rect.contains(QPoint(0, 0)) && !b.rect.contains(QPoint(0, 0));
    });
    QList<ScreenInfo> list;
    for (const auto& o : ordered)
        if (auto info = screenInfo(o)) list << *info;
    return list;
}

std::optional<ScreenInfo> WaylandWindowServer::mainScreen() const {
    const OutputInfo* o = mainOutput();
    return o ? screenInfo(*o) : std::nullopt;
}

// The logic's origin is the bottom left of the primary output, y up; the compositor's layout the top
// left, y down.
QRectF WaylandWindowServer::toLogical(const QRect& layout) const {
    double bottom = 0.0;
    const auto& outputs = connection_->outputs();
    for (const auto& o : outputs)
        if (o.rect.contains(QPoint(0, 0))) bottom = o.rect.y() + o.rect.height();
    if (bottom == 0.0 && !outputs.isEmpty())
        bottom = outputs.first().rect.y() + outputs.first().rect.height();
    return {static_cast<double>(layout.x()), bottom - layout.y() - layout.height(),
            static_cast<double>(layout.width()), static_cast<double>(layout.height())};
}

QRect WaylandWindowServer::toLayout(const QRectF& logical) const {
    const double bottom = toLogical(QRect(0, 0, 0, 0)).y();
    return QRectF(logical.x(), bottom - logical.y() - logical.height(), logical.width(), logical.height())
        .toAlignedRect();
}

std::unique_ptr<LabelPanel> WaylandWindowServer::createLabelPanel(const QUuid& tagId) {
    return std::make_unique<WaylandLabelPanel>(shared_from_this(), tagId);
}

std::unique_ptr<EditorPanel> WaylandWindowServer::createEditorPanel() {
    return std::make_unique<WaylandEditorPanel>(shared_from_this());
}

// Wayland tells a client about the buttons only while the pointer is over one of its surfaces.
bool WaylandWindowServer::isLeftMouseButtonDown() const {
    return connection_->isLeftButtonDown();
}

// A workspace is kept by its key (the compositor's id, or its output, group and place); its index and
// name say where it is today.
std::optional<DesktopPlace> WaylandWindowServer::placeOn(const WorkspaceRecord* w) const {
    if (!w) return std::nullopt;
    const Snapshot& state = connection_->workspaces();
    const OutputInfo* o = connection_->outputNamed(state.outputOf(*w));
    const auto info = o ? screenInfo(*o) : std::nullopt;
    if (!info || !info->stableId) return std::nullopt;
    const auto ordered = state.workspacesOf(w->group);
    return DesktopPlace{*info->stableId, static_cast<int>(ordered.indexOf(w)), w->name,
                        keyOf(*w)};
}

std::optional<DesktopPlace> WaylandWindowServer::placeOf(const Panel& panel) const {
    for (const auto* s : panels_)
        if (s->panel == &panel && s->bound) return placeOn(connection_->workspaces().workspace(s->workspace));
    return std::nullopt;
}

std::optional<DesktopPlace> WaylandWindowServer::activePlace() const {
    const OutputInfo* o = mainOutput();
    return o ? placeOn(connection_->workspaces().activeOn(o->name)) : std::nullopt;
}

std::optional<DesktopPlace> WaylandWindowServer::locate(const DesktopPlace& place) const {
    return placeOn(workspaceFor(place));
}

// By key; a place remembered without one (or under a key that changed with the name) by name on its screen.
const WorkspaceRecord* WaylandWindowServer::workspaceFor(const DesktopPlace& place) const {
    const Snapshot& state = connection_->workspaces();
    if (!place.desktopId.isEmpty())
        for (const auto& w : state.workspaces)
            if (keyOf(w) == place.desktopId) return &w;
    if (place.desktopName.isEmpty()) return nullptr;
    for (const auto& w : state.workspaces) {
        if (w.name != place.desktopName) continue;
        const auto here = placeOn(&w);
        if (here && here->screenId == place.screenId) return &w;
    }
    return nullptr;
}

void WaylandWindowServer::bindToPlace(Panel& panel, const DesktopPlace& place) {
    const WorkspaceRecord* w = workspaceFor(place);
    if (!w) return;
    for (auto* s : panels_)
        if (s->panel == &panel && !s->bound) {
            s->bound = true;
            s->workspace = w->handle;
            s->output = connection_->workspaces().outputOf(*w);
        }
}

QString WaylandWindowServer::switchTo(const DesktopPlace& place) {
    const WorkspaceRecord* w = workspaceFor(place);
    if (!w) return QStringLiteral("that workspace no longer exists");
    if (const QString refusal = activateRefusal(*w); !refusal.isEmpty()) return refusal;
    if (!connection_->activate(w->handle))
        return QStringLiteral("the compositor no longer tells about its workspaces");
    return {};
}

std::optional<QString> WaylandWindowServer::workspaceNameOf(const Panel& panel) const {
    for (const auto* s : panels_)
        if (s->panel == &panel && s->bound)
            if (const WorkspaceRecord* w = connection_->workspaces().workspace(s->workspace)) return w->name;
    return std::nullopt;
}

// A name we lent the workspace is not the one it is kept under: its own name is.
QString WaylandWindowServer::keyOf(const WorkspaceRecord& w) const {
    const auto own = ownNames_.constFind(w.handle);
    if (own == ownNames_.constEnd()) return workspaceKey(connection_->workspaces(), w);
    WorkspaceRecord keyed = w;
    keyed.name = *own;
    return workspaceKey(connection_->workspaces(), keyed);
}

QList<const WorkspaceRecord*> WaylandWindowServer::namedOrder() const {
    const Snapshot& state = connection_->workspaces();
    QList<const WorkspaceRecord*> order;
    for (const auto& g : state.groups)
        order << state.workspacesOf(g.handle);
    return order;
}

QStringList WaylandWindowServer::desktopNames() const {
    QStringList names;
    for (const WorkspaceRecord* w : namedOrder())
        names << sentNames_.value(w->handle, w->name);
    return names;
}

int WaylandWindowServer::desktopNameIndex(const DesktopPlace& place) const {
    return static_cast<int>(namedOrder().indexOf(workspaceFor(place)));
}

void WaylandWindowServer::setDesktopNames(const QStringList& names) {
    if (!canSetDesktopNames()) return;
    const Snapshot& state = connection_->workspaces();
    const auto order = namedOrder();
    const QStringList current = desktopNames();
    for (qsizetype n = 0; n < names.size() && n < order.size(); ++n) {
        if (names[n].isEmpty() || names[n] == current[n]) continue;
        const WorkspaceRecord* w = order[n];
        const int position = static_cast<int>(state.workspacesOf(w->group).indexOf(w));
        // By the name last sent where the compositor has not told it back yet: its IPC has it already.
        const QString why = options_.namer->rename({state.outputOf(*w), position, current[n]}, names[n]);
        if (why.isEmpty()) {
            sentNames_.insert(w->handle, names[n]);
            if (!ownNames_.contains(w->handle))
                ownNames_.insert(w->handle, w->name);
            else if (ownNames_.value(w->handle) == names[n])
                ownNames_.remove(w->handle);
            continue;
        }
        options_.logger.notice(QStringLiteral("%1 did not take the name \"%2\": %3")
                                   .arg(options_.namer->compositor(), names[n], why));
        if (!options_.namer->usable()) {
            options_.logger.notice(
                QStringLiteral("Workspace names stay in Spacemarquee alone for this session"));
            break;
        }
    }
    lastNames_ = desktopNames();
}

QString sessionProblem(bool* answered) {
    if (answered) *answered = false;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral("WAYLAND_DISPLAY is not set: this is not a Wayland session.");
    QString error;
    const auto connection = WaylandConnection::open({}, Logger{}, &error);
    if (!connection) return error;
    if (answered) *answered = true;
    return connection->missing();
}

} // namespace sm::wayland
