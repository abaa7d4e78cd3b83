#include "support/x11/X11TestSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace sm::x11::test {

namespace {

void diesWithParent() {
    // A crashed test must not leave its X server behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // Its own process group, which ends with it: what it starts (the session bus that xfwm4 runs in
    // and the services the bus starts) goes too.
    ::setpgid(0, 0);
}

std::unique_ptr<QProcess> launch(const QString& program, const QStringList& arguments,
                                 const QProcessEnvironment& environment) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setChildProcessModifier(diesWithParent);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(program, arguments);
    if (!process->waitForStarted(5000)) return nullptr;
    return process;
}

void end(std::unique_ptr<QProcess>& process) {
    if (process && process->state() != QProcess::NotRunning)
        ::kill(-static_cast<pid_t>(process->processId()), SIGTERM); // what it started goes too
    sm::test::endProcess(process, 3000);
}

} // namespace

std::unique_ptr<X11TestSession> X11TestSession::start(const QString& windowManager, QString* why,
                                                      const QString& compositor) {
    // xfwm4 keeps its settings in xfconf, marco, muffin, cinnamon and mutter theirs in GSettings (dconf):
    // all reach them over a session bus, so they get a private one. xfwm4 and marco run without their
    // compositor like the other managers; muffin, cinnamon and mutter always composite.
    const bool xfwm4 = windowManager == QLatin1String("xfwm4");
    const bool marco = windowManager == QLatin1String("marco");
    const bool mutter = windowManager == QLatin1String("mutter");
    const bool kwin = windowManager == QLatin1String("kwin_x11");
    const bool cinnamon = windowManager == QLatin1String("cinnamon");
    const bool needsBus =
        xfwm4 || marco || mutter || kwin || cinnamon || windowManager == QLatin1String("muffin");
    const QString busRunner = needsBus ? QStringLiteral("dbus-run-session") : QString();
    for (const QString& tool : {QStringLiteral("Xvfb"), windowManager, compositor, busRunner})
        if (!tool.isEmpty() && QStandardPaths::findExecutable(tool).isEmpty()) {
            *why = tool + QStringLiteral(" is not installed");
            return nullptr;
        }
    std::unique_ptr<X11TestSession> session(new X11TestSession);
    session->windowManager_ = windowManager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), session->home_.path());

    // -displayfd: the server takes a free display number and tells it; -noreset keeps monitors made
    // with xrandr --setmonitor when the last client goes. -ardelay: xdotool presses and releases each
    // key it types, and on a loaded machine the release can come later than the usual repeat delay,
    // which typed "Innnnbox"; no test holds a key down to have it repeat.
    session->server_ = launch(QStringLiteral("Xvfb"),
                              {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                               QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-noreset"),
                               QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-ardelay"),
                               QStringLiteral("30000")},
                              environment);
    if (!session->server_) {
        *why = QStringLiteral("Xvfb did not start");
        return nullptr;
    }
    QByteArray number;
    QDeadlineTimer deadline(10000);
    while (!number.contains('\n') && !deadline.hasExpired()) {
        session->server_->waitForReadyRead(100);
        number += session->server_->readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        *why = QStringLiteral("Xvfb did not report its display: ") + session->server_->readAllStandardError();
        return nullptr;
    }
    session->display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", session->display_.toLatin1());
    environment.insert(QStringLiteral("DISPLAY"), session->display_);

    QStringList arguments;
    if (windowManager == QLatin1String("openbox")) arguments << QStringLiteral("--sm-disable");
    if (windowManager ==
        QLatin1String("i3")) { // a minimal configuration, so no first-run wizard asks for one
        QFile config(session->home_.filePath(QStringLiteral("i3.config")));
        if (config.open(QIODevice::WriteOnly)) config.write("font pango:DejaVu Sans 8\n"
                                                  // a binding that goes to a workspace by its name
                                                  "bindsym Mod4+9 workspace 9\n");
        arguments << QStringLiteral("-c") << config.fileName();
    }
    if (windowManager == QLatin1String("fluxbox")) {
        // A fresh fluxbox sets its style's wallpaper through fbsetbg, which finds no program for it
        // here and says so in an xmessage a few seconds in: that window took the keyboard in the middle
        // of a test (the keys typed went into it, Return pressed its button, an open menu closed).
        QDir().mkpath(session->home_.filePath(QStringLiteral(".fluxbox")));
        QFile overlay(session->home_.filePath(QStringLiteral(".fluxbox/overlay")));
        if (overlay.open(QIODevice::WriteOnly)) overlay.write("background: none\n");
    }
    if (needsBus) {
        arguments << QStringLiteral("--") << windowManager;
        if (xfwm4) arguments << QStringLiteral("--compositor=off");
        if (marco) arguments << QStringLiteral("--no-composite");
        if (mutter) arguments << QStringLiteral("--x11") << QStringLiteral("--sm-disable");
        if (cinnamon) arguments << QStringLiteral("--sm-disable");
        if (kwin) {
            // KWin keeps its desktops in kwinrc, under the private home: four in a row, as the tests
            // start from. It composites, as it does by default (OpenGL on Mesa's llvmpipe), unless
            // SM_TEST_KWIN_COMPOSITING=0: then it hides the windows of other desktops as Iconic.
            QDir().mkpath(session->home_.filePath(QStringLiteral(".config")));
            QFile config(session->home_.filePath(QStringLiteral(".config/kwinrc")));
            QByteArray settings = "[Desktops]\nNumber=4\nRows=1\n";
            if (qgetenv("SM_TEST_KWIN_COMPOSITING") == "0") settings += "\n[Compositing]\nEnabled=false\n";
            if (config.open(QIODevice::WriteOnly)) config.write(settings);
            arguments << QStringLiteral("--replace");
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), session->home_.filePath(QStringLiteral(".config")));
        }
        environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1")); // no accessibility bus
        environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory")); // nothing kept
    }
    session->wmProcess_ = launch(needsBus ? busRunner : windowManager, arguments, environment);
    if (!session->wmProcess_ || !session->waitForWindowManager(10000)) {
        *why = windowManager + QStringLiteral(" did not come up on ") + session->display_;
        return nullptr;
    }
    if (!compositor.isEmpty()) {
        session->compositor_ = launch(compositor, {}, environment);
        if (!session->compositor_ || !session->waitForSelection("_NET_WM_CM_S0", 10000)) {
            *why = compositor + QStringLiteral(" did not come up on ") + session->display_;
            return nullptr;
        }
    }
    return session;
}

