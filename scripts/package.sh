#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package from the
# same build: build/pumpdiag_<version>_<arch>.deb (or in $BUILD_DIR).
# Install it with: sudo apt install ./build/pumpdiag_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
bash scripts/build.sh
cmake --build "${BUILD_DIR:-build}" --target package
