"""The box's web interface plugin, as far as the program meets it: the timer calls under /api/
(JSON) and the device information under /web/ (XML), served from the simulated receiver's
own process on the listening socket the supervisor hands it, so that every call works on
the receiver's list in memory, as the plugin does inside the receiver.

The receiver's guide (epgservice) is read from the guide file the box's settings name, as the
receiver loads it at start; texts in the JSON replies are HTML-escaped, as the plugin sends
them.

Replies follow the plugin: HTTP 200 with {"result": false, "message": ...} for a refusal
(a conflict adds "conflicts"), HTTP 500 when begin or end is not an integer, 404 for a name
it does not know. The list is written to timers.xml on every add and removal and on
timerlistwrite, never after a change alone.

Switches (box_state.py), read on every request: no_web=404 (every path answers 404),
web_forbidden (403), web_auth (HTTP Basic against the box's user and password, then a
session cookie), web_delay=MS (the reply, not the work, comes late), web_not_json (an HTML
page in place of the reply), web_cut=BYTES (the reply breaks off after so many bytes of its
body), web_redirect (the call is carried out, then answered with a redirect to the login
page), web_change_fails=BEGIN[:refuse] (a timerchange of the timer that begins at BEGIN is
not carried out: answered with HTTP 500, or with ":refuse" with a refusal),
webif_version=VERSION (the version told, such as "OWIF 1.3.5"; before 1.4 an after-event
of 0 is taken as 3, auto, as those versions do), tuners (see tuners.py).
"""
import base64
import html
import json
import os
import secrets
import socket
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from box_state import WEB_LOG
from guide_file import read_guide
import tuners
from autotimer import SeriesRules
from timer_list import AUTO, Entry

WEBIF_VERSION = "OWIF 1.5.2"
PREFERRED_PATH = "/media/hdd/movie/"
SESSION_COOKIE = "TWISTED_SESSION"
GUIDE_SETTING = "config.misc.epgcache_filename="
DEFAULT_GUIDE = "/media/hdd/epg.dat"
# What the plugin answers for a channel without programmes: one entry without a time.
NO_PROGRAMMES = {"date": 0, "begin": 0, "begin_timestamp": 0, "duration": 0, "duration_sec": 0,
                 "end": 0, "title": "N/A", "shortdesc": "", "sname": "", "longdesc": "",
                 "tleft": 0, "progress": 0, "now_timestamp": 0, "genre": "", "genreid": 0}
NOT_FOUND_PAGE = (b"<html><head><title>404 - No Such Resource</title></head><body>"
                  b"<h1>No Such Resource</h1><p>No such child resource.</p></body></html>")


class ServerError(Exception):
    """A fault inside a handler: the plugin's server answers 500."""


