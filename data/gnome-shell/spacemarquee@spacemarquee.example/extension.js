// Spacemarquee's bridge into GNOME Shell. On Wayland nothing outside the shell sees the workspaces or
// places a window, so this reports those facts on the session bus and places the program's own
// windows where it asks. Every decision stays in the program: this file only reports and obeys.
'use strict';

const { Clutter, Gio, GLib, Meta, Shell } = imports.gi;
const Main = imports.ui.main;
const ExtensionUtils = imports.misc.extensionUtils;
const AppDisplay = imports.ui.appDisplay;
const WorkspaceUI = imports.ui.workspace;
const WorkspaceThumbnail = imports.ui.workspaceThumbnail;

const BUS_NAME = 'org.spacemarquee.GnomeBridge';
const OBJECT_PATH = '/org/spacemarquee/GnomeBridge';
// The program titles its windows this way; with the caller's pid that is what makes a window its own.
const MARKER = /^Spacemarquee (label|editor) /;

const INTERFACE = `<node>
  <interface name="org.spacemarquee.GnomeBridge">
    <property name="Version" type="s" access="read"/>
    <method name="GetState"><arg name="state" type="s" direction="out"/></method>
    <method name="Place">
      <arg name="marker" type="s" direction="in"/>
      <arg name="workspace" type="t" direction="in"/>
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="SetOpacity">
      <arg name="marker" type="s" direction="in"/>
      <arg name="opacity" type="d" direction="in"/>
    </method>
    <method name="SetInput">
      <arg name="marker" type="s" direction="in"/>
      <arg name="takes" type="b" direction="in"/>
    </method>
    <method name="Focus"><arg name="marker" type="s" direction="in"/></method>
    <method name="SetWorkspaceNames"><arg name="names" type="as" direction="in"/></method>
    <method name="ActivateWorkspace"><arg name="index" type="i" direction="in"/></method>
    <signal name="StateChanged"><arg name="state" type="s"/></signal>
  </interface>
</node>`;

