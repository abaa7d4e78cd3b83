#include "platform/x11/X11WindowServer.h"

#include "platform/WorkspaceNames.h"

#include "platform/linux/LogindWakeWatcher.h"
#include "platform/x11/I3Ipc.h"
#include "platform/x11/I3WorkspaceLabels.h"
#include "platform/x11/NativeWindows.h"
#include "platform/x11/RefreshPolicy.h"
#include "platform/x11/ScreenIdentity.h"
#include "platform/x11/X11Panels.h"
#include "platform/x11/XcbReply.h"

#include <QAbstractNativeEventFilter>
#include <QCursor>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace sm::x11 {

namespace {
// i3 reads a backslash before a double quote as the quote itself, and keeps every other backslash.
QString i3Quoted(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QLatin1String("\\\"")) + QLatin1Char('"');
}
} // namespace

namespace {

xcb_get_property_cookie_t askCardinal(xcb_connection_t* c, std::uint32_t window, std::uint32_t atom,
                                      std::uint32_t type = XCB_ATOM_CARDINAL) {
    return xcb_get_property(c, 0, window, atom, type, 0, 1);
}

bool liesOnAScreen(const PanelState& state) {
    if (!state.window) return false;
    const auto screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
        return screen->geometry().intersects(state.window->geometry());
    });
}

} // namespace

// Looks at every event Qt reads, picks the ones that may change a panel's facts and asks for one
// refresh. It waits for the server only to check a manager's notice of a panel's place.
class WindowServerEvents final : public QAbstractNativeEventFilter {
public:
    explicit WindowServerEvents(X11WindowServer& server) : server_(server) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        placeAsTheServerHasIt(static_cast<xcb_generic_event_t*>(message));
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (isRawButtonPress(event)) {
            if (server_.pressWatchers_ > 0) server_.pressTimer_->start();
            return false;
        }
        if (isClockAnswer(event)) return true;
        if (isRelevant(event)) server_.scheduleRefresh();
        return isMessageQtMustNotHear(event) || isStateOfOurs(event);
    }

private:
    // Qt takes a manager's notice of where a window stands (a sent ConfigureNotify) as it is written.
    // One that comes late carries a place the window has left, and Qt keeps it: a drag then starts
    // from there, and a frame set to that place is never sent, since Qt has the window there already.
    // Qt asks the server for the place behind the server's own notices; for our panels it does so
    // behind the manager's too.
    void placeAsTheServerHasIt(xcb_generic_event_t* event) const {
        if (event->response_type != (XCB_CONFIGURE_NOTIFY | 0x80)) return;
        auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
        if (!server_.isOurs(e->window)) return;
        const auto actual = server_.windows_->geometry(e->window);
        if (!actual) return;
        e->x = static_cast<std::int16_t>(actual->x());
        e->y = static_cast<std::int16_t>(actual->y());
        e->width = static_cast<std::uint16_t>(actual->width());
        e->height = static_cast<std::uint16_t>(actual->height());
    }
    bool isClockAnswer(const xcb_generic_event_t* event) const {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY || !server_.clockWindow_) return false;
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (e->window != server_.clockWindow_) return false;
        server_.switchAt(e->time);
        return true;
    }
    bool isRelevant(const xcb_generic_event_t* event) const {
        const std::uint32_t root = server_.root_;
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (e->window == root)
                return e->atom == atom("_NET_CURRENT_DESKTOP") ||
                       e->atom == atom("_NET_NUMBER_OF_DESKTOPS") || e->atom == atom("_NET_DESKTOP_NAMES") ||
                       e->atom == atom("_NET_ACTIVE_WINDOW") || clientsChanged(e->atom);
            return server_.isOurs(e->window) &&
                   (e->atom == atom("_NET_WM_DESKTOP") || e->atom == atom("WM_STATE") ||
                    e->atom == atom("_NET_WM_STATE"));
        }
        case XCB_MAP_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
            return e->event == root || server_.isOurs(e->window); // frames come through the root
        }
        case XCB_UNMAP_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
            return e->event == root || server_.isOurs(e->window);
        }
        case XCB_REPARENT_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
            if (!server_.isOurs(e->window)) return false;
            if (e->parent == root) server_.mapAgainIfShown(e->window);
            return true;
        }
        case XCB_VISIBILITY_NOTIFY:
            return server_.isOurs(reinterpret_cast<const xcb_visibility_notify_event_t*>(event)->window);
        default:
            return false;
        }
    }
    // i3's label keeper hears of every change of the client list; the refresh then looks at it.
    bool clientsChanged(std::uint32_t property) const {
        if (!server_.i3Labels_ || property != atom("_NET_CLIENT_LIST")) return false;
        server_.i3Labels_->clientsChanged();
        return true;
    }
    bool isRawButtonPress(const xcb_generic_event_t* event) const {
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC || !server_.xinputOpcode_) return false;
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        return ge->extension == server_.xinputOpcode_ && ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS;
    }
    // Client messages about our windows that Qt must not hear. openbox tells windows on other desktops
    // they are iconic with _KDE_WM_CHANGE_STATE, which Qt would log as unhandled. And watching the
    // root's substructure brings us every request sent to the window manager, which Qt takes, when it
    // asks to activate a window of ours, for that window's activation, granted or not: a pager asking
    // for a label (which never takes the keyboard) took the focus from an open editor in Qt's eyes,
    // and the field's focus loss commits it; our own request had Qt activate a new editor before the
    // manager did, and the toolkit's wait for the focus that follows the last editor's close then took
    // it back. Qt follows the server's focus once it no longer hears them.
    bool isMessageQtMustNotHear(const xcb_generic_event_t* event) const {
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto* e = reinterpret_cast<const xcb_client_message_event_t*>(event);
        return (e->type == atom("_KDE_WM_CHANGE_STATE") || e->type == atom("_NET_ACTIVE_WINDOW")) &&
               server_.isOurs(e->window);
    }
    // Qt takes a window that the manager hides as Iconic (on a desktop not shown) for minimized, and
    // maps it again at its next geometry change. KWin honours that map as a request to show the
    // window and switches back to the label's desktop, so a switch away from it never held. The
    // refresh reads WM_STATE itself; Qt is not told.
    bool isStateOfOurs(const xcb_generic_event_t* event) const {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        return e->atom == atom("WM_STATE") && server_.isOurs(e->window);
    }
    std::uint32_t atom(const char* name) const { return server_.atoms_.value(QByteArray(name)); }

    X11WindowServer& server_;
};

