#include "platform/wayland/WaylandWorkspace.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace sm::wayland {

namespace {
// The protocol names no process. The window's own number, negative so that it is never taken for a
// real one, stands for its owner: it pairs the application in front with its window, and nothing else.
qint64 ownerOf(const ToplevelInfo& window) {
    return -static_cast<qint64>(window.number);
}
} // namespace

std::shared_ptr<WaylandWorkspace> WaylandWorkspace::create(std::shared_ptr<WaylandWindowServer> server) {
    if (!server || !server->connection().tellsToplevels()) return nullptr;
    std::shared_ptr<WaylandWorkspace> workspace(new WaylandWorkspace(std::move(server)));
    WaylandWorkspace* raw = workspace.get();
    raw->server_->connection().onActiveToplevelChanged = [raw] { raw->changed(); };
    if (const auto app = raw->frontmostApplication()) raw->lastApp_ = app->applicationId;
    return workspace;
}

WaylandWorkspace::WaylandWorkspace(std::shared_ptr<WaylandWindowServer> server)
    : server_(std::move(server)) {}

WaylandWorkspace::~WaylandWorkspace() {
    server_->connection().onActiveToplevelChanged = nullptr;
}

// Only a change of application is an activation: focus moving between one program's windows is not.
void WaylandWorkspace::changed() {
    const auto app = frontmostApplication();
    if (!app) return;
    if (lastApp_ == app->applicationId) return;
    lastApp_ = app->applicationId;
    applicationActivated.emit();
}

std::optional<RunningApplication> WaylandWorkspace::frontmostApplication() const {
    const auto front = server_->connection().activeToplevel();
    if (!front) return std::nullopt;
    return RunningApplication{front->appId, front->appId, ownerOf(*front)};
}

QString WaylandWorkspace::ownApplicationId() const {
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id.isEmpty() ? QCoreApplication::applicationName() : id;
}

std::optional<QList<WindowListEntry>> WaylandWorkspace::onScreenWindows() const {
    QList<WindowListEntry> list;
    if (const auto front = server_->connection().activeToplevel())
        list << WindowListEntry{ownerOf(*front), kNormalWindowLayer, front->title};
    return list;
}

} // namespace sm::wayland
