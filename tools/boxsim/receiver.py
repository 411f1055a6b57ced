#!/usr/bin/python3
"""The simulated receiver software: one process per run, as the box's enigma2 is.

At start it loads /etc/enigma2/timers.xml of the box folder the way the receiver does: as
strict XML under a "timers" root; begin and end integers, repeated an integer when present,
afterevent one of the four names, a serviceref on every timer. A file it cannot read is
renamed timers.xml_old and it runs without timers. As the receiver's conflict check does, it
switches off each timer its tuners cannot record beside the timers loaded before it. What it
loaded goes to the log ("loaded N timers" or the reason) and, element by element, to
loaded.json for the callers.

It keeps the list in memory (timer_list.py) and writes it: at a clean stop (SIGTERM) over
timers.xml, so an upload that is not followed by the kill is lost, as on a real box; and
whenever a timer is added or removed. Timers it adds or changes are written in its own
layout. A timer it loaded and has not touched is written back as it was read, attributes it
does not know and <log> children included, so that the program's tests can tell the one
timer that changed; the switch rewrite_all makes it write every timer in its own layout and
drop what it does not know, as a real receiver does. SIGUSR1 stands for a timer added on the
box itself. SIGKILL ends it with nothing written. With --web-fd it serves the box's web
interface (box_web.py) on that listening socket, which the supervisor keeps open across
restarts.
"""
import argparse
import os
import re
import signal
import sys
import threading
import time
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape, quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from box_state import LOADED, RECEIVER_LOG, Faults, write_json  # noqa: E402
import tuners  # noqa: E402
from timer_list import AFTER_EVENTS, Entry, TimerList  # noqa: E402

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


def optional_integer(timer, name, default):
    """A flag or number the receiver reads with int(): absent or empty gives the default."""
    value = timer.get(name)
    if value in (None, ""):
        return default
    if not INTEGER.match(value):
        raise Unreadable("timer %d: %s=%r is not an integer" % (timer.index, name, value))
    return int(value)


def loaded_text(timer):
    """The timer as it was read, written back whole."""
    attrs = "".join(" %s=%s" % (k, quoteattr(v)) for k, v in timer.attributes)
    if not timer.children:
        return "\t<timer%s />\n" % attrs
    children = "".join("\t\t<%s%s>%s</%s>\n" % (
        tag, "".join(" %s=%s" % (k, quoteattr(v)) for k, v in child_attrs), escape(text), tag)
        for tag, child_attrs, text in timer.children)
    return "\t<timer%s>\n%s\t</timer>\n" % (attrs, children)


def as_entry(timer):
    eit = timer.get("eit")
    tags = timer.get("tags")
    entry = Entry(timer.get("serviceref"), int(timer.get("begin")), int(timer.get("end")),
                 timer.get("name") or "", timer.get("description") or "",
                 eit=int(eit) if eit and INTEGER.match(eit) else None,
                 disabled=optional_integer(timer, "disabled", 0),
                 justplay=optional_integer(timer, "justplay", 0),
                 afterevent=AFTER_EVENTS.index(timer.get("afterevent") or "nothing"),
                 repeated=optional_integer(timer, "repeated", 0),
                 dirname=timer.get("location") or None,
                 tags=tags.split(" ") if tags and tags != "None" else None,
                 always_zap=optional_integer(timer, "always_zap", 0))
    entry.flags = timer.get("flags") or ""
    entry.kept_text = loaded_text(timer)
    return entry


class Receiver:
    def __init__(self, box_dir, state_dir):
        self.folder = os.path.join(box_dir, "etc", "enigma2")
        self.path = os.path.join(self.folder, "timers.xml")
        self.state_dir = state_dir
        self.faults = Faults(state_dir)
        self.timers = TimerList()
        # The web interface's threads, the signal handlers and the main loop share the list.
        self.lock = threading.RLock()

    def log(self, text):
        stamp = time.strftime("%Y-%m-%d %H:%M:%S")
        with open(os.path.join(self.state_dir, RECEIVER_LOG), "a", encoding="utf-8") as f:
            f.write("%s [%d] %s\n" % (stamp, os.getpid(), text))

    def tuner_check(self):
        kinds = tuners.tuner_types(self.faults.get("tuners"))
        return tuners.TunerCheck(tuners.read_tuners(self.folder, kinds),
                                 tuners.read_transponders(self.folder))

    def read_file(self):
        """The timers of timers.xml as parsed, or None when there is no file; an unreadable
        file is put aside as the receiver does."""
        try:
            with open(self.path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            self.log("no timers.xml; loaded 0 timers")
            return None
        parsed = parse_timers(data)
        self.timers.check = self.tuner_check()
        for timer in parsed:
            entry = as_entry(timer)
            self.timers.insert(entry)
            # As the receiver at load: a timer that finds no tuner is switched off, in memory.
            if timer.get("conflict_detection") != "0" and self.timers.conflicts(entry):
                entry.disabled = True
                entry.kept_text = None
                self.log("Timer overlap in timers.xml detected! Timer '%s' disabled"
                         % entry.name)
        self.log("loaded %d timers" % len(parsed))
        return parsed

    def load(self):
        error = None
        parsed = None
        try:
            parsed = self.read_file()
        except Unreadable as err:
            error = str(err)
            parsed = None
            self.timers = TimerList()
            os.replace(self.path, self.path + "_old")
            self.log("timers.xml unreadable (%s); renamed to timers.xml_old; "
                     "loaded 0 timers" % error)
        parsed = parsed or []
        write_json(os.path.join(self.state_dir, LOADED),
                   {"pid": os.getpid(), "time": time.time(), "count": len(parsed),
                    "error": error, "timers": [t.as_json() for t in parsed]})

    def save(self):
        with self.lock:
            tmp = self.path + ".writing"
            with open(tmp, "w", encoding="utf-8") as f:
                f.write(self.timers.format(keep_loaded=not self.faults.on("rewrite_all")))
            os.replace(tmp, self.path)
            self.log("saved %d timers" % len(self.timers.entries))

    def add_box_timer(self, begin=None, name=BOX_ADDED_NAME, length=1800):
        with self.lock:
            begin = int(time.time()) + 3 * 86400 if begin is None else begin
            entries = self.timers.entries
            ref = entries[0].serviceref if entries else "1:0:1:1:1:1:C00000:0:0:0:"
            self.timers.insert(Entry(ref, begin, begin + length, name, eit=0))
            self.log("a timer was added on the box: %s" % name)
            self.save()

    def start_recording(self):
        """A recording set on the box itself that runs now: it began five minutes ago."""
        self.add_box_timer(int(time.time()) - 300, RECORDING_NAME, 3600)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--box", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--web-fd", type=int)
    parser.add_argument("--user", default="root")
    parser.add_argument("--password", default="")
    args = parser.parse_args()
    receiver = Receiver(args.box, args.state)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGUSR1, lambda *_: receiver.add_box_timer())
    signal.signal(signal.SIGUSR2, lambda *_: receiver.start_recording())
    receiver.load()
    if args.web_fd is not None:
        from box_web import WebInterface
        WebInterface(receiver, args.user, args.password).serve(args.web_fd)
    while not stopping:
        time.sleep(0.1)
    receiver.save()
    receiver.log("stopped")


if __name__ == "__main__":
    main()
