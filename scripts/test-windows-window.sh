#!/usr/bin/env bash
# The Windows window and installer under Wine on a private X server: builds
# the Windows programs and the installer, then runs the port scan test, the
# window test (a whole diagnosis against SIM), the window over a COM port (a
# pseudo-terminal served by the Linux build's simulator tool, plain and with
# modem lines) and the installer test (silent install, start from the
# shortcut in the user's folder, silent uninstall), in build-windows/ (or
# $BUILD_DIR). Needs the Linux build in build/ (or $LINUX_BUILD_DIR) for the
# simulator tool and the modem lines; builds those two.
set -euo pipefail
cd "$(dirname "$0")/.."
# A folder given relative is taken in the project's folder; an absolute one as it is.
win=$(realpath -ms "${BUILD_DIR:-build-windows}")
linux=$(realpath -ms "${LINUX_BUILD_DIR:-build}")
bash scripts/package-windows.sh --tests >/dev/null
BUILD_DIR=$linux BUILD_TARGETS="pumpsim-tool pd_modem_lines" bash scripts/build.sh >/dev/null
status=0
# The port menu's scan of the registry (a test program of its own). The
# prefix's Wine ends with it: the window tests start it again on their display.
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all
wine "$win"/tests/windows/test_win32_port_scan.exe || status=1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
bash tests/windows/window/window_test.sh "$win" || status=1
bash tests/windows/window/face_test.sh "$win" || status=1
bash tests/windows/window/report_test.sh "$win" || status=1
bash tests/windows/window/hostile_inputs_test.sh "$win" || status=1
bash tests/windows/window/com_window_test.sh "$win" "$linux" || status=1
bash tests/windows/window/installer_test.sh "$win" || status=1
exit $status
