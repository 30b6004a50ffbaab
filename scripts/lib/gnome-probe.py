#!/usr/bin/python3
"""Hands and eyes on the private GNOME Shell of gnome-session.sh: keys pressed in the compositor itself through
org.gnome.Mutter.RemoteDesktop (so GNOME's own keybindings see them, from any focus), and the shell's
windows with their focus through org.gnome.Shell.Introspect.

Holds ONE RemoteDesktop session for its whole life: a headless GNOME seat has a keyboard only while a
session lives (wl-copy and wl-paste need one), and X clients drop the first key of each new session, which
a Shift tap at start absorbs. Serves org.kestrelpoint.ShellProbe on the session bus, under that name, at
/org/kestrelpoint/ShellProbe:

  Press(s keys) -> t   keys: space-separated chords, each of key names joined by '+', pressed in order and
                       released in reverse ("ctrl+space", "2 plus 3 Return"). Returns CLOCK_REALTIME (ns)
                       taken just before the key that completes the last chord (its last press) went out.
  Windows() -> s       the shell's windows, one line each: "CLIENT FOCUS WM-CLASS TITLE", CLIENT "wayland" or
                       "x11", FOCUS "focused" or "-", WM-CLASS "-" when the window has none.

Key names: ctrl, shift, alt, super, space, Return, Escape, Tab, BackSpace, Up, Down, Left, Right, plus,
minus, slash, asterisk, period, and any single printable ASCII character.

Start it before the shell: it first stands in for systemd (see Systemd) and prints "systemd", then waits
for the shell's RemoteDesktop, prints "ready" once it serves, and exits when the compositor closes the
session.
"""
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MUTTER = "org.gnome.Mutter.RemoteDesktop"
NAME = "org.kestrelpoint.ShellProbe"
IBUS_UNIT = "org.freedesktop.IBus.session.GNOME.service"

KEYSYMS = {
    "ctrl": 0xFFE3, "shift": 0xFFE1, "alt": 0xFFE9, "super": 0xFFEB,
    "space": 0x20, "Return": 0xFF0D, "Escape": 0xFF1B, "Tab": 0xFF09, "BackSpace": 0xFF08,
    "Up": 0xFF52, "Down": 0xFF54, "Left": 0xFF51, "Right": 0xFF53,
    "plus": 0x2B, "minus": 0x2D, "slash": 0x2F, "asterisk": 0x2A, "period": 0x2E,
}


def keysym(name):
    if name in KEYSYMS:
        return KEYSYMS[name]
    if len(name) == 1 and 0x21 <= ord(name) <= 0x7E:
        return ord(name)  # Latin-1 keysyms are the code points
    raise ValueError("unknown key name %r" % name)


class Probe(dbus.service.Object):
    def __init__(self, bus, session):
        super().__init__(bus, "/org/kestrelpoint/ShellProbe")
        self.bus, self.session, self.introspect = bus, session, None

    def chord(self, names):
        """Presses and releases the chord; returns the time just before its last press went out."""
        syms = [keysym(name) for name in names]
        completed = 0
        for sym in syms:
            completed = time.time_ns()
            self.session.NotifyKeyboardKeysym(dbus.UInt32(sym), True)
        for sym in reversed(syms):
            self.session.NotifyKeyboardKeysym(dbus.UInt32(sym), False)
        return completed

    @dbus.service.method(NAME, in_signature="s", out_signature="t")
    def Press(self, keys):
        completed = 0
        for chord in str(keys).split():
            completed = self.chord(chord.split("+"))
        return dbus.UInt64(completed)

    @dbus.service.method(NAME, in_signature="", out_signature="s")
    def Windows(self):
        if self.introspect is None:
            self.introspect = dbus.Interface(self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell/Introspect"),
                                             "org.gnome.Shell.Introspect")
        return "".join("%s %s %s %s\n" % ("x11" if int(w.get("client-type", 0)) == 1 else "wayland",
                                          "focused" if w.get("has-focus") else "-",
                                          str(w.get("wm-class", "")) or "-", str(w.get("title", "")))
                       for w in self.introspect.GetWindows().values())


class Systemd(dbus.service.Object):
    """Stands in for the user's systemd on the session bus, as far as the shell asks it at start: the IBus
    unit exists. why: without it GNOME Shell 43 spawns ibus-daemon itself, with a JavaScript child-setup
    callback that runs in the forked child and can deadlock there, which hangs the shell's start for good
    (about one start in ten here). In a real GNOME session systemd starts IBus, and the shell spawns nothing."""

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/systemd1")

    @dbus.service.method("org.freedesktop.systemd1.Manager", in_signature="s", out_signature="o")
    def GetUnit(self, name):
        if name == IBUS_UNIT:
            return dbus.ObjectPath("/org/freedesktop/systemd1/unit/ibus")
        raise dbus.exceptions.DBusException("no unit " + name, name="org.freedesktop.systemd1.NoSuchUnit")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    names = [dbus.service.BusName("org.freedesktop.systemd1", bus, do_not_queue=True)]
    systemd = Systemd(bus)
    print("systemd", flush=True)
    loop = GLib.MainLoop()
    watch = bus.watch_name_owner(MUTTER, lambda owner: owner and loop.quit())
    loop.run()  # until the shell offers RemoteDesktop
    watch.cancel()

    desktop = dbus.Interface(bus.get_object(MUTTER, "/org/gnome/Mutter/RemoteDesktop"), MUTTER)
    path = desktop.CreateSession()
    session = dbus.Interface(bus.get_object(MUTTER, path), MUTTER + ".Session")
    session.Start()
    # why: GNOME Shell answers Introspect.GetWindows only to a caller owning the name of one of its portal
    # backends; on this private bus no portal runs.
    names.append(dbus.service.BusName("org.freedesktop.impl.portal.desktop.gnome", bus, do_not_queue=True))
    probe = Probe(bus, session)
    probe.chord(["shift"])  # why: X clients drop the first key of a new session; this is the one lost
    names.append(dbus.service.BusName(NAME, bus, do_not_queue=True))
    print("ready", flush=True)
    bus.add_signal_receiver(loop.quit, "Closed", MUTTER + ".Session", MUTTER, path)
    loop.run()
    del systemd
    return 1  # the compositor closed the session


if __name__ == "__main__":
    sys.exit(main())
