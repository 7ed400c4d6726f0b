#!/bin/sh
# Lays out a working folder for the program: the executable, caption.txt,
# the fault help texts 50.txt .. 5E.txt and a port.ini naming the simulated
# pump (SIM). Usage: assemble-run-folder.sh <executable> <data folder> <destination> [port]
set -eu
exe=$1
data=$2
dest=$3
port=${4:-SIM}
mkdir -p "$dest"
cp "$exe" "$dest/"
cp "$data/caption.txt" "$dest/"
for code in 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  cp "$data/$code.txt" "$dest/"
done
# The program reads the first line only; write the name without a line end,
# as the program itself does.
printf '%s' "$port" > "$dest/port.ini"