def service_names(folder):
    """Channel names by (service id, transport stream, network, namespace) from the box's
    lamedb, as the receiver names a timer's service."""
    names = {}
    try:
        with open(os.path.join(folder, "lamedb"), encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
    except OSError:
        return names
    if "services" not in lines:
        return names
    i = lines.index("services") + 1
    while i + 2 < len(lines) and lines[i] != "end":
        fields = lines[i].split(":")
        try:
            sid, ns, tsid, onid = (int(f, 16) for f in fields[:4])
            names[(sid, tsid, onid, ns)] = lines[i + 1]
        except ValueError:
            pass
        i += 3
    return names


def service_references(folder):
    """Service references by (service id, original network, transport stream) from lamedb,
    for the guide's events."""
    refs = {}
    try:
        with open(os.path.join(folder, "lamedb"), encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        start = lines.index("services") + 1
    except (OSError, ValueError):
        return refs
    for line in lines[start::3]:
        fields = line.split(":")
        if line == "end" or len(fields) < 5:
            break
        try:
            sid, ns, tsid, onid, kind = (int(f, 16) for f in fields[:5])
        except ValueError:
            continue
        refs[(sid, onid, tsid)] = "1:0:%X:%X:%X:%X:%X:0:0:0:" % (kind, sid, tsid, onid, ns)
    return refs


def arg(query, name, default=None):
    values = query.get(name)
    return values[0] if values else default


def integer(value):
    try:
        return int(value)
    except (TypeError, ValueError):
        raise ServerError("%r is not an integer" % (value,))


class WebInterface:
    def __init__(self, receiver, user, password):
        self.receiver = receiver
        self.faults = receiver.faults
        self.user = user
        self.password = password
        self.sessions = {}  # cookie -> logged in
        self.names = service_names(receiver.folder)
        self.guide = None  # (path, modification time, what read_guide gave)
        self.series = SeriesRules(receiver, self.whole_guide,
                                  lambda: service_references(receiver.folder))
        self.log_lock = threading.Lock()

    def serve(self, fd):
        interface = self

        class Handler(RequestHandler):
            web = interface

        server = ThreadingHTTPServer(("127.0.0.1", 0), Handler, bind_and_activate=False)
        server.socket.close()
        server.socket = socket.socket(fileno=fd)
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()

    def log(self, text):
        with self.log_lock, open(os.path.join(self.receiver.state_dir, WEB_LOG), "a",
                                 encoding="utf-8") as f:
            f.write("%s %s\n" % (time.strftime("%H:%M:%S"), text))

    # --- what each name answers
    def service_name(self, ref):
        fields = ref.split(":")
        try:
            key = (int(fields[3], 16), int(fields[4], 16), int(fields[5], 16),
                   int(fields[6], 16))
        except (IndexError, ValueError):
            return ""
        return self.names.get(key, "")

    def timer_json(self, e, now):
        return {
            "serviceref": e.serviceref, "servicename": self.service_name(e.serviceref),
            "eit": e.eit, "name": e.name, "description": e.description,
            "descriptionextended": "N/A", "disabled": int(e.disabled), "begin": e.begin,
            "end": e.end, "duration": e.end - e.begin, "startprepare": e.begin - 20,
            "justplay": int(e.justplay), "afterevent": e.afterevent,
            "dirname": e.dirname or "None", "tags": " ".join(e.tags), "logentries": [],
            "backoff": 0, "firsttryprepare": True, "state": e.state(now),
            "repeated": e.repeated, "dontsave": 0, "cancelled": False,
            "toggledisabled": int(not e.disabled), "filename": None, "nextactivation": None,
            "realbegin": time.strftime("%d.%m.%Y %H:%M", time.localtime(e.begin)),
            "realend": time.strftime("%d.%m.%Y %H:%M", time.localtime(e.end)),
            "always_zap": int(e.always_zap), "pipzap": -1, "isAutoTimer": -1,
            "allow_duplicate": 1, "autoadjust": -1, "recordingtype": "normal",
        }

    def conflict_json(self, conflicts):
        return [{"serviceref": c.serviceref, "servicename": self.service_name(c.serviceref),
                 "name": c.name, "begin": c.begin, "end": c.end,
                 "realbegin": time.strftime("%d.%m.%Y %H:%M", time.localtime(c.begin)),
                 "realend": time.strftime("%d.%m.%Y %H:%M", time.localtime(c.end))}
                for c in conflicts]

    def about(self, query):
        kinds = tuners.tuner_types(self.faults.get("tuners"))
        return {"info": {"brand": "Dream Multimedia", "model": "DM7025", "boxtype": "dm7025",
                         "webifver": self.version(), "imagedistro": "openpli",
                         "enigmaver": "2024-01-01",
                         "tuners": [{"name": "Tuner %c" % (65 + i), "type": kind}
                                    for i, kind in enumerate(kinds) if kind != "empty"]},
                "service": {"result": True}}

    def version(self):
        return self.faults.get("webif_version") or WEBIF_VERSION

    def after_events(self):
        """The after-event values the calls take; others are auto."""
        number = self.version().split(" ")[-1].split(".")
        try:
            older = (int(number[0]), int(number[1])) < (1, 4)
        except (IndexError, ValueError):
            older = False
        return ("1", "2", "3") if older else ("0", "1", "2", "3")

    def guide_events(self, key):
        """The events of the service (sid, onid, tsid) in the box's guide file."""
        return self.whole_guide().get(key, [])

    def whole_guide(self):
        """{(sid, onid, tsid): events} of the box's guide file, read once per version of the
        file; empty without one."""
        path = DEFAULT_GUIDE
        try:
            with open(os.path.join(self.receiver.folder, "settings"), encoding="utf-8") as f:
                for line in f:
                    if line.startswith(GUIDE_SETTING) and line.strip() != GUIDE_SETTING:
                        path = line.strip()[len(GUIDE_SETTING):]
        except OSError:
            pass
        local = os.path.join(os.path.dirname(os.path.dirname(self.receiver.folder)),
                             path.lstrip("/"))
        try:
            stamp = os.path.getmtime(local)
            if self.guide is None or self.guide[:2] != (local, stamp):
                with open(local, "rb") as f:
                    self.guide = (local, stamp, read_guide(f.read()))
        except (OSError, ValueError):
            return {}
        return self.guide[2]

    def epgservice(self, query):
        ref = arg(query, "sRef")
        if not ref:
            return self.missing(query, ["sRef"])
        start = integer(arg(query, "time", "-1"))
        start = int(time.time()) if start < 0 else start
        fields = ref.split(":")
        try:
            key = (int(fields[3], 16), int(fields[5], 16), int(fields[4], 16))
        except (IndexError, ValueError):
            key = None
        events = []
        for event_id, begin, duration, title, short in self.guide_events(key):
            if begin + duration <= start:
                continue
            events.append({
                "id": event_id, "sref": ref, "begin_timestamp": begin,
                "duration_sec": duration, "duration": duration // 60,
                "date": time.strftime("%a %d.%m.%Y", time.localtime(begin)),
                "begin": time.strftime("%H:%M", time.localtime(begin)),
                "end": time.strftime("%H:%M", time.localtime(begin + duration)),
                "title": html.escape(title), "shortdesc": html.escape(short),
                "longdesc": "", "sname": html.escape(self.service_name(ref)),
                "now_timestamp": 0, "genre": "", "genreid": 0})
        return {"events": events or [dict(NO_PROGRAMMES, sref=ref)], "result": True}

    def timerlist(self, query):
        now = time.time()
        with self.receiver.lock:
            timers = [self.timer_json(e, now) for e in self.receiver.timers.ordered(now)]
        return {"result": True, "timers": timers, "locations": [PREFERRED_PATH]}

    @staticmethod
    def missing(query, names):
        for name in names:
            if name not in query:
                return {"result": False, "message": "Missing mandatory parameter '%s'" % name}
            if not query[name][0]:
                return {"result": False, "message": "The parameter '%s' can't be empty" % name}
        return None

    def values(self, query):
        """The timer's values from an add or a change, read as the plugin reads them."""
        afterevent = arg(query, "afterevent", str(AUTO))
        tags = arg(query, "tags")
        return {
            "serviceref": arg(query, "sRef"), "begin": integer(arg(query, "begin")),
            "end": integer(arg(query, "end")), "name": arg(query, "name"),
            "description": arg(query, "description", ""),
            "disabled": arg(query, "disabled") == "1", "justplay": arg(query, "justplay") == "1",
            "afterevent": int(afterevent) if afterevent in self.after_events() else AUTO,
            "dirname": arg(query, "dirname") or None,
            "tags": tags.split(" ") if tags is not None else [],
            "repeated": integer(arg(query, "repeated", "0")),
        }

    def timeradd(self, query):
        refused = self.missing(query, ["sRef", "begin", "end", "name"])
        if refused:
            return refused
        values = self.values(query)
        values["dirname"] = values["dirname"] or PREFERRED_PATH
        entry = Entry(eit=0, **values)  # the plugin looks the event up itself
        with self.receiver.lock:
            self.receiver.timers.check = self.receiver.tuner_check()
            added, conflicts = self.receiver.timers.record(entry)
            if conflicts:
                return {"result": False, "conflicts": self.conflict_json(conflicts),
                        "message": "Conflicting Timer(s) detected! %s"
                                   % " / ".join(c.name for c in conflicts)}
            if added:
                self.receiver.save()
        return {"result": True, "message": "Timer '%s' added" % entry.name}

    def timerchange(self, query):
        refused = self.missing(query, ["sRef", "begin", "end", "name", "channelOld",
                                       "beginOld", "endOld"])
        if refused:
            return refused
        old = []
        for name in ("beginOld", "endOld"):
            try:
                old.append(int(arg(query, name)))
            except ValueError:
                return {"result": False, "message": "The parameter '%s' must be a number" % name}
        stuck, _, how = str(self.faults.get("web_change_fails") or "").partition(":")
        if stuck and stuck == str(old[0]):
            if how == "refuse":
                return {"result": False, "message": "Timer '%s' could not be changed"
                                                    % arg(query, "name")}
            raise ServerError("the change of the timer at %s failed" % stuck)
        values = self.values(query)
        with self.receiver.lock:
            self.receiver.timers.check = self.receiver.tuner_check()
            found, conflicts = self.receiver.timers.change(arg(query, "channelOld"), old[0],
                                                           old[1], values)
        if not found:
            return {"result": False, "message": "Could not find timer '%s' with given start "
                                                "and end time!" % values["name"]}
        if conflicts:
            return {"result": False, "conflicts": self.conflict_json(conflicts),
                    "message": "Timer '%s' not saved while Conflict" % values["name"]}
        return {"result": True, "message": "Timer '%s' changed" % values["name"]}

    def timerdelete(self, query):
        refused = self.missing(query, ["sRef", "begin", "end"])
        if refused:
            return refused
        try:
            begin, end = int(arg(query, "begin")), int(arg(query, "end"))
        except ValueError:
            return {"result": False, "message": "The parameter 'begin' must be a number"}
        eit = arg(query, "eit")
        with self.receiver.lock:
            removed = self.receiver.timers.remove(
                arg(query, "sRef"), begin, end, int(eit) if eit and eit.isdigit() else None)
            if removed is None:
                return {"result": False, "message": "No matching Timer found"}
            self.receiver.save()
        return {"result": True,
                "message": "The timer '%s' has been deleted successfully" % removed.name}

    def timerlistwrite(self, query):
        self.receiver.save()
        return {"result": True, "message": "TimerList has been saved"}

    def deviceinfo_xml(self):
        return ('<?xml version="1.0" encoding="UTF-8"?>\n<e2deviceinfo>\n'
                "\t<e2enigmaversion>2024-01-01</e2enigmaversion>\n"
                "\t<e2imageversion>9.0</e2imageversion>\n"
                "\t<e2webifversion>%s</e2webifversion>\n"
                "\t<e2devicename>dm7025</e2devicename>\n"
                "</e2deviceinfo>\n" % self.version()).encode("utf-8")

    def answer(self, path, query):
        """(status, content type, body) for a request that passed the switches."""
        if path == "/web/deviceinfo":
            return 200, "text/xml", self.deviceinfo_xml()
        if path == "/autotimer" or path.startswith("/autotimer/"):
            return self.series.answer(path[len("/autotimer"):].lstrip("/"), query)
        handlers = {"about": self.about, "deviceinfo": self.about, "timerlist": self.timerlist,
                    "timeradd": self.timeradd, "timerchange": self.timerchange,
                    "timerdelete": self.timerdelete, "timerlistwrite": self.timerlistwrite,
                    "epgservice": self.epgservice}
        folder, _, name = path.rpartition("/")
        if folder != "/api" or name not in handlers:
            return 404, "text/html", NOT_FOUND_PAGE
        try:
            reply = handlers[name](query)
        except ServerError as err:
            return 500, "text/html", ("<html><body>Processing Failed: %s</body></html>"
                                      % err).encode("utf-8")
        return 200, "application/json", json.dumps(reply).encode("utf-8")

    def authorised(self, headers):
        """(passes, cookie to set): the session cookie of an earlier login passes; else the
        Basic credentials must match, and a new session is handed out either way."""
        for part in (headers.get("Cookie") or "").split(";"):
            name, _, value = part.strip().partition("=")
            if name == SESSION_COOKIE and self.sessions.get(value):
                return True, None
        cookie = secrets.token_hex(16)
        given = headers.get("Authorization") or ""
        expected = "Basic " + base64.b64encode(
            ("%s:%s" % (self.user, self.password)).encode("utf-8")).decode("ascii")
        self.sessions[cookie] = given == expected
        return self.sessions[cookie], cookie


class RequestHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body leave in separate writes; without this each reply would wait for the
    # client's delayed acknowledgement of the headers.
    disable_nagle_algorithm = True
    web = None  # the WebInterface, set by a subclass per server

    def log_message(self, format, *args):
        self.web.log(format % args)

    def do_GET(self):
        faults = self.web.faults
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True, errors="replace")
        extra = []
        if faults.get("no_web") == "404":
            return self.reply(404, "text/html", NOT_FOUND_PAGE)
        if faults.on("web_forbidden"):
            return self.reply(403, "text/html", b"<html><body>Forbidden</body></html>")
        if faults.on("web_auth"):
            passes, cookie = self.web.authorised(self.headers)
            if cookie:
                extra.append(("Set-Cookie", "%s=%s; Path=/" % (SESSION_COOKIE, cookie)))
            if not passes:
                extra.append(("WWW-Authenticate", 'Basic realm="OpenWebif"'))
                return self.reply(401, "text/html", b"<html><body>401 Authentication "
                                  b"required</body></html>", extra)
        status, kind, body = self.web.answer(url.path, query)
        if faults.on("web_redirect"):  # carried out, then sent to log in
            extra.append(("Location", "/login"))
            status, kind, body = 302, "text/html", b"<html><body>Found</body></html>"
        delay = faults.number("web_delay")
        if delay > 0:  # carried out at once, answered late
            time.sleep(delay / 1000.0)
        if faults.on("web_not_json") and kind == "application/json":
            kind, body = "text/html", b"<html><body><h1>Loading...</h1></body></html>"
        self.reply(status, kind, body, extra)

    def reply(self, status, kind, body, extra=()):
        cut = self.web.faults.number("web_cut")
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if 0 < cut < len(body):
            self.wfile.write(body[:cut])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        self.wfile.write(body)

