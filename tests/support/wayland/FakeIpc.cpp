#include "support/wayland/FakeIpc.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sm::test {

struct FakeIpc::State {
    int fd = -1;
    int wake[2] = {-1, -1}; // written to when the fake closes
    QString path;
    std::function<QByteArray(const QByteArray&)> answer;
    mutable std::mutex mutex;
    QStringList requests;
    std::thread thread;

    void serve() {
        for (;;) {
            pollfd p[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || p[1].revents) return;
            const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            QByteArray request;
            char buffer[4096];
            // Both compositors' clients send the whole request at once; niri's ends with a line break.
            while (request.isEmpty() ||
                   ((request.startsWith('{') || request.startsWith('"')) && !request.endsWith('\n'))) {
                const ssize_t n = ::read(client, buffer, sizeof(buffer));
                if (n <= 0) break;
                request.append(buffer, n);
            }
            request = request.trimmed();
            {
                std::lock_guard lock(mutex);
                requests << QString::fromUtf8(request);
            }
            const QByteArray reply = answer(request);
            (void)::write(client, reply.constData(), static_cast<std::size_t>(reply.size()));
            ::close(client);
        }
    }
};

FakeIpc::FakeIpc(const QString& path, std::function<QByteArray(const QByteArray&)> answer, bool listening)
    : s_(std::make_unique<State>()) {
    s_->path = path;
    s_->answer = std::move(answer);
    s_->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray file = QFile::encodeName(path);
    std::memcpy(address.sun_path, file.constData(),
                std::min(sizeof(address.sun_path) - 1, std::size_t(file.size())));
    ::unlink(address.sun_path);
    if (::bind(s_->fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) return;
    if (!listening || ::listen(s_->fd, 4) != 0 || ::pipe2(s_->wake, O_CLOEXEC) != 0) return;
    s_->thread = std::thread([s = s_.get()] { s->serve(); });
}

FakeIpc::~FakeIpc() {
    if (s_->thread.joinable()) {
        (void)::write(s_->wake[1], "x", 1);
        s_->thread.join();
    }
    for (int fd : {s_->fd, s_->wake[0], s_->wake[1]})
        if (fd >= 0) ::close(fd);
    ::unlink(QFile::encodeName(s_->path).constData());
}

QStringList FakeIpc::requests() const {
    std::lock_guard lock(s_->mutex);
    return s_->requests;
}

} // namespace sm::test
