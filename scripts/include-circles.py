#!/usr/bin/env python3
"""include-circles.py [--files] [SRC_DIR]: lists the include circles in SRC_DIR (default src).

A file and its header count as one unit ("transfer/box_fetch" for box_fetch.h and .cpp), so
that box_fetch.cpp including ftp_job.h while ftp_job.cpp includes box_fetch.h is a circle too.
With --files each file stands alone. Prints each circle and exits 1 when there is one.
"""
import os
import re
import sys

args = [a for a in sys.argv[1:] if a != "--files"]
by_file = len(args) != len(sys.argv) - 1
src = args[0] if args else "src"
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
edges = {}
for folder, _, files in os.walk(src):
    for name in files:
        if not name.endswith((".h", ".cpp")):
            continue
        path = os.path.join(folder, name)
        unit = os.path.relpath(path, src)
        if not by_file:
            unit = os.path.splitext(unit)[0]
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        targets = edges.setdefault(unit, set())
        for header in include.findall(text):
            if os.path.exists(os.path.join(src, header)):
                target = header if by_file else os.path.splitext(header)[0]
                if target != unit:
                    targets.add(target)

# Tarjan's strongly connected components, iteratively: a component of more than one unit
# is a circle.
index, low, on_stack, stack, circles = {}, {}, set(), [], []
for root in sorted(edges):
    if root in index:
        continue
    work = [(root, iter(sorted(edges.get(root, ()))))]
    index[root] = low[root] = len(index)
    stack.append(root)
    on_stack.add(root)
    while work:
        node, children = work[-1]
        child = next(children, None)
        if child is not None:
            if child not in index:
                index[child] = low[child] = len(index)
                stack.append(child)
                on_stack.add(child)
                work.append((child, iter(sorted(edges.get(child, ())))))
            elif child in on_stack:
                low[node] = min(low[node], index[child])
            continue
        work.pop()
        if work:
            low[work[-1][0]] = min(low[work[-1][0]], low[node])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                circles.append(sorted(component))

for circle in circles:
    print("include circle: " + " -> ".join(circle))
sys.exit(1 if circles else 0)
