#include "platform/sway/SwayIpcClient.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

namespace sm::sway {

namespace {
QString eventName(quint32 type) {
    switch (type) {
    case ipc::WorkspaceEvent:
        return QStringLiteral("workspace");
    case ipc::OutputEvent:
        return QStringLiteral("output");
    case ipc::WindowEvent:
        return QStringLiteral("window");
    case ipc::ShutdownEvent:
        return QStringLiteral("shutdown");
    default:
        return {};
    }
}
} // namespace

SwayIpcClient::SwayIpcClient(Options options)
    : options_(std::move(options)), context_(std::make_unique<QObject>()) {
    retryTimer_ = new QTimer(context_.get());
    retryTimer_->setSingleShot(true);
    QObject::connect(retryTimer_, &QTimer::timeout, context_.get(), [this] { reconnect(); });
}

SwayIpcClient::~SwayIpcClient() {
    close();
}

bool SwayIpcClient::isConnected() const {
    return !broken_ && commands_ && events_ && commands_->state() == QLocalSocket::ConnectedState &&
           events_->state() == QLocalSocket::ConnectedState;
}

bool SwayIpcClient::open(QString* error) {
    retryDelay_ = options_.firstRetryMilliseconds;
    return connectBoth(error);
}

bool SwayIpcClient::connectBoth(QString* error) {
    close();
    eventBuffer_.clear();
    broken_ = false;
    commands_ = new QLocalSocket(context_.get());
    events_ = new QLocalSocket(context_.get());
    for (QLocalSocket* socket : {commands_, events_}) {
        socket->connectToServer(options_.socketPath);
        if (!socket->waitForConnected(options_.replyTimeoutMilliseconds)) {
            *error = QStringLiteral("sway's IPC socket %1 does not answer: %2")
                         .arg(options_.socketPath, socket->errorString());
            close();
            return false;
        }
    }
    // Required events first; the optional ones on their own, since sway refuses a whole list when it
    // does not know one of them (sway 1.7 has no output events).
    if (!subscribe(options_.events)) {
        *error = QStringLiteral("sway did not accept the event subscription on %1").arg(options_.socketPath);
        close();
        return false;
    }
    if (!options_.optionalEvents.isEmpty() && isConnected() && !subscribe(options_.optionalEvents))
        options_.logger.info(QStringLiteral("sway IPC: this compositor offers no %1 events")
                                 .arg(eventName(options_.optionalEvents.first())));
    if (!isConnected()) {
        *error = QStringLiteral("sway closed the IPC connection on %1").arg(options_.socketPath);
        close();
        return false;
    }
    QObject::connect(commands_, &QLocalSocket::readyRead, context_.get(), [this] { readCommands(); });
    QObject::connect(events_, &QLocalSocket::readyRead, context_.get(), [this] { readEvents(); });
    for (QLocalSocket* socket : {commands_, events_})
        QObject::connect(socket, &QLocalSocket::disconnected, context_.get(),
                         [this] { breakConnection(QStringLiteral("sway closed the IPC connection")); });
    if (!eventBuffer_.isEmpty()) QTimer::singleShot(0, context_.get(), [this] { readEvents(); });
    return true;
}

// Waits for the subscription's reply on the event connection; events that come first stay in the
// buffer for the event handler.
bool SwayIpcClient::subscribe(const QList<quint32>& events) {
    QJsonArray names;
    for (const quint32 type : events)
        names.append(eventName(type));
    events_->write(ipc::encode(ipc::Subscribe, QJsonDocument(names).toJson(QJsonDocument::Compact)));
    QByteArray kept;
    QDeadlineTimer deadline(options_.replyTimeoutMilliseconds);
    for (;;) {
        ipc::Taken taken = ipc::take(eventBuffer_, options_.maxPayload);
        if (taken.status == ipc::Taken::Status::frame && taken.frame.isEvent()) {
            kept += ipc::encode(taken.frame.type, taken.frame.payload);
            continue;
        }
        if (taken.status == ipc::Taken::Status::frame) {
            eventBuffer_.prepend(kept);
            return taken.frame.type == ipc::Subscribe && QJsonDocument::fromJson(taken.frame.payload)
                                                             .object()
                                                             .value(QLatin1String("success"))
                                                             .toBool();
        }
        if (taken.status != ipc::Taken::Status::incomplete || deadline.hasExpired() ||
            !events_->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            return false;
        eventBuffer_ += events_->readAll();
    }
}

void SwayIpcClient::close() {
    pending_.clear();
    commandBuffer_.clear();
    eventBuffer_.clear();
    for (QLocalSocket** socket : {&commands_, &events_}) {
        if (!*socket) continue;
        (*socket)->disconnect(context_.get());
        (*socket)->abort();
        (*socket)->deleteLater();
        *socket = nullptr;
    }
}

void SwayIpcClient::send(quint32 type, const QByteArray& payload, ReplyHandler handler) {
    if (!isConnected()) return;
    pending_.push_back(std::move(handler));
    commands_->write(ipc::encode(type, payload));
    commands_->flush();
}

void SwayIpcClient::command(const QString& text) {
    send(ipc::RunCommand, text.toUtf8(), [logger = options_.logger, text](const QByteArray& reply) {
        if (const QString failure = commandFailure(reply); !failure.isEmpty())
            logger.error(QStringLiteral("sway refused '%1': %2").arg(text.left(300), failure));
    });
}

std::optional<QByteArray> SwayIpcClient::request(quint32 type, const QByteArray& payload) {
    if (!isConnected()) return std::nullopt;
    auto result = std::make_shared<std::optional<QByteArray>>();
    send(type, payload, [result](const QByteArray& reply) { *result = reply; });
    QDeadlineTimer deadline(options_.replyTimeoutMilliseconds);
    while (!*result && isConnected()) {
        readCommands();
        if (*result || !isConnected()) break;
        if (deadline.hasExpired()) {
            breakConnection(
                QStringLiteral("sway did not answer within %1 ms").arg(options_.replyTimeoutMilliseconds));
            break;
        }
        commands_->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return *result;
}

bool SwayIpcClient::drain(QLocalSocket& socket, QByteArray& buffer,
                          const std::function<void(ipc::Frame)>& handle) {
    buffer += socket.readAll();
    for (;;) {
        ipc::Taken taken = ipc::take(buffer, options_.maxPayload);
        switch (taken.status) {
        case ipc::Taken::Status::incomplete:
            return true;
        case ipc::Taken::Status::malformed:
            breakConnection(QStringLiteral("sway sent something that is not an IPC message"));
            return false;
        case ipc::Taken::Status::oversized:
            breakConnection(
                QStringLiteral("sway announced a message over %1 bytes").arg(options_.maxPayload));
            return false;
        case ipc::Taken::Status::frame:
            handle(std::move(taken.frame));
            if (broken_) return false; // a handler gave up on the connection
            break;
        }
    }
}

void SwayIpcClient::readCommands() {
    if (!commands_) return;
    drain(*commands_, commandBuffer_, [this](ipc::Frame frame) {
        if (pending_.empty()) {
            breakConnection(QStringLiteral("sway sent a reply nobody asked for"));
            return;
        }
        ReplyHandler handler = std::move(pending_.front());
        pending_.pop_front();
        if (handler) handler(frame.payload);
    });
}

void SwayIpcClient::readEvents() {
    if (!events_) return;
    drain(*events_, eventBuffer_, [this](ipc::Frame frame) {
        if (frame.isEvent() && onEvent) onEvent(frame.type, frame.payload);
    });
}

void SwayIpcClient::breakConnection(const QString& why) {
    if (broken_) return;
    broken_ = true;
    options_.logger.error(QStringLiteral("sway IPC: %1; reconnecting").arg(why));
    // The sockets may be inside their own signal: they go on a later turn.
    QTimer::singleShot(0, context_.get(), [this] {
        close();
        if (onDisconnected) onDisconnected();
    });
    scheduleReconnect();
}

void SwayIpcClient::scheduleReconnect() {
    if (retryDelay_ <= 0) retryDelay_ = options_.firstRetryMilliseconds;
    retryTimer_->start(retryDelay_);
    retryDelay_ = std::min(retryDelay_ * 2, options_.maxRetryMilliseconds);
}

void SwayIpcClient::reconnect() {
    QString error;
    if (!connectBoth(&error)) {
        broken_ = true;
        options_.logger.error(
            QStringLiteral("sway IPC: %1; trying again in %2 ms").arg(error).arg(retryDelay_));
        scheduleReconnect();
        return;
    }
    retryDelay_ = options_.firstRetryMilliseconds;
    ++reconnections_;
    options_.logger.notice(QStringLiteral("sway IPC: connected again to %1").arg(options_.socketPath));
    if (onConnected) onConnected();
}

} // namespace sm::sway