std::shared_ptr<X11WindowServer> X11WindowServer::create(const Options& options, QString* error) {
    std::shared_ptr<X11WindowServer> server(new X11WindowServer(options));
    QString problem;
    if (!server->connectToDisplay(&problem) || !server->waitForWindowManager(&problem)) {
        options.logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    server->selectRootEvents();
    server->events_ = std::make_unique<WindowServerEvents>(*server);
    qApp->installNativeEventFilter(server->events_.get());

    server->context_ = std::make_unique<QObject>();
    if (server->desktopsKnownByName_) {
        server->i3Labels_ = std::make_unique<I3WorkspaceLabels>(*server);
        server->openI3Ipc();
    }
    server->refreshTimer_ = new QTimer(server->context_.get());
    server->refreshTimer_->setSingleShot(true);
    server->refreshTimer_->setInterval(0);
    QObject::connect(server->refreshTimer_, &QTimer::timeout, server->context_.get(),
                     [raw = server.get()] { raw->refresh(); });
    server->settleTimer_ = new QTimer(server->context_.get());
    server->settleTimer_->setSingleShot(true);
    server->settleTimer_->setInterval(kSettleMilliseconds);
    QObject::connect(server->settleTimer_, &QTimer::timeout, server->context_.get(), [raw = server.get()] {
        raw->refresh();
        if (raw->announcementPending_) raw->announce(); // the window manager left some window as it was
    });
    server->screensTimer_ = new QTimer(server->context_.get());
    server->screensTimer_->setSingleShot(true);
    server->screensTimer_->setInterval(0);
    QObject::connect(server->screensTimer_, &QTimer::timeout, server->context_.get(), [raw = server.get()] {
        raw->compositing_ = raw->checkCompositing();
        raw->screensChanged.emit();
        raw->refresh();
    });
    server->slideTimer_ = new QTimer(server->context_.get());
    server->slideTimer_->setSingleShot(true);
    server->slideTimer_->setInterval(kSlideMilliseconds);
    QObject::connect(server->slideTimer_, &QTimer::timeout, server->context_.get(),
                     [raw = server.get()] { raw->framesAgainAfterSlide(); });
    server->clock_.start();
    server->pressTimer_ = new QTimer(server->context_.get());
    server->pressTimer_->setSingleShot(true);
    server->pressTimer_->setInterval(0);
    QObject::connect(server->pressTimer_, &QTimer::timeout, server->context_.get(),
                     [raw = server.get()] { raw->pointerPressed.emit(); });
    if (const auto* ext = xcb_get_extension_data(server->connection_, &xcb_input_id); ext && ext->present)
        server->xinputOpcode_ = ext->major_opcode;
    server->watchScreens();
    server->compositing_ = server->checkCompositing();
    server->refresh(); // the root's state, before any panel exists

    std::weak_ptr<X11WindowServer> weak = server;
    server->wake_ = std::make_unique<LogindWakeWatcher>(options.logger, [weak] {
        if (auto self = weak.lock()) self->didWake.emit();
    });
    return server;
}

X11WindowServer::X11WindowServer(Options options) : options_(std::move(options)) {}

X11WindowServer::~X11WindowServer() {
    if (events_) qApp->removeNativeEventFilter(events_.get());
    for (auto* state : panels_)
        state->panel = nullptr;
}

bool X11WindowServer::connectToDisplay(QString* error) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        *error = sessionProblem();
        if (error->isEmpty())
            *error = QStringLiteral("Spacemarquee needs an X11 session, but the toolkit runs on '%1'.")
                         .arg(QGuiApplication::platformName());
        return false;
    }
    connection_ = x11->connection();
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    internAtoms();
    windows_ = std::make_unique<NativeWindows>(connection_, root_, atoms_);
    return true;
}

