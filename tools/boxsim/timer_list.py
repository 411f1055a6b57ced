"""The simulated receiver's timer list as the receiver keeps it in memory, with the rules its
recording timer applies when a timer is added, changed or removed, and the file layout it
writes.

- Adding (record): a timer that needs more tuners than the box has at some moment is refused
  with the list of timers it collides with, itself first; a timer that lies within another
  one on the same service is dropped without a word (the caller still answers "added"); a
  new enabled record timer whose begin equals that of another enabled record timer is moved
  one second later, once for every such timer it meets.
- Changing: the new values are put in place first, then the tuner check runs; a change that
  fails the check stays in place (and the caller answers that it failed).
- The file: "<timer" with the attributes in the receiver's own order on one line, "</timer>"
  on the next, no indentation; attributes the receiver does not know are dropped (the
  receiver may keep the text of loaded timers instead; see receiver.py).

Whether a timer finds a tuner is the receiver's own check (tuners.py): disabled timers and
streams take no part, zap timers do.
"""
import time
from xml.sax.saxutils import escape

import tuners

AFTER_EVENTS = ("nothing", "standby", "deepstandby", "auto")  # index: the interface's number
AUTO = 3
WAITING, PREPARED, RUNNING, ENDED = 0, 1, 2, 3


def xml_attribute(value):
    return escape(value, {'"': "&quot;", "'": "&apos;"})


def is_stream(serviceref):
    return "%3a//" in serviceref.lower()


def service_key(serviceref):
    """The fields that name a service (type, service id, transport stream, network)."""
    return tuple(f.upper() for f in serviceref.split(":")[2:6])


def reference_head(serviceref):
    """The first eleven fields, as the interface compares references."""
    return ":".join(serviceref.split(":")[:11])


class Entry:
    """One timer, with the values the receiver keeps."""

    def __init__(self, serviceref, begin, end, name, description="", eit=None, disabled=False,
                 justplay=False, afterevent=AUTO, repeated=0, dirname=None, tags=None,
                 always_zap=False):
        self.serviceref = serviceref
        self.begin = int(begin)
        self.end = max(int(end), self.begin)
        self.name = name
        self.description = description
        self.eit = eit
        self.disabled = bool(disabled)
        self.justplay = bool(justplay)
        self.afterevent = afterevent
        self.repeated = int(repeated)
        self.dirname = dirname
        self.tags = list(tags or [])
        self.always_zap = bool(always_zap)
        self.flags = ""  # "autotimer <rule name>" for a timer a series rule made
        self.kept_text = None  # the text it was loaded from, until it is changed

    def state(self, now):
        if self.end <= now and not self.repeated:
            return ENDED
        if self.begin <= now < self.end and not self.disabled:
            return RUNNING
        return WAITING

    def records(self):
        return not self.disabled and not self.justplay and not is_stream(self.serviceref)

    def takes_part(self):
        """Whether the receiver's tuner check counts it: zap timers too."""
        return not self.disabled and not is_stream(self.serviceref)

    def overlaps(self, other):
        return self.begin < other.end and other.begin < self.end

    def xml(self):
        parts = ['<timer begin="%d" end="%d"' % (self.begin, self.end),
                 ' serviceref="%s"' % xml_attribute(self.serviceref),
                 ' repeated="%d"' % self.repeated,
                 ' name="%s"' % xml_attribute(self.name),
                 ' description="%s"' % xml_attribute(self.description),
                 ' afterevent="%s"' % AFTER_EVENTS[self.afterevent]]
        if self.eit is not None:
            parts.append(' eit="%d"' % self.eit)
        if self.dirname:
            parts.append(' location="%s"' % xml_attribute(self.dirname))
        if self.tags:
            parts.append(' tags="%s"' % xml_attribute(" ".join(self.tags)))
        if self.disabled:
            parts.append(' disabled="1"')
        if self.flags:
            parts.append(' flags="%s"' % xml_attribute(self.flags))
        parts.append(' justplay="%d" always_zap="%d" pipzap="0" zap_wakeup="always"'
                     ' rename_repeat="1" conflict_detection="1" descramble="1" record_ecm="0"'
                     % (self.justplay, self.always_zap))
        return "".join(parts) + ">\n</timer>\n"


class TimerList:
    def __init__(self, check=None):
        self.entries = []
        self.check = check or tuners.TunerCheck(
            tuners.read_tuners("", tuners.tuner_types(None)), {})

    def ordered(self, now=None):
        """Waiting and running timers by begin, then the ended ones, as the receiver lists
        and writes them."""
        now = time.time() if now is None else now
        by_begin = sorted(self.entries, key=lambda e: e.begin)
        return ([e for e in by_begin if e.state(now) != ENDED]
                + [e for e in by_begin if e.state(now) == ENDED])

    def insert(self, entry):
        """As loaded from the file or added on the box itself: no checks."""
        self.entries.append(entry)

    def conflicts(self, entry):
        """The timers entry collides with (entry first), or None when the tuners suffice."""
        if not entry.takes_part():
            return None
        now = time.time()
        others = [e for e in self.entries
                  if e is not entry and e.takes_part() and e.state(now) != ENDED]
        return tuners.conflicts(self.check, entry, others)

    def covers(self, entry):
        """Whether another timer on the same service already spans entry's times."""
        for e in self.entries:
            if e.justplay and not entry.justplay:
                continue
            if (entry.begin >= e.begin and entry.end <= e.end
                    and service_key(e.serviceref) == service_key(entry.serviceref)):
                return True
        return False

    def record(self, entry, now=None):
        """Adds a new timer. Returns (added, conflicts): conflicts is a list when refused;
        added is False also for a timer dropped as covered by another one."""
        now = time.time() if now is None else now
        conflicts = self.conflicts(entry)
        if conflicts:
            return False, conflicts
        if self.covers(entry):
            return False, None
        if entry.records() and entry.state(now) == WAITING:
            for e in sorted(self.entries, key=lambda e: e.begin):
                if e.begin == entry.begin and e.records():
                    entry.begin += 1
        self.entries.append(entry)
        return True, None

    def find(self, serviceref, begin, end):
        head = reference_head(serviceref)
        for e in self.ordered():
            if reference_head(e.serviceref) == head and e.begin == begin and e.end == end:
                return e
        return None

    def change(self, serviceref, begin, end, values):
        """Puts values (a dict of Entry attributes) into the timer found by its old service,
        begin and end. Returns (found, conflicts); a refused change stays in place."""
        entry = self.find(serviceref, begin, end)
        if entry is None:
            return False, None
        for name, value in values.items():
            setattr(entry, name, value)
        entry.kept_text = None
        entry.end = max(entry.end, entry.begin)
        return True, self.conflicts(entry)

    def remove(self, serviceref, begin, end, eit=None):
        head = reference_head(serviceref)
        for e in self.ordered():
            if reference_head(e.serviceref) != head:
                continue
            if (e.eit and eit and e.eit == eit) or (e.begin == begin and e.end == end):
                self.entries.remove(e)
                return e
        return None

    def format(self, keep_loaded=False):
        """The file; with keep_loaded, timers loaded and not changed since as they were read."""
        return ('<?xml version="1.0" ?>\n<timers>\n'
                + "".join(e.kept_text if keep_loaded and e.kept_text else e.xml()
                          for e in self.ordered())
                + "</timers>\n")
