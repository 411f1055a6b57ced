"""The simulated box's telnet service: "<host> login: ", an optional "Password: ", then the
shell prompt "root@<host>:~# ". It knows the commands that matter: killall on enigma2, which
it carries out by asking the supervisor to signal its own simulated receiver by PID (the
system's killall is never run), and cat of /proc/bus/nim_sockets, the box's tuners.

It opens with the negotiation a box's telnetd sends (DO TERMINAL-TYPE, WILL ECHO, WILL
SUPPRESS-GO-AHEAD), asks for the terminal type and echoes what is typed, as a box does.
"""
import socket
import threading
import time

import tuners

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
ECHO, SGA, TTYPE = 1, 3, 24
LOGIN_TRIES = 3
POLL_SECONDS = 0.1


class TelnetSession:
    def __init__(self, conn, service):
        self.conn = conn
        self.service = service
        self.pending = bytearray()
        self.terminal = None

    # --- output
    def send(self, data):
        delay = self.service.faults.number("slow")
        if delay > 0:
            time.sleep(delay / 1000.0)
        self.conn.sendall(data if isinstance(data, bytes) else data.encode("utf-8"))

    # --- input: text lines with the telnet commands taken out
    def _take_commands(self, data):
        out = bytearray()
        i = 0
        while i < len(data):
            b = data[i]
            if b != IAC:
                out.append(b)
                i += 1
                continue
            if i + 1 >= len(data):
                break
            verb = data[i + 1]
            if verb == IAC:
                out.append(IAC)
                i += 2
            elif verb in (WILL, WONT, DO, DONT):
                if verb == WILL and i + 2 < len(data) and data[i + 2] == TTYPE:
                    self.conn.sendall(bytes([IAC, SB, TTYPE, 1, IAC, SE]))
                i += 3
            elif verb == SB:
                end = data.find(bytes([IAC, SE]), i)
                if end < 0:
                    break
                body = bytes(data[i + 2:end])
                if body[:2] == bytes([TTYPE, 0]):
                    self.terminal = body[2:].decode("ascii", "replace")
                    self.service.log("terminal type %s" % self.terminal)
                i = end + 2
            else:
                i += 2
        return out

    def read_line(self):
        while True:
            for sep in (b"\r\n", b"\r\x00", b"\n", b"\r"):
                pos = self.pending.find(sep)
                if pos >= 0:
                    line = bytes(self.pending[:pos])
                    del self.pending[: pos + len(sep)]
                    return line.decode("utf-8", "replace")
            chunk = self.conn.recv(4096)
            if not chunk:
                return None
            self.pending += self._take_commands(chunk)

    # --- the dialogue
    def run(self):
        svc = self.service
        if svc.faults.on("silent_telnet"):
            svc.log("silent: no prompt")
            while self.conn.recv(4096):
                pass
            return
        self.conn.sendall(bytes([IAC, DO, TTYPE, IAC, WILL, ECHO, IAC, WILL, SGA]))
        if not self.login():
            return
        self.shell()

    def login(self):
        svc = self.service
        for _ in range(LOGIN_TRIES):
            self.send("\r\n%s login: " % svc.host)
            user = self.read_line()
            if user is None:
                return False
            self.send(user + "\r\n")
            svc.log("login %s" % user)
            password = ""
            if svc.password:
                self.send("Password: ")
                password = self.read_line()
                if password is None:
                    return False
                self.send("\r\n")
                svc.log("password given")
            ok = user == "root" and password == svc.password
            if ok and not svc.faults.refuses_login("telnet"):
                return True
            time.sleep(0.2)
            self.send("Login incorrect\r\n")
            svc.log("login refused")
        return False

    def shell(self):
        svc = self.service
        prompt = "root@%s:~# " % svc.host
        self.send(prompt)
        while True:
            line = self.read_line()
            if line is None:
                return
            command = line.strip()
            self.send(line + "\r\n")
            svc.log("command %s" % command)
            words = command.split()
            if not words:
                pass
            elif words[0] in ("exit", "logout"):
                return
            elif words[0] == "killall" and words[-1:] == ["enigma2"]:
                if not svc.kill_receiver(words):
                    self.send("killall: enigma2: no process killed\r\n")
            elif words == ["cat", tuners.NIM_SOCKETS]:
                text = tuners.nim_sockets_text(tuners.tuner_types(svc.faults.get("tuners")))
                self.send(text.replace("\n", "\r\n"))
            elif words[0] == "cat":
                self.send("cat: can't open '%s': No such file or directory\r\n"
                          % " ".join(words[1:]))
            else:
                self.send("-sh: %s: not found\r\n" % words[0])
            self.send(prompt)


class TelnetService:
    """Listens on 127.0.0.1 at a port chosen at start; while no_telnet is on the port is
    closed, so a client is refused exactly as by a box without telnet."""

    def __init__(self, faults, host, password, kill_receiver, log):
        self.faults = faults
        self.host = host
        self.password = password
        self.kill_receiver = kill_receiver
        self.log = log
        self.port = None
        self.stopping = threading.Event()
        self.thread = None

    def _listen(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", self.port or 0))
        s.listen(4)
        s.settimeout(POLL_SECONDS)
        self.port = s.getsockname()[1]
        return s

    def start(self):
        listener = self._listen()
        self.thread = threading.Thread(target=self._serve, args=(listener,), daemon=True)
        self.thread.start()
        return self.port

    def _serve(self, listener):
        while not self.stopping.is_set():
            if self.faults.on("no_telnet"):
                if listener is not None:
                    listener.close()
                    listener = None
                time.sleep(POLL_SECONDS)
                continue
            if listener is None:
                listener = self._listen()
            try:
                conn, _ = listener.accept()
            except socket.timeout:
                continue
            except OSError:
                continue
            threading.Thread(target=self._session, args=(conn,), daemon=True).start()
        if listener is not None:
            listener.close()

    def _session(self, conn):
        self.log("connected")
        try:
            with conn:
                TelnetSession(conn, self).run()
        except OSError as err:
            self.log("connection error: %s" % err)
        self.log("closed")

    def stop(self):
        self.stopping.set()
        if self.thread:
            self.thread.join(2)
