#!/usr/bin/env bash
# The Windows window's face under Wine with a window manager (openbox): the
# face's own test program (DPI changes, pictures, captions) on this display;
# the start-up error box of hostile port.ini files stays until the user closes
# it (ten starts); the window at 144 dpi (sizes read back, a screenshot kept
# as face-144dpi.xwd in the build folder).
# Usage: face_test.sh [build-windows folder]
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
source "$(dirname "$0")/wine_session.sh"
openbox >/dev/null 2>&1 &
openbox_pid=$!
trap 'wine reg delete "HKCU\Control Panel\Desktop" /v LogPixels /f >/dev/null 2>&1; kill $openbox_pid 2>/dev/null; finish' EXIT

# Starts the program in a fresh folder with port.ini holding $2 (the word
# "missing": no port.ini).
start() {
  local folder=$work/$1
  sh "$root/app/assemble-run-folder.sh" "$build/pumpdiag.exe" "$root/data" "$folder" "$2"
  [ "$2" = missing ] && rm "$folder/port.ini"
  (cd "$folder" && exec wine pumpdiag.exe >/dev/null 2>&1) &
  program=$!
}
box_shown() { top_shown '#32770'; }
# For $1 seconds the start-up does not go on (the main window is shown only
# once the box is closed), and the box is still there at the end. A look
# that fails under load is not taken for a closed box.
stays() {
  for _ in $(seq 1 "$1"); do
    if top_shown TForm1; then
      list | grep -E '^0 (#32770|TForm1|TAbout) ' | cut -c1-120
      return 1
    fi
    sleep 1
  done
  within 10 box_shown
}
ended() { ! kill -0 "$program" 2>/dev/null; }

check "face test program" bash -c "wine '$build/tests/windows/test_win32_face.exe' >'$work/face.log' 2>&1 || { grep -E 'Failure|FAILED' -A4 '$work/face.log' | head -40; false; }"

Button3=100 Exit1=$((0x200)) IDOK=1
long=$(printf 'A%.0s' $(seq 1 5000))
# ---- start-up boxes stay until closed: ten starts
n=0
for port in NUL COM9 missing "$(printf 'COM77\t')" "$long" '\\.\PhysicalDrive0' 'C:\windows\win.ini' NUL COM9 missing; do
  n=$((n + 1))
  start "box$n" "$port"
  label=$(printf '%s' "$port" | cut -c1-20 | tr '\t' '~')
  if check "start $n ($label): error box shown" within 60 box_shown; then
    check "start $n ($label): the box stays while nobody touches it" stays 10
    wine "$spy" click '#32770' $IDOK
    check "start $n ($label): the main window after the box is closed" within 30 top_shown TForm1
  fi
  wine "$spy" command TForm1 $Exit1 2>/dev/null
  within 30 ended || kill "$program" 2>/dev/null
done

# ---- at 144 dpi from the start: the window and its limits scaled
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
start dpi144 SIM
if check "window shown at 144 dpi" within 60 top_shown TForm1; then
  read -r left top right bottom < <(wine "$spy" rect TForm1 | tr -d '\r')
  check "window width at 144 dpi (610 at 96)" same "$((right - left))" 915
  check "window height at 144 dpi (464 at 96)" same "$((bottom - top))" 696
  wine "$spy" click TAbout 1
  within 10 bash -c "! wine '$spy' list 2>/dev/null | grep -E '^0 TAbout [0-9-]+ 1 ' >/dev/null"
  xwd -root -silent >"$build/face-144dpi.xwd" 2>/dev/null
fi
wine "$spy" command TForm1 $Exit1 2>/dev/null
within 30 ended || kill "$program" 2>/dev/null
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1

echo "face: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