X11TestSession::~X11TestSession() {
    end(compositor_);
    end(wmProcess_);
    end(server_);
}

namespace {

// Until `ready` holds or the time is up; asked again whenever the server sends `c` an event (the
// caller has selected those that can change the answer), never on a clock.
bool untilReady(xcb_connection_t* c, int milliseconds, const std::function<bool()>& ready) {
    QDeadlineTimer deadline(milliseconds);
    for (;;) {
        if (ready()) return true;
        bool arrived = false; // a reply read may have brought events along: those count too
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            std::free(event);
            arrived = true;
        }
        if (arrived) continue;
        if (deadline.hasExpired() || xcb_connection_has_error(c)) return false;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(deadline.remainingTime()));
    }
}

} // namespace

// The manager puts a window on the root's _NET_SUPPORTING_WM_CHECK that points at itself.
bool X11TestSession::waitForWindowManager(int milliseconds) const {
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    auto* atomReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    const xcb_atom_t check = atomReply ? atomReply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atomReply);
    auto windowProperty = [&](xcb_window_t window) -> xcb_window_t {
        auto* reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, window, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t value = XCB_WINDOW_NONE;
        if (reply && reply->format == 32 && reply->value_len == 1)
            value = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        std::free(reply);
        return value;
    };
    const bool up = untilReady(c, milliseconds, [&] {
        const xcb_window_t child = windowProperty(root);
        return child != XCB_WINDOW_NONE && windowProperty(child) == child;
    });
    // Some managers (openbox) put up the check window early in their start-up: a window mapped in
    // the next few hundred milliseconds may never be managed (a tray host started then stayed
    // unmapped for good). Only a probe the manager took in, given WM_STATE, shows it manages new
    // windows; a probe it lost is dropped and another one mapped.
    const char stateName[] = "WM_STATE";
    auto* stateReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof stateName - 1, stateName), nullptr);
    const xcb_atom_t wmState = stateReply ? stateReply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(stateReply);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    QDeadlineTimer deadline(milliseconds);
    bool managing = false;
    while (up && !managing && !deadline.hasExpired()) {
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 8, 8, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(c, probe);
        xcb_flush(c);
        managing = untilReady(c, static_cast<int>(std::min<qint64>(500, deadline.remainingTime())), [&] {
            auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, probe, wmState, wmState, 0, 2), nullptr);
            const bool has = reply && reply->value_len > 0;
            std::free(reply);
            return has;
        });
        xcb_destroy_window(c, probe);
        xcb_flush(c);
    }
    xcb_disconnect(c);
    return managing;
}

bool X11TestSession::waitForSelection(const char* name, int milliseconds) const {
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* atomReply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t selection = atomReply ? atomReply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atomReply);
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    xcb_xfixes_select_selection_input(c, root, selection, XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    const bool owned = untilReady(c, milliseconds, [&] {
        auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
        const bool has = owner && owner->owner != XCB_WINDOW_NONE;
        std::free(owner);
        return has;
    });
    xcb_disconnect(c);
    return owned;
}

int X11TestSession::run(const QString& program, const QStringList& arguments, QString* output) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    return runProcess(program, arguments, environment, output);
}

void roundTrip() {
    auto* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QStringList X11TestSession::desktopNames() const {
    QString out;
    run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_DESKTOP_NAMES")}, &out);
    static const QRegularExpression quoted(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QStringList names;
    for (auto it = quoted.globalMatch(out); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

QPoint pointOnText(const QRegion& shape, const QRect& text, bool onGlyph) {
    QPoint best = text.center();
    int nearest = -1;
    for (int y = text.top() + 2; y <= text.bottom() - 2; ++y)
        for (int x = text.left() + 2; x <= text.right() - 2; ++x) {
            const int distance = (QPoint(x, y) - text.center()).manhattanLength();
            const QRect around(x - 2, y - 2, 5, 5);
            const bool fits = onGlyph ? shape.contains(around) : !shape.intersects(around);
            if (fits && (nearest < 0 || distance < nearest)) {
                best = QPoint(x, y);
                nearest = distance;
            }
        }
    return best;
}

} // namespace sm::x11::test
