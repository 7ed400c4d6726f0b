#!/usr/bin/env bash
# Builds the Windows programs and tests (scripts/build-windows.sh) and runs
# them under Wine with a private prefix in build-windows/: the core,
# protocol, pump simulator, serial and localization suites, whole diagnoses
# against SIM, the COM device backend on a port that Wine maps to a
# pseudo-terminal, and the companion beside the Linux build's. Needs the
# Linux build in build/ (or $LINUX_BUILD_DIR) for the simulator tool and the
# Linux companion; builds those two.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/build-windows.sh
# A folder given relative is taken in the project's folder; an absolute one as it is.
win=$(realpath -ms "${BUILD_DIR:-build-windows}")
linux=$(realpath -ms "${LINUX_BUILD_DIR:-build}")
BUILD_DIR=$linux BUILD_TARGETS="pumpdiag-cli pumpsim-tool" bash scripts/build.sh >/dev/null

export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || wine=wine
# Wine gives a Windows thread priority to its Linux thread only where the
# nice limit allows, which it does not here; the line threads that run at
# time-critical priority on Windows get their timing from a real-time class
# for the whole test process instead, where the system grants it.
rt=()
chrt -r 1 true 2>/dev/null && rt=(chrt -r 1)
run=("${rt[@]}" "$wine")
# One server for all the test programs that never ends by itself (-p): a
# program that connects while the server winds down after the last one has
# ended dies with "wine client error: recvmsg: Connection reset by peer".
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
"${rt[@]}" wineserver -p >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
[ -d "$WINEPREFIX/drive_c" ] || { echo "Initialising the Wine prefix"; "${run[@]}" wineboot -i >/dev/null 2>&1; }

failed=0
check() {  # name command...
  local name=$1; shift
  if "$@"; then echo "PASS  $name"; else echo "FAIL  $name"; failed=1; fi
}
# Runs a test program, showing its output and exit code only when it fails
# (a crash shows no message with Wine's debug output off). A program that
# hangs is killed: a Wine process may outlive the first SIGTERM.
quiet() {
  local log code=0; log=$(mktemp)
  timeout -k 10 600 "$@" >"$log" 2>&1 || code=$?
  [ $code -eq 0 ] && { rm -f "$log"; return 0; }
  cat "$log"; rm -f "$log"; echo "(exit $code)"; return 1
}

tests=$win/tests/windows
for suite in test_core test_protocol test_pumpsim test_serial test_diagnosis test_win32_registry test_win32_console_stop test_report test_win32_timer test_win32_adapter; do
  check "$suite" quiet "${run[@]}" "$tests/$suite.exe"
done
# Left out: expectations that spell a catalog's path with the test's own
# folder separator ("\\" on Windows, where the program writes "/"), and the
# POSIX locale variables, which Windows does not read (its user locale is used).
posix_only="StartUpOrder.BrokenDefaultCatalogStopsTheStartUp:Runtime.BrokenDefaultCatalogRaisesOutOfTranslateAndBuiltInTexts"
posix_only+=":EmbeddedFiles.CatalogsInsideTheExecutableAreFoundAndRead:LanguageChoice.WithoutLangTheLocaleEnvironmentDecides"
posix_only+=":Domain.FileThatIsNotACatalogIsRejectedOnceThenKeysComeBack:Domain.TruncatedAndCorruptedCatalogsAreRejected"
# Wine cannot start msgfmt; the test's stand-in compiler knows no plural pairs or contexts.
posix_only+=":Domain.PluralPairsAndContextsCompiledByMsgfmt"
# The user locale's names, where the identifier table would say en_UK.
for locale in ru_RU en_GB; do
  check "test_win32_language $locale" quiet env -u LANG LC_ALL=$locale.UTF-8 PD_EXPECTED_LANGUAGE=$locale \
    "${run[@]}" "$tests/test_win32_language.exe"
done
check test_localization quiet "${run[@]}" "$tests/test_localization.exe" --gtest_filter="-$posix_only"

