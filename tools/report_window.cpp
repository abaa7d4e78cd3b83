// The problem report window, rendered and measured off screen.
//   report_window screenshots DIR   writes report-{idle,sending,failed,saved,sent}.png into DIR
//   report_window measure           body size and build time with 1.5 MB of trace files, and the
//                                   resident memory the window adds
#include "report/qt/NetworkReportTransport.h"
#include "report/qt/ReportProblemWindowController.h"
#include "platform/linux/QtMainQueue.h"
#include "support/sim/ManualMainQueue.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace sm;
using ProblemReporter::SendResult;

namespace {

// A configured endpoint (the fake transport answers): under the default .example host the window
// offers only saving.
const QUrl kEndpoint("https://spacemarquee.test/spacemarquee/diagnostics");
const QUrl kSupport("https://spacemarquee.example/spacemarquee/support/");

long residentKiB() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

QStringList writeTraceFiles(const QString& dir) {
    // A current file and two rotated ones, 1.5 MB together, in the trace log's own line format.
    const QByteArray line =
        "14:03:07.412 tracker ADOPT tag=1A2B3C4D reason=present screen=0 'Mail — Inbox'\n";
    QStringList files;
    for (const auto& [name, bytes] : {std::pair{"spacemarquee-trace.log", 900'000},
                                      std::pair{"spacemarquee-trace-20261206-010000.log", 400'000},
                                      std::pair{"spacemarquee-trace-20261205-010000.log", 200'000}}) {
        QFile f(QDir(dir).filePath(QString::fromLatin1(name)));
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(line.repeated(bytes / line.size()));
        files << f.fileName();
    }
    return files;
}

int screenshots(const QString& out) {
    QDir().mkpath(out);
    auto queue = std::make_shared<ManualMainQueue>();
    ReportSubmission::Completion pending;
    auto submission = std::make_shared<ReportSubmission>(ReportSubmission::Options{
        "0.1.0",
        "0.1.0",
        QSysInfo::prettyProductName(),
        kEndpoint,
        [] { return QStringList{"present"}; },
        queue,
        {},
        [&pending](const ProblemReporter::Request&, ReportSubmission::Completion done) {
            pending = std::move(done);
            return ReportSubmission::Cancel([] {});
        }});
    QTemporaryDir saves;
    const QString savePath = saves.filePath("spacemarquee-report.json");
    ReportProblemWindowController controller({submission,
                                              [] { return QStringList{"present"}; },
                                              queue,
                                              {},
                                              kSupport,
                                              [savePath](QWidget*, const QString&) { return savePath; }});
    controller.show();
    QWidget* window = controller.window();
    auto snap = [&](const char* name) {
        QApplication::processEvents();
        const QString path = QDir(out).filePath(QStringLiteral("report-%1.png").arg(QLatin1String(name)));
        const bool ok = window->grab().save(path);
        std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
        return ok;
    };
    bool ok = snap("idle");
    window->findChild<QLineEdit*>("email")->setText("ada@example.org");
    window->findChild<QPlainTextEdit*>("note")->setPlainText(
        "After waking from sleep the label of my second desktop showed \"Mail\" on the first one.");
    window->findChild<QPushButton*>("send")->click();
    ok = snap("sending") && ok;
    pending(SendResult::failed("HTTP 503"));
    ok = snap("failed") && ok;
    // On a real display, keep the window up a moment so its frame can be photographed too.
    if (const int hold = qEnvironmentVariableIntValue("REPORT_WINDOW_HOLD_MS"); hold > 0) {
        QTimer::singleShot(hold, qApp, &QCoreApplication::quit);
        QApplication::exec();
    }
    window->findChild<QPushButton*>("save")->click();
    ok = snap("saved") && ok;
    window->findChild<QPushButton*>("send")->click();
    pending(SendResult::ok());
    ok = snap("sent") && ok;
    return ok ? 0 : 1;
}

int measure() {
    QTemporaryDir dir;
    const QStringList files = writeTraceFiles(dir.path());
    qint64 total = 0;
    for (const QString& f : files)
        total += QFileInfo(f).size();
    auto queue = std::make_shared<QtMainQueue>();
    ReportSubmission submission({"0.1.0",
                                 "0.1.0",
                                 QSysInfo::prettyProductName(),
                                 kEndpoint,
                                 [files] { return files; },
                                 queue,
                                 {},
                                 {}});
    constexpr int runs = 20;
    QByteArray body;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        body = submission.body("ada@example.org", "The label moved.", true);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6 / runs;
    std::printf(
        "trace files: %lld bytes in %lld files\nreport body: %lld bytes, built in %.2f ms (mean of %d)\n",
        static_cast<long long>(total), static_cast<long long>(files.size()),
        static_cast<long long>(body.size()), ms, runs);
    std::printf("os: %s\n", qPrintable(QSysInfo::prettyProductName()));

    // The running program already has the style and fonts loaded for its tray menu and labels; a
    // small window shown first keeps their one-time cost out of the figure.
    const long bare = residentKiB();
    {
        QDialog warm;
        auto* edit = new QLineEdit(&warm);
        new QPushButton(QStringLiteral("OK"), &warm);
        edit->setText(QStringLiteral("warm"));
        warm.show();
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
    }
    const long before = residentKiB();
    std::printf("resident memory: %ld KiB with no window, %ld KiB after a first small window\n", bare,
                before);
    {
        auto shared =
            std::make_shared<ReportSubmission>(ReportSubmission::Options{"0.1.0",
                                                                         "0.1.0",
                                                                         QSysInfo::prettyProductName(),
                                                                         kEndpoint,
                                                                         [files] { return files; },
                                                                         queue,
                                                                         {},
                                                                         {}});
        ReportProblemWindowController controller(
            {shared, [files] { return files; }, queue, {}, kSupport, {}});
        controller.show();
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        const long shown = residentKiB();
        std::printf("resident memory: %ld KiB before the report window, %ld KiB with it shown (+%ld KiB)\n",
                    before, shown, shown - before);
        for (int i = 0; i < 5; ++i)
            controller.show(); // each showing replaces the view
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        std::printf("after five more showings: %ld KiB\n", residentKiB());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "screenshots") return screenshots(args[2]);
    if (args.size() == 2 && args[1] == "measure") return measure();
    std::fprintf(stderr, "usage: report_window screenshots DIR | report_window measure\n");
    return 2;
}
