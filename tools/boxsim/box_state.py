"""The simulated box's state folder: the status file callers read, the fault switches they set.

Everything is a small JSON file written through a temporary name and a rename, so a reader
never sees half a file. The switches are reread on every use, so a test can turn a fault on
while the box runs, between the program's start-up fetch and its save.
"""
import json
import os

STATUS = "status.json"
FAULTS = "faults.json"
LOADED = "loaded.json"
RECEIVER_LOG = "receiver.log"
TELNET_LOG = "telnet.log"
FTP_LOG = "ftp.log"
SUPERVISOR_LOG = "boxsim.log"
WEB_LOG = "web.log"

# name -> what its value means; a switch given without a value is on ("1").
FAULT_SWITCHES = {
    "no_telnet": "nothing listens on the telnet port (connection refused)",
    "silent_telnet": "telnet accepts the connection and never shows a prompt",
    "refuse_login": "'ftp', 'telnet' or 'both': every login is refused",
    "refuse_store": "every FTP store is refused (553)",
    "cut_store": "an FTP store breaks off after this many bytes, leaving the file cut",
    "refuse_rename": "every FTP rename is refused (550)",
    "slow": "every FTP reply and telnet output waits this many milliseconds",
    "no_web": "'404': the web interface answers 404 to everything; 'closed' (at start): "
              "nothing listens on its port",
    "web_forbidden": "the web interface answers 403 to everything",
    "web_auth": "the web interface asks for HTTP Basic authentication (the box's user and "
                "password), then keeps a session cookie",
    "web_delay": "every web interface reply waits this many milliseconds (after the work)",
    "web_not_json": "the web interface answers with an HTML page in place of JSON",
    "web_cut": "every web interface reply breaks off after this many bytes of its body",
    "tuners": "how many tuners the receiver records with (2 when not set)",
    "check_at_load": "the receiver switches off, as it loads its list, each timer for which "
                     "the tuners do not suffice beside the timers loaded before it",
    "rewrite_all": "the receiver writes every timer in its own layout, dropping what it does "
                   "not know, as a real one does (else loaded timers as they were read)",
}


def write_json(path, value):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=1, ensure_ascii=False)
        f.write("\n")
    os.replace(tmp, path)


def read_json(path, default=None):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return default


class Faults:
    """The switches as they stand in the state folder at the moment of asking."""

    def __init__(self, state_dir):
        self.path = os.path.join(state_dir, FAULTS)

    def all(self):
        return read_json(self.path, {}) or {}

    def get(self, name, default=None):
        return self.all().get(name, default)

    def on(self, name):
        value = self.get(name)
        return value not in (None, "", "0", 0, False)

    def number(self, name):
        try:
            return int(self.get(name, 0) or 0)
        except (TypeError, ValueError):
            return 0

    def refuses_login(self, service):
        value = str(self.get("refuse_login", "") or "")
        return value in (service, "both", "1")

    def update(self, settings, clear=False):
        current = {} if clear else self.all()
        for name, value in settings.items():
            if name not in FAULT_SWITCHES:
                raise ValueError("unknown fault switch: %s" % name)
            if value is None:
                current.pop(name, None)
            else:
                current[name] = value
        write_json(self.path, current)
        return current


def parse_switches(items):
    """["cut_store=100", "no_telnet", "-slow"] -> {"cut_store": "100", "no_telnet": "1",
    "slow": None}; a leading "-" turns a switch off."""
    settings = {}
    for item in items:
        if item.startswith("-"):
            settings[item[1:].replace("-", "_")] = None
            continue
        name, _, value = item.partition("=")
        settings[name.replace("-", "_")] = value if value else "1"
    return settings
