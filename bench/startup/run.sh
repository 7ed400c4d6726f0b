#!/bin/sh
# Start-up time and peak memory of the program beside a bare Qt Widgets
# window, measured in the same run. Usage: run.sh <build folder> [runs]
# The program's start-up time is given less the 300 ms that opening the port
# waits on purpose.
set -eu
build=$1
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../../data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sh "$here/../../app/assemble-run-folder.sh" "$build/bench/startup/startup_probe" "$data" "$work" SIM
cp "$build/bench/startup/bare_window" "$work/"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

measure() {  # program -> lines "shown_ms X" and "peak_rss_kb Y"
  (cd "$work" && PD_T0_NS=$(date +%s%N) "./$1")
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

: > "$work/probe.txt"; : > "$work/bare.txt"
i=0
while [ $i -lt "$runs" ]; do
  measure startup_probe >> "$work/probe.txt"
  measure bare_window >> "$work/bare.txt"
  i=$((i + 1))
done
p_shown=$(awk '/shown_ms/ {print $2 - 300}' "$work/probe.txt" | median)
b_shown=$(awk '/shown_ms/ {print $2}' "$work/bare.txt" | median)
p_rss=$(awk '/peak_rss_kb/ {print $2}' "$work/probe.txt" | median)
b_rss=$(awk '/peak_rss_kb/ {print $2}' "$work/bare.txt" | median)
printf 'runs: %s (medians), platform %s\n' "$runs" "$QT_QPA_PLATFORM"
printf '%-34s %10s %12s\n' "" "program" "bare window"
printf '%-34s %10.1f %12.1f   ratio %.2f\n' "start to window shown (ms)" "$p_shown" "$b_shown" \
  "$(echo "$p_shown $b_shown" | awk '{print $1 / $2}')"
printf '%-34s %10d %12d   ratio %.2f\n' "peak resident memory (KiB)" "$p_rss" "$b_rss" \
  "$(echo "$p_rss $b_rss" | awk '{print $1 / $2}')"
