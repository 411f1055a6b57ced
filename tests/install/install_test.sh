#!/usr/bin/env bash
# install_test.sh BUILD WORK: `cmake --install` into a scratch prefix puts the binary, the
# desktop entry and the icon in their places, and the Debian package made by cpack holds
# them below /usr, depends on the Qt runtime and is installable (apt-get's simulation).
set -euo pipefail
build=$1
work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/tivolo share/applications/tivolo.desktop \
         share/icons/hicolor/scalable/apps/tivolo.svg; do
  [[ -f $work/prefix/$f ]] || fail "cmake --install left out $f"
done
[[ -x $work/prefix/bin/tivolo ]] || fail "bin/tivolo is not executable"
grep -qx 'Exec=tivolo' "$work/prefix/share/applications/tivolo.desktop" \
  || fail "the desktop entry does not start tivolo"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/tivolo_*_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6widgets6 qt6-qpa-plugins; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tivolo ./usr/share/applications/tivolo.desktop \
         ./usr/share/icons/hicolor/scalable/apps/tivolo.svg; do
  grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
simulation=$(apt-get install -s "$deb" 2>&1) || fail "apt-get cannot install it: $simulation"
grep -q '^Inst tivolo ' <<<"$simulation" || fail "apt-get would not install it: $simulation"
echo "ok: $(basename "$deb") depends on $depends"
