#include "app/qt/SingleInstance.h"

#include "app/UrlCommand.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <cstdlib>

namespace sm {

namespace {

const QString kLockName = QStringLiteral("spacemarquee.lock");
const QString kSocketName = QStringLiteral("spacemarquee.socket");
// One byte past the limit tells an over-long command from one that just fits.
constexpr qsizetype kReadLimit = UrlCommand::kMaxBytes + 1;
constexpr int kClientSeconds = 3;
// How long a sender waits for the command to be carried out and saved.
constexpr int kReplySeconds = 10;

} // namespace

SingleInstance::SingleInstance(const QString& directory)
    : socketPath_(QDir(directory).filePath(kSocketName)), lockPath_(QDir(directory).filePath(kLockName)),
      lock_(lockPath_) {
    // The lock is held for the whole session: only a dead holder makes it stale, never its age.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::tryLock() {
    if (lock_.isLocked() || lock_.tryLock(0)) return true;
    if (lock_.error() != QLockFile::LockFailedError || namesLiveCopy()) return false;
    // Of several copies that find the stale lock together, one takes it over; the others then see its
    // fresh lock when they look again.
    QLockFile takeover(lockPath_ + QStringLiteral(".takeover"));
    if (!takeover.tryLock(0) || namesLiveCopy()) return false;
    // Locks the file before deleting it, so it never deletes the lock of a copy that holds it.
    return lock_.removeStaleLockFile() && lock_.tryLock(0);
}

bool SingleInstance::namesLiveCopy() const {
    qint64 pid = 0;
    QString host, app;
    if (!lock_.getLockInfo(&pid, &host, &app)) {
        // A copy starting right now has created the file and is about to write its line.
        const QDateTime written = QFileInfo(lockPath_).lastModified();
        return written.isValid() && std::abs(written.msecsTo(QDateTime::currentDateTime())) < 1000;
    }
    // This program is whatever carries our executable's name, wherever it was installed (an update
    // may have replaced the file the running copy was started from).
    auto programName = [](const QString& link) {
        QString target = QFileInfo(link).symLinkTarget();
        target.remove(QStringLiteral(" (deleted)"));
        return QFileInfo(target).fileName();
    };
    const QString name = programName(QStringLiteral("/proc/%1/exe").arg(pid));
    return !name.isEmpty() && name == programName(QStringLiteral("/proc/self/exe"));
}

std::optional<OtherInstance> SingleInstance::holder() const {
    if (lock_.isLocked()) return std::nullopt;
    qint64 pid = 0;
    QString host, app;
    if (!lock_.getLockInfo(&pid, &host, &app)) return OtherInstance{0, {}};
    return OtherInstance{pid, QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget()};
}

bool SingleInstance::listen(CommandHandler handler, QString* error) {
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
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, socket, [socket] { socket->abort(); });
        deadline->start(kClientSeconds * 1000);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, deadline, buffer] {
            *buffer += socket->read(kReadLimit - buffer->size());
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0 && buffer->size() < kReadLimit) return;
            deadline->stop();
            QObject::disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);
            if (end >= 0) {
                // The command runs to the end, and is saved, before the sender hears back.
                const QPointer<QLocalSocket> alive(socket);
                auto reply = [alive](const QString& refusal, const QByteArray& body) {
                    if (!alive) return;
                    alive->write(refusal.isEmpty() ? "ok\n" + body : refusal.simplified().toUtf8() + '\n');
                    alive->flush();
                    alive->disconnectFromServer();
                };
                if (handler_)
                    handler_(buffer->left(end), reply);
                else
                    reply({}, {});
                return;
            }
            // The sender may still be writing: closing now would fail its write before it reads why
            // it was refused. What it still sends is dropped until it hangs up or the deadline ends
            // the connection.
            socket->write("too-long\n");
            socket->flush();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { socket->readAll(); });
            socket->readAll();
            deadline->start(kClientSeconds * 1000);
        });
    }
}

SingleInstance::Forwarded SingleInstance::forward(const QString& directory, const QByteArray& request,
                                                  QString* detail, QByteArray* body) {
    QLocalSocket socket;
    socket.connectToServer(QDir(directory).filePath(kSocketName));
    if (!socket.waitForConnected(kClientSeconds * 1000)) {
        if (detail) *detail = socket.errorString();
        return Forwarded::noRunningCopy;
    }
    socket.write(request + '\n');
    socket.waitForBytesWritten(kClientSeconds * 1000);
    // The running copy hangs up once it has said everything.
    QByteArray reply;
    QDeadlineTimer deadline(kReplySeconds * 1000);
    while (socket.state() == QLocalSocket::ConnectedState &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
        reply += socket.readAll();
    reply += socket.readAll();
    if (reply.startsWith("ok\n")) {
        if (body) *body = reply.mid(3);
        return Forwarded::delivered;
    }
    if (detail)
        *detail = !reply.isEmpty()        ? QString::fromUtf8(reply.trimmed())
                  : deadline.hasExpired() ? QStringLiteral("no answer within %1 seconds").arg(kReplySeconds)
                                          : socket.errorString();
    return Forwarded::refused;
}

} // namespace sm
