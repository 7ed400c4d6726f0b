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
source "$(dirname "$0")/diagnosis_steps.sh"

main_hidden() { ! list | grep -E '^0 TForm1 [0-9-]+ 1 ' >/dev/null; }
# A visible top-level window of class $1 whose title is $2.
titled() { list | grep -E "^0 $1 [0-9-]+ 1 1 \"$2\"" >/dev/null; }

# ---- a diagnosis against SIM
label=SIM
start_program sim SIM
check "About is shown at start-up" top_shown TAbout
check "no error box at start-up" no_error_box
identify
read_faults
help_text
memo=$(text $Memo2)

spy command TForm1 $About2
check "About2 hides the main window" within 30 main_hidden
check "About2 shows About" within 30 top_shown TAbout
spy click TAbout $AboutClose
check "closing About brings the main window back" within 30 top_shown TForm1
check "Memo2 unchanged behind About" same "$(text $Memo2)" "$memo"
import -window root "$build/window-test.png" 2>/dev/null

# The adapter check from the port menu waits for the link to end.
CheckAdapter1=$((0x480))
spy command TForm1 $CheckAdapter1
check "adapter check refused while the link runs" within 30 listed_first "The adapter cannot be checked while the communication runs"
spy close '#32770'
erase
exit_program

# ---- the adapter check from the port menu: its report in a box, and the
# port given back to the engine, which then starts a link on it. The
# latency verdict under Wine is a figure of the machine's load; the echoes are not.
label="adapter check"
start_program check SIM
spy command TForm1 $CheckAdapter1
check "adapter check: its box" within 60 listed_first "Port SIM (simulated pump line), 9600 baud 8E1\nSent 100 single bytes without wake-up: 100 came back as echo\n"
spy close '#32770'
check "adapter check: the start is back" within 30 enabled $Button3
check "adapter check: a link starts on the port given back" start_link_again_if_stalled
exit_program

# ---- no port.ini: the error box first, then both windows with the stored captions
label="no port.ini"
start_program noport ""
check "error box for port.ini" within 60 listed_first "Cannot open file port.ini."
check "error box titled with the program's name" titled '#32770' pumpdiag
spy close '#32770'
check "main window shown after the box" within 60 top_shown TForm1
check "stored title" within 30 titled TForm1 "Диагностика VR - VP насосов"
check "stored start caption" same "$(text $Button3)" "Начать коммуникацию"
check "Button4 stays hidden" hidden $Button4
exit_program

echo "window: $passed passed, $failed failed, $restarts restarts of the link"
[ "$failed" -eq 0 ]
