#!/usr/bin/env bash
# Builds the dispatcher and print-job tests with ThreadSanitizer and runs the
# ones where another thread (the window's) works beside the jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARVENA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j"$(nproc)" --target foundation_tests printing_unit_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
build-tsan/tests/foundation/foundation_tests --gtest_filter='Dispatcher*:Lifecycle*' >/dev/null
build-tsan/tests/printing/printing_unit_tests --gtest_filter='TextPrintJobTest.*' >/dev/null
echo "tsan: clean"
