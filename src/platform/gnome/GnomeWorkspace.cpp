#include "platform/gnome/GnomeWorkspace.h"

#include "platform/gnome/GnomeWindowServer.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace sm::gnome {

GnomeWorkspace::GnomeWorkspace(const std::shared_ptr<GnomeWindowServer>& server) : server_(server) {
    // The bridge sends its state on every change of focus; only another application coming to the
    // front is news here.
    stateObserver_ = server->stateChanged.connect([this] {
        const auto app = frontmostApplication();
        const auto front = app ? std::pair(app->applicationId, app->processId) : std::pair(QString(), qint64(0));
        if (front == lastFront_) return;
        lastFront_ = front;
        if (app) applicationActivated.emit();
    });
}

std::optional<RunningApplication> GnomeWorkspace::frontmostApplication() const {
    const auto server = server_.lock();
    if (!server || !server->state().focus) return std::nullopt;
    const FocusedWindow& focus = *server->state().focus;
    RunningApplication app;
    app.processId = focus.pid;
    app.applicationId = focus.pid == QCoreApplication::applicationPid() ? ownApplicationId() : focus.appId;
    app.localizedName = focus.appName.isEmpty() ? focus.appId : focus.appName;
    return app;
}

QString GnomeWorkspace::ownApplicationId() const {
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id.isEmpty() ? QCoreApplication::applicationName() : id;
}

std::optional<QList<WindowListEntry>> GnomeWorkspace::onScreenWindows() const {
    const auto server = server_.lock();
    if (!server) return std::nullopt;
    QList<WindowListEntry> list;
    for (const auto& w : server->state().stack)
        list.append({w.pid, w.normal ? kNormalWindowLayer : kNormalWindowLayer + 1, w.title});
    return list;
}

} // namespace sm::gnome
