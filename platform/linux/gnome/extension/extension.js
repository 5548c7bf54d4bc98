// Korvane's view of GNOME Shell's windows. No ordinary program may ask the
// shell which window is in front, so this extension tells Korvane: it
// exports com.korvane.ShellWorkspace at /com/korvane/ShellWorkspace on the
// session bus, from the shell's own connection, with GetState() and the
// StateChanged signal. Each carries JSON: {"windows": [...], "active": id}
// when the windows change, {"active": id} ("" for none) when the focus does.
// Korvane believes only the connection that owns org.gnome.Shell.
'use strict';

const { Gio, GLib, Meta, Shell } = imports.gi;

const BUS_NAME = 'com.korvane.ShellWorkspace';
const OBJECT_PATH = '/com/korvane/ShellWorkspace';
const INTERFACE = `<node>
  <interface name="com.korvane.ShellWorkspace">
    <method name="GetState"><arg type="s" direction="out" name="state"/></method>
    <signal name="StateChanged"><arg type="s" name="state"/></signal>
  </interface>
</node>`;

function kindOf(window) {
    switch (window.get_window_type()) {
    case Meta.WindowType.NORMAL:
    case Meta.WindowType.DIALOG:
    case Meta.WindowType.MODAL_DIALOG:
        return 'normal';
    case Meta.WindowType.DESKTOP:
    case Meta.WindowType.DOCK:
        return 'excluded';
    default:
        return 'other';
    }
}

// The desktop ID the shell matched, else the sandbox's application ID. The
// shell may match a window only a moment after it maps, so class and pid go
// along and a change of the match is sent again.
function appIdOf(window) {
    const app = Shell.WindowTracker.get_default().get_window_app(window);
    let id = app ? app.get_id() : '';
    if (!id || id.startsWith('window:'))
        id = '';
    else if (id.endsWith('.desktop'))
        id = id.slice(0, -'.desktop'.length);
    return id || window.get_sandboxed_app_id() || '';
}

function idOf(window) {
    return window ? String(window.get_id()) : '';
}

function describe(window) {
    return {
        id: idOf(window),
        pid: Math.max(0, window.get_pid()),
        appId: appIdOf(window),
        class: window.get_wm_class() || '',
        instance: window.get_wm_class_instance() || '',
        kind: kindOf(window),
        skipTaskbar: window.skip_taskbar,
    };
}

class ShellWorkspace {
    enable() {
        this._windows = new Map();
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._displaySignals = [
            global.display.connect('notify::focus-window', () => this._send({active: this._activeId()})),
            global.display.connect('window-created', (display, window) => {
                this._track(window);
                this._sendAll();
            }),
        ];
        this._tracker = Shell.WindowTracker.get_default();
        this._trackerSignal = this._tracker.connect('tracked-windows-changed', () => this._sendAll());
        for (const actor of global.get_window_actors())
            this._track(actor.get_meta_window());
        this._sendAll();
    }

    disable() {
        for (const id of this._displaySignals)
            global.display.disconnect(id);
        this._tracker.disconnect(this._trackerSignal);
        for (const window of Array.from(this._windows.keys()))
            this._untrack(window);
        Gio.bus_unown_name(this._name);
        this._exported.unexport();
        this._exported = null;
    }

    GetState() {
        return JSON.stringify(this._state());
    }

    _track(window) {
        if (!window || window.is_override_redirect() || this._windows.has(window))
            return;
        this._windows.set(window, [
            window.connect('unmanaged', () => {
                this._untrack(window);
                this._sendAll();
            }),
            window.connect('notify::wm-class', () => this._sendAll()),
            window.connect('notify::gtk-application-id', () => this._sendAll()),
        ]);
    }

    _untrack(window) {
        for (const id of this._windows.get(window) || [])
            window.disconnect(id);
        this._windows.delete(window);
    }

    _activeId() {
        const focused = global.display.focus_window;
        return focused && this._windows.has(focused) ? idOf(focused) : '';
    }

    _state() {
        return {windows: Array.from(this._windows.keys(), describe), active: this._activeId()};
    }

    _sendAll() {
        this._send(this._state());
    }

    _send(state) {
        this._exported.emit_signal('StateChanged', new GLib.Variant('(s)', [JSON.stringify(state)]));
    }
}

function init() {
    return new ShellWorkspace();
}
