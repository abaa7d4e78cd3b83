#include "platform/x11/X11Workspace.h"

#include "platform/x11/XcbReply.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace sm::x11 {

namespace {

// A reply, or none when the request failed (a window that went away): the error is taken here so it
// never reaches the event queue as a complaint.
template <class T, class Cookie, class Fn> Reply<T> take(xcb_connection_t* c, Cookie cookie, Fn replyFn) {
    xcb_generic_error_t* error = nullptr;
    Reply<T> reply(replyFn(c, cookie, &error));
    std::free(error);
    return reply;
}

Reply<xcb_get_property_reply_t> takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    return take<xcb_get_property_reply_t>(c, cookie, xcb_get_property_reply);
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, std::uint32_t window, std::uint32_t atom,
                              std::uint32_t type, std::uint32_t maxBytes) {
    return xcb_get_property(c, 0, window, atom, type, 0, (maxBytes + 3) / 4);
}

std::optional<QByteArray> bytes(const xcb_get_property_reply_t* reply) {
    // Absent, or of another type than asked for (the server then sends no bytes, only the length).
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE) return std::nullopt;
    if (reply->value_len == 0 && reply->bytes_after > 0) return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                      xcb_get_property_value_length(reply));
}

std::vector<std::uint32_t> cardinals(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return {values, values + reply->value_len};
}

bool isBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

// Hears _NET_ACTIVE_WINDOW change on the root and asks for one look, outside the event filter (no
// reply is awaited while Qt dispatches: a window manager may hold the server while it switches).
class WorkspaceEvents final : public QAbstractNativeEventFilter {
public:
    explicit WorkspaceEvents(X11Workspace& workspace) : workspace_(workspace) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (e->window == workspace_.root_ && e->atom == workspace_.atom("_NET_ACTIVE_WINDOW"))
            workspace_.activationTimer_->start();
        return false;
    }

private:
    X11Workspace& workspace_;
};

std::shared_ptr<X11Workspace> X11Workspace::create(Logger logger, QString* error) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        const QString problem =
            QStringLiteral("The workspace needs an X11 connection; automatic naming sees no windows.");
        logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    std::shared_ptr<X11Workspace> workspace(new X11Workspace(std::move(logger)));
    auto* c = workspace->connection_ = x11->connection();
    workspace->root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    static const char* const names[] = {"_NET_ACTIVE_WINDOW",
                                        "_NET_CLIENT_LIST_STACKING",
                                        "_NET_WM_PID",
                                        "_NET_WM_NAME",
                                        "UTF8_STRING",
                                        "_GTK_APPLICATION_ID",
                                        "_KDE_NET_WM_DESKTOP_FILE",
                                        "_NET_WM_WINDOW_TYPE",
                                        "_NET_WM_WINDOW_TYPE_NORMAL",
                                        "_NET_WM_WINDOW_TYPE_DIALOG",
                                        "_NET_WM_WINDOW_TYPE_DOCK",
                                        "_NET_WM_WINDOW_TYPE_DESKTOP"};
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : names)
        cookies.push_back(xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name));
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        auto reply = take<xcb_intern_atom_reply_t>(c, cookies[i], xcb_intern_atom_reply);
        workspace->atoms_.insert(QByteArray(names[i]), reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE});
    }

    // Add to the root's event mask rather than replace what Qt and the window server chose.
    auto attributes = take<xcb_get_window_attributes_reply_t>(
        c, xcb_get_window_attributes(c, workspace->root_), xcb_get_window_attributes_reply);
    const std::uint32_t mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, workspace->root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    workspace->activationTimer_ = std::make_unique<QTimer>();
    workspace->activationTimer_->setSingleShot(true);
    workspace->activationTimer_->setInterval(0);
    QObject::connect(workspace->activationTimer_.get(), &QTimer::timeout,
                     [raw = workspace.get()] { raw->activeWindowMayHaveChanged(); });
    workspace->events_ = std::make_unique<WorkspaceEvents>(*workspace);
    qApp->installNativeEventFilter(workspace->events_.get());
    if (const auto app = workspace->frontmostApplication())
        workspace->lastActive_ = std::pair(app->applicationId, app->processId);
    return workspace;
}

X11Workspace::X11Workspace(Logger logger) : logger_(std::move(logger)) {}

X11Workspace::~X11Workspace() {
    if (events_ && qApp) qApp->removeNativeEventFilter(events_.get());
}

std::uint32_t X11Workspace::activeWindow() const {
    const auto reply =
        takeProperty(connection_, ask(connection_, root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 4));
    return cardinal(reply.get()).value_or(0);
}

