#!/usr/bin/env bash
# Builds everything, runs the fuzz targets for a bounded time, then the whole test suite;
# then the Windows build and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
./scripts/fuzz.sh 15
./scripts/tsan.sh
ctest --test-dir build --output-on-failure -j2 --timeout 600
# The Windows build: cross-built, packaged, and tested under Wine.
./scripts/build-windows.sh
./scripts/test-windows.sh
