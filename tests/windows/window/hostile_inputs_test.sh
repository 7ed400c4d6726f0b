#!/usr/bin/env bash
# The Windows window under Wine with port.ini and caption.txt as users and
# their editors leave them: each start that cannot open the port shows a box
# whose second line names the port or the file, the reason and the remedy,
# and the program stays up; files saved as UTF-8 or UTF-16 are read as such.
# Usage: hostile_inputs_test.sh [build-windows folder]
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
source "$(dirname "$0")/wine_session.sh"

Exit1=$((0x200))
box_shown() { list | grep -E '^0 #32770 [0-9-]+ 1 ' >/dev/null; }
# The box's text: the first Static with text among the box's own controls.
box_text() { list | awk '/^0 / { inbox = ($2 == "#32770") } inbox && $2 == "Static" && !/ ""$/' | head -1; }

# Starts the program in a folder of its own whose port.ini holds the bytes
# of the printf format $2 (and caption.txt those of $3, when given).
start() {
  local folder=$work/$1
  sh "$root/app/assemble-run-folder.sh" "$build/pumpdiag.exe" "$root/data" "$folder" SIM
  printf "$2" > "$folder/port.ini"
  [ $# -lt 3 ] || printf "$3" > "$folder/caption.txt"
  (cd "$folder" && exec wine pumpdiag.exe >/dev/null 2>&1) &
  program=$!
  within 60 started
}
started() { top_shown TForm1 || box_shown; }

stop() {
  wine "$spy" command TForm1 $Exit1
  within 30 bash -c "! kill -0 $program 2>/dev/null" || kill "$program" 2>/dev/null
}

# A start whose port does not open: the box, its second line, then the window.
expect_box() {  # name port.ini-format wanted-text...
  local name=$1 bytes=$2
  shift 2
  start "$name" "$bytes"
  check "$name: error box" within 60 box_shown
  local text
  text=$(box_text)
  for wanted in "$@"; do
    check "$name: box says \"$wanted\"" bash -c "grep -qF -- \"\$1\" <<<\"\$2\" || { echo \"  box: \$2\"; false; }" _ "$wanted" "$text"
  done
  check "$name: box no wider than a line of text" test "${#text}" -lt 600
  wine "$spy" close '#32770'
  check "$name: main window after the box" within 30 top_shown TForm1
  stop
}

expect_box empty '' 'Unable to open com port' '\nport.ini in the folder ' ' is empty.' 'Choose the port in the menu'
expect_box nul 'NUL' '\nPort NUL: not a serial port. Choose the port the adapter is on.'
expect_box file 'C:\\windows\\win.ini' ': not a serial port.'
expect_box absent 'COM77' '\nPort COM77: there is no such port.' 'Device Manager'
expect_box leading-space ' COM77' 'begins with a space.'
long=$(printf '%05000d' 0 | tr 0 C)
cut=$(printf '%059d' 0 | tr 0 C)
expect_box long-name "$long" "\\nPort $cut…: "

# port.ini saved as UTF-16 with its mark, a tab after the name; caption.txt
# saved as UTF-8 without one: the port opens and the title is Cyrillic.
utf16_sim='\377\376S\0I\0M\0\t\0\r\0\n\0'
captions=''
for n in $(seq 0 10); do captions+="line $n\\r\\n"; done
start utf "$utf16_sim" "${captions}Окно в UTF-8\\r\\n"
check "utf: no error box" bash -c "! wine '$spy' list 2>/dev/null | grep -qE '^0 #32770 [0-9-]+ 1 '"
check "utf: Cyrillic title from UTF-8" within 10 bash -c "wine '$spy' list 2>/dev/null | grep -qF '0 TForm1' && wine '$spy' list 2>/dev/null | grep -qF 'Окно в UTF-8'"
stop

echo "hostile inputs: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
