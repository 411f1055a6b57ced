#!/usr/bin/python3
"""demo-report.py STATE: what the simulated box's receiver did during a run, for make run."""
import json
import os
import sys
import time

state = sys.argv[1]
try:
    with open(os.path.join(state, "receiver.log"), encoding="utf-8") as f:
        log = f.read().splitlines()
    with open(os.path.join(state, "loaded.json"), encoding="utf-8") as f:
        loaded = json.load(f)
except OSError as err:
    sys.exit("demo-report: nothing recorded (%s)" % err)

starts = [line for line in log if "loaded" in line]
print("The simulated receiver started %d time(s):" % len(starts))
for line in log:
    print("  " + line)
if len(starts) < 2:
    print("It was not restarted, so the box still runs with the list it had at the start.")
print("At its last start it loaded %d timer(s):" % loaded["count"])
for timer in sorted(loaded["timers"], key=lambda t: int(dict(t["attributes"])["begin"])):
    a = dict(timer["attributes"])
    when = time.strftime("%a %d-%m-%Y %H:%M", time.localtime(int(a["begin"])))
    print("  %s-%s  %-12s %s" % (when, time.strftime("%H:%M", time.localtime(int(a["end"]))),
                               "repeated %s" % a["repeated"] if a.get("repeated", "0") != "0"
                               else "once", a.get("name", "")))
