#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests into build-windows/ (or
# $BUILD_DIR) with MinGW-w64; installs what is missing first. Extra arguments
# go to the configure step. Uses ccache when the machine has it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --windows
BUILD_DIR=${BUILD_DIR:-build-windows}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "${launcher[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" --target all pd_windows_tests
