# Sourced by the Windows window tests: a private X server and Wine prefix,
# winspy's view of the windows, polling, and the tally of checks.
# Needs $build (the Windows build folder).
spy=$build/tests/windows/winspy.exe
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
passed=0
failed=0

display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display
finish() {
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
wineboot -i >/dev/null 2>&1

list() { wine "$spy" list 2>/dev/null | tr -d '\r'; }
# Readers of the list read it to its end: one that stops early (grep -q,
# head) makes the writer fail with SIGPIPE, and pipefail then turns a match
# into a miss (a long window text makes that likely).
# The line of control ID in the window list: depth class id visible enabled "text".
control() { list | grep -E "^[0-9]+ [^ ]+ $1 " | sed -n 1p; }
text() { control "$1" | sed -E 's/^[^"]*"(.*)"$/\1/'; }
shown() { control "$1" | grep -E "^[0-9]+ [^ ]+ $1 1 " >/dev/null; }
enabled() { control "$1" | grep -E "^[0-9]+ [^ ]+ $1 1 1 " >/dev/null; }
top_shown() { list | grep -E "^0 $1 [0-9-]+ 1 " >/dev/null; }
# Polls a condition for up to $1 seconds.
within() {
  local limit=$1
  shift
  for _ in $(seq 1 $((limit * 4))); do
    "$@" && return 0
    sleep 0.25
  done
  return 1
}
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}
same() { [ "$1" = "$2" ] || { echo "  got \"$1\", wanted \"$2\""; false; }; }
