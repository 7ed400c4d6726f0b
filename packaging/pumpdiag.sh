#!/bin/sh
# Starts the pump diagnostic program in the user's own working folder,
# $XDG_DATA_HOME/pumpdiag (~/.local/share/pumpdiag by default). The program
# reads caption.txt, the fault help texts and port.ini from the folder it is
# started in. A workshop may edit its copies, so a file already there is never
# replaced; only missing ones are copied from the package, caption.txt and the
# help texts in the user's language (Russian or English). port.ini is the user's choice of port
# and is never made here. When the folder cannot be made or filled, the
# program is started only to show why in a box (PUMPDIAG_FOLDER_ERROR).
set -eu

here=$(dirname "$(readlink -f "$0")")
program=$here/../lib/pumpdiag/pumpdiag
shipped=$here/../share/pumpdiag
unset PUMPDIAG_FOLDER_ERROR

# folder_error <text>: the program shows the text in a box and on standard
# error, then ends with exit code 1.
folder_error() {
  PUMPDIAG_FOLDER_ERROR=$1
  export PUMPDIAG_FOLDER_ERROR
  exec "$program"
}

# A relative XDG_DATA_HOME is invalid and is ignored; a relative HOME would
# put the folder wherever the program happens to be started.
case ${XDG_DATA_HOME:-} in
  /*) data_home=$XDG_DATA_HOME ;;
  *)
    case ${HOME:-} in
      /*) data_home=$HOME/.local/share ;;
      '') folder_error "No working folder: neither HOME nor XDG_DATA_HOME is set." ;;
      *) folder_error "No working folder: HOME is not an absolute path ($HOME)." ;;
    esac ;;
esac
folder=$data_home/pumpdiag
why=$(mkdir -p -- "$folder" 2>&1) || folder_error "Cannot make the working folder $folder: $why"

# The first language named by LC_ALL, LC_MESSAGES or LANG.
language=${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}
case $language in
  ru|ru_*) texts=$shipped ;;
  *) texts=$shipped/en ;;
esac

# install_new <source> <name>: copies source into the folder as name unless
# a file (or link) of that name is there. The copy goes to a new file of an
# unguessable name and is then renamed, never over anything, so that nothing
# is written through a link planted in the folder, an interrupted copy leaves
# no cut file, and two first starts at once both succeed.
part=
trap '[ -z "$part" ] || rm -f -- "$part"; exit 1' HUP INT TERM
install_new() {
  if [ -e "$folder/$2" ]; then return 0; fi
  part=$(mktemp -- "$folder/.$2.XXXXXX" 2>&1) || folder_error "Cannot fill the working folder $folder: $part"
  if why=$(cp -- "$1" "$part" 2>&1 && chmod =rw -- "$part" 2>&1); then
    # -n: never over anything, a link included (another start may also have
    # come first); -T: a name that is a folder, or a link to one, is not entered.
    why=$(mv -n -T -- "$part" "$folder/$2" 2>&1) || true
  fi
  rm -f -- "$part"
  part=
  if [ -e "$folder/$2" ] || [ -L "$folder/$2" ]; then return 0; fi
  folder_error "Cannot fill the working folder $folder: ${why:-$2 was not made}"
}

install_new "$texts/caption.txt" caption.txt
for code in 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  install_new "$texts/$code.txt" "$code.txt"
done

cd "$folder"
exec "$program" "$@"
