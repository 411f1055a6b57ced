#!/usr/bin/env bash
# run-demo.sh [ARGS...]: the program on the simulated demo box (what `make run` does after
# building). Starts tools/boxsim with a fresh demo box on 127.0.0.1, writes a profile whose
# config.ini points at it, runs build/bin/tivolo --profile on it with ARGS (DEBUG shows the
# log), and when the program ends stops the box and prints what its receiver loaded.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TIVOLO_BUILD_DIR:-$root/build}
program=$build/bin/tivolo
boxsim=$root/tools/boxsim/boxsim.py
demo=$build/demo
state=$demo/box
profile=$demo/profile

if [[ ! -x $program ]]; then
  echo "run-demo: $program is not built (make run builds it)" >&2
  exit 1
fi
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "run-demo: the program needs a display (DISPLAY is not set)" >&2
  exit 1
fi

# A box left over from an interrupted run is stopped by the PID it recorded.
/usr/bin/python3 "$boxsim" stop --state "$state"
rm -rf "$state"
mkdir -p "$profile"
# The demo list holds one tuner conflict and the timers of two series rules, so that a
# newcomer sees both at once.
status=$(/usr/bin/python3 "$boxsim" start --state "$state" --conflict --series)
stop_box() {
  /usr/bin/python3 "$boxsim" stop --state "$state" || true
  /usr/bin/python3 "$root/scripts/demo-report.py" "$state"
}
trap stop_box EXIT

field() {
  /usr/bin/python3 -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]])' "$status" "$1"
}
cat >"$profile/config.ini" <<INI
[DB7025]
Ip=$(field address)
Username=$(field user)
Password=$(field password)
UTC_Offset=0
UTC_Auto=1
FtpPort=$(field ftp_port)
TelnetPort=$(field telnet_port)
WebPort=$(field web_port)
INI

echo "Simulated box: FTP on 127.0.0.1:$(field ftp_port), telnet on 127.0.0.1:$(field telnet_port)," \
  "web interface on 127.0.0.1:$(field web_port) (state in $state)"
echo "Profile: $profile"
set +e
"$program" --profile "$profile" "$@"
rc=$?
set -e
echo "The program ended with status $rc."
exit $rc
