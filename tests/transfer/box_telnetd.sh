#!/usr/bin/env bash
# box_telnetd.sh LOGIN: busybox telnetd on 127.0.0.1 running the login script LOGIN (a box's
# login and shell as a test writes it). Prints the chosen port on the first line of stdout,
# then becomes telnetd.
set -euo pipefail
servers=$(cd "$(dirname "$0")/../servers" && pwd)
port=$(/usr/bin/python3 "$servers/free_port.py")
echo "$port"
exec /usr/bin/busybox telnetd -F -p "$port" -b 127.0.0.1 -f /dev/null -l "$1"
