#pragma once

#include "logging/Logger.h"
#include "platform/wayland/WorkspaceState.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_pointer;
struct wl_keyboard;
struct wl_output;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct xdg_wm_base;
struct ext_workspace_manager_v1;
struct ext_workspace_handle_v1;
struct ext_workspace_group_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace sm::wayland {

class Keyboard;

struct OutputInfo {
    wl_output* output = nullptr;
    quint32 global = 0;
    QString name; // the compositor's connector name ("DP-1")
    QString make, model;
    QRect rect; // in the compositor's layout: top left, y down
    int scale = 1;
    bool ready = false; // its first `done` came

    bool operator==(const OutputInfo&) const = default;
};

// A window as wlr-foreign-toplevel-management tells it, as of its last `done`.
struct ToplevelInfo {
    quint64 number = 0; // ours, from 1, in the order the compositor told them
    QString title;
    QString appId;
    bool activated = false;
    bool operator==(const ToplevelInfo&) const = default;
};

// What the pointer and the keyboard do on one of our surfaces.
struct InputHandler {
    std::function<void(QPointF)> onEnter;
    std::function<void(QPointF)> onMotion;
    std::function<void(quint32 button, bool pressed)> onButton;
    std::function<void()> onLeave;
    std::function<void(bool)> onKeyboardFocus;
    // A key press as the keymap reads it: the Qt key, its text (composed where a dead key came first).
    std::function<void(int key, Qt::KeyboardModifiers, const QString& text)> onKey;
};

// The program's own connection to the compositor, beside the toolkit's: the globals the backend needs,
// the outputs, the seat, and the workspace state applied a `done` at a time. Events are read when the
// socket has some, on the Qt event loop; nothing is polled.
class WaylandConnection {
public:
    // Connects to `display` (empty: $WAYLAND_DISPLAY) and reads the globals, the outputs and the first
    // workspace state. None, with the reason, when no compositor answers.
    static std::unique_ptr<WaylandConnection> open(const QString& display, Logger logger, QString* error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // What the compositor lacks for this backend, in words; empty when it has everything.
    QString missing() const;

    wl_display* display() const { return display_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    xdg_wm_base* wmBase() const { return wmBase_; } // none: no menus
    wl_seat* seat() const { return seat_; }
    quint32 buttonSerial() const { return buttonSerial_; } // of the last button pressed or released
    const QList<OutputInfo>& outputs() const { return outputs_; }
    const OutputInfo* outputNamed(const QString& name) const;
    const Snapshot& workspaces() const { return state_; }
    // Sends the requests made so far.
    void flush();
    // Asks the compositor to activate a workspace, in one commit.
    bool activate(quint64 workspace);
    // Reads and handles what the compositor sent, now: for measurement and tests that must not wait
    // for the event loop.
    void dispatch();

    void setInputHandler(wl_surface* surface, InputHandler* handler);
    bool isLeftButtonDown() const { return leftButtonDown_; }

    // The window that has the focus, where the compositor tells its windows; none when none has it.
    bool tellsToplevels() const { return toplevelManager_ != nullptr; }
    std::optional<ToplevelInfo> activeToplevel() const;

    std::function<void(const WorkspaceChanges&)> onWorkspacesDone;
    std::function<void()> onActiveToplevelChanged; // another window, or its title or app id
    std::function<void()> onOutputsChanged;
    std::function<void(const QString&)> onLost; // the compositor went away or closed the connection

private:
    struct Listeners;
    friend struct Listeners;
    struct Toplevel {
        WaylandConnection* connection;
        zwlr_foreign_toplevel_handle_v1* handle;
        ToplevelInfo pending, current;
    };
    void toplevelsChanged();
    struct Handle {
        WaylandConnection* connection;
        quint64 id;
        void* proxy;
    };

    explicit WaylandConnection(Logger logger);
    void readable();
    void checkError();
    void outputsChanged();
    QString outputName(wl_output* output) const;
    OutputInfo* outputOf(wl_output* output);
    InputHandler* handlerOf(wl_surface* surface) const;

    Logger logger_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    xdg_wm_base* wmBase_ = nullptr;
    ext_workspace_manager_v1* manager_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* toplevelManager_ = nullptr;
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
    quint64 nextToplevel_ = 1;
    std::optional<ToplevelInfo> lastActive_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<Keyboard> keys_;
    bool lost_ = false;

    QList<OutputInfo> outputs_;
    std::vector<std::unique_ptr<Handle>> handles_; // groups and workspaces, while they live
    quint64 nextHandle_ = 1;
    QList<WorkspaceEvent> batch_; // since the last `done`
    Snapshot state_;

    QHash<wl_surface*, InputHandler*> handlers_;
    wl_surface* pointerFocus_ = nullptr;
    wl_surface* keyboardFocus_ = nullptr;
    bool leftButtonDown_ = false;
    quint32 buttonSerial_ = 0;
};

} // namespace sm::wayland
