#pragma once

#include "report/ReportSubmission.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QThread>

namespace sm {

// Posts a problem report over HTTPS from a worker thread that owns its own QNetworkAccessManager, so
// nothing the exchange does can stall the labels. Certificates are verified as Qt does by default;
// a redirect is not followed (the report goes to the configured host or nowhere). Only status 200
// counts as sent.
class NetworkReportTransport final : public QObject {
public:
    struct Options {
        // Trusted in addition to the system's authorities (tests trust their own CA this way).
        QList<QSslCertificate> extraCaCertificates;
        // A longer answer is abandoned: the status is all the program needs from it.
        qint64 maxResponseBytes = 1 << 20;
    };

    NetworkReportTransport();
    explicit NetworkReportTransport(Options options);
    ~NetworkReportTransport() override;

    // `done` is called once, on this object's thread, unless this object is destroyed first.
    ReportSubmission::Cancel send(const ProblemReporter::Request& request, ReportSubmission::Completion done);
    // A ReportSubmission::Transport bound to this object; does nothing once it is gone.
    ReportSubmission::Transport transport();

private:
    class Worker;

    Options options_;
    QThread thread_;
    Worker* worker_ = nullptr; // lives on thread_, deleted when it finishes
    quint64 nextId_ = 1;
};

} // namespace sm
