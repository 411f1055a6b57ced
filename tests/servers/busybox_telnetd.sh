#!/usr/bin/env bash
# busybox_telnetd.sh: busybox telnetd on 127.0.0.1 with the fake box login of box_login.sh.
# Prints the chosen port on the first line of stdout, then becomes telnetd.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
port=$(/usr/bin/python3 "$here/free_port.py")
echo "$port"
exec /usr/bin/busybox telnetd -F -p "$port" -b 127.0.0.1 -f /dev/null -l "$here/box_login.sh"
