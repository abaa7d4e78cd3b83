#include "platform/wayland/WaylandConnection.h"

#include "platform/wayland/Keyboard.h"

#include "ext-workspace-v1-client-protocol.h"
// The generated header names an argument `namespace`, which C++ reserves.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace sm::wayland {

namespace {
constexpr quint32 kOutputVersion = 4; // names
constexpr quint32 kSeatVersion = 5;   // pointer frames
constexpr quint32 kShellVersion = 3;
} // namespace

struct WaylandConnection::Listeners {
    // --- registry ---
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* c = static_cast<WaylandConnection*>(data);
        const auto bind = [&](const wl_interface* i, quint32 wanted) {
            return wl_registry_bind(registry, name, i, std::min(version, wanted));
        };
        if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
            c->compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            c->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
        } else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 &&
                   !c->toplevelManager_) {
            // Which window has the focus, for automatic naming.
            c->toplevelManager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
                bind(&zwlr_foreign_toplevel_manager_v1_interface, 3));
            zwlr_foreign_toplevel_manager_v1_add_listener(c->toplevelManager_, &toplevelManagerListener, c);
        } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !c->wmBase_) {
            // For the label's menu: popups are xdg-shell surfaces, even on a layer surface.
            c->wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
            xdg_wm_base_add_listener(c->wmBase_, &wmBaseListener, c);
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !c->seat_) {
            c->seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, kSeatVersion));
            wl_seat_add_listener(c->seat_, &seatListener, c);
        } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
            OutputInfo info;
            info.output = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
            info.global = name;
            c->outputs_.append(info);
            wl_output_add_listener(info.output, &outputListener, c);
        } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
            c->layerShell_ =
                static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, kShellVersion));
        } else if (std::strcmp(interface, ext_workspace_manager_v1_interface.name) == 0 && !c->manager_) {
            c->manager_ =
                static_cast<ext_workspace_manager_v1*>(bind(&ext_workspace_manager_v1_interface, 1));
            ext_workspace_manager_v1_add_listener(c->manager_, &managerListener, c);
        }
    }
    static void globalRemove(void* data, wl_registry*, uint32_t name) {
        auto* c = static_cast<WaylandConnection*>(data);
        for (qsizetype i = 0; i < c->outputs_.size(); ++i) {
            if (c->outputs_[i].global != name) continue;
            wl_output* output = c->outputs_[i].output;
            c->outputs_.removeAt(i);
            if (wl_output_get_version(output) >= 3)
                wl_output_release(output);
            else
                wl_output_destroy(output);
            c->outputsChanged();
            return;
        }
    }
    static constexpr wl_registry_listener registryListener{global, globalRemove};

    // --- outputs ---
    static void geometry(void* data, wl_output* o, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                         const char* make, const char* model, int32_t) {
        if (OutputInfo* info = static_cast<WaylandConnection*>(data)->outputOf(o)) {
            info->rect.moveTopLeft(QPoint(x, y));
            info->make = QString::fromUtf8(make);
            info->model = QString::fromUtf8(model);
        }
    }
    static void mode(void* data, wl_output* o, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
        if (OutputInfo* info = static_cast<WaylandConnection*>(data)->outputOf(o))
            info->rect.setSize(QSize(width, height));
    }
    static void done(void* data, wl_output* o) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (OutputInfo* info = c->outputOf(o)) {
            // Without xdg-output the logical size is the mode's over the scale.
            if (info->scale > 1) info->rect.setSize(info->rect.size() / info->scale);
            info->ready = true;
            c->outputsChanged();
        }
    }
    static void scale(void* data, wl_output* o, int32_t factor) {
        if (OutputInfo* info = static_cast<WaylandConnection*>(data)->outputOf(o))
            info->scale = std::max(1, factor);
    }
    static void name(void* data, wl_output* o, const char* text) {
        if (OutputInfo* info = static_cast<WaylandConnection*>(data)->outputOf(o))
            info->name = QString::fromUtf8(text);
    }
    static void description(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener outputListener{geometry, mode, done, scale, name, description};

    // --- workspaces ---
    static quint64 handleOf(void* data) { return static_cast<Handle*>(data)->id; }
    static WaylandConnection* connectionOf(void* data) { return static_cast<Handle*>(data)->connection; }
    static void add(void* data, WorkspaceEvent::Kind kind, QString text = {}, quint32 bits = 0,
                    quint64 other = 0) {
        connectionOf(data)->batch_.append(
            WorkspaceEvent{kind, handleOf(data), other, std::move(text), {}, bits});
    }
    static Handle* adopt(WaylandConnection* c, void* proxy) {
        c->handles_.push_back(std::make_unique<Handle>(Handle{c, c->nextHandle_++, proxy}));
        return c->handles_.back().get();
    }
    static void drop(void* data) {
        auto* h = static_cast<Handle*>(data);
        std::erase_if(h->connection->handles_, [&](const auto& owned) { return owned.get() == h; });
    }

    static void groupCapabilities(void*, ext_workspace_group_handle_v1*, uint32_t) {}
    static void outputEnter(void* data, ext_workspace_group_handle_v1*, wl_output* output) {
        add(data, WorkspaceEvent::Kind::groupOutputEnter, connectionOf(data)->outputName(output));
    }
    static void outputLeave(void* data, ext_workspace_group_handle_v1*, wl_output* output) {
        add(data, WorkspaceEvent::Kind::groupOutputLeave, connectionOf(data)->outputName(output));
    }
    static void workspaceEnter(void* data, ext_workspace_group_handle_v1*, ext_workspace_handle_v1* w) {
        if (w)
            add(data, WorkspaceEvent::Kind::groupWorkspaceEnter, {}, 0,
                handleOf(ext_workspace_handle_v1_get_user_data(w)));
    }
    static void workspaceLeave(void* data, ext_workspace_group_handle_v1*, ext_workspace_handle_v1* w) {
        if (w)
            add(data, WorkspaceEvent::Kind::groupWorkspaceLeave, {}, 0,
                handleOf(ext_workspace_handle_v1_get_user_data(w)));
    }
    static void groupRemoved(void* data, ext_workspace_group_handle_v1* group) {
        add(data, WorkspaceEvent::Kind::groupRemoved);
        ext_workspace_group_handle_v1_destroy(group);
        drop(data);
    }
    static constexpr ext_workspace_group_handle_v1_listener groupListener{
        groupCapabilities, outputEnter, outputLeave, workspaceEnter, workspaceLeave, groupRemoved};

    static void id(void* data, ext_workspace_handle_v1*, const char* text) {
        add(data, WorkspaceEvent::Kind::workspaceId, QString::fromUtf8(text));
    }
    static void workspaceName(void* data, ext_workspace_handle_v1*, const char* text) {
        add(data, WorkspaceEvent::Kind::workspaceName, QString::fromUtf8(text));
    }
    static void coordinates(void* data, ext_workspace_handle_v1*, wl_array* array) {
        QList<quint32> numbers;
        const auto* values = static_cast<const quint32*>(array->data);
        for (size_t i = 0; i < array->size / sizeof(quint32); ++i)
            numbers << values[i];
        auto e =
            WorkspaceEvent{WorkspaceEvent::Kind::workspaceCoordinates, handleOf(data), 0, {}, numbers, 0};
        connectionOf(data)->batch_.append(e);
    }
    static void state(void* data, ext_workspace_handle_v1*, uint32_t bits) {
        add(data, WorkspaceEvent::Kind::workspaceState, {}, bits);
    }
    static void capabilities(void* data, ext_workspace_handle_v1*, uint32_t bits) {
        add(data, WorkspaceEvent::Kind::workspaceCapabilities, {}, bits);
    }
    static void workspaceRemoved(void* data, ext_workspace_handle_v1* w) {
        add(data, WorkspaceEvent::Kind::workspaceRemoved);
        ext_workspace_handle_v1_destroy(w);
        drop(data);
    }
    static constexpr ext_workspace_handle_v1_listener workspaceListener{
        id, workspaceName, coordinates, state, capabilities, workspaceRemoved};

    static void newGroup(void* data, ext_workspace_manager_v1*, ext_workspace_group_handle_v1* group) {
        auto* c = static_cast<WaylandConnection*>(data);
        Handle* h = adopt(c, group);
        ext_workspace_group_handle_v1_add_listener(group, &groupListener, h);
        c->batch_.append(WorkspaceEvent{WorkspaceEvent::Kind::groupCreated, h->id, 0, {}, {}, 0});
    }
    static void newWorkspace(void* data, ext_workspace_manager_v1*, ext_workspace_handle_v1* workspace) {
        auto* c = static_cast<WaylandConnection*>(data);
        Handle* h = adopt(c, workspace);
        ext_workspace_handle_v1_add_listener(workspace, &workspaceListener, h);
        c->batch_.append(WorkspaceEvent{WorkspaceEvent::Kind::workspaceCreated, h->id, 0, {}, {}, 0});
    }
    static void managerDone(void* data, ext_workspace_manager_v1*) {
        auto* c = static_cast<WaylandConnection*>(data);
        const Snapshot before = c->state_;
        c->state_ = applied(before, std::exchange(c->batch_, {}));
        const WorkspaceChanges changes = compare(before, c->state_);
        if (changes.any() && c->onWorkspacesDone) c->onWorkspacesDone(changes);
    }
    static void finished(void* data, ext_workspace_manager_v1* manager) {
        auto* c = static_cast<WaylandConnection*>(data);
        ext_workspace_manager_v1_destroy(manager);
        c->manager_ = nullptr;
        c->logger_.error(QStringLiteral("The compositor stopped telling about its workspaces."));
    }
    static constexpr ext_workspace_manager_v1_listener managerListener{newGroup, newWorkspace, managerDone,
                                                                       finished};

    static void ping(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }

    // --- windows ---
    static Toplevel* toplevelOf(void* data) { return static_cast<Toplevel*>(data); }
    static void toplevelTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text) {
        toplevelOf(data)->pending.title = QString::fromUtf8(text);
    }
    static void toplevelAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text) {
        toplevelOf(data)->pending.appId = QString::fromUtf8(text);
    }
    static void toplevelOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void toplevelState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        const auto* values = static_cast<const quint32*>(states->data);
        bool activated = false;
        for (size_t i = 0; i < states->size / sizeof(quint32); ++i)
            activated = activated || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        toplevelOf(data)->pending.activated = activated;
    }
    static void toplevelDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
        Toplevel* t = toplevelOf(data);
        t->current = t->pending;
        t->connection->toplevelsChanged();
    }
    static void toplevelClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        WaylandConnection* c = toplevelOf(data)->connection;
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        std::erase_if(c->toplevels_, [&](const auto& t) { return t.get() == data; });
        c->toplevelsChanged();
    }
    static void toplevelParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
    static constexpr zwlr_foreign_toplevel_handle_v1_listener toplevelListener{
        toplevelTitle, toplevelAppId, toplevelOutput, toplevelOutput,
        toplevelState, toplevelDone,  toplevelClosed, toplevelParent};
    static void newToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
        auto* c = static_cast<WaylandConnection*>(data);
        const ToplevelInfo fresh{c->nextToplevel_++, {}, {}, false};
        c->toplevels_.push_back(std::make_unique<Toplevel>(Toplevel{c, handle, fresh, fresh}));
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, c->toplevels_.back().get());
    }
    static void toplevelsFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* c = static_cast<WaylandConnection*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        c->toplevelManager_ = nullptr;
    }
    static constexpr zwlr_foreign_toplevel_manager_v1_listener toplevelManagerListener{newToplevel,
                                                                                      toplevelsFinished};
    static constexpr xdg_wm_base_listener wmBaseListener{ping};

    // --- seat ---
    static void seatCapabilities(void* data, wl_seat* seat, uint32_t caps) {
        auto* c = static_cast<WaylandConnection*>(data);
        if ((caps & WL_SEAT_CAPABILITY_POINTER) && !c->pointer_) {
            c->pointer_ = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(c->pointer_, &pointerListener, c);
        } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && c->pointer_) {
            wl_pointer_release(c->pointer_);
            c->pointer_ = nullptr;
        }
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !c->keyboard_) {
            c->keyboard_ = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(c->keyboard_, &keyboardListener, c);
        } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && c->keyboard_) {
            wl_keyboard_release(c->keyboard_);
            c->keyboard_ = nullptr;
        }
    }
    static void seatName(void*, wl_seat*, const char*) {}
    static constexpr wl_seat_listener seatListener{seatCapabilities, seatName};

    static QPointF at(wl_fixed_t x, wl_fixed_t y) { return {wl_fixed_to_double(x), wl_fixed_to_double(y)}; }
    static void enter(void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        auto* c = static_cast<WaylandConnection*>(data);
        c->pointerFocus_ = surface;
        if (InputHandler* h = c->handlerOf(surface); h && h->onEnter) h->onEnter(at(x, y));
    }
    static void leave(void* data, wl_pointer*, uint32_t, wl_surface* surface) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (c->pointerFocus_ == surface) c->pointerFocus_ = nullptr;
        if (InputHandler* h = c->handlerOf(surface); h && h->onLeave) h->onLeave();
    }
    static void motion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (InputHandler* h = c->handlerOf(c->pointerFocus_); h && h->onMotion) h->onMotion(at(x, y));
    }
    static void button(void* data, wl_pointer*, uint32_t serial, uint32_t, uint32_t code, uint32_t state) {
        auto* c = static_cast<WaylandConnection*>(data);
        c->buttonSerial_ = serial;
        const bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
        if (code == BTN_LEFT) c->leftButtonDown_ = pressed;
        if (InputHandler* h = c->handlerOf(c->pointerFocus_); h && h->onButton) h->onButton(code, pressed);
    }
    static void axis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
    static void frame(void*, wl_pointer*) {}
    static void axisSource(void*, wl_pointer*, uint32_t) {}
    static void axisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
    static void axisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
    static constexpr wl_pointer_listener pointerListener{enter, leave,      motion,   button,       axis,
                                                         frame, axisSource, axisStop, axisDiscrete, nullptr};

    static void keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
            void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (text != MAP_FAILED) {
                if (!c->keys_->setKeymap(static_cast<const char*>(text)))
                    c->logger_.error(QStringLiteral("The compositor's keymap could not be read."));
                munmap(text, size);
            }
        }
        close(fd);
    }
    static void keyEnter(void* data, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
        auto* c = static_cast<WaylandConnection*>(data);
        c->keyboardFocus_ = surface;
        if (InputHandler* h = c->handlerOf(surface); h && h->onKeyboardFocus) h->onKeyboardFocus(true);
    }
    static void keyLeave(void* data, wl_keyboard*, uint32_t, wl_surface* surface) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (c->keyboardFocus_ == surface) c->keyboardFocus_ = nullptr;
        if (InputHandler* h = c->handlerOf(surface); h && h->onKeyboardFocus) h->onKeyboardFocus(false);
    }
    static void key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t code, uint32_t state) {
        auto* c = static_cast<WaylandConnection*>(data);
        if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
        const auto press = c->keys_->press(code);
        if (!press) return;
        if (InputHandler* h = c->handlerOf(c->keyboardFocus_); h && h->onKey)
            h->onKey(press->key, press->modifiers, press->text);
    }
    static void modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                          uint32_t locked, uint32_t group) {
        static_cast<WaylandConnection*>(data)->keys_->setModifiers(depressed, latched, locked, group);
    }
    static void repeat(void*, wl_keyboard*, int32_t, int32_t) {}
    static constexpr wl_keyboard_listener keyboardListener{keymap, keyEnter,  keyLeave,
                                                           key,    modifiers, repeat};
};

