#!/usr/bin/env bash
# Answer time to each of the pump's bytes on the same kind of pseudo-terminal:
# the Linux build's port on the pty itself, and the Windows build's under
# Wine on a COM port that Wine maps to it; both under `chrt -r 1` where the
# system allows it, each twice, alternating. Needs build/ and build-windows/.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
rt=()
chrt -r 1 true 2>/dev/null && rt=(chrt -r 1)
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1
link=$(mktemp -u /tmp/pd-answer.XXXXXX)
for _ in 1 2; do
  "${rt[@]}" python3 bench/com_answer/answer_times.py Linux "$link" build/bench/com_answer/bench_com_answer "$link"
  "${rt[@]}" python3 bench/com_answer/answer_times.py Wine "$WINEPREFIX/dosdevices/com9" \
    "$wine" build-windows/bench/windows/bench_com_answer.exe COM9
done
"$wine"server -k 2>/dev/null || true
