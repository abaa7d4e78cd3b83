#include "support/gnome/GnomeTestSession.h"
#include "support/Processes.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

namespace sm::gnome::test {

namespace {
constexpr char kUuid[] = "spacemarquee@spacemarquee.example";
constexpr char kService[] = "org.spacemarquee.GnomeBridge";
// The shell asks logind on the system bus as it starts and aborts without one; nothing else is needed
// of it, so any bus that answers will do.
constexpr char kSystemBusConfig[] =
    "<busconfig><type>system</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
    "<allow receive_sender=\"*\"/></policy></busconfig>";
// The session bus starts no services: the shell's helpers (calendar, notifications) are not needed and
// their absence only fills the log.
constexpr char kSessionBusConfig[] =
    "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";

bool write(const QString& path, const QByteArray& text) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(text) >= 0;
}

bool waitForFile(const QString& path, const QProcess& process, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!QFileInfo::exists(path)) {
        if (deadline.hasExpired() || process.state() != QProcess::Running) return false;
        QThread::msleep(10);
    }
    return true;
}

// The session's processes end with the test, also when it dies without ending them.
void endWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

} // namespace

bool GnomeTestSession::startDaemon(std::unique_ptr<QProcess>& process, const QStringList& arguments,
                                   const QString& socket, QString* why) {
    process = std::make_unique<QProcess>();
    endWithParent(*process);
    process->setProcessEnvironment(env_);
    // Its complaints (no raising of the file limit as an ordinary user) are no news.
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral("dbus-daemon"), arguments);
    if (!process->waitForStarted(5000) || !waitForFile(socket, *process, 5000)) {
        *why = QStringLiteral("dbus-daemon %1 did not come up").arg(arguments.join(u' '));
        return false;
    }
    return true;
}

namespace {
// Xwayland's display and the cookie for it, which the shell names only in its log and its runtime folder.
bool findXwayland(const QString& dir, const QString& runtime, QProcessEnvironment* env) {
    QFile log(dir + QStringLiteral("/shell.log"));
    if (!log.open(QIODevice::ReadOnly)) return false;
    static const QRegularExpression display(QStringLiteral("Using public X11 display (:\\d+)"));
    const auto match = display.match(QString::fromLocal8Bit(log.readAll()));
    const QStringList cookies =
        QDir(runtime).entryList({QStringLiteral(".mutter-Xwaylandauth.*")}, QDir::Files | QDir::Hidden);
    if (!match.hasMatch() || cookies.isEmpty()) return false;
    env->insert(QStringLiteral("DISPLAY"), match.captured(1));
    env->insert(QStringLiteral("XAUTHORITY"), runtime + QLatin1Char('/') + cookies.constFirst());
    return true;
}
} // namespace

