#!/usr/bin/env bash
# Cross-builds marvena-spool.exe for 64-bit Windows (and its tests, run by
# scripts/test-windows.sh under Wine), then the installer when makensis is there.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${MARVENA_WIN_BUILD:-build-win}
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2
if [ -f installer/marvena-spool.nsi ]; then
  if command -v makensis >/dev/null; then
    makensis -V2 -DEXE="$PWD/$BUILD/marvena-spool.exe" -DREADME="$PWD/README.md" \
      -DVERSION="$(sed -n 's/^project(MarvenaSpool VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
      -DOUTFILE="$PWD/$BUILD/marvena-spool-setup.exe" installer/marvena-spool.nsi
  else
    echo "build-windows: makensis missing (Debian package nsis); installer not built" >&2
    exit 1
  fi
fi
