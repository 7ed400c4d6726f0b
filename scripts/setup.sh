#!/usr/bin/env bash
# Installs what the build and the program need on a fresh Debian machine;
# with --tests also what the tests, the fuzz targets and the package check
# need. Does nothing when everything is already there.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev libxcb1-dev gettext librsvg2-bin xvfb xauth x11-apps fonts-dejavu-core)
if [ "${1:-}" = "--tests" ]; then
  packages+=(clang libclang-rt-14-dev openbox x11-utils xdotool lintian dpkg-dev file util-linux
             dbus-daemon python3-dbus python3-gi)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