WaylandConnection::WaylandConnection(Logger logger)
    : logger_(std::move(logger)), keys_(std::make_unique<Keyboard>()) {}

std::unique_ptr<WaylandConnection> WaylandConnection::open(const QString& display, Logger logger,
                                                           QString* error) {
    std::unique_ptr<WaylandConnection> c(new WaylandConnection(std::move(logger)));
    const QByteArray name = display.toUtf8();
    c->display_ = wl_display_connect(display.isEmpty() ? nullptr : name.constData());
    if (!c->display_) {
        if (error)
            *error = QStringLiteral("no Wayland compositor answers on %1")
                         .arg(display.isEmpty() ? qEnvironmentVariable("WAYLAND_DISPLAY") : display);
        return nullptr;
    }
    c->registry_ = wl_display_get_registry(c->display_);
    wl_registry_add_listener(c->registry_, &Listeners::registryListener, c.get());
    // Globals; then what the bound ones send at once (outputs, the seat, the first workspace batch).
    for (int i = 0; i < 2; ++i)
        if (wl_display_roundtrip(c->display_) < 0) {
            if (error) *error = QStringLiteral("the Wayland compositor closed the connection");
            return nullptr;
        }
    // A look before the toolkit starts (which backend?) reads nothing more.
    if (!QCoreApplication::instance()) return c;
    c->notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(c->display_), QSocketNotifier::Read);
    QObject::connect(c->notifier_.get(), &QSocketNotifier::activated, c->notifier_.get(),
                     [raw = c.get()] { raw->readable(); });
    return c;
}

