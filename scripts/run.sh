#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in build/run/, a
# working folder holding the captions, the fault help texts and a port.ini
# naming SIM, the simulated pump. Click "Начать коммуникацию" to start.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}/run"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the program on a virtual one (Xvfb); nothing will be visible." >&2
  echo "Run this command from a desktop session to see the window." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" ./pumpdiag
fi
exec ./pumpdiag
