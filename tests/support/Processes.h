#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace sm::test {

struct ProcessOutput {
    QString standardOutput;
    QString standardError;
};

// Runs a short-lived program to its end: its exit code, or -1 when it did not start, crashed or had to
// be killed after `milliseconds`.
inline int runProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                      int milliseconds = 10000, ProcessOutput* output = nullptr) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = {QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The same, for a caller that wants standard output only.
inline int runProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                      QString* output) {
    ProcessOutput out;
    const int code = runProcess(program, arguments, environment, 10000, &out);
    if (output) *output = out.standardOutput;
    return code;
}

// Starts a private session bus in `bus`: its address, empty when it did not come up.
inline QString startSessionBus(QProcess& bus) {
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                              QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    return bus.waitForReadyRead(5000) ? QString::fromUtf8(bus.readLine()).trimmed() : QString();
}

// Asks a session's server (display, compositor, bus) to end, and kills it when it does not.
inline void endProcess(std::unique_ptr<QProcess>& process, int milliseconds = 5000) {
    if (process && process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(milliseconds)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
    process.reset();
}

} // namespace sm::test
