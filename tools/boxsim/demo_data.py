"""The demo box: a service list, two television bouquets and a radio bouquet with about two
hundred made-up channels (a marker and a stream channel among them), and ten timers placed
around the moment the box is made, so that the program always shows a current list; its
settings file, and a programme guide for the television channels from the day before to
three days ahead.
"""
import os
import time
from xml.sax.saxutils import quoteattr

import tuners
from guide_file import GuideWriter

NAMESPACE = 0x00C00000
ONID = 0x0001
STREAM_NAME = "Tivolo Demo Stream"
STREAM_REF = "4097:0:1:0:0:0:0:0:0:0:http%3a//127.0.0.1%3a8001/demo.ts:" + STREAM_NAME

BRANDS = ["Aurora", "Baltica", "Canal Vista", "Delta", "Echo", "Fjord", "Galaxis", "Horizon",
          "Iris", "Juno", "Kompas", "Lumen", "Meridian", "Nova", "Orbit", "Polaris", "Quasar",
          "Rivièra", "Sirius", "Tempo"]
KINDS = ["", " HD", " 2", " Nieuws", " Sport", " Film", " Kids", " Docu", " Muziek"]
RADIO = ["Radio Aurora", "Radio Baltica", "Delta FM", "Echo Klassiek", "Fjord Jazz",
         "Horizon Pop", "Iris Rock", "Juno Nieuws", "Lumen Talk", "Nova Dance", "Orbit Oldies",
         "Polaris Country", "Sirius Soul", "Tempo Latin"]


class Service:
    def __init__(self, number, name, radio=False):
        self.sid = 0x0100 + number
        self.tsid = 0x0010 + number // 16
        self.name = name
        self.type = 2 if radio else (25 if name.endswith(" HD") else 1)

    def key(self):
        return "%04x:%08x:%04x:%04x:%d:0" % (self.sid, NAMESPACE, self.tsid, ONID, self.type)

    def reference(self):
        return "1:0:%X:%X:%X:%X:%X:0:0:0:" % (self.type, self.sid, self.tsid, ONID, NAMESPACE)