std::unique_ptr<GnomeTestSession> GnomeTestSession::start(const QString& extensions, QString* why, Options options) {
    for (const char* tool : {"gnome-shell", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            *why = QLatin1String(tool) + QStringLiteral(" is not installed (scripts/setup installs it)");
            return nullptr;
        }
    if (!QFileInfo::exists(extensions + QLatin1Char('/') + QLatin1String(kUuid) + QStringLiteral("/metadata.json"))) {
        *why = QStringLiteral("the bridge is not in ") + extensions;
        return nullptr;
    }
    std::unique_ptr<GnomeTestSession> session(new GnomeTestSession);
    const QString dir = session->dir_.path();
    const QString runtime = dir + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(dir + QStringLiteral("/data/gnome-shell"));
    QFile::link(extensions, dir + QStringLiteral("/data/gnome-shell/extensions"));
    const QString systemSocket = dir + QStringLiteral("/system_bus");
    const QString sessionSocket = dir + QStringLiteral("/session_bus");
    if (!write(dir + QStringLiteral("/system.conf"), QByteArray(kSystemBusConfig).replace("%1", systemSocket.toUtf8())) ||
        !write(dir + QStringLiteral("/session.conf"), QByteArray(kSessionBusConfig).replace("%1", sessionSocket.toUtf8())) ||
        !write(dir + QStringLiteral("/config/glib-2.0/settings/keyfile"),
               options.bridgeEnabled ? QByteArray("[org/gnome/shell]\nenabled-extensions=['") + kUuid + "']\n"
                                     : QByteArray("[org/gnome/shell]\nenabled-extensions=@as []\n"))) {
        *why = QStringLiteral("cannot write the session's files in ") + dir;
        return nullptr;
    }

    QProcessEnvironment& env = session->env_;
    env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_SESSION_TYPE"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + systemSocket);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + sessionSocket);
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));

    if (!session->startDaemon(session->systemBus_,
                              {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + dir + QStringLiteral("/system.conf")},
                              systemSocket, why) ||
        !session->startDaemon(session->sessionBus_,
                              {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + dir + QStringLiteral("/session.conf")},
                              sessionSocket, why))
        return nullptr;

    session->shell_ = std::make_unique<QProcess>();
    endWithParent(*session->shell_);
    session->shell_->setProcessEnvironment(env);
    session->shell_->setStandardOutputFile(dir + QStringLiteral("/shell.log"));
    session->shell_->setStandardErrorFile(dir + QStringLiteral("/shell.log"), QIODevice::Append);
    QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--wayland"),
                          QStringLiteral("--virtual-monitor"), QStringLiteral("1280x800"),
                          QStringLiteral("--wayland-display"), QStringLiteral("spacemarquee-test")};
    if (!options.xwayland) arguments << QStringLiteral("--no-x11");
    session->shell_->start(QStringLiteral("gnome-shell"), arguments);
    if (!session->shell_->waitForStarted(5000)) {
        *why = QStringLiteral("gnome-shell did not start: ") + session->shell_->errorString();
        return nullptr;
    }

    // From here this process is a client of the session: its bus, its display, its settings.
    for (const QString& name : env.keys())
        if (name.startsWith(QLatin1String("XDG_")) || name.startsWith(QLatin1String("DBUS_")) ||
            name == QLatin1String("GSETTINGS_BACKEND"))
            qputenv(name.toLocal8Bit(), env.value(name).toLocal8Bit());
    qunsetenv("DISPLAY");
    qputenv("WAYLAND_DISPLAY", (runtime + QStringLiteral("/spacemarquee-test")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "wayland");
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), runtime + QStringLiteral("/spacemarquee-test"));

    // Without the bridge, the shell's own name says it is up.
    const QString awaited = options.bridgeEnabled ? QLatin1String(kService) : QStringLiteral("org.gnome.Shell");
    QDBusConnection bus = session->bus();
    QDeadlineTimer deadline(30000);
    while (!bus.isConnected() || !bus.interface()->isServiceRegistered(awaited).value() ||
           (options.xwayland && !findXwayland(dir, runtime, &env))) {
        if (deadline.hasExpired() || session->shell_->state() != QProcess::Running) {
            QFile log(dir + QStringLiteral("/shell.log"));
            log.open(QIODevice::ReadOnly);
            *why = QStringLiteral("the shell or its bridge did not come up: ") +
                   QString::fromLocal8Bit(log.readAll()).right(800);
            return nullptr;
        }
        QThread::msleep(50);
        if (!bus.isConnected()) bus = session->bus();
    }
    // The pointer and keyboard are made first, so that they are there before any window maps. The shell
    // opens the overview once it has started, where windows take no pointer or keys: Escape leaves it.
    constexpr quint32 kEscape = 0xff1b;
    // The remote-desktop interface may come up a little after the bridge.
    QDeadlineTimer input(5000);
    while (!session->pointAt({640, 700}) && !input.hasExpired())
        QThread::msleep(100);
    if (!session->pointAt({640, 700})) {
        *why = QStringLiteral("the shell takes no pointer from its remote-desktop interface");
        return nullptr;
    }
    const auto overview = [&session] {
        auto call = QDBusMessage::createMethodCall(QLatin1String(kService), QStringLiteral("/org/spacemarquee/GnomeBridge"),
                                                   QLatin1String(kService), QStringLiteral("GetState"));
        const QDBusMessage reply = session->bus().call(call, QDBus::Block, 5000);
        return !reply.arguments().isEmpty() &&
               QJsonDocument::fromJson(reply.arguments().constFirst().toString().toUtf8())
                   .object()
                   .value(QLatin1String("overview"))
                   .toBool();
    };
    if (!options.bridgeEnabled) return session; // its overview is seen through the bridge only
    QDeadlineTimer opening(5000);
    while (!overview() && !opening.hasExpired())
        QThread::msleep(50);
    QDeadlineTimer closing(5000);
    while (overview()) {
        if (closing.hasExpired() || !session->key(kEscape, true) || !session->key(kEscape, false)) {
            *why = QStringLiteral("the shell's overview does not close");
            return nullptr;
        }
        QThread::msleep(200);
    }
    return session;
}

GnomeTestSession::~GnomeTestSession() {
    QDBusConnection::disconnectFromBus(QStringLiteral("gnome test ") + dir_.path());
    sm::test::endProcess(shell_);
    sm::test::endProcess(sessionBus_);
    sm::test::endProcess(systemBus_);
}

// A connection of the session's own: the process's session bus stays that of the first session it met.
QDBusConnection GnomeTestSession::bus() const {
    return QDBusConnection::connectToBus(env_.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
                                         QStringLiteral("gnome test ") + dir_.path());
}

