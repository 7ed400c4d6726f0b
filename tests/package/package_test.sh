#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a
# temporary root and starts it as a user would, on a virtual display.
# Usage: package_test.sh <build folder> [cpack program]
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
tmp=$(mktemp -d /tmp/pd-package-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/deb" > "$tmp/cpack.log" || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/deb/pumpdiag_*.deb)
lintian --fail-on error "$deb" || fail "lintian reports errors"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 fonts-dejavu-core qt6-qpa-plugins; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
shipped=$root/usr/share/pumpdiag
grep -qx 'Exec=pumpdiag' "$root/usr/share/applications/pumpdiag.desktop" || fail "desktop entry does not start pumpdiag"
[ -x "$root/usr/bin/pumpdiag" ] || fail "no launcher on PATH"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/pumpdiag.png" ] || fail "no icon for the desktop entry"

# -noreset: by default the server resets whenever its last client leaves, and
# refuses new clients meanwhile; here one program ends before the next starts.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> "$tmp/display" 2> /dev/null &
pids+=($!)
# A loaded machine may take a while to bring the display up.
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "the virtual display did not start"
export DISPLAY=:$(head -n1 "$tmp/display")
for _ in $(seq 100); do xprop -root > /dev/null 2>&1 && break; sleep 0.1; done
xprop -root > /dev/null 2>&1 || fail "the virtual display $DISPLAY does not accept clients"
unset QT_QPA_PLATFORM XDG_DATA_HOME

home=$tmp/home
folder=$home/.local/share/pumpdiag
mkdir -p "$home"

# start <window title> [VAR=value...]: starts the launcher and waits until a
# window of that title is shown; the program keeps running until stop.
start() {
  local title=$1; shift
  env HOME="$home" LANG=C "$@" "$root/usr/bin/pumpdiag" > "$tmp/program.log" 2>&1 &
  program=$!
  pids+=("$program")
  for _ in $(seq 150); do
    # The listing is taken whole first: grep -q leaving early would end
    # xwininfo with SIGPIPE, which pipefail reports as a failed lookup.
    windows=$(xwininfo -root -tree 2>/dev/null || true)
    grep -qF "\"$title\": (\"pumpdiag\"" <<< "$windows" && return 0
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
  done
  cat "$tmp/program.log" >&2
  fail "no window \"$title\""
}
stop() { kill "$program"; wait "$program" 2>/dev/null || true; }

# First start: the folder is made and filled; without port.ini the error
# box about it (titled with the program's name) comes before the windows.
start pumpdiag
for name in caption.txt 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  [[ $name == *.txt ]] || name=$name.txt
  cmp -s "$shipped/$name" "$folder/$name" || fail "$name not copied into $folder"
done
[ ! -e "$folder/port.ini" ] || fail "port.ini made by the launcher"
stop

# The user picks the simulated pump and renames the window (line 11); the
# next start shows the edited caption and keeps the file. A relative
# XDG_DATA_HOME is not a valid place and leaves the folder where it was.
printf SIM > "$folder/port.ini"
iconv -f CP1251 -t UTF-8 "$folder/caption.txt" | sed '12s/.*/Мастерская №1\r/' | iconv -f UTF-8 -t CP1251 > "$tmp/caption.txt"
cp "$tmp/caption.txt" "$folder/caption.txt"
start "Мастерская №1" XDG_DATA_HOME=relative/data
cmp -s "$tmp/caption.txt" "$folder/caption.txt" || fail "edited caption.txt replaced"
stop

# The program reads its catalog beside itself: a broken one there stops the
# start-up with the runtime error box.
printf 'not a catalog' > "$root/usr/lib/pumpdiag/locale/ru/LC_MESSAGES/default.mo"
start Error LANG=ru_RU.UTF-8
stop
echo "package test: passed"
