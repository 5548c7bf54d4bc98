// For Korvane's desktop tests only (never shipped): what a person at the
// desktop would do, over the session bus, since GNOME Shell offers ordinary
// clients no way to do it (Eval and the screenshot interface refuse them).
'use strict';

const { Gio, GLib, Shell } = imports.gi;
const Main = imports.ui.main;

const INTERFACE = `<node>
  <interface name="com.korvane.TestShell">
    <method name="Activate"><arg type="i" direction="in"/><arg type="b" direction="out"/></method>
    <method name="ShowNothing"><arg type="b" direction="out"/></method>
    <method name="ListPids"><arg type="s" direction="out"/></method>
    <method name="FocusedPid"><arg type="i" direction="out"/></method>
    <method name="Screenshot"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  </interface>
</node>`;

function windows() {
    return global.get_window_actors().map(actor => actor.get_meta_window())
        .filter(window => !window.is_override_redirect());
}

class TestShell {
    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._exported.export(Gio.DBus.session, '/com/korvane/TestShell');
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, 'com.korvane.TestShell',
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._name);
        this._exported.unexport();
    }

    Activate(pid) {
        Main.overview.hide();
        const found = windows().find(window => window.get_pid() === pid);
        if (found)
            Main.activateWindow(found);
        return !!found;
    }

    ShowNothing() {
        for (const window of windows())
            window.minimize();
        return true;
    }

    FocusedPid() {
        const focused = global.display.focus_window;
        return focused ? focused.get_pid() : 0;
    }

    ListPids() {
        return windows().map(window => window.get_pid()).join(',');
    }

    ScreenshotAsync([path], invocation) {
        const stream = Gio.File.new_for_path(path).replace(null, false, Gio.FileCreateFlags.NONE, null);
        new Shell.Screenshot().screenshot(false, stream, (source, result) => {
            let done = false;
            try {
                done = source.screenshot_finish(result)[0] !== undefined;
            } catch (e) {
                done = false;
            }
            stream.close(null);
            invocation.return_value(new GLib.Variant('(b)', [done]));
        });
    }
}

function init() {
    return new TestShell();
}