std::optional<GnomeTestSession::Introspected> GnomeTestSession::introspect() const {
    QDBusConnection bus = this->bus();
    const QString portal = QStringLiteral("org.freedesktop.impl.portal.desktop.gtk");
    if (!bus.isConnected() || (!bus.interface()->isServiceRegistered(portal) && !bus.registerService(portal)))
        return {};
    const auto call = [&bus](const char* method) {
        return bus.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Shell.Introspect"), QStringLiteral("/org/gnome/Shell/Introspect"),
            QStringLiteral("org.gnome.Shell.Introspect"), QLatin1String(method)));
    };
    const QDBusMessage apps = call("GetRunningApplications");
    const QDBusMessage windows = call("GetWindows");
    if (apps.type() != QDBusMessage::ReplyMessage || windows.type() != QDBusMessage::ReplyMessage) return {};
    Introspected seen;
    const auto appMap = apps.arguments().at(0).value<QDBusArgument>();
    appMap.beginMap();
    while (!appMap.atEnd()) {
        QString id;
        QVariantMap properties;
        appMap.beginMapEntry();
        appMap >> id >> properties;
        appMap.endMapEntry();
        seen.apps.insert(id);
    }
    appMap.endMap();
    const auto windowMap = windows.arguments().at(0).value<QDBusArgument>();
    windowMap.beginMap();
    while (!windowMap.atEnd()) {
        qulonglong id = 0;
        QVariantMap properties;
        windowMap.beginMapEntry();
        windowMap >> id >> properties;
        windowMap.endMapEntry();
        seen.windows.insert(properties.value(QStringLiteral("title")).toString(),
                            properties.value(QStringLiteral("app-id")).toString());
    }
    windowMap.endMap();
    return seen;
}

bool GnomeTestSession::activate(int index, QString* error) const {
    auto call = QDBusMessage::createMethodCall(QLatin1String(kService), QStringLiteral("/org/spacemarquee/GnomeBridge"),
                                               QLatin1String(kService), QStringLiteral("ActivateWorkspace"));
    call.setArguments({index});
    const QDBusMessage reply = bus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    if (error) *error = reply.errorMessage();
    return false;
}

namespace {
constexpr char kRemoteService[] = "org.gnome.Mutter.RemoteDesktop";
constexpr char kRemoteSession[] = "org.gnome.Mutter.RemoteDesktop.Session";

QDBusMessage callRemote(QDBusConnection bus, const QString& path, const char* interface, const QString& method,
                        const QVariantList& arguments) {
    auto call = QDBusMessage::createMethodCall(QLatin1String(kRemoteService), path, QLatin1String(interface), method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 5000);
}
} // namespace

// The session lives as long as this process's bus connection; relative motion needs no screen cast, and
// a long move down and right first puts the pointer in the monitor's last corner, wherever it was (the
// first corner would open the overview).
bool GnomeTestSession::startRemote() {
    if (remote_.isEmpty()) {
        const QDBusMessage made = callRemote(bus(), QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                             "org.gnome.Mutter.RemoteDesktop", QStringLiteral("CreateSession"), {});
        if (made.type() != QDBusMessage::ReplyMessage || made.arguments().isEmpty()) return false;
        remote_ = made.arguments().constFirst().value<QDBusObjectPath>().path();
        if (callRemote(bus(), remote_, kRemoteSession, QStringLiteral("Start"), {}).type() != QDBusMessage::ReplyMessage)
            return false;
    }
    return true;
}

bool GnomeTestSession::pointAt(QPoint layout) {
    if (!startRemote()) return false;
    const auto move = [this](double dx, double dy) {
        return callRemote(bus(), remote_, kRemoteSession, QStringLiteral("NotifyPointerMotionRelative"), {dx, dy}).type() ==
               QDBusMessage::ReplyMessage;
    };
    constexpr QPoint kCorner(1279, 799); // the virtual monitor's last pixel
    return move(100000.0, 100000.0) && move(layout.x() - kCorner.x(), layout.y() - kCorner.y());
}

bool GnomeTestSession::button(bool pressed) {
    constexpr int kLeftButton = 0x110; // BTN_LEFT
    return startRemote() &&
           callRemote(bus(), remote_, kRemoteSession, QStringLiteral("NotifyPointerButton"), {kLeftButton, pressed}).type() ==
               QDBusMessage::ReplyMessage;
}

bool GnomeTestSession::key(quint32 keysym, bool pressed) {
    if (!startRemote()) return false;
    return callRemote(bus(), remote_, kRemoteSession, QStringLiteral("NotifyKeyboardKeysym"), {keysym, pressed}).type() ==
           QDBusMessage::ReplyMessage;
}

bool GnomeTestSession::type(const QString& latin1) {
    for (const QChar c : latin1)
        if (!key(c.unicode(), true) || !key(c.unicode(), false)) return false;
    return true;
}

int GnomeTestSession::run(const QString& program, const QStringList& arguments, QString* output) const {
    return sm::test::runProcess(program, arguments, env_, output);
}

} // namespace sm::gnome::test
