#include "support/sway/SwayTestSession.h"
#include "support/Processes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace sm::sway::test {

namespace {
// Outputs made later with create_output keep the headless default of 1920 × 1080 and are placed to
// the right: sway 1.7 fails to commit any change to a headless output after it is made.
constexpr char kConfig[] = "xwayland disable\n"
                           "output HEADLESS-1 resolution 1280x720 position 0 0\n"
                           "default_border none\n"
                           // A binding that goes to a workspace by its name, as older configs do.
                           "bindsym Mod4+9 workspace 9\n";
} // namespace

std::unique_ptr<SwayTestSession> SwayTestSession::start(int outputs, QString* why) {
    for (const char* tool : {"sway", "swaymsg"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            *why = QLatin1String(tool) + QStringLiteral(" is not installed (scripts/setup installs it)");
            return nullptr;
        }
    std::unique_ptr<SwayTestSession> session(new SwayTestSession);
    const QString dir = session->runtime_.path();
    QFile config(dir + QStringLiteral("/sway.config"));
    if (!config.open(QIODevice::WriteOnly) || config.write(kConfig) < 0) {
        *why = QStringLiteral("cannot write sway's configuration in ") + dir;
        return nullptr;
    }
    config.close();
    config.setPermissions(QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup);

    QStringList command{QStringLiteral("sway"), QStringLiteral("-c"), config.fileName()};
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
            *why = QStringLiteral(
                "sway refuses to run as root, and there is no user 'nobody' or no setpriv to run it as");
            return nullptr;
        }
        if (::chown(dir.toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand the runtime directory to 'nobody'");
            return nullptr;
        }
        command = QStringList{QStringLiteral("setpriv"),
                              QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                              QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                              QStringLiteral("--clear-groups"),
                              QStringLiteral("--pdeathsig=TERM"),
                              QStringLiteral("--")} +
                  command;
    }
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    session->sway_ = std::make_unique<QProcess>();
    session->sway_->setProcessEnvironment(env);
    session->sway_->setProcessChannelMode(QProcess::MergedChannels);
    session->sway_->start(command.takeFirst(), command);
    if (!session->sway_->waitForStarted(5000)) {
        *why = QStringLiteral("sway did not start: ") + session->sway_->errorString();
        return nullptr;
    }
    // sway makes its IPC socket and Wayland display in the runtime folder: looked for again whenever
    // something is made there.
    QDeadlineTimer deadline(10000);
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(watch, QFile::encodeName(dir).constData(), IN_CREATE | IN_MOVED_TO);
    while (!deadline.hasExpired() && !session->sway_->waitForFinished(0)) {
        const QDir runtime(dir);
        const auto sockets = runtime.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        const auto displays = runtime.entryList({QStringLiteral("wayland-*")}, QDir::System);
        if (!sockets.isEmpty() && !displays.isEmpty() && !displays.first().endsWith(QLatin1String(".lock"))) {
            session->socket_ = runtime.filePath(sockets.first());
            session->wayland_ = runtime.filePath(displays.first());
            break;
        }
        pollfd fd{watch, POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(deadline.remainingTime()));
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    ::close(watch);
    if (session->socket_.isEmpty()) {
        *why = QStringLiteral("sway did not come up: ") +
               QString::fromLocal8Bit(session->sway_->readAll()).right(600);
        return nullptr;
    }
    qputenv("SWAYSOCK", session->socket_.toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", session->wayland_.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "wayland");
    // sway answers once its IPC runs; the first output exists by then.
    deadline.setRemainingTime(5000);
    while (session->swaymsg({QStringLiteral("-t"), QStringLiteral("get_version")}) != 0) {
        if (deadline.hasExpired()) {
            *why = QStringLiteral("sway does not answer on ") + session->socket_;
            return nullptr;
        }
        QThread::msleep(20);
    }
    for (int i = 1; i < outputs; ++i)
        if (session->swaymsg({QStringLiteral("create_output")}) != 0) {
            *why = QStringLiteral("swaymsg create_output failed");
            return nullptr;
        }
    return session;
}

SwayTestSession::~SwayTestSession() {
    if (!sway_ || sway_->state() == QProcess::NotRunning) return;
    swaymsg({QStringLiteral("exit")});
    if (!sway_->waitForFinished(3000)) sm::test::endProcess(sway_, 3000);
}

QProcessEnvironment SwayTestSession::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SWAYSOCK"), socket_);
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland_);
    return env;
}

int SwayTestSession::swaymsg(const QStringList& arguments, QString* output) const {
    return run(QStringLiteral("swaymsg"), arguments, output);
}

int SwayTestSession::run(const QString& program, const QStringList& arguments, QString* output) const {
    return sm::test::runProcess(program, arguments, environment(), output);
}

} // namespace sm::sway::test
