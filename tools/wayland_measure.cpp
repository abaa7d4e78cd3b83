// Measurements of the generic Wayland backend. Not tests: they print figures or write pictures for a
// person to look at.
//   wayland_measure latency [switches]   on the test compositor: from the compositor's switch (its `done`
//                                        sent) to the new label's buffer committed and the old one gone
//   wayland_measure frame [frames]       what one label frame costs: drawing the window into an image
//                                        and copying it into shared memory
//   wayland_measure idle [seconds]       wake-ups of the main thread while nothing happens
//   wayland_measure sway-shot DIR        the label half (layer surfaces drawn by the label window) on a
//                                        real headless sway, with grim
#include "platform/wayland/LayerSurface.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandPanels.h"
#include "platform/wayland/WaylandWindowServer.h"
#include "platform/widgets/LabelWindow.h"
#include "support/sway/SwayTestSession.h"
#include "support/wayland/TestCompositor.h"

#include "MeasureKit.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace sm;
using namespace sm::wayland;
using Clock = std::chrono::steady_clock;
using measure::waitUntil;
using measure::labelHere;
using sm::test::TestCompositor;

void report(const char* what, std::vector<double> samples) {
    if (samples.empty()) return;
    const auto figures = measure::figuresOf(samples);
    std::printf("%s: n=%zu median=%.3f ms p95=%.3f ms worst=%.3f ms\n", what, samples.size(), figures.median,
                figures.p95, figures.worst);
}

