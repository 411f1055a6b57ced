#!/usr/bin/python3
"""telnetd_launcher.py LOGIN: accepts one telnet connection on 127.0.0.1 and becomes telnetd.

Binds port 0, prints the port on the first line of stdout, accepts exactly one connection,
closes the listening socket and execs /usr/sbin/telnetd with the connection as its standard
input, output and error (the way a super-server would start it), running LOGIN instead of the
system's login. The caller's PID is therefore the telnetd serving that connection.
"""
import os
import socket
import sys


def main():
    login = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    listener.close()
    fd = conn.detach()
    for target in (0, 1, 2):
        os.dup2(fd, target)
    if fd > 2:
        os.close(fd)
    os.execv("/usr/sbin/telnetd", ["telnetd", "-h", "-E", login])


if __name__ == "__main__":
    main()
