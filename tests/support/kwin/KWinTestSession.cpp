#include "support/kwin/KWinTestSession.h"
#include "support/Processes.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

namespace sm::kwin::test {

namespace {
constexpr char kService[] = "org.kde.KWin";
constexpr char kDesktops[] = "org.kde.KWin.VirtualDesktopManager";

bool copyWithoutCapability(const QString& from, const QString& to, QString* why) {
    // A plain copy carries no extended attributes, the file capability among them.
    if (!QFile::copy(from, to)) {
        *why = QStringLiteral("cannot copy %1 to %2").arg(from, to);
        return false;
    }
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return true;
}
} // namespace

std::unique_ptr<KWinTestSession> KWinTestSession::start(int desktops, QString* why) {
    const QString kwin = QStandardPaths::findExecutable(QStringLiteral("kwin_wayland"));
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (kwin.isEmpty() || daemon.isEmpty()) {
        *why = QStringLiteral("kwin_wayland or dbus-daemon is not installed (scripts/setup installs them)");
        return nullptr;
    }
    std::unique_ptr<KWinTestSession> session(new KWinTestSession);
    const QDir dir(session->runtime_.path());
    if (qEnvironmentVariableIsSet("SM_KWIN_KEEP")) { // for a look at kwin.log after a failure
        session->runtime_.setAutoRemove(false);
        std::fprintf(stderr, "KWin test session in %s\n", qPrintable(dir.path()));
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    dir.mkpath(QStringLiteral("bin"));
    dir.mkpath(QStringLiteral("config"));
    const QString copy = dir.filePath(QStringLiteral("bin/kwin_wayland"));
    if (!copyWithoutCapability(kwin, copy, why)) return nullptr;

    // A fixed number of desktops, one row, and no animations to wait for.
    QFile rc(dir.filePath(QStringLiteral("config/kwinrc")));
    if (!rc.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot write kwinrc in ") + dir.path();
        return nullptr;
    }
    rc.write(QStringLiteral("[Desktops]\nNumber=%1\nRows=1\n\n[Compositing]\nAnimationSpeed=0\n"
                            "[KDE]\nAnimationDurationFactor=0\n")
                 .arg(desktops)
                 .toUtf8());
    rc.close();

    session->dbus_ = std::make_unique<QProcess>();
    session->bus_ = sm::test::startSessionBus(*session->dbus_);
    if (session->bus_.isEmpty()) {
        *why = QStringLiteral("the private session bus did not start");
        return nullptr;
    }

    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session->bus_);
    env.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q")); // QPainter: no GPU needed
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    session->socket_ = QStringLiteral("wayland-sm-kwin");
    session->kwin_ = std::make_unique<QProcess>();
    session->kwin_->setProcessEnvironment(env);
    session->kwin_->setProcessChannelMode(QProcess::MergedChannels);
    session->kwin_->setStandardOutputFile(dir.filePath(QStringLiteral("kwin.log")));
    session->kwin_->start(copy,
                          {QStringLiteral("--virtual"), QStringLiteral("--width"), QStringLiteral("1280"),
                           QStringLiteral("--height"), QStringLiteral("800"),
                           QStringLiteral("--no-lockscreen"), QStringLiteral("--socket"), session->socket_});
    if (!session->kwin_->waitForStarted(5000)) {
        *why = QStringLiteral("kwin_wayland did not start: ") + session->kwin_->errorString();
        return nullptr;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", session->bus_.toUtf8());
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", session->socket_.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "wayland");

    // KWin answers on the bus once its workspace is up.
    QDeadlineTimer deadline(20000);
    while (true) {
        QString error;
        if (session->call(QStringLiteral("/VirtualDesktopManager"),
                          QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                          {QLatin1String(kDesktops), QStringLiteral("count")}, &error))
            break;
        if (deadline.hasExpired() || session->kwin_->state() != QProcess::Running) {
            *why = QStringLiteral("kwin_wayland did not come up: ") + session->log().right(800);
            return nullptr;
        }
        QThread::msleep(50);
    }
    while (session->desktops().size() < desktops) {
        if (deadline.hasExpired()) {
            *why = QStringLiteral("kwin_wayland did not make %1 desktops").arg(desktops);
            return nullptr;
        }
        session->call(QStringLiteral("/VirtualDesktopManager"), QLatin1String(kDesktops),
                      QStringLiteral("createDesktop"),
                      {static_cast<uint>(session->desktops().size()), QString()});
    }
    return session;
}

KWinTestSession::~KWinTestSession() {
    sm::test::endProcess(kwin_);
    sm::test::endProcess(dbus_);
}

std::optional<QVariantList> KWinTestSession::call(const QString& path, const QString& interface,
                                                  const QString& method, const QVariantList& arguments,
                                                  QString* error) const {
    QDBusConnection bus = QDBusConnection::connectToBus(bus_, QStringLiteral("sm-kwin-test-session"));
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService), path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (error) *error = reply.errorMessage();
        return std::nullopt;
    }
    return reply.arguments();
}

QList<std::pair<QString, QString>> KWinTestSession::desktops() const {
    const auto reply =
        call(QStringLiteral("/VirtualDesktopManager"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {QLatin1String(kDesktops), QStringLiteral("desktops")});
    QList<std::pair<QString, QString>> out;
    if (!reply || reply->isEmpty()) return out;
    const QDBusArgument argument = reply->first().value<QDBusVariant>().variant().value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        int position = 0;
        QString id, name;
        argument.beginStructure();
        argument >> position >> id >> name;
        argument.endStructure();
        out.append({id, name});
    }
    argument.endArray();
    return out;
}

bool KWinTestSession::switchTo(int index) const {
    const auto all = desktops();
    if (index < 0 || index >= all.size()) return false;
    return call(QStringLiteral("/VirtualDesktopManager"), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Set"),
                {QLatin1String(kDesktops), QStringLiteral("current"),
                 QVariant::fromValue(QDBusVariant(all[index].first))})
        .has_value();
}

bool KWinTestSession::runScript(const QString& source) const {
    static int count = 0;
    const QString name = QStringLiteral("sm-test-%1").arg(++count);
    QFile file(QDir(runtime_.path()).filePath(name + QStringLiteral(".js")));
    if (!file.open(QIODevice::WriteOnly) || file.write(source.toUtf8()) < 0) return false;
    file.close();
    const QString scripting = QStringLiteral("org.kde.kwin.Scripting");
    return call(QStringLiteral("/Scripting"), scripting, QStringLiteral("loadScript"),
                {file.fileName(), name}) &&
           call(QStringLiteral("/Scripting"), scripting, QStringLiteral("start"));
}

QProcessEnvironment KWinTestSession::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_);
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    return env;
}

int KWinTestSession::run(const QString& program, const QStringList& arguments, QString* output) const {
    return sm::test::runProcess(program, arguments, environment(), output);
}

QString KWinTestSession::log() const {
    QFile file(QDir(runtime_.path()).filePath(QStringLiteral("kwin.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace sm::kwin::test
