#include "report/qt/NetworkReportTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>

#include <map>

namespace sm {

using ProblemReporter::SendResult;

namespace {

bool isTransportError(QNetworkReply::NetworkError error) {
    // Qt also reports 4xx/5xx answers as errors; those are answers, judged by their status below.
    const int code = error;
    return (code >= 1 && code <= 199) || (code >= 301 && code <= 399);
}

} // namespace

class NetworkReportTransport::Worker final : public QObject {
public:
    using Deliver = std::function<void(SendResult)>;

    explicit Worker(Options options) : options_(std::move(options)) {}

    void start(quint64 id, const ProblemReporter::Request& request, Deliver deliver) {
        if (request.url.scheme() != QLatin1String("https") || request.url.host().isEmpty()) {
            deliver(SendResult::failed(QStringLiteral("the report address is not a secure (https) address")));
            return;
        }
        if (!manager_) manager_ = new QNetworkAccessManager(this);
        QNetworkRequest out(request.url);
        for (const auto& [name, value] : request.headers)
            out.setRawHeader(name, value);
        out.setTransferTimeout(static_cast<int>(request.timeout.count()));
        out.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (!options_.extraCaCertificates.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificates(options_.extraCaCertificates);
            out.setSslConfiguration(tls);
        }
        QNetworkReply* reply = manager_->sendCustomRequest(out, request.method, request.body);
        exchanges_[id] = Exchange{reply, false, false, 0};
        // The answer's body is not needed: drop it as it arrives so a talkative server costs nothing.
        connect(reply, &QNetworkReply::readyRead, this, [this, id] {
            Exchange& exchange = exchanges_.at(id);
            exchange.received += exchange.reply->readAll().size();
            if (exchange.received > options_.maxResponseBytes && !exchange.tooLong) {
                exchange.tooLong = true;
                exchange.reply->abort();
            }
        });
        connect(reply, &QNetworkReply::finished, this, [this, id, deliver = std::move(deliver)] {
            const Exchange exchange = exchanges_.at(id);
            exchanges_.erase(id);
            exchange.reply->deleteLater();
            deliver(outcome(exchange));
        });
    }

    void cancel(quint64 id) {
        const auto it = exchanges_.find(id);
        if (it == exchanges_.end()) return;
        it->second.cancelled = true;
        it->second.reply->abort();
    }

private:
    struct Exchange {
        QNetworkReply* reply;
        bool cancelled;
        bool tooLong;
        qint64 received;
    };

    static SendResult outcome(const Exchange& exchange) {
        const QNetworkReply::NetworkError error = exchange.reply->error();
        if (exchange.cancelled) return SendResult::failed(QStringLiteral("cancelled"));
        if (exchange.tooLong) return SendResult::failed(QStringLiteral("the server's answer was too long"));
        // Qt ends a request whose transfer time-out expired as if it had been cancelled.
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return SendResult::failed(QStringLiteral("the request timed out"));
        if (isTransportError(error)) return SendResult::failed(exchange.reply->errorString());
        const QVariant status = exchange.reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int code = status.isValid() ? status.toInt() : -1;
        return code == 200 ? SendResult::ok() : SendResult::failed(QStringLiteral("HTTP %1").arg(code));
    }

    Options options_;
    QNetworkAccessManager* manager_ = nullptr;
    std::map<quint64, Exchange> exchanges_;
};

NetworkReportTransport::NetworkReportTransport() : NetworkReportTransport(Options{}) {}

NetworkReportTransport::NetworkReportTransport(Options options) : options_(std::move(options)) {
    thread_.setObjectName(QStringLiteral("problem report"));
    worker_ = new Worker(options_);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

NetworkReportTransport::~NetworkReportTransport() {
    thread_.quit();
    thread_.wait();
}

ReportSubmission::Cancel NetworkReportTransport::send(const ProblemReporter::Request& request,
                                                      ReportSubmission::Completion done) {
    const quint64 id = nextId_++;
    // Results cross back to this object's thread; once it is gone they are dropped.
    auto deliver = [self = QPointer<NetworkReportTransport>(this),
                    done = std::move(done)](SendResult result) {
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(), [done, result] { done(result); }, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, id, request, deliver] { worker->start(id, request, deliver); },
        Qt::QueuedConnection);
    return [self = QPointer<NetworkReportTransport>(this), id] {
        if (!self) return;
        QMetaObject::invokeMethod(
            self->worker_, [worker = self->worker_, id] { worker->cancel(id); }, Qt::QueuedConnection);
    };
}

ReportSubmission::Transport NetworkReportTransport::transport() {
    return [self = QPointer<NetworkReportTransport>(this)](const ProblemReporter::Request& request,
                                                           ReportSubmission::Completion done) {
        return self ? self->send(request, std::move(done)) : ReportSubmission::Cancel([] {});
    };
}

} // namespace sm
