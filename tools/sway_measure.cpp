// Measurements of the sway backend on a private headless sway. Not tests: they print figures or write
// pictures for a person to look at.
//   sway_measure latency [switches]     from sway's workspace event to the panels' facts being current
//   sway_measure idle [seconds]         wake-ups of the main thread while nothing happens
//   sway_measure screenshots DIR        labels on two outputs, with grim
#include "platform/linux/QtMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "platform/sway/SwayPanels.h"
#include "platform/sway/SwayWindowServer.h"
#include "support/sway/SwayTestSession.h"
#include "support/CoreRun.h"

#include "MeasureKit.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace sm;
using namespace sm::sway;
using Clock = std::chrono::steady_clock;
using measure::waitUntil;
using measure::labelHere;

void swaymsg(const sway::test::SwayTestSession& session, const QString& command) {
    session.swaymsg({command});
}

int latency(const sway::test::SwayTestSession& session, SwayWindowServer& server, int switches) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    // sway starts on the first workspace a binding names ("9" in the session's configuration), and the
    // made output takes "1": workspaces 1 and 3 go on the left, where the labels are placed.
    swaymsg(session, QStringLiteral("focus output HEADLESS-2, workspace 2, focus output HEADLESS-1"));
    for (const char* name : {"1", "3"}) {
        swaymsg(session, QStringLiteral("workspace ") + QLatin1String(name));
        waitUntil([&] { return false; }, 200);
        labels.push_back(labelHere(server, QLatin1String(name)));
    }
    std::vector<double> samples;
    std::size_t expected = 0;
    int stale = 0;
    auto connection = server.activeDesktopChanged.connect([&] {
        const bool current = labels[expected]->isVisible() && labels[expected]->isOnActiveSpace() &&
                             !labels[1 - expected]->isVisible() && !labels[1 - expected]->isOnActiveSpace();
        if (!current) {
            ++stale;
            return;
        }
        samples.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - server.lastWorkspaceEvent()).count());
    });
    for (int i = 0; i < switches; ++i) {
        expected = static_cast<std::size_t>(i % 2 == 0 ? 0 : 1);
        const std::size_t before = samples.size();
        swaymsg(session,
                QStringLiteral("workspace ") + (expected == 0 ? QStringLiteral("1") : QStringLiteral("3")));
        if (!waitUntil([&] { return samples.size() > before; }, 3000)) ++stale;
    }
    if (samples.empty()) return 1;
    const auto figures = measure::figuresOf(samples);
    std::printf("switches=%d measured=%zu stale-or-missing=%d median=%.3f ms p95=%.3f ms worst=%.3f ms\n",
                switches, samples.size(), stale, figures.median, figures.p95, figures.worst);
    return 0;
}

long contextSwitches() {
    QFile status(QStringLiteral("/proc/thread-self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    long total = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.contains("ctxt_switches")) total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return total;
}

int idle(const sway::test::SwayTestSession& session, SwayWindowServer& server, int seconds) {
    swaymsg(session, QStringLiteral("workspace 1"));
    auto label = labelHere(server, QStringLiteral("Idle"));
    waitUntil([] { return false; }, 1000);
    QEventLoop loop; // blocks in poll() like the program's own loop
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const long before = contextSwitches();
    loop.exec();
    const long after = contextSwitches();
    std::printf("idle %d s: %ld main-thread wake-ups (%.2f per second)\n", seconds, after - before,
                static_cast<double>(after - before) / seconds);
    return 0;
}

int screenshots(const sway::test::SwayTestSession& session, const std::shared_ptr<SwayWindowServer>& server,
                const QString& dir) {
    sm::test::CoreRun program(server);
    swaymsg(session, QStringLiteral("output * bg #3a6ea5 solid_color"));
    const std::pair<const char*, const char*> desks[] = {{"1", "Mail"}, {"2", "Build & test"}};
    for (const auto& [workspace, title] : desks) {
        swaymsg(session, QStringLiteral("workspace ") + QLatin1String(workspace));
        waitUntil([] { return false; }, 300);
        program.tracker->setTitleForCurrentSpace(QString::fromUtf8(title), true);
    }
    waitUntil([] { return false; }, 1500);
    int failures = 0;
    for (const char* output : {"HEADLESS-1", "HEADLESS-2"}) {
        const QString file = dir + QStringLiteral("/sway-%1.png").arg(QString::fromLatin1(output).toLower());
        failures +=
            session.run(QStringLiteral("grim"), {QStringLiteral("-o"), QLatin1String(output), file}) != 0;
        std::printf("%s\n", qPrintable(file));
    }
    return failures;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QString why;
    auto session = sway::test::SwayTestSession::start(2, &why);
    if (!session) {
        std::fprintf(stderr, "no headless sway: %s\n", qPrintable(why));
        return 77;
    }
    QApplication app(argc, argv);
    QString error;
    auto server = SwayWindowServer::create({Logger{}, {}}, &error);
    if (!server) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mode == QLatin1String("latency"))
        return latency(*session, *server, argument.isEmpty() ? 200 : argument.toInt());
    if (mode == QLatin1String("idle"))
        return idle(*session, *server, argument.isEmpty() ? 10 : argument.toInt());
    if (mode == QLatin1String("screenshots") && !argument.isEmpty())
        return screenshots(*session, server, argument);
    std::fprintf(stderr, "usage: sway_measure latency [switches] | idle [seconds] | screenshots DIR\n");
    return 2;
}