WaylandConnection::~WaylandConnection() {
    notifier_.reset();
    if (!display_) return;
    for (const auto& h : handles_)
        wl_proxy_destroy(static_cast<wl_proxy*>(h->proxy));
    handles_.clear();
    if (manager_) ext_workspace_manager_v1_destroy(manager_);
    if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    for (const auto& t : toplevels_)
        zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    if (toplevelManager_) zwlr_foreign_toplevel_manager_v1_destroy(toplevelManager_);
    for (const auto& o : outputs_)
        wl_output_destroy(o.output);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (seat_) wl_seat_destroy(seat_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

std::optional<ToplevelInfo> WaylandConnection::activeToplevel() const {
    for (const auto& t : toplevels_)
        if (t->current.activated) return t->current;
    return std::nullopt;
}

void WaylandConnection::toplevelsChanged() {
    const auto now = activeToplevel();
    if (now == lastActive_) return;
    lastActive_ = now;
    if (onActiveToplevelChanged) onActiveToplevelChanged();
}

QString WaylandConnection::missing() const {
    QStringList lacks;
    if (!manager_)
        lacks << QStringLiteral("ext-workspace-v1 (ext_workspace_manager_v1), which tells its workspaces");
    if (!layerShell_)
        lacks << QStringLiteral("wlr-layer-shell (zwlr_layer_shell_v1), which shows the labels");
    if (!compositor_ || !shm_) lacks << QStringLiteral("wl_compositor and wl_shm");
    if (lacks.isEmpty()) return {};
    return QStringLiteral("This Wayland compositor does not offer ") + lacks.join(QStringLiteral(" nor ")) +
           QStringLiteral(", so Spacemarquee cannot follow or label its workspaces.");
}

const OutputInfo* WaylandConnection::outputNamed(const QString& name) const {
    for (const auto& o : outputs_)
        if (o.name == name) return &o;
    return nullptr;
}

OutputInfo* WaylandConnection::outputOf(wl_output* output) {
    for (auto& o : outputs_)
        if (o.output == output) return &o;
    return nullptr;
}

QString WaylandConnection::outputName(wl_output* output) const {
    for (const auto& o : outputs_)
        if (o.output == output) return o.name.isEmpty() ? QStringLiteral("output-%1").arg(o.global) : o.name;
    return {};
}

void WaylandConnection::outputsChanged() {
    if (onOutputsChanged) onOutputsChanged();
}

bool WaylandConnection::activate(quint64 workspace) {
    if (!manager_) return false;
    for (const auto& h : handles_)
        if (h->id == workspace) {
            ext_workspace_handle_v1_activate(static_cast<ext_workspace_handle_v1*>(h->proxy));
            ext_workspace_manager_v1_commit(manager_);
            flush();
            return true;
        }
    return false;
}

void WaylandConnection::setInputHandler(wl_surface* surface, InputHandler* handler) {
    if (handler)
        handlers_.insert(surface, handler);
    else {
        handlers_.remove(surface);
        if (pointerFocus_ == surface) pointerFocus_ = nullptr;
        if (keyboardFocus_ == surface) keyboardFocus_ = nullptr;
    }
}

InputHandler* WaylandConnection::handlerOf(wl_surface* surface) const {
    return surface ? handlers_.value(surface) : nullptr;
}

void WaylandConnection::flush() {
    if (lost_) return;
    wl_display_flush(display_);
    checkError();
}

// One read of the socket and every event it brought, then what those made us send.
void WaylandConnection::readable() {
    if (lost_) return;
    while (wl_display_prepare_read(display_) != 0)
        wl_display_dispatch_pending(display_);
    if (wl_display_read_events(display_) < 0) {
        checkError();
        return;
    }
    wl_display_dispatch_pending(display_);
    flush();
}

void WaylandConnection::dispatch() {
    if (lost_) return;
    wl_display_roundtrip(display_);
    checkError();
}

void WaylandConnection::checkError() {
    if (lost_) return;
    const int code = wl_display_get_error(display_);
    if (code == 0) return;
    lost_ = true;
    if (notifier_) notifier_->setEnabled(false);
    const QString why = code == EPROTO
                            ? QStringLiteral("the compositor found an error in what Spacemarquee sent")
                            : QStringLiteral("the connection to the compositor ended (%1)")
                                  .arg(QString::fromLocal8Bit(std::strerror(code)));
    logger_.error(QStringLiteral("Wayland: ") + why);
    if (onLost) onLost(why);
}

} // namespace sm::wayland
