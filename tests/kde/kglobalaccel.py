#!/usr/bin/python3
"""Asks and changes kglobalaccel (KDE's global shortcut registry, inside KWin) as System Settings →
Shortcuts does, on the session bus of the environment. Keys are Qt key codes (Ctrl+Space when not given).

  kglobalaccel.py holders [KEY]           the shortcuts that hold KEY, one line each: "COMPONENT ACTION"
  kglobalaccel.py set COMPONENT ACTION [KEY|none]
                                          gives the shortcut KEY, or no key (none), as the user would

A shortcut keeps its key after its program quits, until the user changes it.
"""
import sys

import dbus

CTRL_SPACE = 0x04000000 | 0x20  # Qt::CTRL | Qt::Key_Space


def registry(bus):
    return dbus.Interface(bus.get_object("org.kde.kglobalaccel", "/kglobalaccel"), "org.kde.KGlobalAccel")


def holders(bus, key):
    for path in registry(bus).allComponents():
        component = dbus.Interface(bus.get_object("org.kde.kglobalaccel", path), "org.kde.kglobalaccel.Component")
        # (action, its label, component, its label, context, its label, keys, default keys)
        for info in component.allShortcutInfos():
            if key in [int(k) for k in info[6]]:
                print(f"{info[2]} {info[0]}")


def set_key(bus, component, action, key):
    keys = dbus.Array([] if key is None else [key], signature="i")
    registry(bus).setForeignShortcut(dbus.Array([component, action, "", ""], signature="s"), keys)


def main():
    bus = dbus.SessionBus()
    args = sys.argv[1:]
    if args[:1] == ["holders"] and len(args) <= 2:
        holders(bus, int(args[1], 0) if len(args) == 2 else CTRL_SPACE)
    elif args[:1] == ["set"] and len(args) in (3, 4):
        key = CTRL_SPACE if len(args) == 3 else None if args[3] == "none" else int(args[3], 0)
        set_key(bus, args[1], args[2], key)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