void X11WindowServer::internAtoms() {
    static const char* const names[] = {"_NET_CURRENT_DESKTOP",
                                        "_NET_NUMBER_OF_DESKTOPS",
                                        "_NET_DESKTOP_NAMES",
                                        "_NET_ACTIVE_WINDOW",
                                        "_NET_CLIENT_LIST",
                                        "_NET_WM_DESKTOP",
                                        "_NET_WM_STATE",
                                        "_NET_WM_STATE_SKIP_TASKBAR",
                                        "_NET_WM_STATE_SKIP_PAGER",
                                        "_NET_SUPPORTING_WM_CHECK",
                                        "_NET_WM_CM_S0",
                                        "UTF8_STRING",
                                        "WM_STATE",
                                        "_KDE_WM_CHANGE_STATE",
                                        "_NET_WM_NAME",
                                        "WM_PROTOCOLS",
                                        "WM_CLIENT_LEADER",
                                        "WM_DELETE_WINDOW",
                                        "_NET_WM_PING",
                                        "_NET_WM_SYNC_REQUEST"};
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : names)
        cookies.push_back(
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name));
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        atoms_.insert(QByteArray(names[i]), reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE});
    }
}

// The window manager announces itself with a child window that names itself in the same property.
bool X11WindowServer::waitForWindowManager(QString* error) {
    const std::uint32_t check = atoms_.value("_NET_SUPPORTING_WM_CHECK");
    QDeadlineTimer deadline(static_cast<qint64>(options_.windowManagerWaitSeconds * 1000.0));
    for (;;) {
        Reply<xcb_get_property_reply_t> onRoot(xcb_get_property_reply(
            connection_, askCardinal(connection_, root_, check, XCB_ATOM_WINDOW), nullptr));
        if (const auto child = cardinal(onRoot.get()); child && *child) {
            Reply<xcb_get_property_reply_t> onChild(xcb_get_property_reply(
                connection_, askCardinal(connection_, *child, check, XCB_ATOM_WINDOW), nullptr));
            if (cardinal(onChild.get()) == child) {
                readWindowManagerName(*child);
                return true;
            }
        }
        if (deadline.hasExpired()) break;
        QThread::msleep(50);
    }
    *error =
        QStringLiteral("No EWMH window manager answered within %1 s (_NET_SUPPORTING_WM_CHECK is not set); "
                       "Spacemarquee needs one to keep each label on its desktop.")
            .arg(options_.windowManagerWaitSeconds);
    return false;
}

void X11WindowServer::readWindowManagerName(std::uint32_t checkWindow) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 0, checkWindow, atoms_.value("_NET_WM_NAME"),
                                                atoms_.value("UTF8_STRING"), 0, 64),
                               nullptr));
    if (reply && reply->format == 8)
        windowManagerName_ = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                               xcb_get_property_value_length(reply.get()));
    // i3 makes workspaces as they are visited, drops empty ones and numbers the rest in order: only its
    // workspace names say which desktop is which.
    desktopsKnownByName_ = windowManagerName_ == QLatin1String("i3");
    // Cinnamon's window manager, and muffin alone, which never ends its switches at all.
    slidesOnSwitch_ = windowManagerName_ == QLatin1String("Mutter (Muffin)");
    hidesByIconicState_ = slidesOnSwitch_;
}

// i3 names its socket on the root. The bindings are read once: a reloaded configuration with new
// by-name bindings is seen at the next start.
void X11WindowServer::openI3Ipc() {
    static constexpr char kSocketAtom[] = "I3_SOCKET_PATH";
    const auto atomCookie = xcb_intern_atom(connection_, 0, sizeof kSocketAtom - 1, kSocketAtom);
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(connection_, atomCookie, nullptr));
    if (!atom) return;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root_, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!reply || reply->format != 8 || xcb_get_property_value_length(reply.get()) == 0) {
        options_.logger.notice(QStringLiteral("i3 names no IPC socket: its workspaces keep their names"));
        return;
    }
    const QString path = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                           xcb_get_property_value_length(reply.get()));
    auto ipc = std::make_unique<I3Ipc>(path, options_.logger);
    const auto config = ipc->config();
    if (!config) {
        options_.logger.notice(QStringLiteral("i3 did not answer on %1: its workspaces keep their names").arg(path));
        return;
    }
    reachedByName_ = WorkspaceNames::reachedByName(*config);
    i3Ipc_ = std::move(ipc);
}

