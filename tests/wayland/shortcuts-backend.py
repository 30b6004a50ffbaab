#!/usr/bin/python3
"""A GlobalShortcuts portal backend (org.freedesktop.impl.portal.GlobalShortcuts) for the tests, behind the
real xdg-desktop-portal frontend on a private session bus. --mode: bind (every shortcut asked for, reported
with its preferred trigger), no-trigger (bound, reported with an empty trigger_description, as KDE Plasma
does for a shortcut whose key the user removed), refuse (BindShortcuts answers 1), refuse-create
(CreateSession answers 2), silent (BindShortcuts never answers). Every call is appended to --log as one
JSON object a line. org.kestrelpoint.TestBackend.Activate(id) emits Activated for every session that bound
the shortcut and returns how many that was.
"""
import argparse
import json
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
NO_RESULTS = dbus.Dictionary({}, signature="sv")


class Session(dbus.service.Object):
    def __init__(self, backend, path):
        super().__init__(backend.connection, path)
        self.backend, self.path, self.shortcuts = backend, path, []

    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.backend.record("Close", session=self.path)
        self.backend.sessions.pop(self.path, None)
        self.remove_from_connection()


class Backend(dbus.service.Object):
    def __init__(self, connection, mode, log):
        super().__init__(connection, "/org/freedesktop/portal/desktop")
        self.mode, self.log, self.sessions = mode, log, {}

    def record(self, call, **fields):
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(json.dumps({"call": call, **fields}) + "\n")

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.record("CreateSession", app_id=str(app_id), token=str(options.get("session_handle_token", "")),
                    shortcuts=options.get("shortcuts", []))
        if self.mode == "refuse-create":
            return dbus.UInt32(2), NO_RESULTS
        self.sessions[str(session_handle)] = Session(self, str(session_handle))
        return dbus.UInt32(0), NO_RESULTS

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "fail"))
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options, reply, fail):
        self.record("BindShortcuts", session=str(session_handle), shortcuts=shortcuts)  # D-Bus values are str, list and dict
        if self.mode == "silent":
            return  # never answers
        if self.mode == "refuse":
            reply(dbus.UInt32(1), NO_RESULTS)
        else:
            trigger = (lambda details: "") if self.mode == "no-trigger" else (
                lambda details: details.get("preferred_trigger", ""))
            bound = [dbus.Struct((name, dbus.Dictionary({"description": details.get("description", ""),
                                                         "trigger_description": trigger(details)},
                                                        signature="sv")), signature="sa{sv}")
                     for name, details in shortcuts]
            self.sessions[str(session_handle)].shortcuts = [str(name) for name, _ in shortcuts]
            reply(dbus.UInt32(0), dbus.Dictionary({"shortcuts": dbus.Array(bound, signature="(sa{sv})")},
                                                  signature="sv"))

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):  # the frontend reads the interface's version
        return dbus.Dictionary({"version": dbus.UInt32(1)}, signature="sv")

    @dbus.service.method("org.kestrelpoint.TestBackend", in_signature="s", out_signature="u")
    def Activate(self, shortcut_id):
        stamp = dbus.UInt64(int(time.monotonic() * 1000))
        pressed = [path for path, session in self.sessions.items() if shortcut_id in session.shortcuts]
        for path in pressed:
            self.Activated(dbus.ObjectPath(path), shortcut_id, stamp, NO_RESULTS)
        return dbus.UInt32(len(pressed))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["bind", "no-trigger", "refuse", "refuse-create", "silent"], default="bind")
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = Backend(bus, args.mode, args.log)
    name = dbus.service.BusName("org.freedesktop.impl.portal.desktop.kestreltest", bus, do_not_queue=True)
    backend.record("ready", mode=args.mode)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()


if __name__ == "__main__":
    main()
