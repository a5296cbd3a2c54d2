#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time over its seed corpus. Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-15}"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARVENA_BUILD_FUZZ=ON -DMARVENA_BUILD_TESTS=OFF -DMARVENA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  >/dev/null
targets=(dff mff sam upload_target)
corpus=(dff mff sam ftp)
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
for i in "${!targets[@]}"; do
  work="$(mktemp -d)"
  echo "fuzz_${targets[$i]}: ${seconds} s"
  build-fuzz/fuzz/"fuzz_${targets[$i]}" -max_total_time="$seconds" -max_len=16384 \
    -print_final_stats=0 "$work" "fuzz/corpus/${corpus[$i]}" 2>"$work.log" ||
    { tail -n 40 "$work.log"; exit 1; }
  rm -rf "$work" "$work.log"
done
echo "fuzz: all targets ran clean"
