#!/usr/bin/python3
"""A notification server for tests: answers org.freedesktop.Notifications on
the session bus and appends every Notify call, as one JSON object per line,
to the file named on the command line."""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


def plain(value):
    """D-Bus values as JSON: structures as lists, byte arrays as their length."""
    if isinstance(value, dbus.Array) and value.signature == "y":
        return {"bytes": len(value)}
    if isinstance(value, (dbus.Struct, dbus.Array, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Dictionary):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, str)):
        return str(value)
    if isinstance(value, (dbus.Byte, dbus.Int32, dbus.UInt32, dbus.Int64, dbus.UInt64, int)):
        return int(value)
    return str(value)


class Server(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.next_id = 1

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "sound"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "korvane-tests", "1", "1.2")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        entry = {
            "app_name": str(app_name), "replaces_id": int(replaces_id), "app_icon": str(app_icon),
            "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
            "hints": plain(hints), "expire_timeout": int(expire_timeout),
        }
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")
        self.next_id += 1
        return self.next_id - 1

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, _id):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    server = Server(bus, sys.argv[1])
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    GLib.MainLoop().run()
    del server, name


if __name__ == "__main__":
    main()
