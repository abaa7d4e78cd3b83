// How long after a window's title changes the label shows the new name, on Xvfb + openbox. A title
// change alone renames nothing, so each round changes the title of the window behind and brings it to
// the front (an application activation); the clock runs from the title change to the label showing
// the derived name.
//   autoname_latency [ROUNDS]
#include "core/CoreServices.h"
#include "platform/linux/QtMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "platform/x11/X11Panels.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "support/x11/X11TestSession.h"

#include <QApplication>
#include <QProcess>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

using namespace sm;
using x11::test::waitUntil;

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

int fail(const char* what) {
    std::fprintf(stderr, "autoname_latency: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--window") {
        QCoreApplication::setApplicationName(
            QStringLiteral("Notes")); // its WM_CLASS: not the program under test
        QApplication app(argc, argv);
        QWidget window;
        window.setWindowTitle(QString::fromUtf8(argv[2]));
        window.resize(500, 300);
        window.show();
        return app.exec();
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
    QString why;
    auto session = x11::test::X11TestSession::start(QStringLiteral("openbox"), &why);
    if (!session) return fail(qPrintable(why));
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);

    auto queue = std::make_shared<QtMainQueue>();
    auto defaults = std::make_shared<MemoryDefaults>();
    QString error;
    auto server = x11::X11WindowServer::create({Logger{}, 5.0}, &error);
    auto workspace = x11::X11Workspace::create(Logger{}, &error);
    if (!server || !workspace) return fail(qPrintable(error));
    auto core = CoreServices::create({server, nullptr, workspace, nullptr, defaults, queue, {}});
    core->store()->updateSettings([](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::anyApp; });
    const auto tracker = core->tracker();
    const auto overlay = core->overlay();

    // Two other programs' windows, each brought to the front in turn.
    xcb_connection_t* c = xcb_connect(session->display().toLatin1().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t active = intern(c, "_NET_ACTIVE_WINDOW"), netName = intern(c, "_NET_WM_NAME"),
                     utf8 = intern(c, "UTF8_STRING");
    auto activeWindow = [&] {
        auto* reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, root, active, XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t w =
            reply && reply->value_len ? *static_cast<xcb_window_t*>(xcb_get_property_value(reply)) : 0;
        std::free(reply);
        return w;
    };
    std::vector<std::unique_ptr<QProcess>> programs;
    std::vector<xcb_window_t> windows;
    for (const char* title : {"First", "Second"}) {
        auto p = std::make_unique<QProcess>();
        p->start(QString::fromLocal8Bit(argv[0]), {"--window", title});
        const qint64 pid = p->waitForStarted(5000) ? p->processId() : 0;
        if (!waitUntil(
                [&] {
                    auto a = workspace->frontmostApplication();
                    return a && a->processId == pid;
                },
                10000))
            return fail("a window did not come to the front");
        windows.push_back(activeWindow());
        programs.push_back(std::move(p));
    }
    auto shown = [&]() -> QString {
        const auto id = tracker->currentActiveTagId();
        const auto* entry = id ? overlay->entry(*id) : nullptr;
        return entry ? static_cast<x11::X11LabelPanel*>(entry->panel.get())->window()->presentation().title
                     : QString();
    };
    core->start(false);
    if (!waitUntil([&] { return shown() == "Second"; }, 10000))
        return fail("the new desktop's label was not named");

    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const xcb_window_t target = windows[std::size_t(i % 2)];
        const QByteArray title = "Round " + QByteArray::number(i) + " \xE2\x80\x94 Editor";
        const QString expected = QStringLiteral("Round %1").arg(i);
        const auto t0 = std::chrono::steady_clock::now();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, target, netName, utf8, 8, std::uint32_t(title.size()),
                            title.constData());
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = target;
        message.type = active;
        message.data.data32[0] = 2; // a pager's request, which window managers honour
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(c);
        if (!waitUntil([&] { return shown() == expected; }, 5000)) return fail("the label did not follow");
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("title change to label on openbox/Xvfb, %d rounds: median %.2f ms, worst %.2f ms\n", rounds,
                ms[ms.size() / 2], ms.back());
    core->stop();
    for (auto& p : programs) {
        p->kill();
        p->waitForFinished(3000);
    }
    xcb_disconnect(c);
    return 0;
}
