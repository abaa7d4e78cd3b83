#include "platform/wayland/WorkspaceNamers.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sm::wayland {

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The one place both compositors agree on: find by output and name, else by output and place.
const IpcWorkspace* find(const QList<IpcWorkspace>& workspaces, const ShownWorkspace& shown) {
    for (const auto& w : workspaces)
        if (w.output == shown.output && w.name == shown.name) return &w;
    for (const auto& w : workspaces)
        if (w.output == shown.output && w.index == shown.position + 1) return &w;
    return nullptr;
}

// Hyprland's request socket takes one request per connection and closes it after the answer. Unnamed
// workspaces are called by their number, so a name always goes back as a name.
class HyprlandNamer final : public WorkspaceNamer {
public:
    explicit HyprlandNamer(QString socket) : socket_(std::move(socket)) {}
    QString compositor() const override { return QStringLiteral("Hyprland"); }

protected:
    std::optional<QList<IpcWorkspace>> list(QString* error) override {
        const auto reply = askSocket(socket_, "j/workspaces", false, error);
        if (!reply) return std::nullopt;
        const QJsonDocument json = QJsonDocument::fromJson(*reply);
        if (!json.isArray()) {
            *error = QStringLiteral("Hyprland's workspace list is not what it documents");
            return std::nullopt;
        }
        QList<IpcWorkspace> out;
        for (const auto& value : json.array()) {
            const QJsonObject o = value.toObject();
            out << IpcWorkspace{QString::number(o.value(QStringLiteral("id")).toInteger()), -1,
                                o.value(QStringLiteral("name")).toString(),
                                o.value(QStringLiteral("monitor")).toString()};
        }
        return out;
    }
    QString setName(const IpcWorkspace& w, const std::optional<QString>& name) override {
        QString error;
        const QByteArray request =
            "/dispatch renameworkspace " + w.id.toUtf8() + ' ' + name.value_or(w.id).toUtf8();
        const auto reply = askSocket(socket_, request, false, &error);
        if (!reply) return error;
        if (reply->trimmed() != "ok")
            return QStringLiteral("Hyprland answered: ") + QString::fromUtf8(reply->trimmed());
        return {};
    }

private:
    QString socket_;
};

// niri answers each JSON request line with one JSON line, {"Ok": ...} or {"Err": "..."}.
class NiriNamer final : public WorkspaceNamer {
public:
    explicit NiriNamer(QString socket) : socket_(std::move(socket)) {}
    QString compositor() const override { return QStringLiteral("niri"); }

protected:
    std::optional<QJsonValue> ask(const QJsonValue& request, QString* error) {
        const QByteArray line = QJsonDocument(QJsonArray{request}).toJson(QJsonDocument::Compact);
        // A bare string is not a JSON document to Qt: send the array's one element.
        const auto reply = askSocket(socket_, line.mid(1, line.size() - 2) + '\n', true, error);
        if (!reply) return std::nullopt;
        const QJsonObject answer = QJsonDocument::fromJson(*reply).object();
        if (answer.contains(QStringLiteral("Ok"))) return answer.value(QStringLiteral("Ok"));
        *error = QStringLiteral("niri answered: ") + (answer.contains(QStringLiteral("Err"))
                                                          ? answer.value(QStringLiteral("Err")).toString()
                                                          : QString::fromUtf8(reply->trimmed()));
        return std::nullopt;
    }
    std::optional<QList<IpcWorkspace>> list(QString* error) override {
        const auto ok = ask(QStringLiteral("Workspaces"), error);
        if (!ok) return std::nullopt;
        QList<IpcWorkspace> out;
        for (const auto& value : ok->toObject().value(QStringLiteral("Workspaces")).toArray()) {
            const QJsonObject o = value.toObject();
            const QJsonValue name = o.value(QStringLiteral("name"));
            out << IpcWorkspace{QString::number(o.value(QStringLiteral("id")).toInteger()),
                                o.value(QStringLiteral("idx")).toInt(-1),
                                name.isString() ? std::optional(name.toString()) : std::nullopt,
                                o.value(QStringLiteral("output")).toString()};
        }
        return out;
    }
    QString setName(const IpcWorkspace& w, const std::optional<QString>& name) override {
        const QJsonObject which{{QStringLiteral("Id"), w.id.toLongLong()}};
        const QJsonObject action = name ? QJsonObject{{QStringLiteral("SetWorkspaceName"),
                                                       QJsonObject{{QStringLiteral("name"), *name},
                                                                   {QStringLiteral("workspace"), which}}}}
                                        : QJsonObject{{QStringLiteral("UnsetWorkspaceName"),
                                                       QJsonObject{{QStringLiteral("reference"), which}}}};
        QString error;
        return ask(QJsonObject{{QStringLiteral("Action"), action}}, &error) ? QString() : error;
    }

private:
    QString socket_;
};

} // namespace

