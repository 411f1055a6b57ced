#!/usr/bin/python3
"""The simulated receiver software: one process per run, as the box's enigma2 is.

At start it loads /etc/enigma2/timers.xml of the box folder the way the receiver does: as
strict XML under a "timers" root; begin and end integers, repeated an integer when present,
afterevent one of the four names, a serviceref on every timer. A file it cannot read is
renamed timers.xml_old and it runs without timers. What it loaded goes to the log ("loaded N
timers" or the reason) and, element by element, to loaded.json for the callers.

It keeps the list in memory. At a clean stop (SIGTERM) it writes that list back over
timers.xml, so an upload that is not followed by the kill is lost, as on a real box. SIGUSR1
stands for a timer added on the box itself: it adds one and writes the file at once, as the
receiver does whenever its list changes. SIGKILL ends it with nothing written.
"""
import argparse
import os
import re
import signal
import sys
import time
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape, quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from box_state import LOADED, RECEIVER_LOG, write_json  # noqa: E402

AFTER_EVENTS = ("nothing", "standby", "deepstandby", "auto")
INTEGER = re.compile(r"-?[0-9]+\Z")
BOX_ADDED_NAME = "Added on the box"
RECORDING_NAME = "Recording now"


class Unreadable(Exception):
    pass


def check_integer(timer, name, required):
    value = timer.get(name)
    if value is None and not required:
        return
    if value is None or not INTEGER.match(value):
        raise Unreadable("timer %d: %s=%r is not an integer" % (timer.index, name, value))


class Timer:
    def __init__(self, index, attributes, children):
        self.index = index
        self.attributes = attributes  # [(name, value)] in file order, values decoded
        self.children = children  # each child element as (tag, [(name, value)], text)

    def get(self, name):
        for key, value in self.attributes:
            if key == name:
                return value
        return None

    def as_json(self):
        return {"attributes": [list(a) for a in self.attributes],
                "children": [[tag, [list(a) for a in attrs], text]
                             for tag, attrs, text in self.children]}


def parse_timers(data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as err:
        raise Unreadable("not well-formed XML: %s" % err)
    if root.tag != "timers":
        raise Unreadable("root element is <%s>, not <timers>" % root.tag)
    timers = []
    for index, element in enumerate(root, 1):
        if element.tag != "timer":
            continue
        timer = Timer(index, list(element.attrib.items()),
                      [(c.tag, list(c.attrib.items()), c.text or "") for c in element])
        check_integer(timer, "begin", True)
        check_integer(timer, "end", True)
        check_integer(timer, "repeated", False)
        if not timer.get("serviceref"):
            raise Unreadable("timer %d has no serviceref" % index)
        after = timer.get("afterevent")
        if after is not None and after not in AFTER_EVENTS:
            raise Unreadable("timer %d: unknown afterevent %r" % (index, after))
        timers.append(timer)
    return timers


def format_timers(timers):
    lines = ['<?xml version="1.0" ?>', "<timers>"]
    for t in timers:
        attrs = "".join(" %s=%s" % (k, quoteattr(v)) for k, v in t.attributes)
        if not t.children:
            lines.append("\t<timer%s />" % attrs)
            continue
        lines.append("\t<timer%s>" % attrs)
        for tag, child_attrs, text in t.children:
            a = "".join(" %s=%s" % (k, quoteattr(v)) for k, v in child_attrs)
            lines.append("\t\t<%s%s>%s</%s>" % (tag, a, escape(text), tag))
        lines.append("\t</timer>")
    lines.append("</timers>")
    return "\n".join(lines) + "\n"


class Receiver:
    def __init__(self, box_dir, state_dir):
        self.folder = os.path.join(box_dir, "etc", "enigma2")
        self.path = os.path.join(self.folder, "timers.xml")
        self.state_dir = state_dir
        self.timers = []

    def log(self, text):
        stamp = time.strftime("%Y-%m-%d %H:%M:%S")
        with open(os.path.join(self.state_dir, RECEIVER_LOG), "a", encoding="utf-8") as f:
            f.write("%s [%d] %s\n" % (stamp, os.getpid(), text))

    def load(self):
        error = None
        try:
            with open(self.path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            data = None
        if data is None:
            self.timers = []
            self.log("no timers.xml; loaded 0 timers")
        else:
            try:
                self.timers = parse_timers(data)
                self.log("loaded %d timers" % len(self.timers))
            except Unreadable as err:
                error = str(err)
                self.timers = []
                os.replace(self.path, self.path + "_old")
                self.log("timers.xml unreadable (%s); renamed to timers.xml_old; "
                         "loaded 0 timers" % error)
        write_json(os.path.join(self.state_dir, LOADED),
                   {"pid": os.getpid(), "time": time.time(), "count": len(self.timers),
                    "error": error, "timers": [t.as_json() for t in self.timers]})

    def save(self):
        tmp = self.path + ".writing"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(format_timers(self.timers))
        os.replace(tmp, self.path)
        self.log("saved %d timers" % len(self.timers))

    def add_box_timer(self, begin=None, name=BOX_ADDED_NAME, length=1800):
        begin = int(time.time()) + 3 * 86400 if begin is None else begin
        ref = self.timers[0].get("serviceref") if self.timers else "1:0:1:1:1:1:C00000:0:0:0:"
        self.timers.append(Timer(len(self.timers) + 1, [
            ("begin", str(begin)), ("end", str(begin + length)), ("serviceref", ref),
            ("repeated", "0"), ("name", name), ("description", ""),
            ("afterevent", "auto"), ("eit", "0"), ("disabled", "0"), ("justplay", "0")], []))
        self.log("a timer was added on the box: %s" % name)
        self.save()

    def start_recording(self):
        """A recording set on the box itself that runs now: it began five minutes ago."""
        self.add_box_timer(int(time.time()) - 300, RECORDING_NAME, 3600)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--box", required=True)
    parser.add_argument("--state", required=True)
    args = parser.parse_args()
    receiver = Receiver(args.box, args.state)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGUSR1, lambda *_: receiver.add_box_timer())
    signal.signal(signal.SIGUSR2, lambda *_: receiver.start_recording())
    receiver.load()
    while not stopping:
        time.sleep(0.1)
    receiver.save()
    receiver.log("stopped")


if __name__ == "__main__":
    main()
