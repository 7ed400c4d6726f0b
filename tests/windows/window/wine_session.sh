# Sourced by the Windows window tests: a private X server and Wine prefix,
# Wine's server kept for the whole session, winspy's view of the windows,
# polling on the windows' state, the CPU a process uses, and the tally of
# checks. Needs $build (the Windows build folder).
spy_exe=$build/tests/windows/winspy.exe
spy=$spy_exe  # for the scripts that run it themselves (wine "$spy" ...)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
passed=0
failed=0

# The program and Wine's server run at a real-time class where the system
# grants it, as in scripts/test-windows.sh: the line threads keep the link's
# timing on a busy machine. The spy does not: a Wine process starting at
# real time every quarter second takes a processor from the kernel's worker
# that carries the pty's bytes, and the link then misses its 10 ms windows.
rt=()
chrt -r 1 true 2>/dev/null && rt=(chrt -r 1)

display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display

# One server for the whole session that never ends by itself (-p): a program
# that connects while the server winds down after the last program has ended
# dies with "wine client error: recvmsg: Connection reset by peer".
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
"${rt[@]}" wineserver -f -p >/dev/null 2>&1 &
server=$!
finish() {
  wineserver -k 2>/dev/null
  wait "$server" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
# A program started before the server listens would start a server of its own.
server_listens() { [ -S "/proc/$server/cwd/socket" ]; }
for _ in $(seq 120); do server_listens && break; sleep 0.25; done
server_listens || echo "Wine's server of the session did not start" >&2
"${rt[@]}" wineboot -i >/dev/null 2>&1

spy() { wine "$spy_exe" "$@" 2>/dev/null; }
# Readers of the list read it to its end: one that stops early (grep -q,
# head) makes the writer fail with SIGPIPE, and pipefail then turns a match
# into a miss (a long window text makes that likely).
list() { spy list | tr -d '\r'; }
# The line of control ID in the window list: depth class id visible enabled "text".
control() { list | grep -E "^[0-9]+ [^ ]+ $1 " | sed -n 1p; }
text() { control "$1" | sed -E 's/^[^"]*"(.*)"$/\1/'; }
shown() { control "$1" | grep -E "^[0-9]+ [^ ]+ $1 1 " >/dev/null; }
enabled() { control "$1" | grep -E "^[0-9]+ [^ ]+ $1 1 1 " >/dev/null; }
disabled() { control "$1" | grep -E "^[0-9]+ [^ ]+ $1 [01] 0 " >/dev/null; }
top_shown() { list | grep -E "^0 $1 [0-9-]+ 1 " >/dev/null; }
no_top_shown() { ! list | grep -E "^0 $1 [0-9-]+ 1 " >/dev/null; }
has_text() { [ "$(text "$1")" = "$2" ]; }
# A visible top-level window or control whose whole text is $1.
listed() { list | grep -F "\"$1\"" >/dev/null; }
# A visible top-level window or control whose text begins with $1.
listed_first() { list | grep -F "\"$1" >/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
# Polls a condition until it holds or $1 seconds have passed; each turn blocks.
within() {
  local end=$((SECONDS + $1))
  shift
  while :; do
    "$@" && return 0
    [ $SECONDS -lt $end ] || return 1
    sleep 0.25
  done
}
# A check, named in the report with $label (the session it belongs to) if set.
label=
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: ${label:+[$label] }$what"
    return 1
  fi
}
same() { [ "$1" = "$2" ] || { echo "  got \"$1\", wanted \"$2\""; false; }; }

# CPU time (user and system, in clock ticks) of process $1, its threads included.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  set -- ${stat##*) }  # the fields after the command's name
  echo $((${12} + ${13}))
}
# True when the processes given together use less than $1 percent of one
# core over $2 seconds; says how much each used.
idle_below() {
  local limit=$1 seconds=$2
  shift 2
  local hz start elapsed pid total=0 used report=
  local -a before=()
  hz=$(getconf CLK_TCK)
  for pid; do before+=("$(cpu_ticks "$pid")"); done
  start=$(date +%s%N)
  sleep "$seconds"
  elapsed=$((($(date +%s%N) - start) / 1000000))
  for pid; do
    used=$((($(cpu_ticks "$pid") - before[0]) * 1000000 / hz / elapsed))  # tenths of a percent
    before=("${before[@]:1}")
    total=$((total + used))
    report+=" $(cat "/proc/$pid/comm" 2>/dev/null) $((used / 10)).$((used % 10))%"
  done
  echo "  CPU over ${elapsed} ms, of one core:$report"
  [ "$total" -lt $((limit * 10)) ]
}
