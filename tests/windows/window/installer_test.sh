#!/usr/bin/env bash
# The Windows installer under Wine. Silent (/S), for all users: the program
# into Program Files with a Start menu shortcut and an entry, with its size
# and version, in the machine's list of programs; both programs carry their
# version; the shortcut's start makes and fills the user's working folder
# (caption.txt in the user's language, nothing already there overwritten),
# runs the program there, and its About box shows the version. A newer setup
# over a running program (from the Start menu, from another folder, or its
# companion) fails with a non-zero exit code and leaves every installed file
# as it was; the interactive one asks in the user's language to close it and
# goes on after Retry. The silent uninstall removes everything it put there
# and leaves the user's folder alone. For the current user only: no rights
# asked, into the user's own program folder and list of programs.
# Usage: installer_test.sh [build-windows folder] (after scripts/package-windows.sh)
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
WINEPREFIX=$(mktemp -d)  # a machine of its own: nothing installed before
export WINEPREFIX LANG=en_US.UTF-8
source "$(dirname "$0")/wine_session.sh"
trap 'finish; wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT

version=$(sed -n 's/^project(pumpdiag VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
setup=$build/pumpdiag-setup-$version.exe
list_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\pumpdiag'
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/pumpdiag"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/pumpdiag.lnk"
Exit1=$((0x200))
exists() { [ -e "$1" ]; }
gone() { [ ! -e "$1" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }
# The Windows programs of process name NAME (as Linux shows it, cut to 15
# characters) running in this test's Wine, and whether none or some are.
programs() {
  local p
  for p in $(pgrep -x "$1"); do
    { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
none_of() { [ -z "$(programs "$1")" ]; }
some_of() { [ -n "$(programs "$1")" ]; }
# value ROOT NAME: a value of the program's entry in the list of programs.
value() { wine reg query "$1\\$list_key" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { print $3 }'; }
exits() {
  local wanted=$1
  shift
  timeout -k 10 300 wine "$@" >/dev/null 2>&1
  same "$?" "$wanted"
}

# A newer setup of the same program, whose every file differs from the
# installed one's, so that a mix of the two shows.
old=$build/stage
new=$work/stage
newer=$version.1
cp -r "$old" "$new"
for f in pumpdiag.exe pumpdiag-cli.exe data/5E.txt locale/ru/LC_MESSAGES/default.mo; do printf 'newer' >>"$new/$f"; done
makensis -V1 -DVERSION="$newer" -DSTAGE="$new" -DOUTFILE="$work/pumpdiag-setup-$newer.exe" \
  "$root/packaging/windows/pumpdiag.nsi" || exit 1
newer_setup=$work/pumpdiag-setup-$newer.exe
# installed_from STAGE: the installed files are those of STAGE, all of them.
installed_from() {
  local f
  for f in pumpdiag.exe pumpdiag-cli.exe data/5E.txt locale/ru/LC_MESSAGES/default.mo; do
    cmp -s "$1/$f" "$installed/$f" || { echo "  $f is not from $1"; return 1; }
  done
}

check "setup asks for no rights at start" grep -aq 'level="asInvoker"' "$setup"
check "setup exits 0" exits 0 "$setup" /S
check "program installed" exists "$installed/pumpdiag.exe"
check "companion installed" exists "$installed/pumpdiag-cli.exe"
check "catalog installed" exists "$installed/locale/ru/LC_MESSAGES/default.mo"
check "help texts installed" exists "$installed/data/5E.txt"
check "Start menu shortcut" exists "$shortcut"
check "listed among the machine's programs" same "$(value HKLM DisplayName)" pumpdiag
check "listed with its version" same "$(value HKLM DisplayVersion)" "$version"
check "not among the user's programs" same "$(value HKCU DisplayName)" ""
# EstimatedSize in KiB: the installed files' size, within what rounding and the uninstaller add.
size_listed=$(($(value HKLM EstimatedSize)))
size_on_disk=$(du -sk --apparent-size "$installed" | cut -f1)
check "listed with its size in KiB" test "$size_listed" -ge $((size_on_disk * 9 / 10)) -a "$size_listed" -le $((size_on_disk * 11 / 10))

# Both programs' version resources, as the system's Properties page reads them.
for row in "pumpdiag.exe|VP/VR pump diagnosis" "pumpdiag-cli.exe|VP/VR pump diagnosis on the command line"; do
  file=${row%%|*}
  resource=$(wine "$spy" version "$installed/$file" 2>/dev/null | tr -d '\r')
  field() { echo "$resource" | sed -n "s/^$1//p"; }
  check "$file: version resource" same "$(field 'FILEVERSION ') $(field FileVersion=) $(field OriginalFilename=)" \
    "$version.0 $version $file"
  check "$file: described" same "$(field FileDescription=)" "${row#*|}"
done

# The user's folder, with an edited help text and a port.ini, as a workshop keeps it.
# Wine's start of cmd can fail on a busy machine ("ShellExecuteEx failed"):
# asked again until the answer is a Windows path.
local_app_data() {
  user=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  [[ $user == [A-Za-z]:\\* ]]
}
check "the user's folder is known" within 120 local_app_data
[[ $user == [A-Za-z]:\\* ]] || user='C:\users\unknown'
folder=$(winepath -u "$user\\pumpdiag" 2>/dev/null)
mkdir -p "$folder"
printf 'SIM' >"$folder/port.ini"
printf 'our own text' >"$folder/50.txt"

# The ways the program runs, each seen by the installer by its own means:
# start_WAY runs it and waits until it is up, stop_WAY asks it to end.
start_menu() {
  (cd "$drive" && exec wine start /unix "$shortcut" >/dev/null 2>&1) &
  within 60 top_shown TForm1
}
stop_menu() { wine "$spy" command TForm1 $Exit1; }
# Another copy, elsewhere: only its mark says that it runs.
start_elsewhere() {
  cp -r "$build/portable/pumpdiag" "$work/elsewhere"
  printf 'SIM' >"$work/elsewhere/port.ini"
  (cd "$work/elsewhere" && exec wine pumpdiag.exe >/dev/null 2>&1) &
  within 60 top_shown TForm1
}
stop_elsewhere() { stop_menu; }
# The companion, reading a trace from its standard input until it ends:
# installed (its mark and its file in use say that it runs) and a copy
# elsewhere (only its mark says it).
run_companion() {  # the companion's file
  rm -f "$work/trace"
  mkfifo "$work/trace"
  wine "$1" trace-summary - <"$work/trace" >/dev/null 2>&1 &
  exec 7>"$work/trace"
  within 60 some_of pumpdiag-cli.ex
}
start_companion() { run_companion "$installed/pumpdiag-cli.exe"; }
stop_companion() { exec 7>&-; }
start_companion_elsewhere() {
  mkdir -p "$work/companion"
  cp "$build/portable/pumpdiag/pumpdiag-cli.exe" "$work/companion/"
  run_companion "$work/companion/pumpdiag-cli.exe"
}
stop_companion_elsewhere() { stop_companion; }

check "the shortcut starts the program" start_menu
check "no error box: port.ini read from the user's folder" bash -c "! wine '$spy' list 2>/dev/null | grep -q '^0 #32770 .* 1 '"
check "English captions for an English user" cmp -s "$folder/caption.txt" "$root/data/en/caption.txt"
check "English help texts copied" cmp -s "$folder/5E.txt" "$root/data/en/5E.txt"
check "an edited help text kept" same "$(cat "$folder/50.txt")" "our own text"
check "the About box shows the version" bash -c "wine '$spy' list 2>/dev/null | grep -q '^1 Static 0 1 1 \"Free workshop edition $version\"'"
# In place (_?=, its folder's short name: the argument takes no quotes), so
# that its exit code is its own, not its starter's.
check "silent uninstall while it runs exits 2" exits 2 "$installed/uninstall.exe" /S _?="$(winepath -s "$installed")"
check "nothing uninstalled while it runs" installed_from "$old"
stop_menu
check "the program ends" within 30 none_of pumpdiag.exe

# way:process name
for row in menu:pumpdiag.exe elsewhere:pumpdiag.exe companion:pumpdiag-cli.ex companion_elsewhere:pumpdiag-cli.ex; do
  way=${row%%:*}
  check "$way: starts" start_$way
  check "$way: silent setup over it exits 2" exits 2 "$newer_setup" /S
  check "$way: every installed file as it was" installed_from "$old"
  check "$way: listed version as it was" same "$(value HKLM DisplayVersion)" "$version"
  stop_$way
  check "$way: ends" within 30 none_of "${row#*:}"
done
check "once closed, the newer setup exits 0" exits 0 "$newer_setup" /S
check "every installed file the newer one's" installed_from "$new"
check "listed with the newer version" same "$(value HKLM DisplayVersion)" "$newer"

# Interactive, in Russian for a Russian user (a locale of the test's own,
# as the machine may have none), the older setup over the running program:
# asks to close it, changes nothing while it asks, goes on after Retry.
localedef -i ru_RU -f UTF-8 "$work/ru_RU.UTF-8" >/dev/null 2>&1
has() { wine "$spy" list 2>/dev/null | tr -d '\r' | grep -E "$1" >/dev/null; }
check "interactive: the program runs" start_menu
LOCPATH=$work LANG=ru_RU.UTF-8 wine "$setup" /ALLUSERS >/dev/null 2>&1 &
interactive=$!
check "interactive: the folder page, in Russian" within 60 has '^1 Button 1 1 1 "&Установить"'
wine "$spy" click '#32770' 1
check "interactive: asks in Russian to close the program" within 60 has 'Программа pumpdiag запущена'
check "interactive: nothing changed while it asks" installed_from "$new"
stop_menu
check "interactive: the program ends" within 30 none_of pumpdiag.exe
wine "$spy" click '#32770' 4  # Retry
check "interactive: after Retry, installed" within 120 has '^1 Button 1 1 1 "&Закрыть"'
wine "$spy" click '#32770' 1
check "interactive: the setup ends" within 30 ended "$interactive"
wait "$interactive"
check "interactive: exits 0" same "$?" 0
check "interactive: every installed file the older one's" installed_from "$old"

check "uninstall exits 0" exits 0 "$installed/uninstall.exe" /S
# The uninstaller runs from a copy of itself, so it ends after its starter.
check "program removed" within 60 gone "$installed"
check "shortcut removed" gone "$shortcut"
check "removed from the machine's programs" same "$(value HKLM DisplayName)" ""
check "user's folder left alone" same "$(cat "$folder/50.txt" "$folder/port.ini")" "our own textSIM"

# For the current user only.
mine=$(winepath -u "$user\\Programs\\pumpdiag" 2>/dev/null)
my_shortcut=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\pumpdiag.lnk")
check "current user: setup exits 0" exits 0 "$setup" /S /CURRENTUSER
check "current user: program in the user's program folder" exists "$mine/pumpdiag.exe"
check "current user: nothing in Program Files" gone "$installed"
check "current user: shortcut in the user's Start menu" exists "$my_shortcut"
check "current user: listed among the user's programs" same "$(value HKCU DisplayName)" pumpdiag
check "current user: listed with its size" test "$(($(value HKCU EstimatedSize)))" -ge $(($(du -sk --apparent-size "$mine" | cut -f1) * 9 / 10))
check "current user: not among the machine's programs" same "$(value HKLM DisplayName)" ""
check "current user: uninstall exits 0" exits 0 "$mine/uninstall.exe" /S
check "current user: program removed" within 60 gone "$mine"
check "current user: removed from the user's programs" same "$(value HKCU DisplayName)" ""

echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
