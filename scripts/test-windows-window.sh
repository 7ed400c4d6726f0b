#!/usr/bin/env bash
# The Windows window and installer under Wine on a private X server: builds
# the Windows programs and the installer, then runs the window test (a whole
# diagnosis against SIM) and the installer test (silent install, start from
# the shortcut in the user's folder, silent uninstall).
set -euo pipefail
cd "$(dirname "$0")/.."
for p in xvfb xdotool imagemagick librsvg2-bin; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="${missing:-} $p"
done
if [ -n "${missing:-}" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
bash scripts/package-windows.sh >/dev/null
status=0
bash tests/windows/window/window_test.sh build-windows || status=1
bash tests/windows/window/installer_test.sh build-windows || status=1
exit $status
