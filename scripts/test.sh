#!/usr/bin/env bash
# Installs what is missing, builds everything (scripts/run.sh builds only the
# program) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
BUILD_TARGETS= bash scripts/build.sh
cd "${BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300