// Qt already listens to the root's properties: add to its mask rather than replace it.
void X11WindowServer::selectRootEvents() {
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, root_), nullptr));
    const std::uint32_t mask = (attributes ? attributes->your_event_mask : 0) |
                               XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

void X11WindowServer::watchScreens() {
    QObject* context = context_.get();
    auto follow = [this, context](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context, [this] { screensMayHaveChanged(); });
    };
    for (QScreen* screen : QGuiApplication::screens())
        follow(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, context, [this, follow](QScreen* screen) {
        follow(screen);
        screensMayHaveChanged();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, context, [this] { screensMayHaveChanged(); });
    QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, context,
                     [this] { screensMayHaveChanged(); });
}

// One notification for a burst of screen signals (a monitor added moves the others too).
void X11WindowServer::screensMayHaveChanged() {
    screensTimer_->start();
}

void X11WindowServer::scheduleRefresh() {
    if (refreshTimer_ && !refreshTimer_->isActive()) refreshTimer_->start();
}

void X11WindowServer::refreshNow() {
    if (refreshTimer_) refreshTimer_->stop();
    refresh();
}

void X11WindowServer::readRootState(std::uint32_t* current, std::uint32_t* count, QStringList* names,
                                    std::uint32_t* active) const {
    auto* c = connection_;
    const auto currentCookie = askCardinal(c, root_, atoms_.value("_NET_CURRENT_DESKTOP"));
    const auto countCookie = askCardinal(c, root_, atoms_.value("_NET_NUMBER_OF_DESKTOPS"));
    const auto namesCookie = xcb_get_property(c, 0, root_, atoms_.value("_NET_DESKTOP_NAMES"),
                                              atoms_.value("UTF8_STRING"), 0, 4096);
    const auto activeCookie = askCardinal(c, root_, atoms_.value("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    Reply<xcb_get_property_reply_t> r1(xcb_get_property_reply(c, currentCookie, nullptr));
    Reply<xcb_get_property_reply_t> r2(xcb_get_property_reply(c, countCookie, nullptr));
    Reply<xcb_get_property_reply_t> r3(xcb_get_property_reply(c, namesCookie, nullptr));
    Reply<xcb_get_property_reply_t> r4(xcb_get_property_reply(c, activeCookie, nullptr));
    *current = cardinal(r1.get()).value_or(kEveryDesktop);
    *count = cardinal(r2.get()).value_or(0);
    names->clear();
    if (r3 && r3->format == 8) {
        QByteArray raw(static_cast<const char*>(xcb_get_property_value(r3.get())),
                       xcb_get_property_value_length(r3.get()));
        if (raw.endsWith('\0')) raw.chop(1); // every name ends in a NUL: the last one is no empty name
        if (!raw.isEmpty())
            for (const QByteArray& name : raw.split('\0'))
                *names << QString::fromUtf8(name);
    }
    *active = cardinal(r4.get()).value_or(0);
}

void X11WindowServer::refresh() {
    // Every request goes out before the first reply is awaited: one round trip for all panels.
    std::vector<std::pair<PanelState*, NativeWindows::Asked>> asked;
    for (auto* state : panels_)
        if (state->wid && state->bound) asked.emplace_back(state, windows_->ask(state->wid));
    RefreshPolicy::Desktops now;
    std::uint32_t current = kEveryDesktop, active = 0;
    readRootState(&current, &now.count, &now.names, &active);
    if (current != kEveryDesktop) now.current = current;

    const RefreshPolicy::Desktops before{currentDesktop_, desktopCount_, desktopNames_};
    const auto root = RefreshPolicy::compare(before, now, desktopsKnownByName_, !droppingDesktops_.hasExpired(),
                                             slidesOnSwitch_);
    if (root.fewer) droppingDesktops_.setRemainingTime(kDropMilliseconds);
    if (root.slides) {
        if (!slidesBegan_) slidesBegan_ = clock_.elapsed();
        slideTimer_->start(); // a switch within the slide starts another one
    }
    currentDesktop_ = now.current;
    desktopCount_ = now.count;
    desktopNames_ = now.names;
    activeWindow_ = active;
    if (i3Labels_) i3Labels_->bringBack();

    std::vector<quint64> changed, orphaned;
    bool settled = true;
    for (const auto& [state, question] : asked) {
        PanelState& s = *state;
        const NativeWindows::Facts facts = windows_->read(question);
        RefreshPolicy::PanelSight sight;
        sight.parkedOnI3 = s.parkedOn.has_value();
        sight.hiddenOnI3 = i3Labels_ && i3Labels_->review(s, facts.desktop, facts.unviewable);
        sight.reported = facts.desktop;
        sight.viewable = facts.viewable;
        sight.iconic = facts.iconic;
        hidesByIconicState_ = hidesByIconicState_ || (facts.viewable && facts.iconic);
        sight.onScreen = liesOnAScreen(s);
        sight.desktop = s.desktop;
        sight.placedOn = s.placedOn;
        sight.orderedIn = s.orderedIn;
        sight.mapping = s.mapping;
        sight.seenViewable = s.seenViewable;
        sight.onActiveSpace = s.onActiveSpace;
        sight.visible = s.visible;
        const auto verdict = RefreshPolicy::judge(sight, before, now, root);
        if (verdict.orphaned) orphaned.push_back(s.serial);
        if (facts.desktop) {
            s.desktop = facts.desktop;
            s.desktopName = desktopNames_.value(static_cast<qsizetype>(*facts.desktop));
        }
        s.mapping = verdict.mapping;
        if (verdict.firstViewable) {
            s.seenViewable = true;
            if (s.geometryWhileMapping) placeAgain(s.wid, *s.geometryWhileMapping);
            s.geometryWhileMapping.reset();
        }
        if (verdict.changed) changed.push_back(s.serial);
        s.onActiveSpace = verdict.onActiveSpace;
        s.visible = verdict.visible;
        settled = settled && verdict.settled;
    }
    if (i3Labels_) i3Labels_->reviewed();

    // Told before the switch is announced, so that resolving the new desktop finds no pile. Observers
    // may remove panels: each one is looked up again.
    for (const quint64 serial : orphaned) {
        const auto it =
            std::find_if(panels_.begin(), panels_.end(), [&](auto* p) { return p->serial == serial; });
        if (it != panels_.end() && (*it)->panel) (*it)->panel->desktopRemoved.emit();
    }
    if (root.renamed) desktopNamesChanged.emit();
    heldVisibilityChanges_.insert(heldVisibilityChanges_.end(), changed.begin(), changed.end());
    const auto announcement = RefreshPolicy::announcement(announcementPending_, root.switched, settled);
    if (announcement.begins) {
        announcementPending_ = true;
        settleTimer_->start(hidesByIconicState_ ? kIconicSettleMilliseconds : kSettleMilliseconds);
    }
    if (announcement.now) announce();
}

void X11WindowServer::announce() {
    settleTimer_->stop();
    const bool desktop = std::exchange(announcementPending_, false);
    const auto held = std::exchange(heldVisibilityChanges_, {});
    if (desktop) activeDesktopChanged.emit();
    // Observers may remove panels: look each one up again, and tell each panel once.
    std::vector<quint64> told;
    for (const quint64 serial : held) {
        if (std::find(told.begin(), told.end(), serial) != told.end()) continue;
        told.push_back(serial);
        const auto it =
            std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->serial == serial; });
        if (it != panels_.end() && (*it)->panel) (*it)->panel->visibilityChanged.emit();
    }
}

