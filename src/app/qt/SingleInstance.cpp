#include "app/qt/SingleInstance.h"

#include "app/UrlCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace sm {

namespace {

const QString kLockName = QStringLiteral("spacemarquee.lock");
const QString kSocketName = QStringLiteral("spacemarquee.socket");
// One byte past the limit tells an over-long command from one that just fits.
constexpr qsizetype kReadLimit = UrlCommand::kMaxBytes + 1;
constexpr int kClientSeconds = 3;

} // namespace

SingleInstance::SingleInstance(const QString& directory)
    : socketPath_(QDir(directory).filePath(kSocketName)), lock_(QDir(directory).filePath(kLockName)) {
    // The lock is held for the whole session: only a dead holder makes it stale, never its age.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::tryLock() {
    return lock_.isLocked() || lock_.tryLock(0);
}

std::optional<OtherInstance> SingleInstance::holder() const {
    if (lock_.isLocked()) return std::nullopt;
    qint64 pid = 0;
    QString host, app;
    if (!lock_.getLockInfo(&pid, &host, &app)) return OtherInstance{0, {}};
    return OtherInstance{pid, QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget()};
}

bool SingleInstance::listen(std::function<void(const QByteArray&)> handler, QString* error) {
    handler_ = std::move(handler);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket left here belongs to a copy that died.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) {
        if (error) *error = server_->errorString();
        return false;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, this, [this] { accept(); });
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its line is not waited on for long.
        QTimer::singleShot(kClientSeconds * 1000, socket, [socket] { socket->abort(); });
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->read(kReadLimit - buffer->size());
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0 && buffer->size() < kReadLimit) return;
            const QByteArray line = end < 0 ? *buffer : buffer->left(end);
            socket->write(end < 0 ? "too-long\n" : "ok\n");
            socket->flush();
            socket->disconnectFromServer();
            QObject::disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);
            if (handler_) handler_(line);
        });
    }
}

SingleInstance::Forwarded SingleInstance::forward(const QString& directory, const QByteArray& url,
                                                  QString* detail) {
    QLocalSocket socket;
    socket.connectToServer(QDir(directory).filePath(kSocketName));
    if (!socket.waitForConnected(kClientSeconds * 1000)) {
        if (detail) *detail = socket.errorString();
        return Forwarded::noRunningCopy;
    }
    socket.write(url + '\n');
    socket.waitForBytesWritten(kClientSeconds * 1000);
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(kClientSeconds * 1000))
        reply += socket.readAll();
    if (reply.startsWith("ok\n")) return Forwarded::delivered;
    if (detail) *detail = reply.isEmpty() ? socket.errorString() : QString::fromUtf8(reply.trimmed());
    return Forwarded::refused;
}

} // namespace sm
