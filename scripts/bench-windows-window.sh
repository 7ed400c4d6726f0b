#!/usr/bin/env bash
# Start-up time and peak memory of pumpdiag.exe (started in a working folder
# whose port.ini names SIM, so its start-up opens the simulated port and
# waits the 300 ms the port settles) against a bare Win32 window, under Wine
# on a private X server. Usage: bench-windows-window.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows.sh >/dev/null
root=$PWD
build=$root/build-windows
source tests/windows/window/wine_session.sh
# The program as the installer ships it: without its debugging sections,
# which Wine would otherwise count into the process's memory.
x86_64-w64-mingw32-strip -o "$work/pumpdiag.exe" "$build/pumpdiag.exe"
sh app/assemble-run-folder.sh "$work/pumpdiag.exe" data "$work/run" SIM
cp "$build/bench/windows/window/bench_bare_window.exe" "$work/run/"
cd "$work/run"
wine "$build/bench/windows/window/bench_window_startup.exe" "${1:-7}" pumpdiag.exe TForm1 bench_bare_window.exe BareWindow \
  2>/dev/null | tr -d '\r'
