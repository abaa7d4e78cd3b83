#include "platform/gnome/GnomeBridgeWatch.h"

#include "platform/gnome/GnomeBridgeState.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace sm::gnome {

GnomeBridgeWatch::GnomeBridgeWatch(Logger logger) : logger_(std::move(logger)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    watcher_ = new QDBusServiceWatcher(QLatin1String(kBridgeService), bus,
                                       QDBusServiceWatcher::WatchForRegistration |
                                           QDBusServiceWatcher::WatchForUnregistration,
                                       this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { presence(true); });
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { presence(false); });
    // It may have come between the choice of backend and now.
    if (bus.interface() && bus.interface()->isServiceRegistered(QLatin1String(kBridgeService)).value())
        presence(true);
}

GnomeBridgeWatch::~GnomeBridgeWatch() = default;

QString GnomeBridgeWatch::problem() const {
    return xwaylandFallbackProblem(on_);
}

void GnomeBridgeWatch::presence(bool on) {
    if (on == on_) return;
    on_ = on;
    SM_TRACE(logger_, QStringLiteral("gnomeBridge PRESENCE on=%1").arg(on ? QStringLiteral("true") : QStringLiteral("false")));
    if (on)
        logger_.notice(xwaylandFallbackProblem(true));
    else
        logger_.notice(QStringLiteral("The GNOME bridge went away again: Spacemarquee stays on Xwayland"));
    if (onChange) onChange();
}

} // namespace sm::gnome
