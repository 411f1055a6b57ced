"""The real program under Xvfb against the simulated box, driven by keys through xdotool.

There is no window manager on the virtual screen, so nothing gives the keyboard focus back to
a window when a dialog closes: every key goes to a window found and focused just before.
Message boxes are read the way a screen reader reads them, over a private accessibility bus.
Every wait is bounded, so a missing window fails its test in seconds.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BOXSIM = os.path.join(ROOT, "tools", "boxsim", "boxsim.py")
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "a11y_probe.py")
PYTHON = "/usr/bin/python3"
MAIN_WINDOW = r"^Tivolo  "
WINDOW_WAIT = 20  # seconds: start-up with the fetch on a loaded machine
STEP_WAIT = 10
PROBE_WAIT = 4
POLL = 0.1


class HarnessError(AssertionError):
    pass


def wait_until(what, predicate, timeout):
    deadline = time.time() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.time() > deadline:
            raise HarnessError("timed out after %g s waiting for %s" % (timeout, what))
        time.sleep(POLL)


class VirtualScreen:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.time() + STEP_WAIT
        while not number.endswith(b"\n"):
            if time.time() > deadline or self.process.poll() is not None:
                raise HarnessError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def descendants(pid):
    """PIDs of every living process below pid."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


class AccessibilityBus:
    """A session bus of our own; the accessibility services start on it when the program
    asks for them, as its children, and are stopped with it."""

    def __init__(self, folder, display):
        # A runtime folder of its own, so that the accessibility services of two sessions
        # running at once never share a socket.
        self.runtime = os.path.join(folder, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=self.runtime)
        result = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                                 "--print-pid=1"], capture_output=True, text=True, env=env,
                                timeout=STEP_WAIT)
        lines = result.stdout.split()
        if result.returncode != 0 or len(lines) < 2:
            raise HarnessError("dbus-daemon did not start: %s" % result.stderr.strip())
        self.address, self.pid = lines[0], int(lines[1])

    def stop(self):
        for pid in descendants(self.pid)[::-1] + [self.pid]:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass


