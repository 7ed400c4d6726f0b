#!/usr/bin/env bash
# Runs the serial and end-to-end tests again as an ordinary user (nobody), as
# a technician runs the program: a port must open, close and open again whole
# without root's rights; and the real-time priority tests, whose stand-in
# broker that user starts on a private bus (it keeps the user's right to
# raise threads to play the broker's grants; the programs it raises lose it).
# Needs root to switch users; run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# The user keeps only the right to raise its line threads (as a computer set
# up for the tool grants it), so that the exchanges keep their timing however
# busy the machine is; the right to take a port from another holder it lacks.
as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=+sys_nice --ambient-caps=+sys_nice)
targets=(test_serial test_e2e test_report pumpsim-tool test_core rt_probe)

build="$PWD/$BUILD_DIR"
if ! "${as_user[@]}" test -x "$build/tests/serial/test_serial"; then
  # The checkout lies where that user cannot reach (root's home, say): test a
  # copy in a shared place instead.
  copy=$(mktemp -d /tmp/pumpdiag-user-XXXXXX)
  trap 'rm -rf "$copy"' EXIT
  chmod 755 "$copy"
  tar --exclude='./build*' -cf - . | tar -xf - -C "$copy"
  cmake -S "$copy" -B "$copy/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$copy/build" --target "${targets[@]}"
  build="$copy/build"
fi
cd "$build"
export QT_QPA_PLATFORM=offscreen TMPDIR=/tmp
"${as_user[@]}" tests/serial/test_serial
"${as_user[@]}" tests/e2e/test_e2e
# A read-only journal, which root would write all the same: its records kept and written later.
"${as_user[@]}" tests/report/test_report --gtest_filter='JournalFolder.*'
"${as_user[@]}" tests/core/test_core --gtest_filter='ThreadPriority.*'
