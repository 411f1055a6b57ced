#!/usr/bin/python3
"""boxsim: a simulated receiver box on 127.0.0.1, for trying the program and for its tests.

  boxsim.py start --state DIR [--box DIR] [--host-name dm7025] [--user root] [--password PW]
                  [--fault NAME[=VALUE]]...
      Starts the box in the background and prints its status (JSON) once it serves: the
      supervisor's PID, the FTP and telnet ports (chosen at run time) and the login. Without
      --box the demo box is written into DIR/box, its timers placed around now. The web
      interface listens on a port of its own (web_port) unless started with
      --fault no_web=closed.
  boxsim.py stop --state DIR      stops it by the PID in DIR/status.json; the simulated
                                  receiver writes its list back over timers.xml first
  boxsim.py status --state DIR    the status file, or exit 1 when the box is not running
  boxsim.py fault --state DIR [--clear] NAME[=VALUE] | -NAME ...
                                  turns fault switches on (or off with "-") while it runs
  boxsim.py change-timers --state DIR
  boxsim.py start-recording --state DIR
                                  a timer is added on the box, which writes timers.xml
  boxsim.py loaded --state DIR    what the simulated receiver loaded at its last start

The state folder holds status.json, faults.json, loaded.json and the logs (receiver.log,
telnet.log, ftp.log, web.log, boxsim.log). Everything the box starts is stopped by PID.
"""
import argparse
import json
import logging
import os
import signal
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import box_state  # noqa: E402
from box_state import Faults, read_json, write_json  # noqa: E402

PYTHON = "/usr/bin/python3"  # the one Debian's pyftpdlib is installed for
START_SECONDS = 10
STOP_SECONDS = 10
RESTART_DELAY = 0.3  # the box's pause before it starts the receiver again


class Supervisor:
    """Runs the FTP and telnet services and keeps the simulated receiver running: when the
    receiver dies by a signal it is started again, as the box does with its enigma2."""

    def __init__(self, args):
        self.args = args
        self.state = args.state
        self.faults = Faults(self.state)
        self.lock = threading.Lock()
        self.receiver = None
        self.receiver_starts = 0
        self.kills = 0
        self.stopping = threading.Event()
        self.status = {}
        self.web_socket = None

    def log(self, name, text):
        with self.lock, open(os.path.join(self.state, name), "a", encoding="utf-8") as f:
            f.write("%s %s\n" % (time.strftime("%H:%M:%S"), text))

    def write_status(self):
        with self.lock:
            self.status.update(receiver_pid=self.receiver.pid if self.receiver else None,
                               receiver_starts=self.receiver_starts, kills=self.kills)
            write_json(os.path.join(self.state, box_state.STATUS), self.status)

    def open_web_port(self):
        """The web interface's listening socket: held here, served by each receiver in turn,
        so its port stays the same when the receiver is restarted."""
        if self.faults.get("no_web") == "closed":
            return None
        self.web_socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.web_socket.bind(("127.0.0.1", 0))
        self.web_socket.listen(16)
        return self.web_socket.getsockname()[1]

    def start_receiver(self):
        command = [PYTHON, os.path.join(HERE, "receiver.py"), "--box", self.args.box,
                   "--state", self.state, "--user", self.args.user,
                   "--password", self.args.password]
        fds = ()
        if self.web_socket is not None:
            fds = (self.web_socket.fileno(),)
            command += ["--web-fd", str(fds[0])]
        self.receiver = subprocess.Popen(command, pass_fds=fds)
        self.receiver_starts += 1
        # Ready once it has written what it loaded.
        deadline = time.time() + START_SECONDS
        loaded = os.path.join(self.state, box_state.LOADED)
        while time.time() < deadline and self.receiver.poll() is None:
            if (read_json(loaded) or {}).get("pid") == self.receiver.pid:
                break
            time.sleep(0.05)
        self.write_status()

    def kill_receiver(self, words):
        """The shell's killall: signals the receiver of this box, by its PID."""
        receiver = self.receiver
        if receiver is None or receiver.poll() is not None:
            return False
        sig = signal.SIGKILL if "-9" in words or "-KILL" in words else signal.SIGTERM
        os.kill(receiver.pid, sig)
        self.kills += 1
        # Counted in the status at once: the next receiver answers before its start is noted.
        self.write_status()
        self.log(box_state.TELNET_LOG, "receiver %d signalled %d" % (receiver.pid, sig))
        return True

    def watch_receiver(self):
        while not self.stopping.is_set():
            receiver = self.receiver
            if receiver is not None and receiver.poll() is not None and not self.stopping.is_set():
                self.log(box_state.SUPERVISOR_LOG,
                         "receiver %d ended (%s); starting it again" % (receiver.pid,
                                                                         receiver.returncode))
                time.sleep(RESTART_DELAY)
                self.start_receiver()
            time.sleep(0.05)

    def stop_receiver(self):
        receiver = self.receiver
        if receiver is None or receiver.poll() is not None:
            return
        receiver.terminate()
        try:
            receiver.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            receiver.kill()
            receiver.wait()

    def run(self):
        from box_ftp import make_server
        from box_telnet import TelnetService

        ftp, ftp_port = make_server(self.args.box, self.args.user, self.args.password,
                                    self.state)
        telnet = TelnetService(self.faults, self.args.host_name, self.args.password,
                               self.kill_receiver,
                               lambda text: self.log(box_state.TELNET_LOG, text))
        telnet_port = telnet.start()
        web_port = self.open_web_port()
        self.status = {"pid": os.getpid(), "address": "127.0.0.1", "ftp_port": ftp_port,
                       "telnet_port": telnet_port, "web_port": web_port,
                       "user": self.args.user,
                       "password": self.args.password, "host_name": self.args.host_name,
                       "box": self.args.box, "state": self.state}
        signal.signal(signal.SIGTERM, lambda *_: self.stopping.set())
        signal.signal(signal.SIGINT, lambda *_: self.stopping.set())
        self.start_receiver()
        threading.Thread(target=self.watch_receiver, daemon=True).start()
        self.log(box_state.SUPERVISOR_LOG, "serving: ftp %d, telnet %d" % (ftp_port,
                                                                            telnet_port))
        debug = bool(os.environ.get("BOXSIM_DEBUG"))
        logging.basicConfig(format="%(asctime)s %(message)s",
                            level=logging.DEBUG if debug else logging.WARNING)
        while not self.stopping.is_set():
            ftp.ioloop.loop(timeout=0.1, blocking=False)
        self.stop_receiver()
        if self.web_socket is not None:
            self.web_socket.close()
        telnet.stop()
        ftp.close_all()
        self.log(box_state.SUPERVISOR_LOG, "stopped")
        os.remove(os.path.join(self.state, box_state.STATUS))


