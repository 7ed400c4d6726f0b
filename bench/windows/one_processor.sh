#!/usr/bin/env bash
# A whole diagnosis in the window with the program held to one processor
# (Wine under `taskset -c 0`, at a real-time class where the system grants
# it), over Com3, a COM port that Wine maps to a pseudo-terminal served by the
# Linux build's simulated unit: identification, fault read with hints, erase.
# Meanwhile the window is marked for repainting every 20 ms and timed until
# it has repainted. Prints the checks, the time from the start click to the
# erased fault memory, and the repaint times. Needs build/ (pumpsim-tool).
#
#   bash bench/windows/one_processor.sh [seconds of repaint timing]
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build-windows
seconds=${1:-25}
bash scripts/build-windows.sh >/dev/null || exit 1
source tests/windows/window/wine_session.sh
source tests/windows/window/diagnosis_steps.sh
link=$WINEPREFIX/dosdevices/com3
"$root/build/pumpsim/tools/pumpsim-tool" --pty --stay --link "$link" >/dev/null 2>&1 &
unit=$!
trap 'kill "$unit" 2>/dev/null; finish' EXIT
within 30 test -L "$link" || { echo "the simulated unit did not start" >&2; exit 1; }

start_program one Com3 taskset -c 0
spy repaints TForm1 "$seconds" >"$work/repaints" &
timing=$!
begin=$SECONDS
identify
read_faults
erase
echo "start click to erased fault memory: $((SECONDS - begin)) s (hint checks included)"
wait "$timing"
tr -d '\r' <"$work/repaints"
exit_program
echo "checks: $passed passed, $failed failed, $restarts restarts of the link"
[ "$failed" -eq 0 ]
