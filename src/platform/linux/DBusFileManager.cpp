#include "platform/linux/DBusFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

namespace sm {

DBusFileManager::DBusFileManager(std::function<bool(const QUrl&)> openUrl, Logger logger)
    : openUrl_(std::move(openUrl)), logger_(std::move(logger)), calls_(std::make_unique<QObject>()) {}

DBusFileManager::~DBusFileManager() = default;

void DBusFileManager::revealFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    const QString folder = QFileInfo(paths.first()).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QStringList uris;
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous: a file manager started by bus activation may take seconds to answer, and the
    // preferences window must not freeze meanwhile.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), calls_.get());
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher, [this, folder](QDBusPendingCallWatcher* self) {
            self->deleteLater();
            const QDBusPendingReply<> reply = *self;
            if (!reply.isError()) return;
            logger_.notice(QStringLiteral("No file manager showed the log files (%1); opening %2")
                               .arg(reply.error().name(), folder));
            openFolder(folder);
        });
}

void DBusFileManager::openFolder(const QString& path) {
    if (!openUrl_ || !openUrl_(QUrl::fromLocalFile(path)))
        logger_.error(QStringLiteral("Could not open the folder ") + path);
}

} // namespace sm
