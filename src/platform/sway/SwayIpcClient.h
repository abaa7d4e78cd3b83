#pragma once

#include "logging/Logger.h"
#include "platform/sway/SwayProtocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QLocalSocket;
class QObject;
class QTimer;

namespace sm::sway {

// Two connections to sway's IPC socket: one subscribed to events, one for requests and commands, so a
// reply is never mixed up with an event. When either breaks, or sway sends something that is not its
// protocol, both are dropped and opened again with a growing pause; onConnected tells the owner to
// read the state again.
class SwayIpcClient {
public:
    struct Options {
        QString socketPath;
        Logger logger;
        QList<quint32> events;         // ipc::WorkspaceEvent, ...
        QList<quint32> optionalEvents; // subscribed when the compositor offers them
        int replyTimeoutMilliseconds = 2000;
        qsizetype maxPayload = ipc::kMaxPayload;
        int firstRetryMilliseconds = 250;
        int maxRetryMilliseconds = 5000;
    };

    explicit SwayIpcClient(Options options);
    ~SwayIpcClient();
    SwayIpcClient(const SwayIpcClient&) = delete;
    SwayIpcClient& operator=(const SwayIpcClient&) = delete;

    // Connects and subscribes now; false, with the reason, when sway does not answer. Reconnection
    // after a later break is automatic.
    bool open(QString* error);
    bool isConnected() const;
    int reconnections() const { return reconnections_; }

    // Sends a request and waits for its reply; none when the connection broke or the reply was not
    // sway's (both logged; the connection starts over).
    std::optional<QByteArray> request(quint32 type, const QByteArray& payload = {});
    // Sends a command without waiting; a failure is logged when its reply comes.
    void command(const QString& text);

    std::function<void(quint32 type, const QByteArray& payload)> onEvent;
    std::function<void()> onConnected;    // after a reconnection, not after open()
    std::function<void()> onDisconnected; // the connection broke; a reconnection is scheduled

private:
    using ReplyHandler = std::function<void(const QByteArray&)>;
    bool connectBoth(QString* error);
    bool subscribe(const QList<quint32>& events);
    void send(quint32 type, const QByteArray& payload, ReplyHandler handler);
    void readCommands();
    void readEvents();
    bool drain(QLocalSocket& socket, QByteArray& buffer, const std::function<void(ipc::Frame)>& handle);
    void breakConnection(const QString& why);
    void scheduleReconnect();
    void reconnect();
    void close();

    Options options_;
    std::unique_ptr<QObject> context_;
    QLocalSocket* commands_ = nullptr;
    QLocalSocket* events_ = nullptr;
    QByteArray commandBuffer_;
    QByteArray eventBuffer_;
    std::deque<ReplyHandler> pending_; // replies come in the order of the requests
    QTimer* retryTimer_ = nullptr;
    int retryDelay_ = 0;
    int reconnections_ = 0;
    bool broken_ = false;
};

} // namespace sm::sway
