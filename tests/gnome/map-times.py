#!/usr/bin/python3
"""Times hot key -> window mapped on the scenario's GNOME Shell, for tests/gnome/measure.sh (a measurement,
never a test).

Each round presses KEYS through shell-probe.py (mutter's RemoteDesktop) and waits for the first MapNotify
of a top-level window (not override-redirect) on Xwayland's root; the time is from just before the key
that completes the chord went to the compositor (the probe's Press answer, CLOCK_MONOTONIC) to this
client's receipt of the MapNotify. Unless --no-hide, KEYS are pressed again after each round until the
window's UnmapNotify. With --pid, every press waits until that process (the launcher) has used no CPU for
300 ms, as a person looks before pressing again.
Prints one line per round ("show MS") and then "median MS".
"""
import argparse
import ctypes
import statistics
import sys
import threading
import time

import dbus

MAP_NOTIFY, UNMAP_NOTIFY = 19, 18
SUBSTRUCTURE_NOTIFY = 0x00080000
CW_EVENT_MASK = 0x00000800


class ScreenIterator(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("rem", ctypes.c_int), ("index", ctypes.c_int)]


class Cookie(ctypes.Structure):
    _fields_ = [("sequence", ctypes.c_uint)]


class RootEvents:
    """(receipt time, type, window) of every MapNotify and UnmapNotify of a top-level window of the root."""

    def __init__(self):
        self.xcb = ctypes.CDLL("libxcb.so.1")
        self.libc = ctypes.CDLL(None)
        x = self.xcb
        x.xcb_connect.restype, x.xcb_connect.argtypes = ctypes.c_void_p, [ctypes.c_char_p, ctypes.c_void_p]
        x.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
        x.xcb_get_setup.restype, x.xcb_get_setup.argtypes = ctypes.c_void_p, [ctypes.c_void_p]
        x.xcb_setup_roots_iterator.restype, x.xcb_setup_roots_iterator.argtypes = ScreenIterator, [ctypes.c_void_p]
        x.xcb_change_window_attributes_checked.restype = Cookie
        x.xcb_change_window_attributes_checked.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32,
                                                           ctypes.POINTER(ctypes.c_uint32)]
        x.xcb_request_check.restype, x.xcb_request_check.argtypes = ctypes.c_void_p, [ctypes.c_void_p, Cookie]
        x.xcb_wait_for_event.restype, x.xcb_wait_for_event.argtypes = ctypes.c_void_p, [ctypes.c_void_p]
        self.libc.free.argtypes = [ctypes.c_void_p]
        self.connection = x.xcb_connect(None, None)
        if not self.connection or x.xcb_connection_has_error(self.connection):
            sys.exit("map-times: cannot open the X display")
        root = ctypes.c_uint32.from_address(x.xcb_setup_roots_iterator(x.xcb_get_setup(self.connection)).data).value
        mask = ctypes.c_uint32(SUBSTRUCTURE_NOTIFY)
        if x.xcb_request_check(self.connection, x.xcb_change_window_attributes_checked(
                self.connection, root, CW_EVENT_MASK, ctypes.byref(mask))):
            sys.exit("map-times: cannot watch the root window")
        self.events, self.lock = [], threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        while True:
            event = self.xcb.xcb_wait_for_event(self.connection)
            if not event:
                return
            received = time.monotonic_ns()
            kind = ctypes.c_uint8.from_address(event).value & 0x7F
            window = ctypes.c_uint32.from_address(event + 8).value
            override_redirect = ctypes.c_uint8.from_address(event + 12).value
            self.libc.free(event)
            if kind in (MAP_NOTIFY, UNMAP_NOTIFY) and not (kind == MAP_NOTIFY and override_redirect):
                with self.lock:
                    self.events.append((received, kind, window))

    def first(self, kind, after, window=None, deadline_s=30):
        end = time.monotonic() + deadline_s
        while time.monotonic() < end:
            with self.lock:
                for received, k, w in self.events:
                    if k == kind and received >= after and (window is None or w == window):
                        return received, w
            time.sleep(0.001)
        sys.exit("map-times: no %s within %d s" % ("MapNotify" if kind == MAP_NOTIFY else "UnmapNotify", deadline_s))


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def wait_idle(pid, quiet_s=0.3, deadline_s=30):
    end = time.monotonic() + deadline_s
    ticks, since = cpu_ticks(pid), time.monotonic()
    while time.monotonic() < end:
        time.sleep(0.02)
        now = cpu_ticks(pid)
        if now != ticks:
            ticks, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet_s:
            return


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=10)
    parser.add_argument("--keys", default="ctrl+space")
    parser.add_argument("--pid", type=int, help="the launcher, awaited idle before each round")
    parser.add_argument("--no-hide", action="store_true")
    args = parser.parse_args()
    events = RootEvents()
    probe = dbus.Interface(dbus.SessionBus().get_object("org.kestrelpoint.ShellProbe", "/org/kestrelpoint/ShellProbe"),
                           "org.kestrelpoint.ShellProbe")
    times = []
    for _ in range(args.count):
        if args.pid:
            wait_idle(args.pid)
        sent = int(probe.Press(args.keys))
        mapped, window = events.first(MAP_NOTIFY, sent)
        times.append((mapped - sent) / 1e6)
        print("show %.1f" % times[-1], flush=True)
        if not args.no_hide:
            if args.pid:
                wait_idle(args.pid)
            hidden_from = time.monotonic_ns()
            probe.Press(args.keys)
            events.first(UNMAP_NOTIFY, hidden_from, window)
    print("median %.1f" % statistics.median(times), flush=True)


if __name__ == "__main__":
    main()
