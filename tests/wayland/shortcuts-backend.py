#!/usr/bin/python3
"""A GlobalShortcuts portal backend for the tests: implements org.freedesktop.impl.portal.GlobalShortcuts
behind the real xdg-desktop-portal frontend, on a private session bus.

--mode decides how it answers BindShortcuts (and CreateSession):
  bind           binds every shortcut asked for and reports them back
  refuse         CreateSession succeeds, BindShortcuts answers response code 1 (the user declined)
  refuse-create  CreateSession answers response code 2 (the desktop failed)
  silent         BindShortcuts never answers
  error          BindShortcuts answers with a D-Bus error

Every call is appended to --log as one JSON object a line. The test drives it through the extra
interface org.kestrelpoint.TestBackend: Activate(id) emits Activated and Deactivated for every bound
session; Sessions() lists the open sessions.
"""
import argparse
import json
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.kestreltest"
OBJECT_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
SESSION = "org.freedesktop.impl.portal.Session"
TEST = "org.kestrelpoint.TestBackend"
PROPERTIES = "org.freedesktop.DBus.Properties"


def plain(value):
    """D-Bus values as JSON-friendly Python values."""
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Boolean, bool)):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath, str)):
        return str(value)
    return int(value) if isinstance(value, int) else float(value)


class Session(dbus.service.Object):
    def __init__(self, backend, path):
        super().__init__(backend.bus, path)
        self.backend = backend
        self.path = path
        self.shortcuts = []

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        self.backend.record("Close", session=self.path)
        self.backend.sessions.pop(self.path, None)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass


class Backend(dbus.service.Object):
    def __init__(self, connection, mode, log):
        super().__init__(connection, OBJECT_PATH)
        self.bus = connection
        self.mode = mode
        self.log = log
        self.sessions = {}

    def record(self, call, **fields):
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(json.dumps({"call": call, **fields}) + "\n")

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.record("CreateSession", app_id=str(app_id), options=plain(options))
        if self.mode == "refuse-create":
            return dbus.UInt32(2), dbus.Dictionary({}, signature="sv")
        self.sessions[str(session_handle)] = Session(self, str(session_handle))
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "fail"))
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options, reply, fail):
        self.record("BindShortcuts", session=str(session_handle), shortcuts=plain(shortcuts),
                    parent_window=str(parent_window))
        if self.mode == "silent":
            return  # never answers
        if self.mode == "error":
            fail(dbus.exceptions.DBusException("the test backend fails on purpose",
                                               name="org.freedesktop.DBus.Error.Failed"))
            return
        if self.mode == "refuse":
            reply(dbus.UInt32(1), dbus.Dictionary({}, signature="sv"))
            return
        session = self.sessions.get(str(session_handle))
        if session is None:
            reply(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"))
            return
        bound = []
        for shortcut_id, details in shortcuts:
            trigger = str(details.get("preferred_trigger", ""))
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary(
                {"description": details.get("description", ""), "trigger_description": trigger},
                signature="sv")), signature="sa{sv}"))
        session.shortcuts = [str(s[0]) for s in bound]
        reply(dbus.UInt32(0), dbus.Dictionary({"shortcuts": dbus.Array(bound, signature="(sa{sv})")},
                                              signature="sv"))

    @dbus.service.method(SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session_handle):
        self.record("ListShortcuts", session=str(session_handle))
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SHORTCUTS and name == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == SHORTCUTS:
            return dbus.Dictionary({"version": dbus.UInt32(1)}, signature="sv")
        return dbus.Dictionary({}, signature="sv")

    @dbus.service.method(TEST, in_signature="s", out_signature="u")
    def Activate(self, shortcut_id):
        """Presses the shortcut in every session that bound it; returns how many sessions that was."""
        stamp = dbus.UInt64(int(time.monotonic() * 1000))
        pressed = 0
        for path, session in list(self.sessions.items()):
            if shortcut_id in session.shortcuts:
                self.Activated(dbus.ObjectPath(path), shortcut_id, stamp, dbus.Dictionary({}, signature="sv"))
                self.Deactivated(dbus.ObjectPath(path), shortcut_id, stamp, dbus.Dictionary({}, signature="sv"))
                pressed += 1
        self.record("Activate", shortcut=str(shortcut_id), sessions=pressed)
        return dbus.UInt32(pressed)

    @dbus.service.method(TEST, in_signature="", out_signature="as")
    def Sessions(self):
        return dbus.Array(sorted(self.sessions), signature="s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["bind", "refuse", "refuse-create", "silent", "error"], default="bind")
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = Backend(bus, args.mode, args.log)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    backend.record("ready", mode=args.mode)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()
    del name


if __name__ == "__main__":
    sys.exit(main())