def make_services():
    tv = [Service(i, BRANDS[i % len(BRANDS)] + KINDS[i // len(BRANDS)])
          for i in range(len(BRANDS) * len(KINDS))]
    radio = [Service(len(tv) + i, name, radio=True) for i, name in enumerate(RADIO)]
    return tv, radio


def lamedb(services):
    out = ["eDVB services /4/", "transponders"]
    for tsid in sorted({s.tsid for s in services}):
        out += ["%08x:%04x:%04x" % (NAMESPACE, tsid, ONID),
                "\ts %d:27500000:0:0:192:2:0" % (10700000 + tsid * 19500), "/"]
    out += ["end", "services"]
    for s in services:
        out += [s.key(), s.name, "p:Tivolo Demo"]
    out += ["end", "Made for the Tivolo demo box; every name in it is made up."]
    return "\n".join(out) + "\n"


def bouquet(name, entries):
    out = ["#NAME " + name]
    for entry in entries:
        if isinstance(entry, Service):
            out.append("#SERVICE " + entry.reference())
        elif entry == "stream":
            out += ["#SERVICE " + STREAM_REF, "#DESCRIPTION " + STREAM_NAME]
        else:  # a marker: a caption between the channels
            out += ["#SERVICE 1:64:1:0:0:0:0:0:0:0::" + entry, "#DESCRIPTION " + entry]
    return "\n".join(out) + "\n"


def index(title, files, kind):
    out = ["#NAME " + title]
    out += ['#SERVICE 1:7:%d:0:0:0:0:0:0:0:FROM BOUQUET "%s" ORDER BY bouquet' % (kind, f)
            for f in files]
    return "\n".join(out) + "\n"


def timer(begin, end, service, name, description="", repeated=0, afterevent="auto",
          eit=0, disabled=0, justplay=0, extra=(), logs=()):
    attrs = [("begin", begin), ("end", end), ("serviceref", service.reference()),
             ("repeated", repeated), ("name", name), ("description", description),
             ("afterevent", afterevent), ("eit", eit), ("disabled", disabled),
             ("justplay", justplay)] + list(extra)
    text = "".join(" %s=%s" % (k, quoteattr(str(v))) for k, v in attrs)
    if not logs:
        return "\t<timer%s />\n" % text
    children = "".join('\t\t<log code="%d" time="%d">%s</log>\n' % log for log in logs)
    return "\t<timer%s>\n%s\t</timer>\n" % (text, children)


def on_its_days(begin, repeated):
    """The first begin, from the given one on, that falls on a day of the mask (bit 0 Monday),
    as a box's repeating timer always does."""
    while repeated and not repeated & (1 << time.localtime(begin).tm_wday):
        begin += 86400
    return begin


def timer_on_days(begin, end, service, name, repeated, **kwargs):
    moved = on_its_days(begin, repeated) - begin
    return timer(begin + moved, end + moved, service, name, repeated=repeated, **kwargs)


def conflicting_timers(tv, base):
    """Three recordings at once on three transponders, for a box with two tuners."""
    evening = base + 20 * 3600 + 900
    return [timer(evening, evening + 2700, tv[33], "Quiz van de Week", eit=4401),
            timer(evening, evening + 3600, tv[50], "Natuur Dichtbij", "Vogels in de winter.",
                  eit=4402),
            timer(evening + 900, evening + 2700, tv[70], "Journaal", eit=4403)]


def clear_of_now(now, start_hour, hours):
    """The hour a repeated timer of that length starts at: start_hour, or four hours later
    when today's recording would run now or within the hour, so that no save of a test asks
    about a recording running on the demo box, whatever the time of day."""
    now_hour = time.localtime(now).tm_hour
    return start_hour + 4 if start_hour - 1 <= now_hour <= start_hour + hours else start_hour


def timers_xml(tv, now, conflict=False, series=False):
    hour, day = 3600, 86400
    midnight = int(time.mktime(time.localtime(now)[:3] + (0, 0, 0, 0, 0, -1)))
    base = midnight + day  # tomorrow, local time
    weather, cooking = clear_of_now(now, 19, 1), clear_of_now(now, 12, 1)
    cartoon, morning = clear_of_now(now, 8, 1), clear_of_now(now, 6, 1)
    auto = [("tags", ""), ("always_zap", "0"), ("rename_repeat", "1"),
            ("conflict_detection", "1"), ("descramble", "1"), ("record_ecm", "0")]
    done = now - now % 300 - 3 * hour
    items = [
        timer(done, done + 2700, tv[0], "Avondnieuws", "Het nieuws van de dag.", eit=4711,
              extra=auto, logs=[(15, done - 30, "record time changed, start prepare is now: "
                                 + time.ctime(done - 20)),
                                (20, done, "start recording"),
                                (0, done + 2700, "stop recording")]),
        timer_on_days(base + weather * hour, base + weather * hour + 1800, tv[1], "Weerbericht",
                      127, justplay=1, afterevent="nothing"),
        timer_on_days(base + cooking * hour, base + (cooking + 1) * hour, tv[2],
                      "Het Grote Kookprogramma", 31,
                      description="Vijf gangen in een uur.", eit=812, extra=auto),
        timer(base + 2 * day + 20 * hour + 1800, base + 2 * day + 22 * hour, tv[3],
              "De buitengewoon lange titel van een documentaireserie over de rivieren van "
              "Europa, deel drie: de Donau van bron tot delta",
              "Een reis langs de Donau.", eit=9001, afterevent="deepstandby"),
        timer_on_days(base + cartoon * hour, base + cartoon * hour + 1500, tv[4], "Tom & Jerry",
                      96, description="Kat en muis <klassiek>", extra=[("tags", "kids cartoon")]),
        timer(base + day + 21 * hour, base + day + 23 * hour + 900, tv[5], "Café Europa",
              "Gesprekken aan de bar.", eit=3333, disabled=1),
        timer(base + 3 * day + 14 * hour, base + 3 * day + 16 * hour, tv[6], "Zondagmiddagfilm",
              afterevent="standby", extra=auto + [("isAutoTimer", "1")],
              logs=[(500, now - day, "[AutoTimer] Try to add new timer based on AutoTimer "
                     "Zondagmiddagfilm."),
                    (509, now - day, "[AutoTimer] Timer start on: "
                     + time.ctime(base + 3 * day + 14 * hour))]),
        timer_on_days(base + 4 * day + morning * hour, base + 4 * day + (morning + 1) * hour,
                      tv[20], "Ochtendjournaal", 62, eit=77),
        timer(base + 5 * day + 22 * hour, base + 6 * day + 30 * 60, tv[7],
              "Nachtfilm: Middernacht", "Over middernacht heen.", eit=12345),
        timer(base + 6 * day + 15 * hour, base + 6 * day + 17 * hour, tv[8], "Wielrennen",
              "Live verslag", afterevent="deepstandby", extra=[("marginBefore", "300"),
                                                            ("marginAfter", "600")]),
    ]
    if conflict:
        items += conflicting_timers(tv, base)
    if series:
        items += series_timers(tv, now, base)
    return '<?xml version="1.0" ?>\n<timers>\n' + "".join(items) + "</timers>\n"


GUIDE_PATH = "/media/hdd/epg.dat"
SETTINGS = ("config.misc.epgcache_filename=%s\n"
            "config.recording.margin_before=2\n"
            "config.recording.margin_after=10\n"
            "config.usage.setup_level=expert\n" % GUIDE_PATH)

PROGRAMMES = [
    ("Journaal", "Het nieuws van de dag.", ""),
    ("Weerbericht", "", ""),
    ("Het Grote Kookprogramma", "Vijf gangen in een uur.",
     "Twee koks, één keuken en een uur de tijd: vandaag staat de Franse keuken centraal."),
    ("Tom & Jerry", "Kat en muis <klassiek>", ""),
    ("Café Europa", "Gesprekken aan de bar.", "Met gasten uit Zürich, Łódź en Sevilla."),
    ("De Donau van bron tot delta", "Deel drie.",
     "Een reis langs de rivier, van het Zwarte Woud tot aan de Zwarte Zee."),
    ("Wielrennen", "Live verslag", "De bergetappe naar de Tourmalet."),
    ("Nachtfilm: Middernacht", "Over middernacht heen.", ""),
    ("Quiz van de Week", "", ""),
    ("Natuur Dichtbij", "Vogels in de winter.", ""),
]
DURATIONS = (1800, 2700, 3600, 5400)


def demo_events(service, number, now):
    """Programmes of 30 to 90 minutes on a television channel, from the start of the day
    before `now` to four days after, each channel starting its list at another programme. The
    same at any hour of a day, so that what the series rules find does not hang on when the
    box was started."""
    start = int(time.mktime(time.localtime(now)[:3] + (0, 0, 0, 0, 0, -1))) - 86400
    end = start + 5 * 86400
    events = []
    at, i = start, number
    while at < end:
        title, short, long_text = PROGRAMMES[i % len(PROGRAMMES)]
        duration = DURATIONS[(i * 7 + number) % len(DURATIONS)]
        events.append(((0x1000 + i) & 0xFFFF, at, duration, title, short, long_text))
        at += duration
        i += 1
    return events


def demo_guide(tv, now):
    guide = GuideWriter()
    for number, service in enumerate(tv):
        guide.add_service(service.sid, ONID, service.tsid, demo_events(service, number, now))
    return guide


# Two series rules: (name, match, channel numbers, from, to).
SERIES_RULES = [("Journaal", "Journaal", (0, 1, 2), "18:00", "22:00"),
                ("Natuur", "Natuur Dichtbij", (7, 8), None, None)]


def autotimer_xml(tv):
    out = ['<?xml version="1.0" encoding="utf-8"?>', '<autotimer version="8">']
    for name, match, channels, low, high in SERIES_RULES:
        span = ' from="%s" to="%s"' % (low, high) if low else ""
        children = "".join("\n\t\t<serviceref>%s</serviceref>" % tv[n].reference()
                           for n in channels)
        out.append('\t<timer name=%s match=%s enabled="yes"%s searchType="partial">%s'
                   '\n\t\t<afterevent>standby</afterevent>\n\t</timer>'
                   % (quoteattr(name), quoteattr(match), span, children))
    return "\n".join(out + ["</autotimer>"]) + "\n"


def series_timers(tv, now, base, per_rule=2):
    """The first programmes each rule matches from the day after tomorrow (base + a day) on,
    clear of the conflict's evening, as the plugin records them:
    the box's margins (2 and 10 minutes) around them, marked with the rule's name."""
    items = []
    for name, match, channels, low, high in SERIES_RULES:
        found = []
        for number in channels or range(len(tv)):
            for event_id, at, duration, title, short, _ in demo_events(tv[number], number, now):
                local = time.localtime(at)
                clock = "%02d:%02d" % (local.tm_hour, local.tm_min)
                if match in title and at >= base + 86400 and (not low or low <= clock <= high):
                    found.append((at, number, event_id, duration, title, short))
        for at, number, event_id, duration, title, short in sorted(found)[:per_rule]:
            items.append(timer(at - 120, at + duration + 600, tv[number], title, short,
                               eit=event_id, afterevent="standby",
                               extra=[("flags", "autotimer " + name)]))
    return items


def write_demo_box(box_dir, now=None, conflict=False, series=False):
    """Fills box_dir/etc/enigma2, its tuners two DVB-S2 ones on 19.2E and two series rules;
    with conflict, the list holds three timers at once on three transponders, with series the
    timers the rules made. Returns the folder."""
    now = int(now if now is not None else time.time())
    folder = os.path.join(box_dir, "etc", "enigma2")
    os.makedirs(folder, exist_ok=True)
    tv, radio = make_services()
    favourites = (["--- Nieuws en weer ---"] + tv[:10] + ["stream", "--- Meer ---"]
                  + tv[20:40])
    sport = [s for s in tv if s.name.endswith(" Sport")] + tv[40:48]
    files = {
        "lamedb": lamedb(tv + radio),
        "bouquets.tv": index("User - bouquets (TV)", ["userbouquet.favourites.tv",
                             "userbouquet.all.tv", "userbouquet.sport.tv"], 1),
        "bouquets.radio": index("User - bouquets (Radio)", ["userbouquet.favourites.radio"], 2),
        "userbouquet.favourites.tv": bouquet("Favourites (TV)", favourites),
        "userbouquet.all.tv": bouquet("Alle zenders", tv),
        "userbouquet.sport.tv": bouquet("Sport", sport),
        "userbouquet.favourites.radio": bouquet("Favourites (Radio)", radio),
        "timers.xml": timers_xml(tv, now, conflict, series),
        "autotimer.xml": autotimer_xml(tv),
    }
    files["settings"] = SETTINGS + tuners.nims_settings(tuners.DEFAULT_TYPES)
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text)
    guide = os.path.join(box_dir, GUIDE_PATH.lstrip("/"))
    os.makedirs(os.path.dirname(guide), exist_ok=True)
    demo_guide(tv, now).write(guide)
    return folder
