// Measurements of the real X11 backend on a private Xvfb with a real window manager. Not tests: they
// print figures or write pictures for a person to look at.
//   x11_measure latency [window manager]             switch latency over 200 switches
//   x11_measure screenshots DIR [window manager] [compositor]
//                                                     a label in each layout and the open context menu
//   x11_measure clicks [window manager]              click latency between and on a label's glyphs
#include "overlay/LabelContextMenu.h"
#include "platform/x11/X11Panels.h"
#include "platform/x11/X11WindowServer.h"
#include "support/x11/X11TestSession.h"

#include "MeasureKit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

using namespace sm;
using namespace sm::x11;
using x11::test::waitUntil;
using Clock = std::chrono::steady_clock;
using measure::labelHere;

bool present(const std::vector<std::unique_ptr<LabelPanel>>& labels, std::size_t only) {
    for (std::size_t i = 0; i < labels.size(); ++i)
        if ((labels[i]->isVisible() && labels[i]->isOnActiveSpace()) != (i == only)) return false;
    return true;
}

// How long after the window manager's _NET_CURRENT_DESKTOP change the switch is announced and every
// panel's facts are current. A second connection on another thread watches the root, as close to
// the server as we get, and asks for the switches.
int latency(const x11::test::X11TestSession& session, X11WindowServer& server) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    session.run(QStringLiteral("wmctrl"), {QStringLiteral("-n"), QStringLiteral("4")});
    for (int d = 0; d < 4; ++d) {
        session.run(QStringLiteral("wmctrl"), {QStringLiteral("-s"), QString::number(d)});
        waitUntil([&] { return server.currentDesktop() == static_cast<std::uint32_t>(d); });
        labels.push_back(labelHere(server, QStringLiteral("Desk %1").arg(d), QPointF(100, 600)));
    }
    xcb_connection_t* c = xcb_connect(session.display().toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char name[] = "_NET_CURRENT_DESKTOP";
    auto* atomReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    const xcb_atom_t current = atomReply->atom;
    std::free(atomReply);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    std::mutex lock;
    std::optional<Clock::time_point> changed;
    std::atomic<bool> stop = false;
    std::thread watcher([&] {
        while (!stop) {
            xcb_generic_event_t* event = xcb_poll_for_event(c);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            const auto now = Clock::now();
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == current) {
                std::lock_guard guard(lock);
                if (!changed) changed = now;
            }
            std::free(event);
        }
    });

    std::optional<Clock::time_point> announced, settled;
    std::size_t target = 0;
    auto check = [&] {
        if (!settled && present(labels, target)) settled = Clock::now();
    };
    auto a = server.activeDesktopChanged.connect([&] {
        announced = Clock::now();
        check();
    });
    std::vector<Signal<>::Connection> connections;
    for (auto& l : labels)
        connections.push_back(l->visibilityChanged.connect(check));

    std::vector<double> toAnnounce, toCurrent;
    const int switches = 200;
    for (int i = 0; i < switches; ++i) {
        target = static_cast<std::size_t>((i + 1) % 4);
        announced.reset();
        settled.reset();
        {
            std::lock_guard guard(lock);
            changed.reset();
        }
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = root;
        message.type = current;
        message.data.data32[0] = static_cast<std::uint32_t>(target);
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(c);
        if (!waitUntil([&] {
                std::lock_guard guard(lock);
                return announced && settled && changed;
            })) {
            std::fprintf(stderr, "switch %d was not seen\n", i);
            stop = true;
            watcher.join();
            return 1;
        }
        std::lock_guard guard(lock);
        const auto since = [&](auto t) {
            return std::chrono::duration<double, std::milli>(t - *changed).count();
        };
        toAnnounce.push_back(since(*announced));
        toCurrent.push_back(since(*settled));
    }
    stop = true;
    watcher.join();
    xcb_disconnect(c);

    auto report = [&](const char* what, std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        std::printf("switch latency on %s, %d switches, %zu labels, %s: median %.2f ms, worst %.2f ms\n",
                    session.windowManager().toLatin1().constData(), switches, labels.size(), what,
                    ms[ms.size() / 2], ms.back());
    };
    report("to activeDesktopChanged", toAnnounce);
    report("to all facts current", toCurrent);
    return 0;
}