std::optional<DesktopPlace> X11WindowServer::placeOn(std::uint32_t desktop,
                                                     const std::optional<ScreenInfo>& screen,
                                                     const std::optional<QString>& name) const {
    if (desktop == kEveryDesktop || !screen || !screen->stableId) return std::nullopt;
    return DesktopPlace{*screen->stableId, static_cast<int>(desktop),
                        name.value_or(desktopNames_.value(static_cast<qsizetype>(desktop)))};
}

// A label withdrawn on i3 has no desktop until its workspace is back: it keeps its last known place.
std::optional<DesktopPlace> X11WindowServer::placeOf(const Panel& panel) const {
    const auto state =
        std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->panel == &panel; });
    if (state == panels_.end() || (*state)->parked || !(*state)->desktop) return std::nullopt;
    return placeOn(*(*state)->desktop, panel.screen(),
                   desktopsKnownByName_ ? std::optional<QString>((*state)->desktopName) : std::nullopt);
}

std::optional<DesktopPlace> X11WindowServer::activePlace() const {
    return currentDesktop_ ? placeOn(*currentDesktop_, mainScreen()) : std::nullopt;
}

std::optional<DesktopPlace> X11WindowServer::locate(const DesktopPlace& place) const {
    const auto all = screens();
    const auto screen = std::find_if(all.begin(), all.end(),
                                     [&](const ScreenInfo& s) { return s.stableId == place.screenId; });
    if (screen == all.end()) return std::nullopt;
    if (!desktopsKnownByName_) {
        if (place.desktop < 0 || static_cast<std::uint32_t>(place.desktop) >= desktopCount_)
            return std::nullopt;
        return placeOn(static_cast<std::uint32_t>(place.desktop), *screen);
    }
    if (desktopNames_.count(place.desktopName) == 1)
        return placeOn(static_cast<std::uint32_t>(desktopNames_.indexOf(place.desktopName)), *screen);
    // By number, as `workspace number N` finds it: "2: Mail" is plain "2" again once its title was given
    // back, and the other way round.
    const auto number = WorkspaceNames::numberOf(place.desktopName);
    if (place.desktopName.isEmpty() || !number) return std::nullopt;
    std::optional<DesktopPlace> found;
    for (qsizetype i = 0; i < desktopNames_.size(); ++i)
        if (WorkspaceNames::numberOf(desktopNames_[i]) == number) {
            if (found) return std::nullopt; // two workspaces of that number: neither is surely it
            found = placeOn(static_cast<std::uint32_t>(i), *screen);
        }
    return found;
}