// Only a change of application is an activation: focus moving between one program's windows is not.
void X11Workspace::activeWindowMayHaveChanged() {
    const auto app = frontmostApplication();
    if (!app) return;
    const auto identity = std::pair(app->applicationId, app->processId);
    if (lastActive_ == identity) return;
    lastActive_ = identity;
    applicationActivated.emit();
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const {
    const std::uint32_t window = activeWindow();
    if (!window) return std::nullopt;
    auto* c = connection_;
    const std::uint32_t utf8 = atom("UTF8_STRING");
    const auto gtk = ask(c, window, atom("_GTK_APPLICATION_ID"), utf8, kMaxIdBytes);
    const auto kde = ask(c, window, atom("_KDE_NET_WM_DESKTOP_FILE"), utf8, kMaxIdBytes);
    const auto wmClass = ask(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kMaxIdBytes);
    const auto pid = ask(c, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 4);
    const auto gtkId = bytes(takeProperty(c, gtk).get());
    const auto kdeId = bytes(takeProperty(c, kde).get());
    const auto classes = bytes(takeProperty(c, wmClass).get()).value_or(QByteArray()).split('\0');
    const auto processId = cardinal(takeProperty(c, pid).get());

    const QString instance = sanitizedTitle(classes.value(0), false);
    const QString wmClassName = sanitizedTitle(classes.value(1), false);
    RunningApplication app;
    if (gtkId && !gtkId->isEmpty())
        app.applicationId = sanitizedTitle(*gtkId, true);
    else if (kdeId && !kdeId->isEmpty())
        app.applicationId =
            sanitizedTitle(*kdeId, true).remove(QRegularExpression(QStringLiteral("\\.desktop$")));
    else
        app.applicationId = wmClassName;
    app.processId = processId.value_or(0);
    if (app.processId == ::getpid()) app.applicationId = ownApplicationId();
    app.localizedName = names_.nameFor(app.applicationId, instance).value_or(wmClassName);
    app.localizedName = sanitizedTitle(app.localizedName.toUtf8(), true);
    return app;
}

QString X11Workspace::ownApplicationId() const {
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id.isEmpty() ? QCoreApplication::applicationName() : id;
}

std::optional<QList<WindowListEntry>> X11Workspace::onScreenWindows() const {
    auto* c = connection_;
    const auto stacking =
        takeProperty(c, ask(c, root_, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, kMaxWindows * 4));
    if (!stacking || stacking->format != 32) return std::nullopt;
    std::vector<std::uint32_t> windows = cardinals(stacking.get());
    std::reverse(windows.begin(), windows.end()); // the list runs bottom to top

    struct Asked {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t pid, type, netName, name;
    };
    // Every request goes out before the first reply is awaited: one round trip for the whole list.
    const std::uint32_t utf8 = atom("UTF8_STRING");
    std::vector<Asked> asked;
    asked.reserve(windows.size());
    for (const std::uint32_t w : windows)
        asked.push_back({xcb_get_window_attributes(c, w),
                         ask(c, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 4),
                         ask(c, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 64),
                         // Any type: some tools write UTF-8 under the type STRING here.
                         ask(c, w, atom("_NET_WM_NAME"), XCB_GET_PROPERTY_TYPE_ANY, kMaxPropertyBytes),
                         ask(c, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kMaxPropertyBytes)});

    QList<WindowListEntry> list;
    for (const Asked& a : asked) {
        const auto attributes =
            take<xcb_get_window_attributes_reply_t>(c, a.attributes, xcb_get_window_attributes_reply);
        const auto pid = takeProperty(c, a.pid);
        const auto type = takeProperty(c, a.type);
        const auto netName = takeProperty(c, a.netName);
        const auto name = takeProperty(c, a.name);
        // Gone meanwhile, or on another desktop, minimised, not yet mapped: not on screen.
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        WindowListEntry entry;
        if (const auto value = cardinal(pid.get())) entry.ownerProcessId = *value;
        // Normal windows and dialogs are layer 0; docks sit above (as menu-bar status windows do),
        // the desktop below, every other kind (menus, toolbars, splashes, notifications) floats.
        const auto types = cardinals(type.get());
        if (types.empty() || types.front() == atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
            types.front() == atom("_NET_WM_WINDOW_TYPE_DIALOG"))
            entry.layer = kNormalWindowLayer;
        else if (types.front() == atom("_NET_WM_WINDOW_TYPE_DOCK"))
            entry.layer = 20;
        else if (types.front() == atom("_NET_WM_WINDOW_TYPE_DESKTOP"))
            entry.layer = -1;
        else
            entry.layer = 3;
        if (const auto utf8Name = bytes(netName.get()))
            entry.title = sanitizedTitle(*utf8Name, true);
        else if (const auto legacy = bytes(name.get()))
            entry.title = sanitizedTitle(*legacy, name->type == utf8);
        list << entry;
    }
    return list;
}

QString X11Workspace::sanitizedTitle(const QByteArray& raw, bool utf8) {
    const QString decoded = utf8 ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
    QString out;
    out.reserve(std::min(decoded.size(), kMaxTitleCharacters));
    for (const char32_t c : decoded.toUcs4()) {
        if (isBidiControl(c)) continue;
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
        const QString piece = control ? QStringLiteral(" ") : QString::fromUcs4(&c, 1);
        if (out.size() + piece.size() > kMaxTitleCharacters) break;
        out += piece;
    }
    return out;
}

} // namespace sm::x11
