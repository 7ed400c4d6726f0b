#!/usr/bin/env bash
# The Windows installer under Wine, silent (/S): the program into Program
# Files with a Start menu shortcut and an entry in the system's list of
# programs; the shortcut's start makes and fills the user's working folder
# (caption.txt in the user's language, nothing already there overwritten) and
# runs the program there; the silent uninstall removes everything it put
# there and leaves the user's folder alone.
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
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\pumpdiag'
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/pumpdiag"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/pumpdiag.lnk"
exists() { [ -e "$1" ]; }
gone() { [ ! -e "$1" ]; }
registered() { "${rt[@]}" wine reg query "$key" /v DisplayName 2>/dev/null | grep -q pumpdiag; }

check "setup exits 0" timeout 300 "${rt[@]}" wine "$setup" /S
check "program installed" exists "$installed/pumpdiag.exe"
check "companion installed" exists "$installed/pumpdiag-cli.exe"
check "catalog installed" exists "$installed/locale/ru/LC_MESSAGES/default.mo"
check "help texts installed" exists "$installed/data/5E.txt"
check "Start menu shortcut" exists "$shortcut"
check "listed among the system's programs" registered

# The user's folder, with an edited help text and a port.ini, as a workshop keeps it.
# Wine's start of cmd can fail on a busy machine ("ShellExecuteEx failed"):
# asked again until the answer is a Windows path.
local_app_data() {
  user=$("${rt[@]}" wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  [[ $user == [A-Za-z]:\\* ]]
}
check "the user's folder is known" within 120 local_app_data
[[ $user == [A-Za-z]:\\* ]] || user='C:\users\unknown'
folder=$(winepath -u "$user\\pumpdiag" 2>/dev/null)
mkdir -p "$folder"
printf 'SIM' >"$folder/port.ini"
printf 'our own text' >"$folder/50.txt"
(cd "$drive" && exec "${rt[@]}" wine start /wait /unix "$shortcut" >/dev/null 2>&1) &
check "the shortcut starts the program" within 120 top_shown TForm1
check "no error box: port.ini read from the user's folder" no_top_shown '#32770'
check "English captions for an English user" cmp -s "$folder/caption.txt" "$root/data/en/caption.txt"
check "help texts copied" cmp -s "$folder/5E.txt" "$root/data/5E.txt"
check "an edited help text kept" same "$(cat "$folder/50.txt")" "our own text"
spy command TForm1 $((0x200))
within 30 no_top_shown TForm1

check "uninstall exits 0" timeout 300 "${rt[@]}" wine "$installed/uninstall.exe" /S
# The uninstaller runs from a copy of itself, so it ends after its starter.
check "program removed" within 60 gone "$installed"
check "shortcut removed" gone "$shortcut"
check "removed from the system's programs" bash -c "! ${rt[*]} wine reg query '$key' >/dev/null 2>&1"
check "user's folder left alone" same "$(cat "$folder/50.txt" "$folder/port.ini")" "our own textSIM"

echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