void X11WindowServer::bindToPlace(Panel& panel, const DesktopPlace& place) {
    for (auto* state : panels_)
        if (state->panel == &panel && !state->bound && place.desktop >= 0) {
            state->bound = true;
            state->desktop = state->placedOn = static_cast<std::uint32_t>(place.desktop);
            state->desktopName = place.desktopName;
        }
}

QStringList X11WindowServer::desktopNames() const {
    return desktopsKnownByName_ ? WorkspaceNames::byNumber(desktopNames_) : desktopNames_;
}

int X11WindowServer::desktopNameIndex(const DesktopPlace& place) const {
    if (!desktopsKnownByName_) return place.desktop;
    const auto number = WorkspaceNames::numberOf(place.desktopName);
    return number ? *number : -1;
}

QString X11WindowServer::desktopNameShowing(const QString& own, const QString& title) const {
    if (!desktopsKnownByName_) return title;
    return reachedByName_.contains(own) ? own : WorkspaceNames::withTitle(own, title);
}

QString X11WindowServer::switchTo(const DesktopPlace& place) {
    const auto where = locate(place);
    if (!where) return QStringLiteral("that desktop no longer exists");
    switchWanted_ = static_cast<std::uint32_t>(where->desktop);
    if (!clockWindow_) clockWindow_ = windows_->createClockWindow();
    windows_->askForTime(clockWindow_);
    return {};
}

void X11WindowServer::switchAt(std::uint32_t time) {
    if (const auto desktop = std::exchange(switchWanted_, std::nullopt)) {
        SM_TRACE(options_.logger, QStringLiteral("x11 SWITCH desktop=%1 time=%2").arg(*desktop).arg(time));
        windows_->askForCurrentDesktop(*desktop, time);
    }
}

// EWMH: UTF-8 names, each ended by a NUL. The names are taken as written at once, so the refresh that
// the property change brings reports only what someone else changes. i3 is asked to rename, one
// workspace at a time; it has published the new names when it answers.
void X11WindowServer::setDesktopNames(const QStringList& names) {
    if (!canSetDesktopNames()) return;
    if (desktopsKnownByName_) {
        const QStringList current = desktopNames();
        for (qsizetype n = 0; n < names.size() && n < current.size(); ++n) {
            const QString& from = current[n];
            const QString& to = names[n];
            if (to.isEmpty() || from.isEmpty() || to == from) continue;
            if (!i3Ipc_->run(QStringLiteral("rename workspace %1 to %2").arg(i3Quoted(from), i3Quoted(to))))
                continue;
            desktopNames_.replace(desktopNames_.indexOf(from), to);
            for (auto* s : panels_) {
                if (s->desktopName == from) s->desktopName = to;
                if (s->parkedOn == from) s->parkedOn = to;
            }
        }
        return;
    }
    QByteArray raw;
    for (const QString& name : names)
        raw += name.toUtf8().replace('\0', ' ') + '\0';
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atoms_.value("_NET_DESKTOP_NAMES"),
                        atoms_.value("UTF8_STRING"), 8, static_cast<std::uint32_t>(raw.size()),
                        raw.constData());
    xcb_flush(connection_);
    desktopNames_ = names;
}

std::optional<std::uint32_t> X11WindowServer::desktopOf(const Panel& panel) const {
    for (const auto* state : panels_)
        if (state->panel == &panel) return state->desktop;
    return std::nullopt;
}

void X11WindowServer::adopt(PanelState& state) {
    if (!state.serial) {
        state.serial = nextSerial_++;
        panels_.push_back(&state);
    }
    if (state.wid) ourWindows_.insert(state.wid);
}

void X11WindowServer::forget(PanelState& state) {
    std::erase(panels_, &state);
    if (state.wid) ourWindows_.remove(state.wid);
}

void X11WindowServer::prepareMap(PanelState& state) {
    if (!state.wid) return;
    std::optional<std::uint32_t> desktop = state.desktop;
    std::optional<std::uint32_t> current = currentDesktop_;
    if (!state.bound) {
        std::uint32_t now = kEveryDesktop, count = 0, active = 0;
        QStringList names;
        readRootState(&now, &count, &names, &active);
        current = desktop = now == kEveryDesktop ? std::nullopt : std::optional<std::uint32_t>(now);
        state.bound = true;
        state.desktop = desktop;
        state.desktopName = names.value(static_cast<qsizetype>(now));
    } else if (desktop && *desktop != kEveryDesktop && desktopCount_ > 0) {
        desktop = std::min(*desktop, desktopCount_ - 1);
    }
    state.placedOn = desktop;
    // The window manager maps it on the current desktop a moment later: until then it counts as shown.
    if (desktop && current && (*desktop == kEveryDesktop || *desktop == *current) && liesOnAScreen(state)) {
        if (!state.onActiveSpace || !state.visible) heldVisibilityChanges_.push_back(state.serial);
        state.mapping = state.onActiveSpace = state.visible = true;
    }
    // A label coming back to an i3 workspace is put there by i3 itself, the focused one; its desktop,
    // set by i3, then tells that i3 has it back.
    if (desktop && !state.parkedOn) windows_->setDesktop(state.wid, *desktop);
    windows_->markAsPanel(state.wid, state.takesFocus);
    windows_->leaveGroup(state.wid);
}