class Bridge {
    constructor(version) {
        this.Version = version;
        this._pids = new Set(); // processes that talked to us: only their marked windows are ours
        this._senders = new Map(); // bus name -> pid
        this._pending = new Map(); // "pid marker" -> placement asked for before the window mapped
        this._ids = new WeakMap(); // workspace -> id that survives the renumbering of its neighbours
        this._nextId = 1;
        this._lastForeign = null; // the window a label took the focus from
        this._grabbed = null; // the program's window the user drags now
        this._mapped = new WeakSet(); // windows past their first frame
        this._deaf = new WeakMap(); // window of ours that lets the pointer through -> the actors it made deaf
        this._queued = 0;
        this._appsQueued = 0;
    }

    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._owner = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);

        const wm = global.workspace_manager;
        wm.connectObject(
            'active-workspace-changed', () => this._changed(true),
            'workspace-added', () => this._changed(false),
            'workspace-removed', () => this._changed(false),
            'workspaces-reordered', () => this._changed(false), this);
        global.display.connectObject(
            'window-created', (_d, win) => this._windowCreated(win),
            'notify::focus-window', () => this._focusChanged(),
            'grab-op-begin', (_d, win) => {
                if (this.isOurs(win))
                    this._grabbed = win;
            },
            'grab-op-end', (_d, win) => this._grabEnded(win), this);
        Main.layoutManager.connectObject('monitors-changed', () => this._changed(false), this);
        // GNOME's own list of names, which its workspace switcher and indicator show.
        this._wmPreferences = new Gio.Settings({ schema_id: 'org.gnome.desktop.wm.preferences' });
        this._wmPreferences.connectObject('changed::workspace-names', () => this._changed(false), this);
        // In the overview no label shows: the program hears of it as of any change.
        Main.overview.connectObject('shown', () => this._changed(false), 'hidden', () => this._changed(false), this);
        for (const actor of global.get_window_actors()) {
            this._mapped.add(actor.get_meta_window());
            this._watch(actor.get_meta_window());
        }
        this._hideOwnWindows();
    }

    disable() {
        this._restore?.forEach(undo => undo());
        this._restore = null;
        global.workspace_manager.disconnectObject(this);
        global.display.disconnectObject(this);
        Main.layoutManager.disconnectObject(this);
        Main.overview.disconnectObject(this);
        this._wmPreferences.disconnectObject(this);
        this._wmPreferences = null;
        for (const actor of global.get_window_actors())
            actor.get_meta_window().disconnectObject(this);
        if (this._queued)
            GLib.source_remove(this._queued);
        this._queued = 0;
        if (this._appsQueued)
            GLib.source_remove(this._appsQueued);
        this._appsQueued = 0;
        Gio.bus_unown_name(this._owner);
        this._dbus.unexport();
        this._dbus = null;
    }

    isOurs(win) {
        return !!win && this._pids.has(win.get_pid()) && MARKER.test(win.get_title() ?? '');
    }

    // Labels stay out of the overview's window picker, the thumbnails, both switchers, the dash and the
    // app grid's running dots, and never keep a workspace alive: GNOME removes a workspace that holds
    // nothing but a label. A Wayland client cannot ask to skip the taskbar, so the shell's JS callers are
    // given the lists they would see if it could; the shell's C side is left as it is.
    _hideOwnWindows() {
        const bridge = this;
        const appWindows = Shell.App.prototype.get_windows;
        const running = Shell.AppSystem.prototype.get_running;
        this._allRunning = () => running.call(Shell.AppSystem.get_default());
        // An app whose every window is ours (the program showing only labels) is not running to the user.
        const onlyOurs = app => {
            const windows = appWindows.call(app);
            return windows.length > 0 && windows.every(w => bridge.isOurs(w));
        };
        const patches = [
            [WorkspaceUI.Workspace.prototype, '_isOverviewWindow', (orig, self, [win]) =>
                !bridge.isOurs(win) && orig.call(self, win)],
            [WorkspaceThumbnail.WorkspaceThumbnail.prototype, '_isOverviewWindow', (orig, self, [actor]) =>
                !bridge.isOurs(actor.get_meta_window()) && orig.call(self, actor)],
            // Both switchers build their lists from the tab list, which leaves out skip-taskbar windows.
            [Meta.Display.prototype, 'get_tab_list', (orig, self, args) =>
                orig.apply(self, args).filter(w => !bridge.isOurs(w))],
            // The dash, the app switcher and the shell's introspection go by the running apps.
            [Shell.AppSystem.prototype, 'get_running', (orig, self, args) =>
                orig.apply(self, args).filter(app => !onlyOurs(app))],
            [Shell.App.prototype, 'get_windows', (orig, self, args) =>
                orig.apply(self, args).filter(w => !bridge.isOurs(w))],
            [AppDisplay.AppIcon.prototype, '_updateRunningStyle', (orig, self, args) => {
                orig.apply(self, args);
                if (onlyOurs(self.app))
                    self._dot.hide();
            }],
        ];
        const tracker = Main.wm._workspaceTracker;
        if (tracker) {
            patches.push([tracker, '_checkWorkspaces', (orig, self, args) => {
                const all = global.get_window_actors;
                global.get_window_actors = () => all.call(global).filter(a => !bridge.isOurs(a.get_meta_window()));
                try {
                    return orig.apply(self, args);
                } finally {
                    delete global.get_window_actors;
                }
            }]);
        }
        this._restore = patches.map(([target, name, replacement]) => {
            const orig = target[name];
            const own = Object.prototype.hasOwnProperty.call(target, name);
            target[name] = function (...args) {
                return replacement(orig, this, args);
            };
            return () => {
                if (own)
                    target[name] = orig;
                else
                    delete target[name];
            };
        });
    }

    // The shell tells the dash and the rest of a change of an app's state only: when a window of the
    // program comes, goes or becomes known as ours, they are told to read the running list again.
    _appsChanged() {
        if (this._appsQueued)
            return;
        this._appsQueued = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            this._appsQueued = 0;
            const system = Shell.AppSystem.get_default();
            for (const app of this._allRunning()) {
                if (app.get_pids().some(pid => this._pids.has(pid))) {
                    app.notify('state');
                    system.emit('app-state-changed', app);
                }
            }
            return GLib.SOURCE_REMOVE;
        });
    }

    _workspaceId(ws) {
        if (!this._ids.has(ws))
            this._ids.set(ws, this._nextId++);
        return this._ids.get(ws);
    }

    _state() {
        const wm = global.workspace_manager;
        const workspaces = [];
        for (let i = 0; i < wm.get_n_workspaces(); i++)
            workspaces.push(this._workspaceId(wm.get_workspace_by_index(i)));
        const monitors = Main.layoutManager.monitors.map(m => ({
            index: m.index, x: m.x, y: m.y, width: m.width, height: m.height,
            primary: m.index === Main.layoutManager.primaryIndex,
        }));
        const focus = global.display.focus_window;
        const app = focus ? Shell.WindowTracker.get_default().get_window_app(focus) : null;
        const windows = [];
        const stack = [];
        const active = wm.get_active_workspace();
        const sorted = global.display.sort_windows_by_stacking(
            global.get_window_actors().map(a => a.get_meta_window()));
        for (const win of sorted.reverse()) {
            if (this.isOurs(win)) {
                const r = win.get_frame_rect();
                const ws = win.get_workspace();
                windows.push({
                    marker: win.get_title(), pid: win.get_pid(),
                    workspace: win.is_on_all_workspaces() || !ws ? 0 : this._workspaceId(ws),
                    x: r.x, y: r.y, width: r.width, height: r.height,
                    showing: win.showing_on_its_workspace() && !win.minimized,
                });
            } else if (win.located_on_workspace(active) && win.showing_on_its_workspace()) {
                stack.push({
                    pid: win.get_pid(), title: win.get_title() ?? '',
                    normal: win.get_window_type() === Meta.WindowType.NORMAL ||
                        win.get_window_type() === Meta.WindowType.DIALOG,
                });
            }
        }
        return JSON.stringify({
            version: this.Version, workspaces, active: wm.get_active_workspace_index(), monitors,
            overview: Main.overview.visible,
            names: this._wmPreferences.get_strv('workspace-names'),
            focus: focus && !this.isOurs(focus) ? {
                title: focus.get_title() ?? '', pid: focus.get_pid(),
                appId: app ? app.get_id().replace(/\.desktop$/, '') : (focus.get_wm_class() ?? ''),
                appName: app ? app.get_name() : '',
            } : null,
            windows, stack,
        });
    }

    // A switch is told at once: the program measures itself against it. Other changes are gathered
    // until the shell is idle, as one may come in a burst of many.
    _changed(now) {
        if (now) {
            if (this._queued)
                GLib.source_remove(this._queued);
            this._queued = 0;
            this._emit();
            return;
        }
        if (!this._queued) {
            this._queued = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
                this._queued = 0;
                this._emit();
                return GLib.SOURCE_REMOVE;
            });
        }
    }

    _emit() {
        this._dbus?.emit_signal('StateChanged', new GLib.Variant('(s)', [this._state()]));
    }

    _watch(win) {
        win.connectObject(
            'notify::title', () => {
                this._applyPending(win);
                if (this.isOurs(win))
                    this._appsChanged();
                if (win === global.display.focus_window || this.isOurs(win))
                    this._changed(false);
            },
            'workspace-changed', () => this.isOurs(win) && this._changed(false),
            'position-changed', () => {
                if (!this.isOurs(win))
                    return;
                this._keepPlace(win);
                this._changed(false);
            },
            'shown', () => {
                this._applyPending(win);
                this._changed(false);
            },
            'unmanaging', () => this._mapped.delete(win),
            'unmanaged', () => {
                this._mapped.delete(win);
                this._pending.delete(`${win.get_pid()} ${win.get_title()}`);
                if (this._lastForeign === win)
                    this._lastForeign = null;
                win.disconnectObject(this);
                win.get_compositor_private()?.disconnectObject(this);
                if (this._pids.has(win.get_pid()))
                    this._appsChanged();
                this._changed(false);
            }, this);
    }

    // The shell places a new window itself when it first maps; ours is placed once more after that.
    // Nothing is done to a window before its first frame: until then the shell has not stacked or
    // configured it, and moving it then upsets the shell.
    _windowCreated(win) {
        this._watch(win);
        win.get_compositor_private()?.connectObject('first-frame', () => {
            this._mapped.add(win);
            this._applyPending(win);
            if (this.isOurs(win))
                this._appsChanged();
            this._changed(false);
        }, this);
        this._changed(false);
    }

    // A label never keeps the keyboard: it goes back where it was. The editor asks for it by Focus.
    _focusChanged() {
        const win = global.display.focus_window;
        if (win && this.isOurs(win) && win.get_title().startsWith('Spacemarquee label ')) {
            if (this._lastForeign)
                this._lastForeign.focus(global.get_current_time());
        } else if (win && !this.isOurs(win)) {
            this._lastForeign = win;
        }
        this._changed(false);
    }

    // The shell places a new window as it maps, and moves a window to where a configuration the client
    // acknowledges late said: a window moved by the shell alone goes back where it was asked. The user's
    // drag is not undone.
    _keepPlace(win) {
        const placement = this._pending.get(`${win.get_pid()} ${win.get_title()}`);
        if (!placement || placement.x === undefined || this._grabbed === win || !this._mapped.has(win))
            return;
        const r = win.get_frame_rect();
        if (r.x === placement.x && r.y === placement.y)
            return;
        // Several corrections in a burst mean the shell insists (its constraints): it keeps its place.
        const now = GLib.get_monotonic_time();
        const burst = placement.refused && now - placement.refused.at < 500000 ? placement.refused.count : 0;
        if (burst >= 3)
            return;
        placement.refused = { at: now, count: burst + 1 };
        Meta.later_add(Meta.LaterType.BEFORE_REDRAW, () => {
            if (this._grabbed !== win && this._mapped.has(win))
                this._place(win, placement);
            return GLib.SOURCE_REMOVE;
        });
    }

    // A drag of the program's window ends where the user left it: that is its place from now on.
    _grabEnded(win) {
        if (this._grabbed !== win)
            return;
        this._grabbed = null;
        const placement = this._pending.get(`${win.get_pid()} ${win.get_title()}`);
        if (placement) {
            const r = win.get_frame_rect();
            Object.assign(placement, { x: r.x, y: r.y, refused: null });
        }
        this._changed(false);
    }

    _applyPending(win) {
        if (!this.isOurs(win) || !this._mapped.has(win))
            return;
        const key = `${win.get_pid()} ${win.get_title()}`;
        const placement = this._pending.get(key);
        if (placement)
            this._place(win, placement);
    }

    _place(win, placement) {
        // A window on its way out is left alone: moving it then can bring the shell down.
        if (!this._mapped.has(win) || !win.get_compositor_private())
            return;
        const { workspace, x, y, opacity } = placement;
        if (placement.focus && win.get_compositor_private()?.visible) {
            placement.focus = false;
            win.activate(global.get_current_time());
        }
        const actor = win.get_compositor_private();
        if (actor && opacity !== undefined)
            actor.opacity = Math.round(Math.min(Math.max(opacity, 0), 1) * 255);
        if (placement.input !== undefined)
            this._setInput(win, placement.input);
        if (x === undefined)
            return;
        const wm = global.workspace_manager;
        for (let i = 0; i < wm.get_n_workspaces(); i++) {
            const ws = wm.get_workspace_by_index(i);
            if (workspace && this._workspaceId(ws) === workspace && win.get_workspace() !== ws)
                win.change_workspace(ws);
        }
        if (!win.is_above())
            win.make_above();
        win.move_frame(false, x, y);
    }

    // A window of ours that takes no pointer lets it through to the window beneath: the stage's pick
    // skips actors that are not reactive, so the window's surfaces are made so, and given back as they
    // were. This is done here rather than by the client's input region so that the pick below comes
    // after the change, which the shell cannot tell of a region that comes over Wayland.
    _setInput(win, takes) {
        const actor = win.get_compositor_private();
        if (!actor)
            return;
        const deaf = this._deaf.get(win);
        if (takes) {
            deaf?.forEach(a => {
                a.reactive = true;
            });
            this._deaf.delete(win);
        } else if (!deaf) {
            const made = [];
            const walk = parent => parent.get_children().forEach(a => {
                if (a.reactive) {
                    a.reactive = false;
                    made.push(a);
                }
                walk(a);
            });
            walk(actor);
            this._deaf.set(win, made);
        }
        // The stage does not pick again while the pointer stays within the area where its last pick
        // found the same actor: a label that fades out under a resting pointer would keep the clicks,
        // and one that comes back would not get them.
        global.stage.repick_device(Clutter.get_default_backend().get_default_seat().get_pointer());
    }

    // The caller's process, which alone may have its windows placed.
    _callerPid(invocation) {
        const sender = invocation.get_sender();
        if (this._senders.has(sender))
            return this._senders.get(sender);
        const reply = Gio.DBus.session.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetConnectionUnixProcessID',
            new GLib.Variant('(s)', [sender]), null, Gio.DBusCallFlags.NONE, 1000, null);
        const [pid] = reply.deepUnpack();
        this._senders.set(sender, pid);
        if (!this._pids.has(pid)) {
            this._pids.add(pid);
            this._appsChanged();
        }
        return pid;
    }

    _ownWindow(pid, marker) {
        return global.get_window_actors().map(a => a.get_meta_window())
            .find(w => this._mapped.has(w) && w.get_pid() === pid && w.get_title() === marker);
    }

    GetStateAsync(_params, invocation) {
        this._callerPid(invocation);
        invocation.return_value(new GLib.Variant('(s)', [this._state()]));
    }

    // A change to one of the caller's own marked windows: kept for the window until it maps, and
    // applied at once when it is there already. Anything else is refused with `refusal`.
    _ownChange(invocation, marker, refusal, change, apply) {
        if (!MARKER.test(marker)) {
            invocation.return_dbus_error('org.spacemarquee.GnomeBridge.Refused', refusal);
            return;
        }
        const pid = this._callerPid(invocation);
        const key = `${pid} ${marker}`;
        const pending = { ...this._pending.get(key), ...change };
        this._pending.set(key, pending);
        const win = this._ownWindow(pid, marker);
        if (win)
            apply(win, pending);
        invocation.return_value(null);
    }

    PlaceAsync([marker, workspace, x, y], invocation) {
        this._ownChange(invocation, marker, 'only the program\'s own labels and editor are placed',
            { workspace, x, y, refused: null }, (win, pending) => this._place(win, pending));
    }

    SetOpacityAsync([marker, opacity], invocation) {
        this._ownChange(invocation, marker, 'only the program\'s own labels and editor are changed',
            { opacity }, win => this._place(win, { opacity }));
    }

    // Whether the window takes the pointer, now or as soon as it maps.
    SetInputAsync([marker, takes], invocation) {
        this._ownChange(invocation, marker, 'only the program\'s own labels and editor are changed',
            { input: takes }, win => this._setInput(win, takes));
    }

    // The editor takes the keyboard, now or as soon as it maps.
    FocusAsync([marker], invocation) {
        this._ownChange(invocation, marker, 'only the program\'s own editor takes the keyboard',
            { focus: true }, (win, pending) => this._place(win, pending));
    }

    SetWorkspaceNamesAsync([names], invocation) {
        this._wmPreferences.set_strv('workspace-names', names);
        invocation.return_value(null);
    }

    ActivateWorkspaceAsync([index], invocation) {
        const ws = global.workspace_manager.get_workspace_by_index(index);
        if (!ws) {
            invocation.return_dbus_error('org.spacemarquee.GnomeBridge.NoWorkspace', `no workspace ${index}`);
            return;
        }
        ws.activate(global.get_current_time());
        invocation.return_value(null);
    }
}

class Extension {
    enable() {
        const version = ExtensionUtils.getCurrentExtension().metadata['spacemarquee-version'] ?? '';
        this._bridge = new Bridge(version);
        this._bridge.enable();
    }

    disable() {
        this._bridge?.disable();
        this._bridge = null;
    }
}

function init() {
    return new Extension();
}
