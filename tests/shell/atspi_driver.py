#!/usr/bin/python3
"""Finds and presses Korvane's controls the way assistive tools do: over
AT-SPI, on the accessibility bus of the session bus the test started.

    atspi_driver.py watch FILE         keeps running; notes in FILE every
                                       window a focus or window event comes
                                       from (see below)
    atspi_driver.py find ROLE NAME     "x y w h showing enabled checked" of the
                                       first control with that role and
                                       accessible name, in screen coordinates
    atspi_driver.py press ROLE NAME    runs its default action (a click)
    atspi_driver.py windows            "x y w h title" of each shown window
    atspi_driver.py unnamed            every actionable control without a name

ROLE is AT-SPI's role name ("push button", "check box", ...); NAME is the
accessible name, matched whole. Only the application named by
KORVANE_ATSPI_APP (default "korvane") is searched. Exits 1 when nothing
matches or the application is not on the bus, 2 on bad usage.

Qt leaves popup windows (the popover on X11, menus) out of its
application's children; screen readers reach them through the focus events
they send. So does `watch`: the windows it notes (KORVANE_ATSPI_WINDOWS
names its file) are searched beside the application's children.
"""
import os
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

ACCESSIBLE = "org.a11y.atspi.Accessible"
ROOT = "/org/a11y/atspi/accessible/root"
# What a user can act on. Labels, panes and progress bars are read, not used.
ACTIONABLE = {
    "push button", "toggle button", "check box", "radio button", "combo box",
    "menu item", "check menu item", "radio menu item", "list item", "slider",
    "spin button", "link", "page tab",
}


def a11y_bus():
    session = Gio.bus_get_sync(Gio.BusType.SESSION)
    address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
                                Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


class Node:
    """One accessible object of an application, asked over D-Bus."""

    def __init__(self, bus, name, path):
        self.bus, self.name, self.path = bus, name, path

    def call(self, interface, method, args=None):
        return self.bus.call_sync(self.name, self.path, interface, method, args, None,
                                  Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def prop(self, interface, name):
        return self.call("org.freedesktop.DBus.Properties", "Get", GLib.Variant("(ss)", (interface, name)))[0]

    def children(self):
        return [Node(self.bus, n, p) for n, p in self.call(ACCESSIBLE, "GetChildren")[0]]

    def parent(self):
        name, path = self.prop(ACCESSIBLE, "Parent")
        return Node(self.bus, name, path) if path and path != "/org/a11y/atspi/null" else None

    def label(self):
        return self.prop(ACCESSIBLE, "Name")

    def role(self):
        return self.call(ACCESSIBLE, "GetRoleName")[0]

    def has(self, state):
        bits = self.call(ACCESSIBLE, "GetState")[0]
        return bool(bits[int(state) // 32] & (1 << (int(state) % 32)))

    def shown(self):
        return self.has(Atspi.StateType.SHOWING)

    def extents(self):
        args = GLib.Variant("(u)", (int(Atspi.CoordType.SCREEN),))
        return tuple(self.call("org.a11y.atspi.Component", "GetExtents", args)[0])


def application(bus):
    wanted = os.environ.get("KORVANE_ATSPI_APP", "korvane")
    for app in Node(bus, "org.a11y.atspi.Registry", ROOT).children():
        try:
            if app.label() == wanted:
                return app
        except GLib.Error:
            continue  # an application that went away
    return None


def windows(bus, app):
    """The application's windows, then the ones `watch` noted (once each)."""
    found = {w.path: w for w in app.children()}
    try:
        with open(os.environ.get("KORVANE_ATSPI_WINDOWS", "/dev/null")) as noted:
            for line in noted:
                name, _, path = line.strip().partition(" ")
                if name == app.name and path not in found:
                    found[path] = Node(bus, name, path)
    except FileNotFoundError:
        pass
    return list(found.values())


def walk(node, depth=0):
    if depth > 40:
        return
    yield node
    try:
        kids = node.children()
    except GLib.Error:
        return  # deleted while we looked
    for child in kids:
        yield from walk(child, depth + 1)


def find(bus, app, role, name):
    # A shown match wins over a hidden one of the same name (the pages of a
    # stacked window keep their controls).
    hidden = None
    for window in windows(bus, app):
        for node in walk(window):
            try:
                if node.role() == role and node.label() == name:
                    if node.shown():
                        return node
                    hidden = hidden or node
            except GLib.Error:
                continue
    return hidden


def describe(node):
    states = (Atspi.StateType.SHOWING, Atspi.StateType.ENABLED, Atspi.StateType.CHECKED)
    return " ".join(str(v) for v in node.extents()) + " " + " ".join("1" if node.has(s) else "0" for s in states)


def press(node):
    actions = [a[0] for a in node.call("org.a11y.atspi.Action", "GetActions")[0]]
    if not actions:
        return False
    index = next((actions.index(a) for a in ("press", "click", "toggle", "activate") if a in actions), 0)
    return node.call("org.a11y.atspi.Action", "DoAction", GLib.Variant("(i)", (index,)))[0]


def unnamed(bus, app):
    """Shown, actionable controls of every shown window that have no name."""
    missing = []
    for window in windows(bus, app):
        try:
            if not window.shown():
                continue
            title = window.label()
        except GLib.Error:
            continue  # a window deleted since `watch` noted it
        for node in walk(window):
            try:
                if node.role() in ACTIONABLE and node.shown() and not node.label().strip():
                    parent = node.parent()
                    around = f"{parent.role()} {parent.label()!r}" if parent else "?"
                    missing.append(f"{title!r}: {node.role()} at {node.extents()} in {around}")
            except GLib.Error:
                continue
    return missing


def watch(path):
    """Notes the window of every focus and window event's source."""
    bus = a11y_bus()
    # Toolkits send only the events someone registered for.
    registry = Node(bus, "org.a11y.atspi.Registry", "/org/a11y/atspi/registry")
    for event in ("object:state-changed:focused", "window:activate", "focus:"):
        registry.call("org.a11y.atspi.Registry", "RegisterEvent", GLib.Variant("(s)", (event,)))
    noted = set()

    def seen(connection, sender, object_path, interface, signal, parameters):
        node = Node(bus, sender, object_path)
        try:
            parent = node.parent()
            while parent is not None and parent.path != ROOT:
                node, parent = parent, parent.parent()
        except GLib.Error:
            return
        if (node.name, node.path) not in noted:
            noted.add((node.name, node.path))
            with open(path, "a") as out:
                out.write(f"{node.name} {node.path}\n")

    for interface in ("org.a11y.atspi.Event.Object", "org.a11y.atspi.Event.Window", "org.a11y.atspi.Event.Focus"):
        bus.signal_subscribe(None, interface, None, None, None, Gio.DBusSignalFlags.NONE, seen)
    open(path, "a").close()
    GLib.MainLoop().run()


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    arity = {"watch": 3, "find": 4, "press": 4, "windows": 2, "unnamed": 2}
    if arity.get(command) != len(argv):
        print(__doc__, file=sys.stderr)
        return 2
    if command == "watch":
        watch(argv[2])
        return 0
    bus = a11y_bus()
    app = application(bus)
    if app is None:
        return 1
    if command == "windows":
        for window in windows(bus, app):
            try:
                if window.shown():
                    print(*window.extents(), window.label())
            except GLib.Error:
                continue
        return 0
    if command == "unnamed":
        missing = unnamed(bus, app)
        print(*missing, sep="\n")
        return 1 if missing else 0
    node = find(bus, app, argv[2], argv[3])
    if node is None:
        return 1
    if command == "find":
        print(describe(node))
        return 0
    return 0 if press(node) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
