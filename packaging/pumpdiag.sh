#!/bin/sh
# Starts the pump diagnostic program in the user's own working folder,
# $XDG_DATA_HOME/pumpdiag (~/.local/share/pumpdiag by default). The program
# reads caption.txt, the fault help texts and port.ini from the folder it is
# started in. A workshop may edit its copies, so a file already there is never
# replaced; only missing ones are copied from the package. port.ini is the
# user's choice of port and is never made here.
set -eu

here=$(dirname "$(readlink -f "$0")")
program=$here/../lib/pumpdiag/pumpdiag
shipped=$here/../share/pumpdiag

# A relative XDG_DATA_HOME is invalid and is ignored.
case ${XDG_DATA_HOME:-} in
  /*) data_home=$XDG_DATA_HOME ;;
  *)
    if [ -z "${HOME:-}" ]; then
      echo "pumpdiag: neither HOME nor XDG_DATA_HOME is set" >&2
      exit 1
    fi
    data_home=$HOME/.local/share ;;
esac
folder=$data_home/pumpdiag
mkdir -p "$folder"

for name in caption.txt 50.txt 51.txt 52.txt 53.txt 54.txt 55.txt 56.txt 57.txt \
            58.txt 59.txt 5A.txt 5B.txt 5C.txt 5D.txt 5E.txt; do
  if [ ! -e "$folder/$name" ]; then
    # Through a temporary name: an interrupted copy must not leave a cut
    # file that later starts would then keep.
    cp "$shipped/$name" "$folder/.$name.new"
    mv -f "$folder/.$name.new" "$folder/$name"
  fi
done

cd "$folder"
exec "$program" "$@"
