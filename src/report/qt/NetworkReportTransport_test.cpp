#include "report/qt/NetworkReportTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sm;
namespace PR = sm::ProblemReporter;

namespace {

// Debian's Python serving HTTPS on 127.0.0.1 with a certificate from a CA made for this run.
struct HttpsServer {
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
    QList<QSslCertificate> ca;

    QString start() {
        process.start("/usr/bin/python3", {SM_REPORT_TEST_SERVER, dir.path()});
        if (!process.waitForReadyRead(20000))
            return "the server did not start: " + process.readAllStandardError();
        port = static_cast<quint16>(process.readLine().trimmed().toUInt());
        ca = QSslCertificate::fromPath(dir.filePath("ca.pem"));
        return port && !ca.isEmpty() ? QString() : "no port or CA";
    }
    ~HttpsServer() {
        process.closeWriteChannel(); // the server's signal to stop
        if (!process.waitForFinished(5000)) process.kill();
        process.waitForFinished(5000);
    }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path));
    }
};

struct ReportTransportTest : ::testing::Test {
    static void SetUpTestSuite() {
        server = new HttpsServer;
        error = new QString(server->start());
    }
    static void TearDownTestSuite() {
        delete server;
        delete error;
    }
    void SetUp() override {
        if (!error->isEmpty()) GTEST_SKIP() << error->toStdString();
    }

    static PR::SendResult wait(const std::optional<PR::SendResult>& got) {
        const QDeadlineTimer deadline(20000);
        while (!got && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return got.value_or(PR::SendResult::failed("<no answer>"));
    }
    static PR::SendResult send(NetworkReportTransport& transport, PR::Request request) {
        std::optional<PR::SendResult> got;
        transport.send(request, [&](PR::SendResult r) { got = r; });
        return wait(got);
    }

    static inline HttpsServer* server = nullptr;
    static inline QString* error = nullptr;
};

TEST_F(ReportTransportTest, OnlyStatus200IsSentEverythingElseIsAFailureForTheUser) {
    QTcpServer closed; // a port nobody listens on
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 refusedPort = closed.serverPort();
    closed.close();

    const struct {
        QString url; // a path on the test server, or a whole address
        bool trustTestCa;
        int timeoutMs;
        QString expected; // regular expression over SendResult::description()
    } cases[] = {
        {"/spacemarquee/diagnostics", true, 30000, "^sent$"},
        {"/status/204/x", true, 30000, R"(^failed\("HTTP 204"\)$)"},
        {"/status/500/x", true, 30000, R"(^failed\("HTTP 500"\)$)"},
        {"/redirect/x", true, 30000, R"(^failed\("HTTP 302"\)$)"},
        {"/hang/x", true, 300, R"(^failed\("the request timed out"\)$)"},
        {"/cut/x", true, 30000, R"(^failed\("(?!HTTP).+"\)$)"},
        {"/big/x", true, 30000, R"(^failed\("the server's answer was too long"\)$)"},
        {"/spacemarquee/diagnostics", false, 30000, R"(^failed\(".*(SSL|certificate).*"\)$)"},
        {QStringLiteral("https://127.0.0.1:%1/x").arg(refusedPort), true, 30000,
         R"(^failed\(".*refused.*"\)$)"},
        {QStringLiteral("http://127.0.0.1:%1/x").arg(server->port), true, 30000, R"(not a secure)"},
    };
    NetworkReportTransport trusting({server->ca});
    NetworkReportTransport plain;
    for (const auto& c : cases) {
        PR::Request request = PR::makeRequest(c.url.startsWith('/') ? server->url(c.url) : QUrl(c.url), "{}");
        request.timeout = std::chrono::milliseconds(c.timeoutMs);
        const QString got = send(c.trustTestCa ? trusting : plain, request).description();
        EXPECT_TRUE(QRegularExpression(c.expected).match(got).hasMatch())
            << c.url.toStdString() << " -> " << got.toStdString();
    }
}

TEST_F(ReportTransportTest, ServerReceivesTheRequestAsBuilt) {
    NetworkReportTransport transport({server->ca});
    const QByteArray body = R"({"kind":"diagnostics-report","note":"ü €"})";
    ASSERT_TRUE(send(transport, PR::makeRequest(server->url("/spacemarquee/diagnostics"), body)).sent);

    QFile record(server->dir.filePath("record"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = record.readAll().trimmed().split('\n');
    const QJsonObject got = QJsonDocument::fromJson(lines.last()).object();
    EXPECT_EQ(got["method"].toString(), "POST");
    EXPECT_EQ(got["path"].toString(), "/spacemarquee/diagnostics");
    EXPECT_EQ(got["body"].toString().toUtf8(), body);
    const QJsonObject headers = got["headers"].toObject();
    EXPECT_EQ(headers["content-type"].toString(), "application/json; charset=utf-8");
    EXPECT_EQ(headers["x-spacemarquee-report"].toString(), "1");
    EXPECT_EQ(headers["content-length"].toString(), QString::number(body.size()));
}

TEST_F(ReportTransportTest, CancelEndsAnExchangeThatNeverAnswers) {
    NetworkReportTransport transport({server->ca});
    std::optional<PR::SendResult> got;
    auto cancel =
        transport.send(PR::makeRequest(server->url("/hang/x"), "{}"), [&](PR::SendResult r) { got = r; });
    const QDeadlineTimer settle(300);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(got);
    cancel();
    EXPECT_EQ(wait(got), PR::SendResult::failed("cancelled"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
