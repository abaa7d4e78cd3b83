#pragma once

#include "logging/Logger.h"
#include "report/ProblemReporter.h"
#include "platform/MainQueue.h"

#include <functional>
#include <memory>

namespace sm {

// What the report window's Send and Save do: gather the log and the program's facts, build the
// document, trace, and hand the request to the transport. Runs on the main thread; only the
// transport's exchange leaves it.
class ReportSubmission {
public:
    using SendResult = ProblemReporter::SendResult;
    using Completion = std::function<void(SendResult)>;
    using Cancel = std::function<void()>;
    // Performs the exchange off the main thread and calls the completion exactly once, back on the
    // main thread, also after a cancel (with a failure). Returns what cancels the exchange.
    using Transport = std::function<Cancel(const ProblemReporter::Request&, Completion)>;

    struct Options {
        QString version;
        QString build;
        QString osVersion; // the operating system's human-readable name and version
        QUrl endpoint;
        std::function<QStringList()> traceLogFiles;
        std::shared_ptr<const Clock> clock;
        Logger logger; // the app logger
        Transport transport;
    };

    explicit ReportSubmission(Options options) : options_(std::move(options)) {}

    // False when the build names no real endpoint: its host is under the reserved "example" name,
    // which never resolves, so a send could only fail.
    bool canSend() const {
        const QString host = options_.endpoint.host();
        return !host.isEmpty() && host != QLatin1String("example") && !host.endsWith(QLatin1String(".example"));
    }

    QByteArray body(const QString& email, const QString& note, bool includeLog) const;
    // The window's onSend. `done` receives the result on the main thread.
    Cancel send(const QString& email, const QString& note, bool includeLog, Completion done) const;
    // The window's Save: the same document, to a file only the user can read.
    bool save(const QString& path, const QString& email, const QString& note, bool includeLog,
              QString* error) const;

private:
    Options options_;
};

} // namespace sm
