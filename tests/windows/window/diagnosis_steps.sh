# Sourced by the window tests after wine_session.sh: the program in a working
# folder of its own, and the steps of a diagnosis in its main window as a user
# takes them, each waiting on the window's state. Needs $root and $build.
Button3=100 Button4=101 button1=102 Memo2=106 status=109 Id_b=114 S_n=115 Id=116 Or_name=117
t53=$((0x153)) t5a=$((0x15A)) Exit1=$((0x200)) Com31=$((0x203)) About2=$((0x206)) AboutClose=1
restarts=0

# Starts the program in $work/$1 with port.ini naming $2 (none if empty); the
# rest is a command prefix for the program (an environment).
start_program() {
  local folder=$work/$1 port=$2
  shift 2
  sh "$root/app/assemble-run-folder.sh" "$build/pumpdiag.exe" "$root/data" "$folder" "${port:-SIM}"
  [ -n "$port" ] || rm "$folder/port.ini"
  (cd "$folder" && exec "$@" "${rt[@]}" wine pumpdiag.exe >/dev/null 2>&1) &
  program=$!
  within 60 top_shown TForm1 || within 60 top_shown '#32770'
}

hidden() { ! shown "$1"; }
fault_buttons_hidden() { ! list | grep -E '^2 Button 3[0-9]{2} 1 ' >/dev/null; }
starts_with() { [[ "$(text "$1")" == "$2"* ]]; }
# The open error box's text, for the report.
error_box() { list | grep -A3 -E '^0 #32770 [0-9-]+ 1 ' | sed 's/^/  box: /'; }
no_error_box() { ! top_shown '#32770' || { error_box; false; }; }

# The start button, then this link's identification. Id_b, the field the
# engine fills last, is blanked first: its text from an earlier link does not
# count, and Button4, enabled since the first identification, says nothing.
# The click has been taken once the wake-up pattern is out (Button3
# disabled); then the identification shows, or the watchdog ends the link.
identified_or_ended() { [ -n "$(text $Id_b)" ] || enabled $Button3; }
start_link() {
  spy settext TForm1 $Id_b ""
  spy click TForm1 $Button3
  within 60 disabled $Button3
  within 90 identified_or_ended
  has_text $Id_b "0 470 506 917"
}

# A start whose link stalls is started again once, as a user would (counted).
start_link_again_if_stalled() {
  start_link && return 0
  restarts=$((restarts + 1))
  echo "note: ${label:+[$label] }the link stalled at its start; starting it again" >&2
  start_link
}

# A link can stall on a busy machine, and the watchdog then ends it (Button3
# enabled again): the user's remedy, starting again, is taken before each
# step that needs the link, and counted.
link_up() {
  enabled $Button3 || return 0
  restarts=$((restarts + 1))
  echo "note: ${label:+[$label] }the link had ended before this step; starting it again" >&2
  start_link
}
# A request that the link carries: the click on $1, then its outcome, the
# condition given by the rest. A request still pending when the link ends is
# dropped by the next start; if the link ends before the outcome shows, the
# user starts again and asks again (three times at most).
link_ended() { enabled $Button3; }
outcome_or_end() { "$@" || link_ended; }
request() {
  local button=$1 attempt
  shift
  for attempt in 1 2 3; do
    link_up
    spy click TForm1 "$button"
    within 60 outcome_or_end "$@"
    "$@" && return 0
    link_ended || return 1
  done
  return 1
}

# The four fields as the pump sends them.
identification_exact() {
  [ "$(text $Id_b)|$(text $S_n)|$(text $Or_name)|$(text $Id)" = "0 470 506 917|PU4471    0218|4B1907401S|VR1708512 3470" ]
}
identify() {
  check "identification completes" start_link_again_if_stalled
  check "Button4 enabled" within 30 enabled $Button4
  # Under Wine a late echo can still derail a link on a COM port (a byte taken
  # for the one before it): the fields show it, the user starts again once the
  # link has ended, and the note keeps what was shown. The second must be exact.
  if ! identification_exact; then
    restarts=$((restarts + 1))
    echo "note: ${label:+[$label] }identification garbled ($(text $Or_name) / $(text $Id)); starting again" >&2
    within 60 link_ended  # a derailed link ends; the start button comes back
    start_link
  fi
  check "Bosch number" same "$(text $Id_b)" "0 470 506 917"
  check "Id number" same "$(text $S_n)" "PU4471    0218"
  check "original number" same "$(text $Or_name)" "4B1907401S"
  check "serial number" same "$(text $Id)" "VR1708512 3470"
}

# The hint of control $1 reads $2 once the pointer comes onto it (moved off
# and back on each turn, so that a hint that has closed opens again).
tip_is() { list | grep "^0 tooltips_class32 0 1 1 \"$1\"" >/dev/null; }
tip_shows() {
  spy hover TForm1 $Memo2
  spy hover TForm1 "$1"
  within 5 tip_is "$2"
}

read_faults() {
  check "fault 53 shown" request $Button4 shown $t53
  check "fault 5a shown" within 30 shown $t5a
  check "only the pump's faults shown" same "$(list | grep -cE '^2 Button 3[0-9]{2} 1 ')" 2
  check "status hidden while faults are shown" hidden $status
  check "erase button enabled" within 30 enabled $button1
  check "hint of fault 53" within 60 tip_shows $t53 "Сетчик ошибок 2"
  check "hint of fault 5a" within 60 tip_shows $t5a "Сетчик ошибок 17"
}

help_text() {
  spy click TForm1 $t53
  local first_line
  first_line=$(iconv -f cp1251 -t utf-8 "$root/data/53.txt" | head -1 | tr -d '\r')
  check "help text of 53 in Memo2" within 30 starts_with $Memo2 "$first_line\\n"
}

erase() {
  check "erasing hides the fault buttons" request $button1 fault_buttons_hidden
}

exit_program() {
  spy command TForm1 $Exit1
  check "Exit1 ends the program" within 30 ended $program
}