def pid_alive(pid):
    """True while pid runs; an ended process that its parent has not reaped yet is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def running_status(state):
    status = read_json(os.path.join(state, box_state.STATUS))
    if status and pid_alive(status["pid"]):
        return status
    return None


def command_start(args):
    os.makedirs(args.state, exist_ok=True)
    if running_status(args.state):
        sys.exit("boxsim: already running in %s" % args.state)
    for name in (box_state.STATUS, box_state.LOADED, box_state.FAULTS):
        if os.path.exists(os.path.join(args.state, name)):
            os.remove(os.path.join(args.state, name))
    if not args.box:
        import demo_data
        args.box = os.path.join(args.state, "box")
        demo_data.write_demo_box(args.box, conflict=args.conflict, series=args.series)
    Faults(args.state).update(box_state.parse_switches(args.fault or []))
    command = [PYTHON, os.path.abspath(__file__), "serve", "--state", args.state,
               "--box", os.path.abspath(args.box), "--host-name", args.host_name,
               "--user", args.user, "--password", args.password]
    with open(os.path.join(args.state, box_state.SUPERVISOR_LOG), "a") as log:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                 start_new_session=True)
    deadline = time.time() + START_SECONDS
    while time.time() < deadline:
        status = read_json(os.path.join(args.state, box_state.STATUS))
        if status and status.get("receiver_starts"):
            print(json.dumps(status))
            return
        if child.poll() is not None:
            break
        time.sleep(0.05)
    if child.poll() is None:
        child.kill()
    sys.exit("boxsim: did not start; see %s" % os.path.join(args.state,
                                                             box_state.SUPERVISOR_LOG))


def command_stop(args):
    status = running_status(args.state)
    if not status:
        return
    os.kill(status["pid"], signal.SIGTERM)
    deadline = time.time() + STOP_SECONDS
    while time.time() < deadline and pid_alive(status["pid"]):
        time.sleep(0.05)
    if pid_alive(status["pid"]):
        os.kill(status["pid"], signal.SIGKILL)
        sys.exit("boxsim: did not stop in %d s; killed" % STOP_SECONDS)


def command_status(args):
    status = running_status(args.state)
    if not status:
        sys.exit(1)
    print(json.dumps(status))


def command_fault(args):
    print(json.dumps(Faults(args.state).update(box_state.parse_switches(args.switches),
                                               clear=args.clear)))


def command_change_timers(args):
    signal_receiver(args, signal.SIGUSR1)


def command_start_recording(args):
    signal_receiver(args, signal.SIGUSR2)


def signal_receiver(args, signum):
    """Has the receiver add a timer (SIGUSR1: one in three days; SIGUSR2: a recording running
    now) and waits until it has written its list."""
    status = running_status(args.state)
    if not status or not status.get("receiver_pid"):
        sys.exit("boxsim: not running")
    log = os.path.join(args.state, box_state.RECEIVER_LOG)
    seen = os.path.getsize(log)
    os.kill(status["receiver_pid"], signum)
    deadline = time.time() + START_SECONDS
    while time.time() < deadline:
        with open(log, encoding="utf-8") as f:
            f.seek(seen)
            if "saved" in f.read():
                return
        time.sleep(0.05)
    sys.exit("boxsim: the receiver did not write its list")


def command_loaded(args):
    loaded = read_json(os.path.join(args.state, box_state.LOADED))
    if loaded is None:
        sys.exit("boxsim: nothing loaded yet")
    print(json.dumps(loaded, ensure_ascii=False, indent=1))


def main():
    parser = argparse.ArgumentParser(description="A simulated receiver box on 127.0.0.1.")
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("start", "serve"):
        p = sub.add_parser(name)
        p.add_argument("--box")
        p.add_argument("--host-name", default="dm7025")
        p.add_argument("--user", default="root")
        p.add_argument("--password", default="")
        p.add_argument("--fault", action="append")
        p.add_argument("--conflict", action="store_true",
                       help="the demo list holds three timers at once for two tuners")
        p.add_argument("--series", action="store_true",
                       help="the demo list holds the timers its two series rules made")
    for name in ("stop", "status", "change-timers", "start-recording", "loaded"):
        sub.add_parser(name)
    p = sub.add_parser("fault")
    p.add_argument("--clear", action="store_true")
    p.add_argument("switches", nargs="*")
    for p in sub.choices.values():
        p.add_argument("--state", required=True)
    args = parser.parse_args()
    args.state = os.path.abspath(args.state)
    if args.command == "serve":
        Supervisor(args).run()
        return
    {"start": command_start, "stop": command_stop, "status": command_status,
     "fault": command_fault, "change-timers": command_change_timers,
     "start-recording": command_start_recording,
     "loaded": command_loaded}[args.command](args)


if __name__ == "__main__":
    main()
