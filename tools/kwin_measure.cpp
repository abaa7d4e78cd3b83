// Measurements of the KWin backend on a private headless KWin. Not tests: they print figures.
//   kwin_measure latency [switches]   from KWin's currentChanged signal being read to the label adopted
//   kwin_measure idle [seconds]       wake-ups of the main thread while nothing happens, and memory
#include "platform/kwin/KWinWindowServer.h"
#include "support/CoreRun.h"
#include "support/kwin/KWinTestSession.h"
#include "support/sim/MemoryDefaults.h"

#include "MeasureKit.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace sm;
using namespace sm::kwin;
using Clock = std::chrono::steady_clock;
using measure::waitUntil;

long statusField(const char* name) {
    QFile status(QStringLiteral("/proc/thread-self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    long total = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            total += line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLong();
    return total;
}

// Two named desktops; the program's core adopts each one's label after every switch. The sample ends
// when the tracker's active label is the desktop's own: in the switch's own dispatch, or on a later turn.
int latency(const sm::kwin::test::KWinTestSession& session, const std::shared_ptr<KWinWindowServer>& server,
            int switches) {
    sm::test::CoreRun run(server);
    std::vector<QUuid> tags;
    for (const int index : {0, 1}) {
        const QString id = session.desktops().value(index).first;
        session.switchTo(index);
        // A switch KWin undoes (it activates a label just mapped on the desktop left) would name the
        // wrong desktop here, and every later sample would ask for the desktop already shown.
        if (!waitUntil([&] { return server->currentDesktop() == id; })) {
            std::fprintf(stderr, "KWin did not stay on desktop %d while the labels were made (now on %s)\n",
                         index + 1, qPrintable(server->currentDesktop()));
            run.quit();
            return 1;
        }
        run.tracker->setTitleForCurrentSpace(QStringLiteral("Desk %1").arg(index + 1), true);
        waitUntil([&] { return run.tracker->currentActiveTagId().has_value(); });
        tags.push_back(*run.tracker->currentActiveTagId());
    }
    if (tags[0] == tags[1] || server->currentDesktop() != session.desktops().value(1).first) {
        std::fprintf(stderr, "KWin switched back while the labels were made: both names went to one desktop\n");
        run.quit();
        return 1;
    }
    std::vector<double> samples;
    std::size_t expected = 0;
    int missing = 0;
    bool waiting = false;
    const auto sample = [&] {
        samples.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - server->lastSwitchSignal()).count());
        waiting = false;
    };
    std::function<void()> check = [&] {
        if (!waiting) return;
        if (run.tracker->currentActiveTagId() == tags[expected])
            sample();
        else
            QTimer::singleShot(0, check);
    };
    auto connection = server->activeDesktopChanged.connect([&] {
        waiting = true;
        check();
    });
    for (int i = 0; i < switches; ++i) {
        expected = static_cast<std::size_t>(i % 2 == 0 ? 0 : 1);
        const std::size_t before = samples.size();
        session.switchTo(static_cast<int>(expected));
        if (!waitUntil([&] { return samples.size() > before; }, 3000)) ++missing;
    }
    run.quit();
    if (samples.empty()) return 1;
    const auto figures = measure::figuresOf(samples);
    std::printf("switches=%d adopted=%zu missing=%d median=%.3f ms p95=%.3f ms worst=%.3f ms\n", switches,
                samples.size(), missing, figures.median, figures.p95, figures.worst);
    return 0;
}

int idle(const std::shared_ptr<KWinWindowServer>& server, int seconds) {
    sm::test::CoreRun run(server);
    run.tracker->setTitleForCurrentSpace(QStringLiteral("Idle"), true);
    waitUntil([] { return false; }, 2000); // the label shown and settled
    QEventLoop loop;                       // blocks in poll() like the program's own loop
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const long before = statusField("voluntary_ctxt_switches") + statusField("nonvoluntary_ctxt_switches");
    loop.exec();
    const long after = statusField("voluntary_ctxt_switches") + statusField("nonvoluntary_ctxt_switches");
    QFile status(QStringLiteral("/proc/self/status"));
    long rss = -1;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) rss = line.mid(6).trimmed().split(' ').first().toLong();
    // The closing timer's own wake-up is one of them.
    std::printf("idle %d s with a label shown: %ld main-thread wake-ups; RSS %ld KiB\n", seconds,
                after - before, rss);
    run.quit();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QString why;
    auto session = sm::kwin::test::KWinTestSession::start(3, &why);
    if (!session) {
        std::fprintf(stderr, "no headless KWin: %s\n", qPrintable(why));
        return 77;
    }
    QApplication app(argc, argv);
    QTemporaryDir scripts;
    QString error;
    auto server = KWinWindowServer::create({Logger{}, scripts.path()}, &error);
    if (!server) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mode == QLatin1String("latency"))
        return latency(*session, server, argument.isEmpty() ? 200 : argument.toInt());
    if (mode == QLatin1String("idle")) return idle(server, argument.isEmpty() ? 10 : argument.toInt());
    std::fprintf(stderr, "usage: kwin_measure latency [switches] | idle [seconds]\n");
    return 2;
}
