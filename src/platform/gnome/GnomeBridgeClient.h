#pragma once

#include "logging/Logger.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

class QDBusServiceWatcher;

namespace sm::gnome {

// The session-bus side of the bridge: its state on request and as it changes, and its methods. Calls
// that change something are sent without waiting; the bus keeps them in order.
class GnomeBridgeClient final : public QObject {
    Q_OBJECT
public:
    GnomeBridgeClient(Logger logger, QDBusConnection connection);
    ~GnomeBridgeClient() override;

    // The bridge's state now (JSON), waiting for the answer; none when it does not answer.
    std::optional<QByteArray> state(QString* error);
    void send(const QString& method, const QVariantList& arguments);

    std::function<void(const QByteArray&)> onState; // every change, as the bridge tells it
    std::function<void(bool)> onPresence;           // the bridge came (true) or went (false)

private Q_SLOTS:
    void stateChanged(const QString& state);

private:
    Logger logger_;
    QDBusConnection connection_;
    QDBusServiceWatcher* watcher_ = nullptr;
};

// Whether the bridge answers on this session bus.
bool bridgeAnswers(const QDBusConnection& connection);

} // namespace sm::gnome
