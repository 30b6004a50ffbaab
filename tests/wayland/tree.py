#!/usr/bin/python3
"""Reads sway's tree (swaymsg -r -t get_tree) on stdin and prints one line per mapped window:
SHELL PID FLOATING|tiled FOCUSED|- X Y WIDTH HEIGHT OUTPUT-WIDTH OUTPUT-HEIGHT
(the rectangle in layout coordinates, the size of the output the window is on)."""
import json
import sys


def walk(node, output):
    if node.get("type") == "output":
        output = node["rect"]
    kind = node.get("type")
    if kind in ("con", "floating_con") and node.get("pid") and node.get("visible", True):
        rect = node["rect"]
        print(node.get("shell", "?"), node["pid"], "floating" if kind == "floating_con" else "tiled",
              "focused" if node.get("focused") else "-", rect["x"], rect["y"], rect["width"], rect["height"],
              output["width"] if output else 0, output["height"] if output else 0)
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child, output)


walk(json.load(sys.stdin), None)
