#!/bin/sh
# Runs a test program on a virtual X display of its own, with a window
# manager, as on a desktop. Exit code 77 (skipped) only when there is no
# virtual X server on the machine.
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "SKIPPED: Xvfb is not installed; these window tests need an X display with a window manager"
    exit 77
fi
for tool in openbox xprop; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed"; exit 1; }
done

dir=$(mktemp -d)
wm=
trap 'kill $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
# Xvfb picks a free display and writes its number once it accepts clients;
# -noreset keeps it from resetting (and refusing clients) whenever its last
# client, such as a probe below, leaves.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
tries=0
until [ -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 1200 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "Xvfb did not start:"; cat "$dir/xvfb.log"; exit 1
    fi
    sleep 0.05
done
DISPLAY=":$(cat "$dir/display")"
export DISPLAY

openbox --sm-disable >"$dir/wm.log" 2>&1 &
wm=$!
# The manager is ready once it announces itself on the root window.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    tries=$((tries + 1))
    if [ $tries -gt 1200 ] || ! kill -0 $wm 2>/dev/null; then
        echo "openbox did not start:"; cat "$dir/wm.log"; exit 1
    fi
    sleep 0.05
done

QT_QPA_PLATFORM=xcb "$@"
