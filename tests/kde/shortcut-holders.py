#!/usr/bin/python3
"""Prints the global shortcuts that hold a key in kglobalaccel (KDE's global shortcut registry, inside
KWin), one line each: "COMPONENT ACTION". A shortcut keeps its key after its program quits, until the user
changes it. The key is Qt's key code, Ctrl+Space when not given.

  shortcut-holders.py [KEY]     (on the session bus of the environment)
"""
import sys

import dbus

CTRL_SPACE = 0x04000000 | 0x20  # Qt::CTRL | Qt::Key_Space


def main():
    key = int(sys.argv[1], 0) if len(sys.argv) > 1 else CTRL_SPACE
    bus = dbus.SessionBus()
    registry = dbus.Interface(bus.get_object("org.kde.kglobalaccel", "/kglobalaccel"), "org.kde.KGlobalAccel")
    for path in registry.allComponents():
        component = dbus.Interface(bus.get_object("org.kde.kglobalaccel", path), "org.kde.kglobalaccel.Component")
        # (action, its label, component, its label, context, its label, keys, default keys)
        for info in component.allShortcutInfos():
            if key in [int(k) for k in info[6]]:
                print(f"{info[2]} {info[0]}")


if __name__ == "__main__":
    main()
