// Time from "Preferences…" to the window on screen, cold (first show in the process) and warm (shown
// again after closing), and the resident memory the window adds. Run on an X server (Xvfb is fine):
//   preferences_timing [--warm-runs N]
#include "DemoPreferences.h"
#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/QtWindowPresenter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace sm;

namespace {

double residentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const auto fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * ::sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0) : 0;
}

// Milliseconds until the window is exposed (mapped and drawn by the server).
double showAndWait(QtWindowPresenter& presenter, const std::shared_ptr<PreferencesViewModel>& model) {
    QElapsedTimer timer;
    timer.start();
    presenter.showPreferences(model);
    QWidget* w = presenter.preferencesWindow();
    while (!(w->windowHandle() && w->windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return timer.nsecsElapsed() / 1e6;
}

void closeAndSettle(QtWindowPresenter& presenter) {
    presenter.preferencesWindow()->close();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int warmRuns =
        std::max(1, app.arguments().value(app.arguments().indexOf("--warm-runs") + 1).toInt());
    // As in the program: the tray menu exists and the labels have drawn their text (fonts are loaded)
    // before the window is first asked for.
    QMenu tray;
    tray.addAction(QStringLiteral("Preferences…"));
    QLabel label(QStringLiteral("Mail"));
    label.adjustSize();
    label.grab();
    tools::DemoPreferences demo;
    QtWindowPresenter presenter;
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();

    const double before = residentMiB();
    if (app.arguments().contains(QStringLiteral("--phases"))) {
        // Where the first show's time goes: building the widgets, then mapping and painting.
        QElapsedTimer timer;
        timer.start();
        PreferencesWindow built(demo.model);
        const double construct = timer.nsecsElapsed() / 1e6;
        const double constructed = residentMiB();
        built.show();
        while (!(built.windowHandle() && built.windowHandle()->isExposed()) && timer.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::printf("construct=%.1f ms (+%.1f MiB) shown=%.1f ms (+%.1f MiB)\n", construct,
                    constructed - before, timer.nsecsElapsed() / 1e6, residentMiB() - before);
        return 0;
    }
    const double cold = showAndWait(presenter, demo.model);
    const double open = residentMiB();
    closeAndSettle(presenter);
    const double closed = residentMiB();
    std::vector<double> warm;
    for (int i = 0; i < warmRuns; ++i) {
        warm.push_back(showAndWait(presenter, demo.model));
        closeAndSettle(presenter);
    }
    std::sort(warm.begin(), warm.end());
    std::printf("platform=%s cold=%.1f ms warm median=%.1f ms (min %.1f, max %.1f, %d runs)\n",
                qPrintable(QGuiApplication::platformName()), cold, warm[warm.size() / 2], warm.front(),
                warm.back(), warmRuns);
    std::printf("resident: before=%.1f MiB open=%.1f MiB (+%.1f) after close=%.1f MiB (+%.1f)\n", before,
                open, open - before, closed, closed - before);
    return 0;
}