int latency(int switches) {
    TestCompositor compositor;
    const int one = compositor.addWorkspace(QStringLiteral("DP-1"), QStringLiteral("1"));
    const int two = compositor.addWorkspace(QStringLiteral("DP-1"), QStringLiteral("2"));
    QString error;
    auto server = WaylandWindowServer::create({Logger{}, compositor.socketName(), nullptr, nullptr}, &error);
    if (!server) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::vector<std::unique_ptr<LabelPanel>> labels;
    for (const int w : {one, two}) {
        compositor.activateWorkspace(w);
        waitUntil([&] { return server->activePlace()->desktopName == QString::number(w); });
        labels.push_back(labelHere(*server, QString::number(w)));
    }
    std::vector<double> shown;
    int missed = 0;
    for (int i = 0; i < switches; ++i) {
        const int target = i % 2 == 0 ? one : two;
        const qsizetype attachedBefore = compositor.count(QStringLiteral("attach"));
        const auto start = Clock::now();
        compositor.activateWorkspace(target);
        // Shown: a buffer more, on a surface mapped on the output, and only one mapped there.
        const bool ok = waitUntil(
            [&] {
                if (compositor.count(QStringLiteral("attach")) <= attachedBefore) return false;
                int mapped = 0;
                for (const auto& s : compositor.layerSurfaces())
                    mapped += s.mapped;
                return mapped == 1;
            },
            3000);
        if (!ok)
            ++missed;
        else
            shown.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("switches=%d missed=%d\n", switches, missed);
    report("switch -> label shown", shown);
    return missed == 0 ? 0 : 1;
}

int frame(int frames) {
    TestCompositor compositor;
    compositor.addWorkspace(QStringLiteral("DP-1"), QStringLiteral("1"));
    QString error;
    auto server = WaylandWindowServer::create({Logger{}, compositor.socketName(), nullptr, nullptr}, &error);
    if (!server) return 1;
    auto label = labelHere(*server, QStringLiteral("Build & test"));
    auto* panel = static_cast<WaylandLabelPanel*>(label.get());
    std::vector<double> draw, total;
    for (int i = 0; i < frames; ++i) {
        const auto start = Clock::now();
        const QImage image = panel->state().draw(QSize(260, 90), 1.0 - (i % 10) / 20.0);
        draw.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // A fade step as the panel makes it: draw, copy into a fresh shared-memory buffer, commit.
        label->setAlpha(1.0 - (i % 10) / 20.0);
        total.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count() -
                        draw.back());
        QCoreApplication::processEvents();
    }
    report("draw the label window into an image (260x90)", draw);
    report("one frame to the compositor (draw, shared memory, commit)", total);
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

int idle(int seconds) {
    TestCompositor compositor;
    compositor.addWorkspace(QStringLiteral("DP-1"), QStringLiteral("1"));
    QString error;
    auto server = WaylandWindowServer::create({Logger{}, compositor.socketName(), nullptr, nullptr}, &error);
    if (!server) return 1;
    auto label = labelHere(*server, QStringLiteral("Idle"));
    waitUntil([] { return false; }, 500);
    QEventLoop loop; // blocks in poll() like the program's own loop
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const long before = contextSwitches();
    loop.exec();
    const long after = contextSwitches();
    std::printf("idle %d s: %ld main-thread wake-ups (%.2f per second)\n", seconds, after - before,
                static_cast<double>(after - before) / seconds);
    return 0;
}

// sway has the layer shell but (before 1.12) not ext-workspace-v1: the label half alone, one label
// surface per output, as the backend makes them.
int swayShot(const QString& dir) {
    QString why;
    auto session = sm::sway::test::SwayTestSession::start(2, &why);
    if (!session) {
        std::fprintf(stderr, "no headless sway: %s\n", qPrintable(why));
        return 77;
    }
    session->swaymsg({QStringLiteral("output * bg #3a6ea5 solid_color")});
    auto connection = WaylandConnection::open({}, Logger{}, &why);
    if (!connection || !connection->layerShell()) {
        std::fprintf(stderr, "sway: %s\n", qPrintable(connection ? QStringLiteral("no layer shell") : why));
        return 1;
    }
    std::vector<std::unique_ptr<LayerSurface>> surfaces;
    std::vector<std::unique_ptr<widgets::LabelWindow>> windows;
    InputHandler none;
    const char* titles[] = {"Mail", "Build & test"};
    int index = 0;
    for (const auto& output : connection->outputs()) {
        auto window = std::make_unique<widgets::LabelWindow>();
        window->present({QString::fromUtf8(titles[index % 2]), QStringLiteral("Click to name"), 64.0,
                         index % 2 == 1, false, true});
        const QSize size = window->measuredSize().value_or(QSizeF(300, 100)).toSize();
        window->resize(size);
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        auto surface =
            std::make_unique<LayerSurface>(*connection, output, QRect(QPoint(80, 500), size), &none);
        surface->show(image);
        surfaces.push_back(std::move(surface));
        windows.push_back(std::move(window));
        ++index;
    }
    waitUntil([&] {
        return std::all_of(surfaces.begin(), surfaces.end(), [](const auto& s) { return s->isMapped(); });
    });
    waitUntil([] { return false; }, 500);
    int failures = 0;
    for (const auto& output : connection->outputs()) {
        const QString file = dir + QStringLiteral("/wayland-layer-%1.png").arg(output.name.toLower());
        failures += session->run(QStringLiteral("grim"), {QStringLiteral("-o"), output.name, file}) != 0;
        std::printf("%s\n", qPrintable(file));
    }
    return failures;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString argument = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    // The label windows draw off screen everywhere: what shows is the layer surfaces.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (mode == QLatin1String("latency")) return latency(argument.isEmpty() ? 200 : argument.toInt());
    if (mode == QLatin1String("frame")) return frame(argument.isEmpty() ? 200 : argument.toInt());
    if (mode == QLatin1String("idle")) return idle(argument.isEmpty() ? 10 : argument.toInt());
    if (mode == QLatin1String("sway-shot") && !argument.isEmpty()) return swayShot(argument);
    std::fprintf(
        stderr,
        "usage: wayland_measure latency [switches] | frame [frames] | idle [seconds] | sway-shot DIR\n");
    return 2;
}
