#!/usr/bin/env bash
# What an open COM port with nothing on the line costs under Wine: the
# Windows build's bench_com_answer.exe holds COM8, a pseudo-terminal whose far
# end says nothing, for 10 s; then the far end goes away (the device has
# vanished) for another 10 s. Prints the CPU share of one core taken by the
# program and its Wine server together in each phase. With --modem-lines the
# pty has the modem lines a real adapter has (the preloaded library of the
# tests, from build/). Needs build-windows/.
#
#   bash bench/windows/idle_cpu.sh [seconds] [--modem-lines]
set -euo pipefail
cd "$(dirname "$0")/../.."
export WINEPREFIX=${WINEPREFIX:-$PWD/build-windows/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1
seconds=10 preload=
for arg; do
  case $arg in
    --modem-lines) preload=$PWD/build/tests/windows/modem_lines/libpd_modem_lines.so ;;
    *) seconds=$arg ;;
  esac
done

# Clock ticks used so far by the processes of this prefix (the program, the
# Wine server and Wine's own helpers).
ticks() {
  python3 - "$WINEPREFIX" <<'PY'
import os, sys
total = 0
for pid in filter(str.isdigit, os.listdir("/proc")):
    try:
        env = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
        if ("WINEPREFIX=" + sys.argv[1]).encode() not in env:
            continue
        fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])
    except OSError:
        pass
print(total)
PY
}
share() {  # label
  local before after hz
  hz=$(getconf CLK_TCK)
  before=$(ticks); sleep "$seconds"; after=$(ticks)
  echo "$1: $(( (after - before) * 1000 / (hz * seconds) / 10 )).$(( (after - before) * 1000 / (hz * seconds) % 10 ))% of a core"
}

far_in=$(mktemp -u); mkfifo "$far_in"
setsid python3 tests/windows/pty_far_end.py "$WINEPREFIX/dosdevices/com8" <"$far_in" >/dev/null & far=$!
exec 7>"$far_in"
for _ in $(seq 50); do [ -L "$WINEPREFIX/dosdevices/com8" ] && break; sleep 0.1; done
prog_in=$(mktemp -u); mkfifo "$prog_in"
# In a session of its own: the far end's hang-up must not reach this script.
setsid env ${preload:+LD_PRELOAD=$preload} "$wine" build-windows/bench/windows/bench_com_answer.exe COM8 <"$prog_in" >/dev/null 2>&1 7>&- & prog=$!
exec 8>"$prog_in"
sleep 5  # start-up
share "port open, nothing on the line"
exec 7>&-; wait $far || true
share "the device behind the port gone"
exec 8>&-; wait $prog || true
rm -f "$far_in" "$prog_in"
"$wine"server -k 2>/dev/null || true
