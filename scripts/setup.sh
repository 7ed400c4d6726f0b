#!/usr/bin/env bash
# Installs what is missing on a fresh Debian machine. Does nothing when
# everything is already there.
#   (no option)         the Linux build and the program
#   --tests             also the tests, the fuzz targets and the package check
#   --windows           the Windows cross build and Wine
#   --windows-package   the Windows installer and portable archive
#   --windows-tests     also the Windows window and installer tests
set -euo pipefail
linux=(cmake ninja-build ccache g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
       libbenchmark-dev libxcb1-dev gettext librsvg2-bin xvfb xauth x11-apps fonts-dejavu-core)
windows_package=(nsis zip librsvg2-bin)
case "${1:-}" in
  "") packages=("${linux[@]}") ;;
  --tests) packages=("${linux[@]}" clang libclang-rt-14-dev openbox x11-utils xdotool lintian dpkg-dev file
                     util-linux dbus-daemon python3-dbus python3-gi chromium poppler-utils) ;;
  --windows) packages=(cmake ninja-build ccache gettext g++-mingw-w64-x86-64-posix googletest wine wine64 librsvg2-bin
                       python3) ;;
  --windows-package) packages=("${windows_package[@]}") ;;
  --windows-tests) packages=("${windows_package[@]}" xvfb xdotool chromium poppler-utils locales) ;;
  *) echo "usage: setup.sh [--tests | --windows | --windows-package | --windows-tests]" >&2; exit 2 ;;
esac
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
