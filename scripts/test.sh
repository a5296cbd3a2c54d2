#!/usr/bin/env bash
# Builds everything, runs the fuzz targets for a bounded time, then the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
./scripts/fuzz.sh 15
./scripts/tsan.sh
ctest --test-dir build --output-on-failure -j2 --timeout 600
