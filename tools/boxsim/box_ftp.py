"""The simulated box's FTP service: the box folder for one user, listed and stored the way the
receivers' own server does it, with the fault switches of box_state.

What matters to a client and is copied from the boxes' server:
- NLST takes a mask ("userbouquet*.*"): the part after the last "/" filters the names of the
  folder before it with "*" and "?"; nothing matching is an empty listing, not an error.
- STOR writes the file in place as the bytes arrive, so a store that breaks off leaves a cut
  file behind.
- SIZE answers in ASCII mode too, with the size of the file as stored.
"""
import fnmatch
import logging
import os
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

from box_state import FTP_LOG, Faults

PERMISSIONS = "elradfmwMT"


def mask_matches(mask, name):
    # The boxes' server knows "*" and "?" only; "[" is an ordinary character there.
    return fnmatch.fnmatchcase(name, mask.replace("[", "[[]"))


class BoxAuthorizer(DummyAuthorizer):
    def __init__(self, faults, user, password, root):
        super().__init__()
        self.faults = faults
        self.box_password = password
        self.add_user(user, password, root, perm=PERMISSIONS)

    def validate_authentication(self, username, password, handler):
        if self.faults.refuses_login("ftp"):
            raise AuthenticationFailed("Login incorrect.")
        if not self.has_user(username):
            raise AuthenticationFailed("Login incorrect.")
        # A root without a password takes whatever the client sends, as the boxes do.
        if self.box_password and password != self.box_password:
            raise AuthenticationFailed("Login incorrect.")


class BoxDTPHandler(DTPHandler):
    """Data connection that can break off a store after a set number of bytes."""

    def handle_read(self):
        limit = self.cmd_channel.faults.number("cut_store")
        if not (self.receive and limit > 0):
            return super().handle_read()
        chunk = self.recv(self.ac_in_buffer_size)
        if not chunk:
            self.transfer_finished = True
            return
        room = limit - self.tot_bytes_received
        self.tot_bytes_received += len(chunk)
        if self._data_wrapper is not None:
            chunk = self._data_wrapper(chunk)
        self.file_obj.write(chunk[: max(room, 0)])
        if self.tot_bytes_received >= limit:
            self.cmd_channel.note("store cut after %d bytes" % limit)
            self._resp = ("426 Failure writing network stream.", logging.warning)
            self.close()

    handle_read_event = handle_read


class BoxFTPHandler(FTPHandler):
    dtp_handler = BoxDTPHandler
    banner = "(vsFTPd 3.0.5)"
    auth_failed_timeout = 0
    permit_foreign_addresses = False
    faults = None  # set by make_server
    log_path = None

    def note(self, text):
        with open(self.log_path, "a", encoding="utf-8") as f:
            f.write("%.3f %s\n" % (time.time(), text))

    def respond(self, resp, logfun=logging.debug):
        delay = self.faults.number("slow")
        if delay > 0:
            time.sleep(delay / 1000.0)
        super().respond(resp, logfun)

    def on_incomplete_file_received(self, file):
        # The boxes' server keeps what arrived; pyftpdlib would delete it.
        self.note("incomplete store kept: %s" % os.path.basename(file))

    def on_file_received(self, file):
        self.note("stored %s (%d bytes)" % (os.path.basename(file), os.path.getsize(file)))

    def ftp_NLST(self, path):
        if self.fs.isdir(path) or os.path.lexists(path):
            return super().ftp_NLST(path)
        folder, mask = os.path.split(path)
        try:
            names = sorted(n for n in self.fs.listdir(folder) if mask_matches(mask, n))
        except OSError:
            names = []
        data = "".join(n + "\r\n" for n in names).encode("utf8")
        self.push_dtp_data(data, cmd="NLST")
        return path

    def ftp_STOR(self, file, mode="w"):
        if self.faults.on("refuse_store"):
            self.note("store refused: %s" % os.path.basename(file))
            self.respond("553 Could not create file.")
            return None
        return super().ftp_STOR(file, mode)

    def ftp_RNTO(self, path):
        if self.faults.on("refuse_rename"):
            self._rnfr = None
            self.note("rename refused")
            self.respond("550 Rename failed.")
            return None
        result = super().ftp_RNTO(path)
        self.note("renamed to %s" % os.path.basename(path))
        return result

    def ftp_SIZE(self, path):
        try:
            if self.fs.isdir(path):
                self.respond("550 Could not get file size.")
                return None
            self.respond("213 %s" % self.fs.getsize(path))
        except OSError:
            self.respond("550 Could not get file size.")
        return None


def make_server(root, user, password, state_dir):
    faults = Faults(state_dir)
    handler = type("Handler", (BoxFTPHandler,), {})
    handler.authorizer = BoxAuthorizer(faults, user, password, root)
    handler.faults = faults
    handler.log_path = os.path.join(state_dir, FTP_LOG)
    # A thread per login, as the box's server forks one: the "slow" fault's delay then holds
    # up its own session only, not a second login made meanwhile.
    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    return server, server.socket.getsockname()[1]
