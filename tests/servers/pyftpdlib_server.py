#!/usr/bin/python3
"""pyftpdlib_server.py ROOT: an FTP server on 127.0.0.1 for the tests.

Anonymous login (any password) and the user "tivolo" with password "secret" both get full
rights on ROOT. The server binds port 0, prints the port it got on the first line of stdout
and serves until it is ended by signal.
"""
import logging
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elradfmwMT")
    authorizer.add_user("tivolo", "secret", root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    signal.signal(signal.SIGTERM, lambda *_: server.close_all() or sys.exit(0))
    server.serve_forever()


if __name__ == "__main__":
    main()