QString WorkspaceNamer::rename(const ShownWorkspace& shown, const QString& name) {
    if (!usable_) return QStringLiteral("%1's IPC failed earlier").arg(compositor());
    QString error;
    const auto workspaces = list(&error);
    if (!workspaces) {
        usable_ = false;
        return error;
    }
    const IpcWorkspace* w = find(*workspaces, shown);
    if (!w)
        return QStringLiteral("%1 lists no workspace \"%2\" on %3")
            .arg(compositor(), shown.name, shown.output);
    const auto original = originals_.constFind(w->id);
    if (original == originals_.constEnd()) {
        originals_.insert(w->id, {w->name, shown.name});
    } else if (original->shown == name) {
        const auto ipcName = original->ipcName;
        originals_.remove(w->id);
        return setName(*w, ipcName);
    }
    return setName(*w, name);
}

std::unique_ptr<WorkspaceNamer> namerFor(const QProcessEnvironment& env) {
    if (const QString sig = env.value(QStringLiteral("HYPRLAND_INSTANCE_SIGNATURE")); !sig.isEmpty()) {
        // Older builds kept the sockets in /tmp.
        QString socket = QDir(env.value(QStringLiteral("XDG_RUNTIME_DIR")))
                             .filePath(QStringLiteral("hypr/%1/.socket.sock").arg(sig));
        if (!QFileInfo::exists(socket)) socket = QStringLiteral("/tmp/hypr/%1/.socket.sock").arg(sig);
        return std::make_unique<HyprlandNamer>(socket);
    }
    if (const QString socket = env.value(QStringLiteral("NIRI_SOCKET")); !socket.isEmpty())
        return std::make_unique<NiriNamer>(socket);
    return nullptr;
}

std::optional<QByteArray> askSocket(const QString& path, const QByteArray& request, bool oneLine,
                                    QString* error) {
    const QByteArray file = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (file.isEmpty() || static_cast<std::size_t>(file.size()) >= sizeof(address.sun_path)) {
        *error = QStringLiteral("no usable socket path \"%1\"").arg(path);
        return std::nullopt;
    }
    std::memcpy(address.sun_path, file.constData(), static_cast<std::size_t>(file.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = systemError();
        return std::nullopt;
    }
    const auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        *error = QStringLiteral("%1: %2").arg(path, why);
        ::close(fd);
        return std::nullopt;
    };
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return fail(systemError());
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.constData() + sent,
                                 static_cast<std::size_t>(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) return fail(systemError());
        if (n > 0) sent += n;
    }
    // The compositor handles IPC on its main loop: a second without an answer is a compositor in trouble,
    // and the program's own loop must not wait longer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    QByteArray reply;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return fail(QStringLiteral("no answer within a second"));
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(systemError());
        if (n == 0) break;
        reply.append(buffer, n);
        if (oneLine && reply.contains('\n')) {
            reply.truncate(reply.indexOf('\n'));
            break;
        }
    }
    ::close(fd);
    return reply;
}

} // namespace sm::wayland
