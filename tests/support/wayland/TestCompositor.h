#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace sm::test {

// A small Wayland compositor for the wayland tier, on a thread of its own and a socket in
// $XDG_RUNTIME_DIR. It renders nothing. It offers wl_compositor, wl_shm, wl_output (one per screen,
// addable and removable), wl_seat (pointer and keyboard with an xkb keymap), zwlr_layer_shell_v1 (with
// xdg_wm_base for its popups, which are listed with the layer surfaces) and,
// unless told not to, ext_workspace_manager_v1 with one workspace group per output. Tests script the
// workspaces and outputs, drive the pointer and the keyboard, and read back every request it got.
// Every call returns once the compositor has done it and sent the clients what it sends.
class TestCompositor {
public:
    struct Options {
        QStringList outputs{QStringLiteral("DP-1"), QStringLiteral("HDMI-A-1")}; // side by side, 1280x800
        bool workspaces = true;     // advertise ext_workspace_manager_v1
        bool grantsActivate = true; // workspaces have the activate capability
        bool sendsIds = false;      // workspaces have the compositor's lasting ids
        bool toplevels = true;      // advertise zwlr_foreign_toplevel_manager_v1
        QString keyboardLayout = QStringLiteral("us");
        QString keyboardVariant;
    };
    struct LayerSurface {
        int id = 0;
        QString output; // where the client asked for it; empty: the compositor's choice
        quint32 layer = 0;
        QString nameSpace;
        QSize size;    // as set
        QPoint margin; // left, top
        quint32 anchor = 0;
        quint32 keyboard = 0; // keyboard interactivity
        int configures = 0;
        int acks = 0;
        bool mapped = false; // a buffer is attached and committed
        int buffers = 0;     // buffers committed so far
        QImage image;        // the last buffer committed
        int popupOf = 0;     // an xdg_popup's: the surface it opened on; 0 for a layer surface
        bool grabbed = false; // a popup that asked for the pointer
    };

    explicit TestCompositor(Options options);
    TestCompositor() : TestCompositor(Options{}) {}
    ~TestCompositor();
    TestCompositor(const TestCompositor&) = delete;
    TestCompositor& operator=(const TestCompositor&) = delete;

    bool isRunning() const;
    QString socketName() const; // for WAYLAND_DISPLAY
    QString socketPath() const; // the same, for a process with another XDG_RUNTIME_DIR

    // Workspaces, numbered from 1 in the order they were made. Each change is one batch ending in `done`.
    int addWorkspace(const QString& output, const QString& name, QList<quint32> coordinates = {});
    void renameWorkspace(int workspace, const QString& name);
    void activateWorkspace(int workspace); // as the user's key binding would
    void removeWorkspace(int workspace);
    QString activeWorkspaceName(const QString& output) const;
    // Outputs come and go with their group: the group loses and regains the output, keeping its workspaces.
    void addOutput(const QString& name);
    void removeOutput(const QString& name);

    // Windows, as wlr-foreign-toplevel-management tells them (unless told not to), numbered from 1; the
    // one opened or focused last has the focus.
    int openWindow(const QString& appId, const QString& title);
    void focusWindow(int window);
    void retitleWindow(int window, const QString& title);
    void closeWindow(int window);

    // Every request of interest, in order: "activate NAME", "commit", "get_layer_surface", "ack_configure",
    // "attach WxH", "keyboard_interactivity N", ...
    QStringList requests() const;
    qsizetype count(const QString& prefix) const;
    QList<LayerSurface> layerSurfaces() const; // the live ones, in creation order
    std::optional<LayerSurface> mappedOn(const QString& output) const;

    // Input, on a layer surface at surface-local points.
    void click(int surface, QPoint at, bool right = false);
    void drag(int surface, QPoint from, QPoint to);
    // Key presses by evdev code on whichever surface the client gave keyboard interactivity; shift held
    // while `shifted`.
    void focusKeyboard(int surface);
    void typeKeys(const QList<quint32>& codes, bool shifted = false);

private:
    struct State;
    void call(std::function<void()> work) const;
    std::unique_ptr<State> s_;
};

} // namespace sm::test
