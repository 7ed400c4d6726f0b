#!/usr/bin/env bash
# The Windows window under Wine on a private X server: a whole diagnosis
# against the simulated pump (identification, faults with their hints, a help
# text, About, erasing), then a start without port.ini and its error box. The
# window's texts are read back through the system by winspy.exe.
# Usage: window_test.sh [build-windows folder]
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
source "$(dirname "$0")/wine_session.sh"

# Working folder: the program, its data files, and optionally port.ini.
start() {
  local folder=$work/$1
  sh "$root/app/assemble-run-folder.sh" "$build/pumpdiag.exe" "$root/data" "$folder" SIM
  [ "$2" = with-port ] || rm "$folder/port.ini"
  (cd "$folder" && exec wine pumpdiag.exe >/dev/null 2>&1) &
  program=$!
  within 30 top_shown TForm1 || within 30 top_shown '#32770'
}

# The simulated line under Wine on a loaded machine can stall, and the link
# watchdog then ends the link (Button3 enabled again): the user's remedy,
# starting the communication again, is taken before each step that needs it.
link_up() {
  enabled $Button3 || return 0
  echo "note: the link had ended before this step; starting it again" >&2
  wine "$spy" click TForm1 $Button3
  within 30 enabled $Button4
}

Button3=100 Button4=101 button1=102 Memo2=106 status=109 Id_b=114 S_n=115 Id=116 Or_name=117
t53=$((0x153)) t5a=$((0x15A)) Exit1=$((0x200)) About2=$((0x206)) AboutClose=1

# ---- a diagnosis against SIM
start sim with-port
check "About is shown at start-up" top_shown TAbout
check "no error box at start-up" bash -c "! wine '$spy' list 2>/dev/null | grep -q '^0 #32770 .* 1 '"
wine "$spy" click TForm1 $Button3
check "identification completes (Button4 enabled)" within 30 enabled $Button4
check "Bosch number" same "$(text $Id_b)" "0 470 506 917"
check "Id number" same "$(text $S_n)" "PU4471    0218"
check "original number" same "$(text $Or_name)" "4B1907401S"
check "serial number" same "$(text $Id)" "VR1708512 3470"

link_up
wine "$spy" click TForm1 $Button4
check "fault 53 shown" within 20 shown $t53
check "fault 5a shown" within 5 shown $t5a
check "only the pump's faults shown" same "$(list | grep -cE '^2 Button 3[0-9]{2} 1 ')" 2
check "status hidden while faults are shown" bash -c "! wine '$spy' list 2>/dev/null | grep -qE '^2 Static $status 1 '"
check "erase button enabled" within 5 enabled $button1
tooltip() { wine "$spy" hover TForm1 "$1"; within 5 bash -c "wine '$spy' list 2>/dev/null | grep -q '^0 tooltips_class32 0 1 1 \"$2\"'"; }
check "hint of fault 53" tooltip $t53 "Сетчик ошибок 2"
check "hint of fault 5a" tooltip $t5a "Сетчик ошибок 17"

wine "$spy" click TForm1 $t53
first_line=$(iconv -f cp1251 -t utf-8 "$root/data/53.txt" | head -1 | tr -d '\r')
check "help text of 53 in Memo2" within 5 bash -c "wine '$spy' list 2>/dev/null | grep -qF '\"$first_line\\n'"
memo=$(text $Memo2)

wine "$spy" command TForm1 $About2
check "About2 hides the main window" within 5 bash -c "! wine '$spy' list 2>/dev/null | grep -qE '^0 TForm1 [0-9-]+ 1 '"
check "About2 shows About" within 5 top_shown TAbout
wine "$spy" click TAbout $AboutClose
check "closing About brings the main window back" within 5 top_shown TForm1
check "Memo2 unchanged behind About" same "$(text $Memo2)" "$memo"
import -window root "$build/window-test.png" 2>/dev/null

link_up
wine "$spy" click TForm1 $button1
check "erasing hides the fault buttons" within 20 bash -c "! wine '$spy' list 2>/dev/null | grep -qE '^2 Button 3[0-9]{2} 1 '"
wine "$spy" command TForm1 $Exit1
check "Exit1 ends the program" within 15 bash -c "! kill -0 $program 2>/dev/null"

# ---- no port.ini: the error box first, then both windows with the stored captions
start noport no
check "error box for port.ini" within 30 bash -c "wine '$spy' list 2>/dev/null | grep -qF '\"Cannot open file port.ini.'"
check "error box titled with the program's name" bash -c "wine '$spy' list 2>/dev/null | grep -qE '^0 #32770 [0-9-]+ 1 1 \"pumpdiag\"'"
wine "$spy" close '#32770'
check "main window shown after the box" within 30 top_shown TForm1
check "stored title" bash -c "wine '$spy' list 2>/dev/null | grep -qF 'TForm1' && wine '$spy' list | grep -qE '^0 TForm1 [0-9-]+ 1 1 \"Диагностика VR - VP насосов\"'"
check "stored start caption" same "$(text $Button3)" "Начать коммуникацию"
check "Button4 stays hidden" bash -c "! wine '$spy' list 2>/dev/null | grep -qE '^1 Button $Button4 1 '"
wine "$spy" command TForm1 $Exit1

echo "window: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