class Box:
    """One simulated box in a state folder of its own."""

    def __init__(self, folder, *start_args):
        self.state = os.path.join(folder, "box")
        self.status = json.loads(self.run("start", *start_args))
        self.folder = os.path.join(self.status["box"], "etc", "enigma2")
        self.first_load = self.loaded()

    def run(self, *args):
        result = subprocess.run([PYTHON, BOXSIM, args[0], "--state", self.state] + list(args[1:]),
                                capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise HarnessError("boxsim %s: %s" % (args[0], result.stderr.strip()))
        return result.stdout

    def fault(self, *switches):
        self.run("fault", *switches)

    def loaded(self):
        return json.loads(self.run("loaded"))

    def live_status(self):
        return json.loads(self.run("status"))

    def web_log(self):
        with open(os.path.join(self.state, "web.log"), encoding="utf-8") as f:
            return f.read()

    def web_call(self, call, **params):
        """A call of the box's web interface, as another client of it would make."""
        url = "http://127.0.0.1:%d/api/%s?%s" % (self.status["web_port"], call,
                                                 urllib.parse.urlencode(params))
        with urllib.request.urlopen(url, timeout=STEP_WAIT) as reply:
            return json.loads(reply.read())

    def timers_xml(self):
        with open(os.path.join(self.folder, "timers.xml"), "rb") as f:
            return f.read()

    def wait_restart(self, timeout=STEP_WAIT):
        wait_until("the receiver to be started again",
                   lambda: self.live_status()["receiver_starts"] >= 2, timeout)
        return self.loaded()

    def stop(self):
        self.run("stop")


class Program:
    def __init__(self, binary, folder, display, bus, box, password=None, web=False):
        self.profile = os.path.join(folder, "profile")
        self.home = os.path.join(folder, "home")
        os.makedirs(self.profile)
        os.makedirs(self.home)
        status = box.status
        with open(os.path.join(self.profile, "config.ini"), "w") as f:
            f.write("[DB7025]\nIp=%s\nUsername=%s\nPassword=%s\nUTC_Offset=0\nUTC_Auto=1\n"
                    "FtpPort=%d\nTelnetPort=%d\n" % (
                        status["address"], status["user"],
                        status["password"] if password is None else password,
                        status["ftp_port"], status["telnet_port"]))
            # Without it the program would ask port 80, where no simulated box listens, and
            # ask before each save whether to restart: live apply is off, and every save goes
            # the upload way.
            if web:
                f.write("WebPort=%d\n" % status["web_port"])
            else:
                f.write("ApplyLive=0\n")
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=self.home,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                        LANG="C.UTF-8", LC_ALL="C.UTF-8",
                        DBUS_SESSION_BUS_ADDRESS=bus.address, XDG_RUNTIME_DIR=bus.runtime,
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        self.env.pop("QT_QPA_PLATFORMTHEME", None)
        self.log = open(os.path.join(folder, "program.log"), "w")
        self.process = subprocess.Popen([binary, "--profile", self.profile], env=self.env,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    # --- windows
    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                                text=True, timeout=STEP_WAIT)
        if check and result.returncode != 0:
            raise HarnessError("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout.split()

    def windows(self, name_regex=".+"):
        """Visible windows whose name matches, newest last."""
        return self.xdotool("search", "--onlyvisible", "--name", name_regex, check=False)

    def window_name(self, window):
        result = subprocess.run(["xdotool", "getwindowname", window], env=self.env,
                                capture_output=True, text=True, timeout=STEP_WAIT)
        return result.stdout.rstrip("\n")

    def wait_window(self, name_regex, timeout=STEP_WAIT):
        self.check_running()
        found = wait_until("a window named /%s/" % name_regex,
                           lambda: self.alive_or_fail() and self.windows(name_regex), timeout)
        return found[-1]

    def wait_gone(self, name_regex, timeout=STEP_WAIT):
        wait_until("the window /%s/ to close" % name_regex,
                   lambda: not self.windows(name_regex), timeout)

    def keys(self, name_regex, *keys):
        """Focuses the newest window named so, then presses each key (xdotool key names)."""
        window = self.wait_window(name_regex)
        for key in keys:
            self.xdotool("windowfocus", "--sync", window)
            self.xdotool("key", "--clearmodifiers", key)
            time.sleep(0.15)

    def type_text(self, name_regex, text):
        window = self.wait_window(name_regex)
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("type", "--delay", "20", text)

    def wait_main_window(self):
        window = self.wait_window(MAIN_WINDOW, WINDOW_WAIT)
        time.sleep(0.5)  # the grid takes the focus 50 ms after the window shows
        return window

    # --- message boxes, as the accessibility bus shows them
    def accessible_windows(self):
        """The program's windows, or none when the bus did not answer in time (it can be slow
        while the accessibility services start on a loaded machine); callers poll again."""
        try:
            result = subprocess.run([PYTHON, PROBE], env=self.env, capture_output=True,
                                    text=True, timeout=PROBE_WAIT)
            return json.loads(result.stdout)
        except (subprocess.TimeoutExpired, ValueError):
            return []

    def wait_message(self, timeout=WINDOW_WAIT):
        """The message box on screen: its caption, its text (the labels, one a line) and its
        buttons."""
        seen = []

        def find():
            self.alive_or_fail()
            seen[:] = self.accessible_windows()
            for window in seen:
                if window["role"] == "alert":
                    return {"title": window["name"], "text": "\n".join(window["labels"]),
                            "buttons": window["buttons"]}
            return None
        try:
            return wait_until("a message box", find, timeout)
        except HarnessError as err:
            raise HarnessError("%s; the windows last seen: %s" % (err, seen))

    def wait_next_message(self, previous, timeout=WINDOW_WAIT):
        """The message box that follows the one answered (previous, as wait_message gave it)."""
        def find():
            message = self.wait_message(timeout)
            return message if message["text"] != previous["text"] else None
        return wait_until("the next message box", find, timeout)

    def wait_column_headers(self, window_name, timeout=WINDOW_WAIT):
        """The column titles of the grid in the window of that caption (a regular expression),
        each with its place on the screen: {title: [x, y, width, height]}."""
        def find():
            self.alive_or_fail()
            for window in self.accessible_windows():
                if re.search(window_name, window["name"]) and window["headers"]:
                    return window["headers"]
            return None
        return wait_until("the column titles of /%s/" % window_name, find, timeout)

    def wait_cells(self, window_name, predicate, what, timeout=WINDOW_WAIT):
        """The texts of the grid's cells in the window of that caption once predicate holds
        for them."""
        def find():
            self.alive_or_fail()
            for window in self.accessible_windows():
                if re.search(window_name, window["name"]) and predicate(window["cells"]):
                    return window["cells"]
            return None
        return wait_until(what, find, timeout)

    def click(self, x, y):
        """Clicks the left mouse button at a point of the screen."""
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", "1")
        time.sleep(0.3)

    def answer(self, message, key):
        """Presses key in the message box (Return for its default button)."""
        self.keys("^%s$" % re.escape(message["title"]), key)

    # --- the process
    def alive_or_fail(self):
        self.check_running()
        return True

    def check_running(self):
        if self.process.poll() is not None:
            raise HarnessError("the program ended (status %s); its output:\n%s" % (
                self.process.returncode, self.output()))

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=WINDOW_WAIT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError("the program did not end within %d s" % timeout)

    def output(self):
        self.log.flush()
        with open(self.log.name, errors="replace") as f:
            return f.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


class Session:
    """A virtual screen, a box and the program on it; everything stopped by PID at the end."""

    def __init__(self, binary, box_args=(), password=None, web=False):
        self.folder = tempfile.mkdtemp(prefix="tivolo-e2e-")
        self.screen = self.bus = self.box = self.program = None
        try:
            self.screen = VirtualScreen()
            self.bus = AccessibilityBus(self.folder, self.screen.display)
            self.box = Box(self.folder, *box_args)
            self.program = Program(binary, self.folder, self.screen.display, self.bus,
                                   self.box, password, web)
        except BaseException:
            self.close(keep=True)
            raise

    def close(self, keep=False):
        for part in (self.program, self.box, self.bus, self.screen):
            if part is not None:
                try:
                    part.stop()
                except HarnessError:
                    pass
        if not keep and not os.environ.get("TIVOLO_E2E_KEEP"):
            shutil.rmtree(self.folder, ignore_errors=True)


def timers_by_begin(loaded):
    return {dict(t["attributes"])["begin"] + "/" + dict(t["attributes"])["serviceref"]: t
            for t in loaded["timers"]}