# The backend on COM5, a pseudo-terminal whose far end echoes.
far_in=$(mktemp -u); mkfifo "$far_in"
python3 tests/windows/pty_far_end.py "$WINEPREFIX/dosdevices/com5" <"$far_in" >/dev/null & far=$!
exec 7>"$far_in"
for _ in $(seq 50); do [ -L "$WINEPREFIX/dosdevices/com5" ] && break; sleep 0.1; done
check test_win32_device quiet env PD_TEST_COM_PORT=COM5 "${run[@]}" "$tests/test_win32_device.exe"
exec 7>&-; wait $far || true; rm -f "$far_in"

# The companion: the same JSON as the Linux build's, on SIM and on COM6, a
# pseudo-terminal served by the Linux build's simulator tool, which stays for
# one run after another as a unit left plugged in. The same port opens again
# after each run: the adapter check, then three diagnoses.
work=$(mktemp -d); trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT
cp data/*.txt "$work"/
cd "$work"
cli=("${run[@]}" "$win/cli/pumpdiag-cli.exe")
"$linux/cli/pumpdiag-cli" diagnose --port SIM --read-faults --json >linux.json 2>/dev/null || true
check "pumpdiag-cli.exe on SIM" bash -c '"$@" diagnose --port SIM --read-faults --json 2>/dev/null >win.json; diff --strip-trailing-cr linux.json win.json' _ "${cli[@]}"
"$linux/pumpsim/tools/pumpsim-tool" --pty --stay --link "$WINEPREFIX/dosdevices/com6" >/dev/null 2>&1 & tool=$!
for _ in $(seq 600); do [ -L "$WINEPREFIX/dosdevices/com6" ] && break; sleep 0.1; done
sed 's/"port":"SIM"/"port":"COM6"/' linux.json >linux-com6.json
# The check opens and closes the port before the diagnoses open it again; it
# must see every echo. Its latency verdict is a figure of the machine's load
# (a pty's bytes pass through a kernel worker at normal priority), so "too
# slow" (3) is taken as well as "fits" (0); bench/com_answer measures it.
adapter_check() {
  local out code
  out=$("${cli[@]}" check-adapter --port COM6 2>&1); code=$?
  grep -q "100 came back as echo" <<<"$out" && { [ $code -eq 0 ] || [ $code -eq 3 ]; } || { echo "$out (exit $code)"; false; }
}
check "pumpdiag-cli.exe check-adapter on COM6: every echo" adapter_check
check "pumpdiag-cli.exe on COM6, opened again" bash -c '"$@" diagnose --port COM6 --read-faults --json 2>/dev/null >win-com6.json; diff --strip-trailing-cr linux-com6.json win-com6.json' _ "${cli[@]}"
for n in 2 3; do
  check "pumpdiag-cli.exe on COM6, diagnosis $n of 3" quiet "${cli[@]}" diagnose --port COM6 --read-faults
done
check "pumpdiag-cli.exe on a missing port" bash -c '"$@" diagnose --port COM199 >/dev/null 2>&1; [ $? -eq 10 ]' _ "${cli[@]}"
kill $tool 2>/dev/null || true; wait $tool 2>/dev/null || true
# A start that fails says why, as on Linux: on COM7, a unit that never wakes
# behind an echoing adapter, then no adapter at all (nothing echoes).
for row in "--silent:no_answer" "--silent --no-echo:no_echo"; do
  "$linux/pumpsim/tools/pumpsim-tool" --pty ${row%%:*} --link "$WINEPREFIX/dosdevices/com7" >/dev/null 2>&1 & tool=$!
  for _ in $(seq 600); do [ -L "$WINEPREFIX/dosdevices/com7" ] && break; sleep 0.1; done
  check "pumpdiag-cli.exe on COM7 (${row%%:*}): failure ${row##*:}" bash -c \
    '"${@:2}" diagnose --port COM7 --json 2>/dev/null | grep -q "\"failure\":{\"cause\":\"$1\""' _ "${row##*:}" "${cli[@]}"
  kill $tool 2>/dev/null || true; wait $tool 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com7"
done
cd "$root"
exit $failed
