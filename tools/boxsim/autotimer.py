"""The box's series-rule plugin, as far as the program meets it: its rule file
/etc/enigma2/autotimer.xml, read again whenever the file's modification time changes (so a
file uploaded by FTP is taken without a restart), its web calls under /autotimer (the rules as
the list, edit, remove, parse), and a run of the enabled rules over the box's guide that adds
their timers, marked flags="autotimer <rule name>".

The run matches as the plugin does in its simplest form: the title holds the rule's match,
case ignored; only on the rule's channels when it names any; only within from/to when set;
events that have begun are left out; the rule's offset, or the box's recording margins, are put
around the event; an event a timer of the same service and event id already covers is left out.
"""
import os
import time
import xml.etree.ElementTree as ET

from timer_list import Entry

RULE_FILE = "autotimer.xml"
MARGIN_SETTINGS = ("config.recording.margin_before=", "config.recording.margin_after=")
DEFAULT_MARGINS = (5, 10)  # minutes, as the receiver without settings


def result_xml(state, text):
    return ('<?xml version="1.0" encoding="UTF-8" ?>\n<e2simplexmlresult>\n'
            "\t<e2state>%s</e2state>\n\t<e2statetext>%s</e2statetext>\n"
            "</e2simplexmlresult>" % ("True" if state else "False", text)).encode("utf-8")


def minutes_of(text):
    hours, _, minutes = (text or "").partition(":")
    return int(hours) * 60 + int(minutes)


class SeriesRules:
    """guide: () -> {(sid, onid, tsid): events}; references: () -> {(sid, onid, tsid): service
    reference}."""

    def __init__(self, receiver, guide, references):
        self.receiver = receiver
        self.guide = guide
        self.references = references
        self.path = os.path.join(receiver.folder, RULE_FILE)
        self.stamp = None
        self.root = None

    def rules(self):
        """The rule file's root, read again when the file changed; None without a file."""
        try:
            stamp = os.path.getmtime(self.path)
        except OSError:
            self.stamp, self.root = None, None
            return None
        if stamp != self.stamp:
            self.root = ET.parse(self.path).getroot()
            self.stamp = stamp
            self.receiver.log("series rules read: %d" % len(self.root.findall("timer")))
        return self.root

    def write(self):
        ET.ElementTree(self.root).write(self.path, encoding="utf-8", xml_declaration=True)
        self.stamp = os.path.getmtime(self.path)

    # --- the web calls
    def answer(self, name, query):
        root = self.rules()
        if root is None and name != "edit":
            return 200, "application/xhtml+xml", result_xml(False, "Couldn't load config file!")
        if name == "":
            listed = ET.Element("autotimer", root.attrib)
            for number, rule in enumerate(root.findall("timer"), 1):
                copy = ET.SubElement(listed, "timer", dict(rule.attrib, id=str(number)))
                copy.extend(list(rule))
            body = ET.tostring(listed, encoding="unicode")
            return 200, "application/xhtml+xml", ('<?xml version="1.0" ?>\n' + body).encode()
        handler = {"edit": self.edit, "remove": self.remove, "parse": self.parse}.get(name)
        if handler is None:
            return 404, "text/html", b"<html><body>No such resource</body></html>"
        return 200, "application/xhtml+xml", result_xml(*handler(query))

    def rule_by_id(self, query):
        rules = self.root.findall("timer")
        number = int((query.get("id") or ["0"])[0] or 0)
        return rules[number - 1] if 0 < number <= len(rules) else None

    def edit(self, query):
        if self.root is None:
            self.root = ET.Element("autotimer", {"version": "8"})
        rule = self.rule_by_id(query) if query.get("id") else ET.SubElement(self.root, "timer")
        if rule is None:
            return False, "unable to find timer with id %s" % query["id"][0]
        for name in ("match", "name", "enabled", "offset", "maxduration", "searchType",
                     "searchCase", "justplay", "avoidDuplicateDescription"):
            if name in query:
                rule.set(name, query[name][0])
        if "timespanFrom" in query and "timespanTo" in query:
            rule.set("from", query["timespanFrom"][0])
            rule.set("to", query["timespanTo"][0])
        if "services" in query:
            for old in rule.findall("serviceref"):
                rule.remove(old)
            for ref in filter(None, query["services"][0].split(",")):
                ET.SubElement(rule, "serviceref").text = ref
        if not rule.get("match"):
            self.root.remove(rule)
            return False, "autotimers need a match attribute"
        rule.set("name", rule.get("name") or rule.get("match"))
        self.write()
        return True, "AutoTimer was changed successfully"

    def remove(self, query):
        rule = self.rule_by_id(query)
        if rule is None:
            return False, 'missing parameter "id"'
        self.root.remove(rule)
        self.write()
        return True, "AutoTimer was removed"

    # --- the run
    def margins(self):
        values = list(DEFAULT_MARGINS)
        try:
            with open(os.path.join(self.receiver.folder, "settings"), encoding="utf-8") as f:
                for line in f:
                    for i, key in enumerate(MARGIN_SETTINGS):
                        if line.startswith(key):
                            values[i] = int(line[len(key):].strip() or 0)
        except (OSError, ValueError):
            pass
        return values[0] * 60, values[1] * 60

    def matches(self, rule, ref, begin, title, now):
        if rule.get("match", "").lower() not in title.lower() or begin <= now + 60:
            return False
        channels = [s.text for s in rule.findall("serviceref") if s.text]
        if channels and ref not in channels:
            return False
        if rule.get("from") and rule.get("to"):
            local = time.localtime(begin)
            at = local.tm_hour * 60 + local.tm_min
            low, high = minutes_of(rule.get("from")), minutes_of(rule.get("to"))
            inside = low <= at <= high if low <= high else at >= low or at <= high
            if not inside:
                return False
        return True

    def parse(self, query):
        """Adds the timers of every enabled rule over the guide."""
        now = time.time()
        guide, references = self.guide(), self.references()
        added = 0
        before_default, after_default = self.margins()
        for rule in self.root.findall("timer"):
            if rule.get("enabled", "yes") != "yes":
                continue
            offset = [int(x) * 60 for x in rule.get("offset", "").split(",") if x.strip()]
            before, after = (offset * 2)[:2] if offset else (before_default, after_default)
            for key, events in guide.items():
                ref = references.get(key)
                for event_id, begin, duration, title, short in events:
                    if ref is None or not self.matches(rule, ref, begin, title, now):
                        continue
                    if any(e.serviceref == ref and e.eit == event_id
                           for e in self.receiver.timers.entries):
                        continue
                    entry = Entry(ref, begin - before, begin + duration + after, title,
                                       description=short, eit=event_id)
                    entry.flags = "autotimer " + rule.get("name", rule.get("match"))
                    with self.receiver.lock:
                        ok, _ = self.receiver.timers.record(entry)
                    added += bool(ok)
        if added:
            self.receiver.save()
        return True, "Found a total of %d matching Events.\n%d Timer were added" % (added, added)