// Asked again only where the window stands elsewhere: a second request for the same place made some
// managers move it anyway. A mapped window's request is honoured, by i3 too.
void X11WindowServer::placeAgain(std::uint32_t wid, const QRect& geometry) {
    const auto where = windows_->geometry(wid);
    if (!where) return;
    tellWhereIfLost(wid);
    if (*where != geometry) windows_->configure(wid, geometry);
}

// Qt reads a new window's position when it hears of its own configuration, which may be after the
// manager framed it and before it moved the frame into place; openbox then tells the window nothing
// more, and Qt keeps the frame's first corner. A moment later, once Qt has taken in what it queued, a
// window that Qt places elsewhere than the server is told where it stands, as a manager would tell it.
void X11WindowServer::tellWhereIfLost(std::uint32_t wid) {
    QTimer::singleShot(kRemapCheckMilliseconds, context_.get(), [this, wid] {
        const auto it = std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->wid == wid; });
        if (it == panels_.end() || !(*it)->window) return;
        const auto actual = windows_->geometry(wid);
        if (actual && (*it)->window->geometry() != *actual) windows_->tellGeometry(wid, *actual);
    });
}

void X11WindowServer::frameSet(PanelState& state) {
    if (slidesOnSwitch_) state.frameSetAt = clock_.elapsed();
}

// A 1-pixel move and back: the same geometry asked again is no change to the manager, which then
// leaves the window drawn where the slide put it. Windows of the desktop left count too: the next
// slide back would begin from the wrong place. Withdrawn ones are drawn anew when mapped.
void X11WindowServer::framesAgainAfterSlide() {
    const auto since = std::exchange(slidesBegan_, std::nullopt);
    if (!since) return;
    int count = 0;
    for (auto* state : panels_) {
        if (!state->wid || !state->orderedIn || !state->frameSetAt ||
            *state->frameSetAt < *since - kSlideLeadMilliseconds)
            continue;
        const auto where = windows_->geometry(state->wid);
        if (!where) continue;
        windows_->configure(state->wid, where->translated(1, 0));
        windows_->configure(state->wid, *where);
        ++count;
    }
    if (count > 0) SM_TRACE(options_.logger, QStringLiteral("x11 SLIDE-OVER frames set again=%1").arg(count));
}

void X11WindowServer::notTransient(const PanelState& state) {
    if (state.wid) windows_->dropTransientMark(state.wid);
}

void X11WindowServer::sendHome(const PanelState& state) {
    if (state.wid && state.desktop) windows_->askForDesktop(state.wid, *state.desktop);
}

void X11WindowServer::applyShape(const PanelState& state, const std::optional<QRegion>& opaque,
                                 bool transparent) {
    if (!state.wid) return;
    const double ratio = state.window ? state.window->devicePixelRatioF() : 1.0;
    windows_->setShape(state.wid, compositing_ ? std::nullopt : opaque, ratio, transparent);
}

void X11WindowServer::setInputTransparent(const PanelState& state, bool transparent) {
    if (state.wid) windows_->setInputTransparent(state.wid, transparent);
}

// A label shown again right after orderOut asks to be mapped while the window manager may still be
// letting go of it: icewm drops that request, and the window stays unmapped once it is handed back
// to the root. A shown window still unmapped at the root a moment later is mapped again, which the
// manager takes as a new window. Managers that took the first request have framed it by then; a
// second request to them made fluxbox lose the label now and then.
void X11WindowServer::mapAgainIfShown(std::uint32_t wid) {
    QTimer::singleShot(kRemapCheckMilliseconds, context_.get(), [this, wid] {
        const auto it = std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->wid == wid; });
        if (it == panels_.end() || !(*it)->orderedIn || (*it)->parked) return;
        if (!windows_->isUnmappedAtRoot(wid)) return;
        prepareMap(**it);
        windows_->map(wid);
        sendHome(**it);
    });
}

void X11WindowServer::watchPointerPresses(bool watch) {
    const int before = pressWatchers_;
    pressWatchers_ = std::max(0, pressWatchers_ + (watch ? 1 : -1));
    if (!xinputOpcode_ || (before > 0) == (pressWatchers_ > 0)) return;
    // Every device, not only the master ones: the Ctrl monitor selects raw keys for the masters on
    // this same connection and root, and a second selection for the same device would replace it.
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL, 1},
                pressWatchers_ > 0 ? std::uint32_t{XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS} : 0u};
    xcb_input_xi_select_events(connection_, root_, 1, &selection.header);
    xcb_flush(connection_);
}

