#include "app/qt/SingleInstance.h"

#include "app/ProgramLock.h"
#include "app/UrlCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace sm {

namespace {

// One byte past the limit tells an over-long command from one that just fits.
constexpr qsizetype kReadLimit = UrlCommand::kMaxBytes + 1;
constexpr int kClientSeconds = 3;

} // namespace

SingleInstance::SingleInstance(const QString& directory)
    : socketPath_(QDir(directory).filePath(ProgramLock::kSocketName)), lockPath_(QDir(directory).filePath(ProgramLock::kLockName)),
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
    return ProgramLock::namesLiveCopy(lockPath_);
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

} // namespace sm
