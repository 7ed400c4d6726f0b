#!/usr/bin/env bash
# Runs the test suites several times in a row (5 unless --runs says) with a
# busy loop on every core, as on a machine busy with other work, and says how
# many runs passed. The Linux suite (ctest in build/) always; the Windows
# suites under Wine (scripts/test-windows.sh, scripts/test-windows-window.sh)
# too unless --linux-only. Builds first what is missing (scripts/build.sh; the
# Windows scripts build their own). Each run's output goes to
# build/test-under-load/run-N.log. Exits 0 only when every run passed.
#
#   bash scripts/test-under-load.sh [--runs N] [--linux-only]
set -uo pipefail
cd "$(dirname "$0")/.."

runs=5
windows=1
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=${2:-}; shift 2 || break ;;
    --runs=*) runs=${1#*=}; shift ;;
    --linux-only) windows=0; shift ;;
    *) echo "usage: $0 [--runs N] [--linux-only]" >&2; exit 2 ;;
  esac
done
case $runs in ''|*[!0-9]*|0) echo "$0: --runs needs a count above 0" >&2; exit 2 ;; esac

build=$(realpath -ms "${BUILD_DIR:-build}")
BUILD_TARGETS= bash scripts/build.sh || exit 1
logs=$build/test-under-load
mkdir -p "$logs"

# One busy loop a core, stopped however this script ends.
loops=()
stop_loops() {
  for pid in "${loops[@]}"; do kill "$pid" 2>/dev/null; done
  wait "${loops[@]}" 2>/dev/null
}
trap stop_loops EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
cores=$(nproc)
for _ in $(seq "$cores"); do
  bash -c 'while :; do :; done' &
  loops+=($!)
done
echo "busy loops on $cores cores: ${loops[*]}"

suite() {  # name command...: runs one suite into the run's log
  local name=$1; shift
  local start=$SECONDS
  echo "== $name" >>"$log"
  if "$@" >>"$log" 2>&1; then
    echo "   $name passed ($((SECONDS - start)) s)"
    return 0
  fi
  echo "   $name FAILED ($((SECONDS - start)) s)"
  return 1
}

passed=0
for run in $(seq "$runs"); do
  log=$logs/run-$run.log
  : >"$log"
  start=$SECONDS
  echo "run $run of $runs"
  ok=1
  suite "Linux suite" env -C "$build" QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 || ok=0
  if [ $windows = 1 ]; then
    # With the same Linux build; BUILD_DIR names the Windows build there.
    suite "Windows suites" env -u BUILD_DIR LINUX_BUILD_DIR="$build" bash scripts/test-windows.sh || ok=0
    suite "Windows window and installer" env -u BUILD_DIR LINUX_BUILD_DIR="$build" \
      bash scripts/test-windows-window.sh || ok=0
  fi
  if [ $ok = 1 ]; then
    passed=$((passed + 1))
    echo "run $run passed in $((SECONDS - start)) s"
  else
    echo "run $run FAILED in $((SECONDS - start)) s (see $log)"
  fi
done
echo "$passed of $runs runs passed under load"
[ "$passed" = "$runs" ]
