"""The simulated box's tuners: the set-up its settings file holds (config.Nims keys), the text
its shell shows for /proc/bus/nim_sockets, and the receiver's check of whether every timer
finds a tuner, by the receiver's own rules:

- timers on a transponder that is already tuned share that tuner;
- otherwise the free compatible tuner, plain DVB-S tuners first for DVB-S transponders (the
  lowest slot on ties): an S2 transponder needs an S2 tuner, cable and terrestrial their own
  systems, and a satellite tuner must reach the orbital position (diseqcA..D in the settings,
  19.2E for a tuner without keys);
- loop-through tuners reach what their root reaches, but while one tuner of the chain is busy
  another may only take a transponder on the same band and polarisation; "equal" tuners reach
  what their root reaches on their own; "nothing" tuners take no timer;
- a begin at the same second as an end overlaps it;
- a repeated timer is checked on each of its days in the two weeks from its stored begin.

Tuner types come from the fault switch "tuners": a count of DVB-S2 tuners ("2") or a comma
list of types ("DVB-S2,DVB-C,empty").
"""
import os
import time

DEFAULT_TYPES = ("DVB-S2", "DVB-S2")
DEFAULT_POSITION = 192
HIGH_BAND_KHZ = 11700000
CHECKED_DAYS = 14
NIMS_PREFIX = "config.Nims."
NIM_SOCKETS = "/proc/bus/nim_sockets"


def tuner_types(switch):
    """The tuner types the fault switch names (None or "" for the default set-up)."""
    text = str(switch or "").strip()
    if not text:
        return list(DEFAULT_TYPES)
    if text.isdigit():
        return ["DVB-S2"] * max(int(text), 0)
    return [t.strip() for t in text.split(",")]


def nim_sockets_text(types):
    """/proc/bus/nim_sockets as a box's drivers write it."""
    out = []
    for slot, kind in enumerate(types):
        out.append("NIM Socket %d:" % slot)
        if kind == "empty":
            out.append("\tEmpty")
            continue
        out += ["\tType: %s" % kind, "\tName: Tivolo Demo %s" % kind,
                "\tFrontend_Device: %d" % slot, "\tI2C_Device: %d" % (slot + 2)]
    return "\n".join(out) + "\n"


def nims_settings(types):
    """The settings lines of a set-up in which every satellite tuner sees 19.2E alone."""
    lines = []
    for slot, kind in enumerate(types):
        if kind.startswith("DVB-S"):
            lines += ["%s%d.configMode=simple" % (NIMS_PREFIX, slot),
                      "%s%d.diseqcMode=single" % (NIMS_PREFIX, slot),
                      "%s%d.diseqcA=%d" % (NIMS_PREFIX, slot, DEFAULT_POSITION)]
    return "".join(line + "\n" for line in lines)


class Tuner:
    def __init__(self, slot, kind, keys):
        self.slot = slot
        self.kind = kind
        self.mode = keys.get("configMode", "simple" if kind != "empty" else "nothing")
        self.root = int(keys.get("connectedTo", slot) or slot)
        positions = set()
        for letter in "ABCD":
            value = keys.get("diseqc" + letter)
            if value and value.lstrip("-").isdigit() and int(value) < 3600:
                positions.add(int(value))
        self.positions = positions or {DEFAULT_POSITION}

    def satellite(self):
        return self.kind.startswith("DVB-S")


def read_tuners(folder, types):
    keys = {}
    try:
        with open(os.path.join(folder, "settings"), encoding="utf-8", errors="replace") as f:
            for line in f:
                name, _, value = line.strip().partition("=")
                if name.startswith(NIMS_PREFIX):
                    slot, _, key = name[len(NIMS_PREFIX):].partition(".")
                    if slot.isdigit():
                        keys.setdefault(int(slot), {})[key] = value
    except OSError:
        pass
    return [Tuner(slot, kind, keys.get(slot, {})) for slot, kind in enumerate(types)]


