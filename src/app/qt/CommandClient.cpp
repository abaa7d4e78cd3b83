#include "app/qt/CommandClient.h"

#include "app/qt/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace sm {

namespace {

// A copy started here has this long to come up and take the command: the launch itself, then the
// first resolution of the current desktop (bounded by the program as well).
constexpr int kStartSeconds = 15;

void say(const QString& text) {
    std::fprintf(stderr, "spacemarquee: %s\n", qPrintable(text));
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

} // namespace

int sendCommands(const CommandLine& command, const QString& runtimeDirectory, const QString& program) {
    const QDeadlineTimer deadline(kStartSeconds * 1000);
    qint64 started = 0;
    for (const QByteArray& request : command.requests) {
        for (;;) {
            QString detail;
            QByteArray body;
            const auto outcome = SingleInstance::forward(runtimeDirectory, request, &detail, &body);
            if (outcome == SingleInstance::Forwarded::delivered) {
                std::fwrite(body.constData(), 1, static_cast<size_t>(body.size()), stdout);
                break;
            }
            if (outcome == SingleInstance::Forwarded::refused) {
                say(detail.startsWith(QLatin1String(CommandLine::kNotSaved))
                        ? detail
                        : QStringLiteral("the running Spacemarquee refused the command: %1").arg(detail));
                return 1;
            }
            if (!command.startsProgram) {
                say(QStringLiteral("Spacemarquee is not running"));
                return 1;
            }
            // A copy that holds the lock is starting and will listen soon; otherwise one is started.
            const bool starting = SingleInstance(runtimeDirectory).heldByLiveCopy();
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
            QThread::msleep(10);
        }
    }
    return 0;
}

} // namespace sm
