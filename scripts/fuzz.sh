#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang in a build folder of their
# own and runs each for the given seconds (default 20), as many at once as
# there are processors. Fails when a target crashes, leaks, hits undefined
# behaviour or fails one of its checks; the input that did it is kept in
# <build folder>/fuzz-artifacts. New inputs found are kept in
# <build folder>/fuzz-corpus for the next run; the seeds stay as committed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${FUZZ_JOBS:-$(nproc)}"
targets=(catalog embedded_files text_file ini_store registry_store engine trace report_settings)

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DPUMPDIAG_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$build" --target pd_fuzz_all

# The targets write the files they read many times a second: keep them in memory.
scratch="$(mktemp -d "${FUZZ_TMPDIR:-/dev/shm}/pd-fuzz.XXXXXX" 2>/dev/null || mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/fuzz-artifacts"

run() {
    local t="$1"
    set +e
    mkdir -p "$build/fuzz-corpus/$t"
    TMPDIR="$scratch" "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
        "$build/fuzz-corpus/$t" "tests/fuzz/corpus/$t" >"$scratch/$t.log" 2>&1
    echo $? >"$scratch/$t.rc"
}

for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    run "$t" &
done
wait
failed=()
for t in "${targets[@]}"; do
    if [ "$(cat "$scratch/$t.rc" 2>/dev/null)" = 0 ]; then
        runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$t.log" | grep -o '[0-9]*$' || echo '?')"
        echo "fuzz_$t: held for ${seconds} s, $runs inputs"
    else
        failed+=("$t")
        echo "fuzz_$t: FAILED"
        tail -n 40 "$scratch/$t.log"
    fi
done
if [ "${#failed[@]}" -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]} (inputs in $build/fuzz-artifacts)"
    exit 1
fi
echo "fuzz targets: all ${#targets[@]} held"
