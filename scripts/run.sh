#!/usr/bin/env bash
# Installs what is missing, builds the program with its working folder
# build/run/ (the captions, the fault help texts, a port.ini naming SIM, the
# simulated pump, and the message catalogs) and starts it there; the tests
# and the rest are left to scripts/test.sh. Click "Начать коммуникацию".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_TARGETS="pumpdiag_run_folder pumpdiag_run_catalogs" bash scripts/build.sh
cd "${BUILD_DIR:-build}/run"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the program on a virtual one (Xvfb); nothing will be visible." >&2
  echo "Run this command from a desktop session to see the window." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" ./pumpdiag
fi
exec ./pumpdiag