bool X11WindowServer::checkCompositing() const {
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atoms_.value("_NET_WM_CM_S0")), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// The atom of the monitor's name: the same number for the same monitor throughout the X session.
quint32 X11WindowServer::displayNumberFor(const QString& name) const {
    if (const auto it = displayNumbers_.constFind(name); it != displayNumbers_.constEnd()) return *it;
    const QByteArray bytes = name.toUtf8();
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(bytes.size()), bytes.constData()),
        nullptr));
    const quint32 number = reply ? reply->atom : 0;
    displayNumbers_.insert(name, number);
    return number;
}

std::optional<ScreenInfo> X11WindowServer::screenInfo(const QScreen* screen) const {
    if (!screen) return std::nullopt;
    ScreenInfo info;
    info.displayNumber = displayNumberFor(screen->name());
    const auto describe = [](const QScreen* s) {
        return MonitorDescription{s->name(), s->manufacturer(), s->model(), s->serialNumber()};
    };
    QList<MonitorDescription> attached;
    for (const QScreen* other : QGuiApplication::screens())
        attached << describe(other);
    info.stableId = stableScreenId(describe(screen), attached);
    const QString model = QStringList{screen->manufacturer(), screen->model()}.join(u' ').trimmed();
    info.localizedName = model.isEmpty() ? screen->name() : model;
    info.frame = toLogical(screen->geometry());
    return info;
}

QList<ScreenInfo> X11WindowServer::screens() const {
    QList<ScreenInfo> list;
    for (const QScreen* screen : QGuiApplication::screens()) // the primary comes first
        if (auto info = screenInfo(screen)) list << *info;
    return list;
}

std::optional<ScreenInfo> X11WindowServer::mainScreen() const {
    if (activeWindow_ && !isOurs(activeWindow_))
        if (const auto where = windows_->geometry(activeWindow_))
            if (const QScreen* screen = QGuiApplication::screenAt(
                    {where->x() + where->width() / 2, where->y() + where->height() / 2}))
                return screenInfo(screen);
    if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) return screenInfo(screen);
    return screenInfo(QGuiApplication::primaryScreen());
}

// The logic's origin is the bottom left of the primary screen, y up; X11's the top left, y down.
QRectF X11WindowServer::toLogical(const QRect& native) const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const double bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0.0;
    return {static_cast<double>(native.x()), bottom - native.y() - native.height(),
            static_cast<double>(native.width()), static_cast<double>(native.height())};
}

QRect X11WindowServer::toNative(const QRectF& logical) const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const double bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0.0;
    // Rounded, never grown to cover every touched pixel: a frame keeps its size, and a frame read back
    // and set again stays where it is instead of walking a pixel each time.
    return {qRound(logical.x()), qRound(bottom - logical.y() - logical.height()), qRound(logical.width()),
            qRound(logical.height())};
}

std::unique_ptr<LabelPanel> X11WindowServer::createLabelPanel(const QUuid& tagId) {
    return std::make_unique<X11LabelPanel>(shared_from_this(), tagId);
}

std::unique_ptr<EditorPanel> X11WindowServer::createEditorPanel() {
    return std::make_unique<X11EditorPanel>(shared_from_this());
}

void X11WindowServer::reportMove(bool byDrag, const std::function<void()>& report) {
    const bool outer = std::exchange(reportingDragMove_, reportingDragMove_ || byDrag);
    report();
    reportingDragMove_ = outer;
}

bool X11WindowServer::isLeftMouseButtonDown() const {
    if (reportingDragMove_) return true;
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
    return pointer && (pointer->mask & XCB_BUTTON_MASK_1);
}

bool X11WindowServer::isApplicationActive() const {
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

QString sessionProblem(bool throughXwayland) {
    const bool wayland = !throughXwayland && (qgetenv("XDG_SESSION_TYPE") == "wayland" ||
                                              !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    const QByteArray display = qgetenv("DISPLAY");
    if (wayland)
        return QStringLiteral(
            "Spacemarquee needs an X11 session, but this is a Wayland session: its desktops are "
            "not visible to X11 programs. Log in with an X11 (Xorg) session.");
    if (display.isEmpty())
        return QStringLiteral("Spacemarquee needs an X11 display, but DISPLAY is not set.");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!throughXwayland && !platform.isEmpty() && !platform.startsWith("xcb"))
        return QStringLiteral("Spacemarquee needs Qt's X11 platform (xcb), but QT_QPA_PLATFORM is '%1'.")
            .arg(QString::fromLocal8Bit(platform));
    xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(probe) != 0;
    xcb_disconnect(probe);
    if (failed)
        return QStringLiteral("Spacemarquee cannot open the X11 display '%1'.")
            .arg(QString::fromLocal8Bit(display));
    return {};
}

} // namespace sm::x11