// How long after the button's release reaches the server the label hears of the click, between its
// glyphs and on one. A second connection on another thread sees the release as XInput raw event.
int clicks(const x11::test::X11TestSession& session, X11WindowServer& server) {
    auto label = labelHere(server, QStringLiteral("Post Office"), QPointF(100, 600));
    auto* window = static_cast<X11LabelPanel&>(*label).window();
    std::optional<Clock::time_point> clicked;
    window->onClick = [&] { clicked = Clock::now(); };

    xcb_connection_t* c = xcb_connect(session.display().toLatin1().constData(), nullptr);
    const auto* xinput = xcb_get_extension_data(c, &xcb_input_id);
    if (xcb_connection_has_error(c) || !xinput || !xinput->present) return 1;
    std::free(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
    xcb_input_xi_select_events(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 1,
                               &selection.header);
    xcb_flush(c);
    std::mutex lock;
    std::optional<Clock::time_point> released;
    std::atomic<bool> stop = false;
    std::thread watcher([&] {
        while (!stop) {
            xcb_generic_event_t* event = xcb_poll_for_event(c);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            const auto now = Clock::now();
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC && ge->extension == xinput->major_opcode &&
                ge->event_type == XCB_INPUT_RAW_BUTTON_RELEASE) {
                std::lock_guard guard(lock);
                if (!released) released = now;
            }
            std::free(event);
        }
    });

    int failures = 0;
    for (const bool onGlyph : {false, true}) {
        const QPoint at =
            window->mapToGlobal(x11::test::pointOnText(window->opaqueRegion(), window->textArea(), onGlyph));
        std::vector<double> ms;
        for (int i = 0; i < 50; ++i) {
            clicked.reset();
            {
                std::lock_guard guard(lock);
                released.reset();
            }
            // Waited for only after the click: the label must be free to hear it while the tool runs.
            QProcess tool;
            tool.start(QStringLiteral("xdotool"),
                       {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                        QStringLiteral("click"), QStringLiteral("1")});
            const auto finish = qScopeGuard([&] { tool.waitForFinished(2000); });
            if (!waitUntil(
                    [&] {
                        std::lock_guard guard(lock);
                        return clicked && released;
                    },
                    2000)) {
                std::fprintf(stderr, "click %d %s was not heard\n", i,
                             onGlyph ? "on a glyph" : "between glyphs");
                ++failures;
                continue;
            }
            std::lock_guard guard(lock);
            ms.push_back(std::chrono::duration<double, std::milli>(*clicked - *released).count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("click latency on %s, %s: %zu of 50 clicks heard, median %.2f ms, worst %.2f ms\n",
                    qPrintable(session.windowManager()), onGlyph ? "on a glyph" : "between glyphs", ms.size(),
                    ms.empty() ? 0.0 : ms[ms.size() / 2], ms.empty() ? 0.0 : ms.back());
    }
    stop = true;
    watcher.join();
    xcb_disconnect(c);
    return failures == 0 ? 0 : 1;
}

// A label in each layout and the open context menu, over a light backdrop window.
int screenshots(const x11::test::X11TestSession& session, X11WindowServer& server, const QString& directory) {
    QWidget backdrop;
    backdrop.setGeometry(0, 0, 1280, 800);
    backdrop.setStyleSheet(
        QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #dfe8f1, stop:1 "
                       "#9db4c9); color: #33414e; font-size: 18px;"));
    auto* text = new QLabel(QStringLiteral("A window on this desktop (%1, compositor: %2)")
                                .arg(session.windowManager(), server.isCompositing() ? "yes" : "no"),
                            &backdrop);
    text->move(40, 740);
    backdrop.show();
    waitUntil([&] { return backdrop.isVisible(); });

    int failures = 0;
    auto shot = [&](const QString& name, const QRect& area) {
        waitUntil([] { return false; }, 400); // let the window manager and the painting settle
        const QPixmap pixmap =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const QString suffix = server.isCompositing() ? QStringLiteral("-composited") : QString();
        const QString file = directory + u'/' + name + suffix + QStringLiteral(".png");
        if (!pixmap.save(file)) ++failures;
        std::printf("%s\n", qPrintable(file));
    };
    struct Layout {
        QString name;
        LabelPresentation presentation;
        QRectF frame;
    };
    const QList<Layout> layouts = {
        {QStringLiteral("label-normal"),
         {QStringLiteral("Inbox"), {}, 64, false, false, true},
         QRectF(490, 560, 300, 110)},
        {QStringLiteral("label-band"),
         {QStringLiteral("Inbox"), {}, 64, true, false, true},
         QRectF(0, 560, 1280, 110)},
        {QStringLiteral("label-magnified"),
         {QStringLiteral("Inbox"), {}, 192, false, false, true},
         QRectF(340, 250, 600, 300)},
        {QStringLiteral("label-placeholder"),
         {QString(), QStringLiteral("Click to name"), 64, false, false, false},
         QRectF(290, 560, 700, 110)},
    };
    for (const auto& layout : layouts) {
        auto label = server.createLabelPanel(QUuid::createUuid());
        label->view().present(layout.presentation);
        label->setFrame(layout.frame);
        label->orderFront();
        waitUntil([&] { return label->isVisible(); });
        shot(layout.name, server.toNative(layout.frame).adjusted(-40, -30, 40, 30) & QRect(0, 0, 1280, 800));
    }

    // The editor as a click opens it on an unnamed and on a named label, with the keyboard.
    for (const auto& [name, draft] : {std::pair{QStringLiteral("editor-placeholder"), QString()},
                                      std::pair{QStringLiteral("editor-named"), QStringLiteral("Inbox")}}) {
        auto editor = server.createEditorPanel();
        const QRectF frame(290, 560, 700, 110);
        editor->setFrame(frame);
        editor->view().begin(64, draft, QStringLiteral("Click to name"));
        editor->makeKeyAndOrderFront();
        waitUntil([&] { return editor->isVisible(); });
        shot(name, server.toNative(frame).adjusted(-40, -30, 40, 30) & QRect(0, 0, 1280, 800));
    }

    auto label = server.createLabelPanel(QUuid::createUuid());
    label->view().present(layouts.first().presentation);
    label->setFrame(layouts.first().frame);
    label->view().menuProvider = [] {
        return LabelContextMenu::build(true, {{QUuid::createUuid(), QStringLiteral("Mail")}});
    };
    label->orderFront();
    waitUntil([&] { return label->isVisible(); });
    auto* window = static_cast<X11LabelPanel*>(label.get())->window();
    const QPoint at = server.toNative(layouts.first().frame).topLeft() + QPoint(150, 60);
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            ++failures;
            return;
        }
        menu->setActiveAction(menu->actions().at(1)); // "Restore name", opened
        QTest::keyClick(menu, Qt::Key_Right);
        shot(QStringLiteral("context-menu"), QRect(at - QPoint(200, 80), QSize(700, 420)));
        QApplication::activePopupWidget()->close();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(150, 60), at);
    QApplication::sendEvent(window, &event);
    return failures == 0 ? 0 : 1;
}

int usage() {
    std::fprintf(stderr, "usage: x11_measure latency [window manager]\n"
                         "       x11_measure screenshots DIR [window manager] [compositor]\n"
                         "       x11_measure clicks [window manager]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const QStringList args = [&] {
        QStringList out;
        for (int i = 1; i < argc; ++i)
            out << QString::fromLocal8Bit(argv[i]);
        return out;
    }();
    const QString mode = args.value(0);
    const bool shots = mode == QLatin1String("screenshots");
    if ((!shots && mode != QLatin1String("latency") && mode != QLatin1String("clicks")) ||
        (shots && args.size() < 2))
        return usage();
    const int wmAt = shots ? 2 : 1;
    const QString windowManager = args.value(wmAt, QStringLiteral("openbox"));
    QString why;
    auto session = x11::test::X11TestSession::start(windowManager, &why, args.value(wmAt + 1));
    if (!session) {
        std::fprintf(stderr, "no X11 session with %s: %s\n", qPrintable(windowManager), qPrintable(why));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    auto server = X11WindowServer::create({Logger{}, 5.0}, &why);
    if (!server) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    if (shots) return screenshots(*session, *server, args[1]);
    return mode == QLatin1String("clicks") ? clicks(*session, *server) : latency(*session, *server);
}
