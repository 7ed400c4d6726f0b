#!/usr/bin/env bash
# The Windows window under Wine over a COM port: Com3, which Wine maps to a
# pseudo-terminal served by the Linux build's simulated unit (pumpsim-tool).
# A whole diagnosis; the unit vanishing (the watchdog gives the start button
# back, and the program stays idle); the unit back, the port chosen again
# from the menu and a second start; Exit. Twice: on the plain pty, which has
# no modem lines (Wine then ends each line-event wait at once), and with the
# modem lines a real adapter has (tests/windows/modem_lines, preloaded into
# the program's Wine process, which makes the port's calls).
# Usage: com_window_test.sh [build-windows folder] [Linux build folder]
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
linux=$(cd "${2:-$root/build}" && pwd)
source "$(dirname "$0")/wine_session.sh"
source "$(dirname "$0")/diagnosis_steps.sh"
tool=$linux/pumpsim/tools/pumpsim-tool
modem_lines=$linux/tests/windows/modem_lines/libpd_modem_lines.so
link=$WINEPREFIX/dosdevices/com3
# What the program and Wine's server may use while nothing is exchanged: a
# monitoring loop that spins costs them 60% and more; a blocking one a few
# percent, which bench/windows/idle_cpu.sh measures. The bound catches the
# spin and leaves room for a machine busy with other work.
idle_limit_percent=25 idle_seconds=5

# The unit behind Com3; it stays for program after program, as a unit left
# plugged in does (the tool raises its own priority).
unit=
pty_linked() { [[ "$(readlink "$link" 2>/dev/null)" == /dev/pts/* ]]; }
unit_start() {
  "$tool" --pty --stay --link "$link" >/dev/null 2>&1 &
  unit=$!
  within 30 pty_linked
}
unit_stop() {
  [ -n "$unit" ] || return 0
  kill "$unit" 2>/dev/null
  wait "$unit" 2>/dev/null
  unit=
}
trap 'unit_stop; finish' EXIT

# One session: $1 names it, the rest is a command prefix for the program.
sessions=0
session() {
  label="Com3 $1"
  shift
  sessions=$((sessions + 1))
  check "the unit serves Com3" unit_start
  start_program com$sessions Com3 "$@"
  check "no error box at start-up" no_error_box
  check "idle with the port open" idle_below $idle_limit_percent $idle_seconds $program $server
  identify
  read_faults
  help_text
  erase

  # The unit vanishes: the exchange stops, the watchdog ends the link.
  link_up
  check "the link runs before the unit goes" disabled $Button3
  unit_stop
  check "the watchdog gives the start button back" within 60 enabled $Button3
  check "idle after the unit has gone" idle_below $idle_limit_percent $idle_seconds $program $server

  # It comes back; the port is chosen again (closed and opened) and started.
  check "the unit is back" unit_start
  spy command TForm1 $Com31
  check "choosing the port again empties Memo2" within 60 has_text $Memo2 ""
  check "a second start identifies" start_link_again_if_stalled
  check "no error box after the second start" no_error_box
  exit_program
  unit_stop
}

session "plain pty"
session "with modem lines" env LD_PRELOAD="$modem_lines"

echo "window over a COM port: $passed passed, $failed failed, $restarts restarts of the link"
[ "$failed" -eq 0 ]