def read_transponders(folder):
    """(namespace, tsid, onid) -> (system, frequency, polarisation, position) from lamedb."""
    found = {}
    try:
        with open(os.path.join(folder, "lamedb"), encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
    except OSError:
        return found
    for i, line in enumerate(lines[:-1]):
        fields = line.split(":")
        following = lines[i + 1]
        if len(fields) != 3 or not following.startswith("\t"):
            continue
        try:
            key = tuple(int(x, 16) for x in fields)
            kind, _, values = following.strip().partition(" ")
            numbers = [int(x) for x in values.split(":")]
        except ValueError:
            continue
        if kind == "s" and len(numbers) >= 5:
            system = "S2" if len(numbers) > 7 and numbers[7] == 1 else "S"
            found[key] = (system, numbers[0], numbers[2], numbers[4])
        elif kind in ("c", "t"):
            found[key] = (kind.upper(), numbers[0] if numbers else 0, 0, None)
    return found


class TunerCheck:
    def __init__(self, tuners, transponders):
        self.tuners = tuners
        self.transponders = transponders

    def transponder(self, serviceref):
        fields = serviceref.split(":")
        try:
            tsid, onid, ns = (int(f, 16) for f in fields[4:7])
        except (ValueError, IndexError):
            return None
        key = (ns, tsid, onid)
        if key in self.transponders:
            return key, self.transponders[key]
        kind = {0xFFFF: "C", 0xEEEE: "T"}.get(ns >> 16, "S")
        return key, (kind, 0, 0, ns >> 16 if kind == "S" else None)

    def reaches(self, tuner, tp):
        system, _, _, position = tp
        root = self.tuners[tuner.root] if 0 <= tuner.root < len(self.tuners) else tuner
        if tuner.mode == "nothing" or tuner.kind == "empty":
            return False
        if system in ("S", "S2"):
            source = root if tuner.mode in ("loopthrough", "equal") else tuner
            return (tuner.satellite() and (system == "S" or tuner.kind == "DVB-S2")
                    and position in source.positions)
        return tuner.kind.startswith("DVB-" + system)

    def chain(self, tuner):
        root = tuner.root if tuner.mode == "loopthrough" else tuner.slot
        return {t.slot for t in self.tuners
                if t.slot == root or (t.mode == "loopthrough" and t.root == root)}

    def allowed(self, tuner, tp, busy):
        """Whether a loop-through chain lets this tuner take tp while others of it are busy."""
        _, freq, pol, _ = tp
        for slot, (_, other) in busy.items():
            if slot in self.chain(tuner) and slot != tuner.slot:
                if (freq >= HIGH_BAND_KHZ) != (other[1] >= HIGH_BAND_KHZ) or pol != other[2]:
                    return False
        return True

    def allocate(self, timers):
        """Tuner slot per timer (None: no tuner), the timers in the order they ask."""
        busy = {}  # slot -> (key, transponder)
        result = []
        for serviceref in timers:
            found = self.transponder(serviceref)
            if found is None:
                result.append(None)
                continue
            key, tp = found
            shared = [s for s, (k, _) in busy.items() if k == key]
            if shared:
                result.append(shared[0])
                continue
            free = [t for t in self.tuners if t.slot not in busy and self.reaches(t, tp)
                    and self.allowed(t, tp, busy)]
            free.sort(key=lambda t: (not (tp[0] == "S" and t.kind == "DVB-S"), t.slot))
            if free:
                busy[free[0].slot] = (key, tp)
                result.append(free[0].slot)
            else:
                result.append(None)
        return result


def occurrences(entry):
    """(begin, end) of each time the timer records in the checked days."""
    if not entry.repeated:
        return [(entry.begin, entry.end)]
    length = entry.end - entry.begin
    first = time.localtime(entry.begin)
    out = []
    for day in range(CHECKED_DAYS):
        begin = int(time.mktime((first.tm_year, first.tm_mon, first.tm_mday + day,
                                 first.tm_hour, first.tm_min, first.tm_sec, 0, 0, -1)))
        if entry.repeated & (1 << time.localtime(begin).tm_wday):
            out.append((begin, begin + length))
    return out


def conflicts(check, entry, others):
    """The timers entry collides with (entry first), or None when every one finds a tuner."""
    others = [o for o in others if o is not entry]
    spans = [(b, e, o) for o in others for b, e in occurrences(o)]
    for begin, end in occurrences(entry):
        moments = [begin] + [b for b, e, _ in spans if begin <= b <= end]
        for moment in moments:
            active = sorted(((b, o) for b, e, o in spans if b <= moment <= e),
                            key=lambda item: item[0])
            tuners = check.allocate([o.serviceref for _, o in active] + [entry.serviceref])
            if tuners[-1] is None:
                return [entry] + [o for _, o in active]
    return None
