// Measurements of the GNOME backend on a private headless GNOME Shell with the bridge from the build
// tree. Not tests: they print figures for a person to look at.
//   gnome_measure latency [switches]   from asking the shell for a switch to the panels' facts being
//                                      current at its announcement (the bus both ways and the shell)
//   gnome_measure idle [seconds]       wake-ups of the main thread while nothing happens, and its RSS
//   gnome_measure xwayland [switches]  the built program on the shell's Xwayland with the bridge off:
//                                      what the X11 backend sees there, and switches by wmctrl from the
//                                      command's start to the tracker's verdict
#include "platform/gnome/GnomePanels.h"
#include "platform/gnome/GnomeWindowServer.h"
#include "support/gnome/GnomeTestSession.h"

#include "platform/linux/FileDefaults.h"

#include "MeasureKit.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace sm;
using namespace sm::gnome;
using Clock = std::chrono::steady_clock;
using measure::waitUntil;
using measure::labelHere;

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
    if (samples.empty()) return 1;
    const auto figures = measure::figuresOf(samples);
    std::printf("switches=%d measured=%zu stale-or-missing=%d median=%.3f ms p95=%.3f ms worst=%.3f ms\n",
                switches, samples.size(), stale, figures.median, figures.p95, figures.worst);
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

QString rootProperty(const gnome::test::GnomeTestSession& session, const QString& name) {
    QString out;
    session.run(QStringLiteral("xprop"), {QStringLiteral("-root"), name}, &out);
    return out.trimmed();
}

int xwayland(const gnome::test::GnomeTestSession& session, int switches) {
    QProcessEnvironment env = session.environment();
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    const QString home = env.value(QStringLiteral("HOME"));
    FileDefaults(env.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/spacemarquee"))
        .setValue(QStringLiteral("Spacemarquee.VerboseTracing"), true);
    QFile traceFile(env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/spacemarquee/spacemarquee-trace.log"));
    const auto trace = [&] {
        traceFile.close();
        return traceFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(traceFile.readAll()) : QString();
    };
    std::printf("before the program: %s; %s\n",
                qPrintable(rootProperty(session, QStringLiteral("_NET_NUMBER_OF_DESKTOPS"))),
                qPrintable(rootProperty(session, QStringLiteral("_NET_CURRENT_DESKTOP"))));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setStandardErrorFile(home + QStringLiteral("/program.log"));
    program.start(QStringLiteral(SM_PROGRAM), {});
    if (!waitUntil([&] { return trace().contains(QLatin1String("createPanel id=")); }, 20000)) {
        std::fprintf(stderr, "the program made no label; its log: %s/program.log\n", qPrintable(home));
        return 1;
    }
    const auto wmctrl = [&](int desktop) {
        return session.run(QStringLiteral("wmctrl"), {QStringLiteral("-s"), QString::number(desktop)}) == 0;
    };
    static const QRegularExpression verdict(QStringLiteral("resolveFinal verdict=resolved\\((\\S+)\\)[^\\n]*input=on=\\[([^\\]]*)\\]"));
    const auto verdicts = [&] {
        QStringList out;
        for (auto it = verdict.globalMatch(trace()); it.hasNext();) {
            const auto m = it.next();
            out << m.captured(1).left(8) + QLatin1Char(' ') + m.captured(2);
        }
        return out;
    };
    // The second desktop's label is made by the new-desktop time-out on its first visit.
    wmctrl(1);
    if (!waitUntil([&] { return trace().count(QLatin1String("createPanel id=")) >= 2; }, 20000)) {
        std::fprintf(stderr, "no label on the second desktop\n");
        return 1;
    }
    // Labels in the order they were made: the first desktop's, then the second's.
    QStringList labels;
    static const QRegularExpression created(QStringLiteral("createPanel id=(\\S+)"));
    for (auto it = created.globalMatch(trace()); it.hasNext();)
        labels << it.next().captured(1).left(8);
    std::vector<double> samples;
    int wrong = 0, visibleElsewhere = 0;
    for (int i = 0; i < switches; ++i) {
        const int desktop = i % 2 == 0 ? 0 : 1;
        const qsizetype before = verdicts().size();
        const auto asked = Clock::now();
        wmctrl(desktop);
        if (!waitUntil([&] { return verdicts().size() > before; }, 5000)) {
            ++wrong;
            continue;
        }
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
        const QString v = verdicts().constLast();
        if (!v.startsWith(labels.value(desktop))) ++wrong;
        // The label of the desktop left behind, as the X11 backend sees it: V without A.
        if (v.contains(QLatin1String(":V-"))) ++visibleElsewhere;
    }
    const auto figures = measure::figuresOf(samples);
    std::printf("after: %s; labels made: %lld\n",
                qPrintable(rootProperty(session, QStringLiteral("_NET_NUMBER_OF_DESKTOPS"))),
                static_cast<long long>(trace().count(QLatin1String("createPanel id="))));
    if (!samples.empty())
        std::printf("switches=%d resolved=%zu wrong-or-missing=%d other-label-counted-visible=%d "
                    "median=%.1f ms p95=%.1f ms worst=%.1f ms (from wmctrl's start)\n",
                    switches, samples.size(), wrong, visibleElsewhere, figures.median, figures.p95,
                    figures.worst);
    program.terminate();
    program.waitForFinished(10000);
    return samples.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QString why;
    if (mode == QLatin1String("xwayland")) {
        QCoreApplication app(argc, argv);
        auto session = gnome::test::GnomeTestSession::start(QStringLiteral(SM_GNOME_EXTENSIONS), &why,
                                                            {.bridgeEnabled = false, .xwayland = true});
        if (!session) {
            std::fprintf(stderr, "no headless GNOME Shell with Xwayland: %s\n", qPrintable(why));
            return 77;
        }
        return xwayland(*session, argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100);
    }
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
    std::fprintf(stderr, "usage: gnome_measure latency [switches] | idle [seconds] | xwayland [switches]\n");
    return 2;
}
