#include "platform/gnome/GnomeBridgeClient.h"

#include "platform/gnome/GnomeBridgeState.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace sm::gnome {

GnomeBridgeClient::GnomeBridgeClient(Logger logger, QDBusConnection connection)
    : logger_(std::move(logger)), connection_(std::move(connection)) {
    connection_.connect(QLatin1String(kBridgeService), QLatin1String(kBridgePath),
                        QLatin1String(kBridgeInterface), QStringLiteral("StateChanged"), this,
                        SLOT(stateChanged(QString)));
    watcher_ = new QDBusServiceWatcher(QLatin1String(kBridgeService), connection_,
                                       QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (onPresence) onPresence(!owner.isEmpty());
            });
}

GnomeBridgeClient::~GnomeBridgeClient() {
    connection_.disconnect(QLatin1String(kBridgeService), QLatin1String(kBridgePath),
                           QLatin1String(kBridgeInterface), QStringLiteral("StateChanged"), this,
                           SLOT(stateChanged(QString)));
}

std::optional<QByteArray> GnomeBridgeClient::state(QString* error) {
    auto call = QDBusMessage::createMethodCall(QLatin1String(kBridgeService), QLatin1String(kBridgePath),
                                               QLatin1String(kBridgeInterface), QStringLiteral("GetState"));
    call.setAutoStartService(false);
    const QDBusMessage reply = connection_.call(call, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *error = reply.errorMessage().isEmpty() ? QStringLiteral("no answer") : reply.errorMessage();
        return std::nullopt;
    }
    return reply.arguments().constFirst().toString().toUtf8();
}

void GnomeBridgeClient::send(const QString& method, const QVariantList& arguments) {
    auto call = QDBusMessage::createMethodCall(QLatin1String(kBridgeService), QLatin1String(kBridgePath),
                                               QLatin1String(kBridgeInterface), method);
    call.setAutoStartService(false);
    call.setArguments(arguments);
    if (!connection_.send(call))
        logger_.error(QStringLiteral("GNOME bridge: %1 could not be sent: %2")
                          .arg(method, connection_.lastError().message()));
}

void GnomeBridgeClient::stateChanged(const QString& state) {
    if (onState) onState(state.toUtf8());
}

bool bridgeAnswers(const QDBusConnection& connection) {
    return connection.isConnected() && connection.interface() &&
           connection.interface()->isServiceRegistered(QLatin1String(kBridgeService)).value();
}

} // namespace sm::gnome
