#include "report/ReportSubmission.h"

#include "logging/TraceFormat.h"

namespace sm {

QByteArray ReportSubmission::body(const QString& email, const QString& note, bool includeLog) const {
    ProblemReporter::ReportFields fields;
    fields.version = options_.version;
    fields.build = options_.build;
    fields.log = includeLog && options_.traceLogFiles ? ProblemReporter::collectLog(options_.traceLogFiles())
                                                      : QString();
    fields.osVersion = options_.osVersion;
    fields.unixMilliseconds =
        options_.clock ? ProblemReporter::unixMillisecondsFrom(unixSecondsFromDate(options_.clock->now()))
                       : 0;
    fields.note = note;
    fields.email = email;
    return ProblemReporter::makeReportBody(fields);
}

ReportSubmission::Cancel ReportSubmission::send(const QString& email, const QString& note, bool includeLog,
                                                Completion done) const {
    const QByteArray document = body(email, note, includeLog);
    SM_TRACE(options_.logger, QStringLiteral("problemReport SEND log=%1 bytes=%2")
                                  .arg(tracefmt::boolean(includeLog))
                                  .arg(document.size()));
    auto finish = [logger = options_.logger, done = std::move(done)](const SendResult& result) {
        SM_TRACE(logger, QStringLiteral("problemReport RESULT ") + result.description());
        if (done) done(result);
    };
    if (!options_.transport) {
        finish(SendResult::failed(QStringLiteral("sending is not available in this build")));
        return [] {};
    }
    return options_.transport(ProblemReporter::makeRequest(options_.endpoint, document), std::move(finish));
}

bool ReportSubmission::save(const QString& path, const QString& email, const QString& note, bool includeLog,
                            QString* error) const {
    const QByteArray document = body(email, note, includeLog);
    const bool saved = ProblemReporter::saveReport(path, document, error);
    SM_TRACE(options_.logger, QStringLiteral("problemReport SAVE log=%1 bytes=%2 ok=%3")
                                  .arg(tracefmt::boolean(includeLog))
                                  .arg(document.size())
                                  .arg(tracefmt::boolean(saved)));
    return saved;
}

} // namespace sm
