#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  tzdata locales
  vsftpd python3-pyftpdlib busybox-static inetutils-telnetd curl
  qt6-base-dev fonts-dejavu-core xvfb xauth xdotool
  libcurl4-openssl-dev nlohmann-json3-dev
  dbus at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
# Servers are started by the tests themselves; keep apt from starting system-wide ones.
DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
