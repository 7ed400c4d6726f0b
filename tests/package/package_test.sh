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
for size in 16 32 48 64 128 256; do
  [[ $(file -b "$root/usr/share/icons/hicolor/${size}x$size/apps/pumpdiag.png") == "PNG image data, $size x $size,"* ]] ||
    fail "no $size px icon for the desktop entry"
done
rsvg-convert "$root/usr/share/icons/hicolor/scalable/apps/pumpdiag.svg" > /dev/null || fail "no scalable icon"

# The launcher alone, with a stand-in for the program that says where it was
# started and which folder error it was asked to show.
stub=$tmp/stub
mkdir -p "$stub/usr/bin" "$stub/usr/lib/pumpdiag" "$stub/usr/share"
cp "$root/usr/bin/pumpdiag" "$stub/usr/bin/"
ln -s "$shipped" "$stub/usr/share/pumpdiag"
printf '#!/bin/sh\necho "in $PWD${PUMPDIAG_FOLDER_ERROR+, error: $PUMPDIAG_FOLDER_ERROR}"\n[ -z "${PUMPDIAG_FOLDER_ERROR+x}" ]\n' \
  > "$stub/usr/lib/pumpdiag/pumpdiag"
chmod +x "$stub/usr/lib/pumpdiag/pumpdiag"
launch() { (cd "$tmp" && env -u XDG_DATA_HOME -u LC_ALL -u LC_MESSAGES LANG=C "$@" "$stub/usr/bin/pumpdiag"); }
codes=(50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E)
# filled <folder> <captions>: the folder holds exactly the shipped files, the
# help texts in the captions' language.
filled() {
  cmp -s "$shipped/$2" "$1/caption.txt" || fail "caption.txt in $1 is not $2"
  local texts; texts=$shipped/$(dirname "$2")
  for code in "${codes[@]}"; do cmp -s "$texts/$code.txt" "$1/$code.txt" || fail "$code.txt not copied into $1"; done
  [ "$(ls -A "$1" | wc -l)" = 16 ] || fail "left over in $1: $(ls -A "$1")"
}

# Links planted in the folder are neither written through nor replaced.
h=$tmp/planted
mkdir -p "$h/.local/share/pumpdiag"
ln -s "$tmp/victim" "$h/.local/share/pumpdiag/.caption.txt.new"
ln -s "$tmp/victim" "$h/.local/share/pumpdiag/51.txt"
launch HOME="$h" > /dev/null
[ ! -e "$tmp/victim" ] || fail "the launcher wrote through a planted link"
[ -L "$h/.local/share/pumpdiag/51.txt" ] || fail "the launcher replaced a planted 51.txt"

# Two first starts at once both succeed and leave one whole copy.
for round in 1 2 3 4 5; do
  h=$tmp/twice$round
  launch HOME="$h" > "$tmp/first.log" 2>&1 & first=$!
  launch HOME="$h" > "$tmp/second.log" 2>&1 & second=$!
  wait "$first" && wait "$second" || fail "two first starts at once: $(cat "$tmp/first.log" "$tmp/second.log")"
  filled "$h/.local/share/pumpdiag" en/caption.txt
done

# Captions in the user's language at the first start; an edited file is kept
# whatever the language of a later start.
while IFS='|' read -r vars captions; do
  h=$(mktemp -d "$tmp/language.XXXXXX")
  launch HOME="$h" $vars > /dev/null
  filled "$h/.local/share/pumpdiag" "$captions"
  printf 'edited' > "$h/.local/share/pumpdiag/caption.txt"
  launch HOME="$h" LANG=ru_RU.UTF-8 > /dev/null
  launch HOME="$h" > /dev/null
  [ "$(cat "$h/.local/share/pumpdiag/caption.txt")" = edited ] || fail "edited caption.txt replaced ($vars)"
done <<'ROWS'
LANG=ru_RU.UTF-8|caption.txt
LANG=en_GB.UTF-8|en/caption.txt
LC_MESSAGES=ru_RU.UTF-8|caption.txt
LC_ALL=C.UTF-8 LC_MESSAGES=ru_RU.UTF-8 LANG=ru_RU.UTF-8|en/caption.txt
ROWS

# No absolute place for the folder: the program is asked for the error box,
# and nothing is made relative to where it was started.
while IFS='|' read -r vars expected; do
  out=$(launch $vars) && fail "$vars: no folder error"
  [[ $out == *"error: $expected"* ]] || fail "$vars: $out"
  [ ! -e "$tmp/relative" ] || fail "$vars: a folder made in the current one"
done <<'ROWS'
HOME=relative|No working folder: HOME is not an absolute path (relative).
HOME=|No working folder: neither HOME nor XDG_DATA_HOME is set.
HOME=relative XDG_DATA_HOME=relative/data|No working folder: HOME is not an absolute path (relative).
ROWS

# Without a display the program says so in one line instead of aborting,
# unless the platform needs none (still running when the time is up).
no_display="pumpdiag: no display: start it from the desktop, or set DISPLAY"
while read -r platform expected; do
  chosen=(QT_QPA_PLATFORM="$platform")
  [ "$platform" != - ] || chosen=(-u QT_QPA_PLATFORM)
  set +e
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "${chosen[@]}" HOME="$tmp/planted" \
        timeout 5 "$root/usr/bin/pumpdiag" 2>&1)
  rc=$?
  set -e
  case $expected in
    running) [ "$rc" = 124 ] && [[ $out != *"no display"* ]] ;;
    *) [ "$rc" = 1 ] && [ "$out" = "$no_display" ] ;;
  esac || fail "no display, platform '$platform': exit $rc, $out"
done <<'ROWS'
- message
xcb message
offscreen running
ROWS

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
filled "$folder" en/caption.txt
[ ! -e "$folder/port.ini" ] || fail "port.ini made by the launcher"
stop

# A folder that cannot be made: the program shows which and why in a box
# (and on standard error, the same text) and ends with 1 once it is closed.
printf 'a file' > "$tmp/not-a-folder"
start pumpdiag HOME="$tmp/not-a-folder"
expected="pumpdiag: Cannot make the working folder $tmp/not-a-folder/.local/share/pumpdiag: mkdir: cannot create directory '$tmp/not-a-folder': Not a directory"
grep -qxF -- "$expected" "$tmp/program.log" || fail "folder error box: $(cat "$tmp/program.log")"
box=$(xdotool search --name '^pumpdiag$' | head -n1)
xdotool windowfocus --sync "$box" key Return
set +e
wait "$program"
rc=$?
set -e
[ "$rc" = 1 ] || fail "folder error box: exit code $rc"

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
