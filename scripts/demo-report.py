#!/usr/bin/python3
"""demo-report.py STATE: what the simulated box's receiver did during a run, for make run."""
import json
import os
import sys
import time
import xml.etree.ElementTree as ET

state = sys.argv[1]
try:
    with open(os.path.join(state, "receiver.log"), encoding="utf-8") as f:
        log = f.read().splitlines()
    with open(os.path.join(state, "loaded.json"), encoding="utf-8") as f:
        loaded = json.load(f)
except OSError as err:
    sys.exit("demo-report: nothing recorded (%s)" % err)


def show(timers):
    """One line per timer (a dict of its attributes), by begin."""
    for a in sorted(timers, key=lambda a: int(a["begin"])):
        when = time.strftime("%a %d-%m-%Y %H:%M", time.localtime(int(a["begin"])))
        print("  %s-%s  %-12s %s" % (when, time.strftime("%H:%M", time.localtime(int(a["end"]))),
                                   "repeated %s" % a["repeated"] if a.get("repeated", "0") != "0"
                                   else "once", a.get("name", "")))


starts = [line for line in log if "loaded" in line]
print("The simulated receiver started %d time(s):" % len(starts))
for line in log:
    print("  " + line)
if len(starts) < 2:
    # Changes applied live through its web interface are in its list without a restart; it
    # wrote that list to its file when it was stopped.
    # (The demo box lives in the state folder's "box".)
    timers = ET.parse(os.path.join(state, "box", "etc", "enigma2", "timers.xml")).getroot()
    print("It was not restarted. At its stop it held %d timer(s):" % len(timers))
    show([t.attrib for t in timers])
else:
    print("At its last start it loaded %d timer(s):" % loaded["count"])
    show([dict(t["attributes"]) for t in loaded["timers"]])
