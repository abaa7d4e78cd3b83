// Measurements of the GNOME backend on a private headless GNOME Shell with the bridge from the build
// tree. Not tests: they print figures for a person to look at.
//   gnome_measure latency [switches]   from asking the shell for a switch to the panels' facts being
//                                      current at its announcement (the bus both ways and the shell)
//   gnome_measure idle [seconds]       wake-ups of the main thread while nothing happens, and its RSS
#include "platform/gnome/GnomePanels.h"
#include "platform/gnome/GnomeWindowServer.h"
#include "support/gnome/GnomeTestSession.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace sm;
using namespace sm::gnome;
using Clock = std::chrono::steady_clock;

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::unique_ptr<LabelPanel> labelHere(GnomeWindowServer& server, const QString& title) {
    auto panel = server.createLabelPanel(QUuid::createUuid());
    panel->view().present({title, QStringLiteral("Click to name"), 48.0, false, false, false});
    panel->setFrame(QRectF(QPointF(100, 500), QSizeF(260, 90)));
    panel->setAlpha(1.0);
    panel->orderFront();
    waitUntil([&] { return panel->isVisible() && panel->isOnActiveSpace(); });
    return panel;
}

int latency(const gnome::test::GnomeTestSession& session, GnomeWindowServer& server, int switches) {
    QWidget keeper; // GNOME keeps the first workspace, and makes a second, while a window is on it
    keeper.setWindowTitle(QStringLiteral("keeper"));
    keeper.show();
    if (!waitUntil([&] { return server.state().workspaces.size() >= 2; })) return 1;
    std::vector<std::unique_ptr<LabelPanel>> labels;
    for (int index : {0, 1}) {
        session.activate(index);
        waitUntil([&] { return server.state().active == index; });
        labels.push_back(labelHere(server, QString::number(index + 1)));
    }
    std::vector<double> samples;
    std::size_t expected = 0;
    int stale = 0;
    Clock::time_point asked;
    auto connection = server.activeDesktopChanged.connect([&] {
        const bool current = labels[expected]->isVisible() && labels[expected]->isOnActiveSpace() &&
                             !labels[1 - expected]->isVisible() && !labels[1 - expected]->isOnActiveSpace();
        if (!current) {
            ++stale;
            return;
        }
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
    });
    for (int i = 0; i < switches; ++i) {
        expected = static_cast<std::size_t>(i % 2 == 0 ? 0 : 1);
        const std::size_t before = samples.size();
        asked = Clock::now();
        session.activate(int(expected));
        if (!waitUntil([&] { return samples.size() > before; }, 3000)) ++stale;
    }
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return 1;
    std::printf("switches=%d measured=%zu stale-or-missing=%d median=%.3f ms p95=%.3f ms worst=%.3f ms\n",
                switches, samples.size(), stale, samples[samples.size() / 2],
                samples[samples.size() * 95 / 100], samples.back());
    return 0;
}

long statusField(const char* file, const QByteArray& key) {
    QFile status(QString::fromLatin1(file));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    long total = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.contains(key)) total += line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLong();
    return total;
}

int idle(GnomeWindowServer& server, int seconds) {
    auto label = labelHere(server, QStringLiteral("Idle"));
    waitUntil([] { return false; }, 1000);
    QEventLoop loop; // blocks in poll() like the program's own loop
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const long before = statusField("/proc/thread-self/status", "ctxt_switches");
    loop.exec();
    const long after = statusField("/proc/thread-self/status", "ctxt_switches");
    std::printf("idle %d s: %ld main-thread wake-ups (%.2f per second); RSS %ld kB (this tool: backend, one label)\n",
                seconds, after - before, static_cast<double>(after - before) / seconds,
                statusField("/proc/self/status", "VmRSS"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QString why;
    auto session = gnome::test::GnomeTestSession::start(QStringLiteral(SM_GNOME_EXTENSIONS), &why);
    if (!session) {
        std::fprintf(stderr, "no headless GNOME Shell: %s\n", qPrintable(why));
        return 77;
    }
    QApplication app(argc, argv);
    QString error;
    auto server = GnomeWindowServer::create({Logger{}, QStringLiteral(SM_PROGRAM_VERSION)}, &error);
    if (!server) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mode == QLatin1String("latency")) return latency(*session, *server, argument.isEmpty() ? 200 : argument.toInt());
    if (mode == QLatin1String("idle")) return idle(*server, argument.isEmpty() ? 10 : argument.toInt());
    std::fprintf(stderr, "usage: gnome_measure latency [switches] | idle [seconds]\n");
    return 2;
}
