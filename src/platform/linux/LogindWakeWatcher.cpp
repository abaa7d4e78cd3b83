#include "platform/linux/LogindWakeWatcher.h"

#include <QDBusConnection>
#include <QDBusError>

namespace sm {

LogindWakeWatcher::LogindWakeWatcher(Logger logger, std::function<void()> onWake) : onWake_(std::move(onWake)) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        logger.notice(QStringLiteral("No system bus (%1); wake from sleep will not be noticed")
                          .arg(bus.lastError().message()));
        return;
    }
    watching_ = bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                            this, SLOT(prepareForSleep(bool)));
    if (!watching_)
        logger.notice(QStringLiteral("Cannot watch logind's PrepareForSleep; wake from sleep will not be noticed"));
}

void LogindWakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping && onWake_) onWake_();
}

} // namespace sm
