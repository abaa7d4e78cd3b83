#include "app/BackendChoice.h"

namespace sm {

BackendChoice chooseBackend(const BackendFacts& facts) {
    const QString& forced = facts.forced;
    const auto asked = [&](const char* name) { return forced.isEmpty() || forced == QLatin1String(name); };
    BackendChoice choice;
    const auto chosen = [&choice](Backend backend) {
        choice.backend = backend;
        choice.problem.clear();
        return choice;
    };

    // Forced, KWin is taken on trust: its own start says what is wrong.
    if (forced == QLatin1String("kwin") || (forced.isEmpty() && facts.kwin().isEmpty())) return chosen(Backend::kwin);
    const QString swayProblem = asked("sway") ? facts.sway() : QStringLiteral("not asked for");
    if (swayProblem.isEmpty()) return chosen(Backend::sway);

    // GNOME under X11 is served by the X11 backend, which sees everything there.
    bool gnome = facts.gnomeDesktop;
    QString problem;
    if ((forced.isEmpty() && facts.onWayland) || forced == QLatin1String("gnome")) {
        problem = facts.gnome();
        if (problem.isEmpty()) return chosen(Backend::gnome);
        choice.bridgeMissing = gnome && facts.onWayland;
        if (!gnome && forced.isEmpty()) problem.clear();
    }
    // Without the bridge, or when asked for X11, GNOME's Wayland session still shows its workspaces to
    // X11 clients on its Xwayland.
    if (gnome && facts.onWayland && (forced.isEmpty() || forced == QLatin1String("x11"))) {
        const QString xwaylandProblem = facts.xwayland();
        if (xwaylandProblem.isEmpty()) {
            choice.xwayland = true;
            return chosen(Backend::x11);
        }
        if (forced == QLatin1String("x11")) problem = xwaylandProblem;
    }
    // Any other compositor through ext-workspace-v1 and the layer shell. One that answers without them is
    // named with what it lacks when nothing else serves.
    if ((forced.isEmpty() && facts.onWayland && !gnome) || forced == QLatin1String("wayland")) {
        bool answered = false;
        const QString waylandProblem = facts.wayland(&answered);
        if (waylandProblem.isEmpty()) return chosen(Backend::wayland);
        if (problem.isEmpty() && (answered || forced == QLatin1String("wayland"))) problem = waylandProblem;
    }
    // On GNOME's Wayland session X11 was asked for through Xwayland above.
    if (asked("x11") && !(gnome && facts.onWayland && forced == QLatin1String("x11"))) {
        const QString x11Problem = facts.x11();
        if (x11Problem.isEmpty()) return chosen(Backend::x11);
        if (problem.isEmpty()) problem = facts.swaySession && forced.isEmpty() ? swayProblem : x11Problem;
    }
    if (forced == QLatin1String("sway")) problem = swayProblem;
    if (problem.isEmpty()) problem = QStringLiteral("the backends are kwin, sway, gnome, wayland and x11");
    choice.problem = forced.isEmpty()
                         ? problem
                         : QStringLiteral("SPACEMARQUEE_BACKEND=%1 cannot be used: %2").arg(forced, problem);
    return choice;
}

} // namespace sm
