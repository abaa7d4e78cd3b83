#include "platform/x11/I3Ipc.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cstring>

namespace sm::x11 {

namespace {
// "i3-ipc", then the payload's length and the message type as 32-bit integers in host order.
constexpr char kMagic[] = "i3-ipc";
constexpr qsizetype kHeader = 6 + 8;
constexpr quint32 kRunCommand = 0;
constexpr quint32 kGetConfig = 9;
constexpr quint32 kMaxPayload = 16u * 1024 * 1024;
constexpr int kWaitMilliseconds = 1000;
} // namespace

I3Ipc::I3Ipc(QString socketPath, Logger logger) : socketPath_(std::move(socketPath)), logger_(std::move(logger)) {}

I3Ipc::~I3Ipc() = default;

std::optional<QByteArray> I3Ipc::request(quint32 type, const QByteArray& payload) {
    if (!socket_ || socket_->state() != QLocalSocket::ConnectedState) {
        socket_ = std::make_unique<QLocalSocket>();
        socket_->connectToServer(socketPath_);
        if (!socket_->waitForConnected(kWaitMilliseconds)) {
            logger_.error(QStringLiteral("i3 IPC: cannot connect to %1 (%2)").arg(socketPath_, socket_->errorString()));
            socket_.reset();
            return std::nullopt;
        }
    }
    QByteArray frame(kMagic, 6);
    const quint32 header[2] = {static_cast<quint32>(payload.size()), type};
    frame.append(reinterpret_cast<const char*>(header), sizeof header);
    socket_->write(frame + payload);
    socket_->flush();

    // Events are never subscribed on this connection: the next message is the reply.
    QByteArray buffer;
    const QDeadlineTimer deadline(kWaitMilliseconds);
    while (true) {
        if (buffer.size() >= kHeader) {
            quint32 fields[2];
            std::memcpy(fields, buffer.constData() + 6, sizeof fields);
            if (!buffer.startsWith(kMagic) || fields[0] > kMaxPayload) break;
            if (buffer.size() >= kHeader + fields[0]) return buffer.mid(kHeader, fields[0]);
        }
        if (deadline.hasExpired() || !socket_->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        buffer += socket_->readAll();
    }
    logger_.error(QStringLiteral("i3 IPC: no answer that reads as i3's; the connection starts over"));
    socket_.reset();
    return std::nullopt;
}

bool I3Ipc::run(const QString& command) {
    const auto reply = request(kRunCommand, command.toUtf8());
    if (!reply) return false;
    for (const QJsonValue& result : QJsonDocument::fromJson(*reply).array())
        if (!result.toObject().value(QLatin1String("success")).toBool()) {
            logger_.error(QStringLiteral("i3 refused '%1': %2")
                              .arg(command.left(300), result.toObject().value(QLatin1String("error")).toString()));
            return false;
        }
    return true;
}

std::optional<QString> I3Ipc::config() {
    const auto reply = request(kGetConfig, {});
    const QJsonValue config =
        reply ? QJsonDocument::fromJson(*reply).object().value(QLatin1String("config")) : QJsonValue();
    return config.isString() ? std::optional(config.toString()) : std::nullopt;
}

} // namespace sm::x11
