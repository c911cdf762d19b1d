#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
# The whole run's time, printed however it ends.
started=$(date +%s)
trap 'e=$(( $(date +%s) - started )); echo "test.sh: $((e / 60)) min $((e % 60)) s"' EXIT
./scripts/install-deps.sh

BUILD=build/test
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths relative to the checkout, so that a fresh clone elsewhere reuses the cache.
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDRAFTWELL_SANITIZE=ON "${launcher[@]}"
cmake --build "$BUILD" -j2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure -j2 "$@"
