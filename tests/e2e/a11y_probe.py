#!/usr/bin/python3
"""Prints, as JSON, the top-level windows of the program as the accessibility bus shows them
to a screen reader: role, name, the texts of their labels, the names of their buttons, the
titles of their grids' columns with each title's place on the screen [x, y, width, height], and
the texts of their grids' cells, row by row.
Run with the session bus of the program in DBUS_SESSION_BUS_ADDRESS."""
import json
import sys

import pyatspi

APP = sys.argv[1] if len(sys.argv) > 1 else "tivolo"
MAX_NODES = 400


def collect(node, out, budget):
    if budget[0] <= 0:
        return
    budget[0] -= 1
    role = node.getRoleName()
    if role == "label" and node.name:
        out["labels"].append(node.name)
    elif role == "table cell":
        out["cells"].append(node.name)
    elif role == "push button":
        out["buttons"].append(node.name)
    elif role == "table column header":
        try:
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            out["headers"][node.name] = [box.x, box.y, box.width, box.height]
        except NotImplementedError:
            pass  # a hidden column's title has no place on the screen
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            collect(child, out, budget)


def main():
    windows = []
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.name != APP:
            continue
        for j in range(app.childCount):
            window = app.getChildAtIndex(j)
            if window is None:
                continue
            entry = {"role": window.getRoleName(), "name": window.name, "labels": [],
                     "buttons": [], "headers": {}, "cells": []}
            collect(window, entry, [MAX_NODES])
            windows.append(entry)
    print(json.dumps(windows))


if __name__ == "__main__":
    main()
