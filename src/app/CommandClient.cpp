#include "app/CommandClient.h"

#include "app/Manual.h"
#include "app/ProgramLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifndef SM_VERSION
#define SM_VERSION "?"
#endif
#ifndef SM_BUILD_VERSION
#define SM_BUILD_VERSION "?"
#endif

namespace sm {

namespace {

// A copy started here has this long to come up and take the command: the launch itself, then the
// first resolution of the current desktop (bounded by the program as well).
constexpr int kStartSeconds = 15;
constexpr int kConnectSeconds = 3;
// How long a sender waits for the command to be carried out and saved.
constexpr int kReplySeconds = 10;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Started apart from this process, so it outlives it, and without its terminal. Marked as started
// for a command: when another command started a copy at the same moment, it yields without an alert.
qint64 startProgram(const QString& program) {
    QProcess process;
    process.setProgram(program);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kStartedForCommandVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::rootPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    return process.startDetached(&pid) ? pid : 0;
}

bool alive(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

// Waits for `events` on `fd` until `deadline`; false when the time ran out or polling failed.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int n = ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

CommandLine commandLine(int argc, char** argv) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return CommandLine::parse(arguments);
}

QString programVersion() {
    return QStringLiteral(SM_VERSION);
}

QString buildVersion() {
    return QStringLiteral(SM_BUILD_VERSION);
}

void say(const QString& text) {
    std::fprintf(stderr, "spacemarquee: %s\n", qPrintable(text));
}

std::optional<int> answerAtOnce(const CommandLine& command) {
    switch (command.action) {
    case CommandLine::Action::help:
        return std::fputs(manual::usage().constData(), stdout) < 0;
    case CommandLine::Action::version:
        return std::puts("Spacemarquee " SM_VERSION " (" SM_BUILD_VERSION ")") < 0;
    case CommandLine::Action::usage:
        say(command.message + QStringLiteral(" (spacemarquee --help lists the commands)"));
        return 2;
    case CommandLine::Action::invalid:
        say(command.message);
        return 1;
    case CommandLine::Action::run:
    case CommandLine::Action::send:
        break;
    }
    return std::nullopt;
}

Forwarded forwardRequest(const QString& socketPath, const QByteArray& request, QString* detail,
                         QByteArray* body) {
    auto fail = [detail](Forwarded outcome, const QString& why) {
        if (detail) *detail = why;
        return outcome;
    };
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return fail(Forwarded::noRunningCopy, QStringLiteral("the socket path is too long"));
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (socket.fd < 0) return fail(Forwarded::noRunningCopy, errnoText(errno));
    const QDeadlineTimer connectDeadline(kConnectSeconds * 1000);
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // A busy listener's backlog makes a local connect wait like any other.
        if (errno != EAGAIN && errno != EINPROGRESS) return fail(Forwarded::noRunningCopy, errnoText(errno));
        int error = 0;
        socklen_t size = sizeof error;
        if (!waitFor(socket.fd, POLLOUT, connectDeadline) ||
            ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return fail(Forwarded::noRunningCopy, errnoText(error ? error : ETIMEDOUT));
    }

    const QByteArray line = request + '\n';
    qsizetype sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(socket.fd, line.constData() + sent, static_cast<size_t>(line.size() - sent),
                                 MSG_NOSIGNAL);
        if (n >= 0) {
            sent += n;
            continue;
        }
        if (errno == EINTR) continue;
        // A refusal of an over-long line comes back while this side still writes.
        if ((errno == EAGAIN) && waitFor(socket.fd, POLLOUT, connectDeadline)) continue;
        break;
    }

    // The running copy hangs up once it has said everything.
    QByteArray reply;
    const QDeadlineTimer deadline(kReplySeconds * 1000);
    bool timedOut = false;
    int readError = 0;
    for (;;) {
        char chunk[4096];
        const ssize_t n = ::recv(socket.fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            reply.append(chunk, n);
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (waitFor(socket.fd, POLLIN, deadline)) continue;
            timedOut = true;
            break;
        }
        readError = errno;
        break;
    }
    if (reply.startsWith("ok\n")) {
        if (body) *body = reply.mid(3);
        return Forwarded::delivered;
    }
    return fail(Forwarded::refused,
                !reply.isEmpty() ? QString::fromUtf8(reply.trimmed())
                : timedOut       ? QStringLiteral("no answer within %1 seconds").arg(kReplySeconds)
                : readError      ? errnoText(readError)
                                 : QStringLiteral("it hung up without an answer"));
}

int sendCommands(const CommandLine& command, const QString& runtimeDirectory, const QString& program) {
    const QDir runtime(runtimeDirectory);
    const QString socketPath = runtime.filePath(ProgramLock::kSocketName);
    const QString lockPath = runtime.filePath(ProgramLock::kLockName);
    const QDeadlineTimer deadline(kStartSeconds * 1000);
    qint64 started = 0;
    for (const QByteArray& request : command.requests) {
        for (;;) {
            QString detail;
            QByteArray body;
            const auto outcome = forwardRequest(socketPath, request, &detail, &body);
            if (outcome == Forwarded::delivered) {
                std::fwrite(body.constData(), 1, static_cast<size_t>(body.size()), stdout);
                break;
            }
            if (outcome == Forwarded::refused) {
                const bool ambiguous = detail.startsWith(QLatin1String(CommandLine::kAmbiguousName));
                const bool speaksForItself = ambiguous || detail.startsWith(QLatin1String(CommandLine::kNotSaved)) ||
                                             detail.startsWith(QLatin1String(CommandLine::kCannotGo));
                say(speaksForItself
                        ? detail
                        : QStringLiteral("the running Spacemarquee refused the command: %1").arg(detail));
                return ambiguous ? 2 : 1;
            }
            if (!command.startsProgram) {
                say(QStringLiteral("Spacemarquee is not running"));
                return 1;
            }
            // A copy that holds the lock is starting and will listen soon; otherwise one is started.
            const bool starting = ProgramLock::namesLiveCopy(lockPath);
            if (!starting && started == 0 && (started = startProgram(program)) == 0) {
                say(QStringLiteral("Spacemarquee could not be started from %1").arg(program));
                return 1;
            }
            if (!starting && !alive(started)) {
                say(QStringLiteral(
                    "Spacemarquee quit before it took the command (the system journal says why)"));
                return 1;
            }
            if (deadline.hasExpired()) {
                say(QStringLiteral("Spacemarquee did not take the command within %1 seconds")
                        .arg(kStartSeconds));
                return 1;
            }
            ::usleep(10000);
        }
    }
    return 0;
}

} // namespace sm
