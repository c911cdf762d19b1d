#!/usr/bin/env bash
# Installs what is missing, builds a release build and runs the program's main job.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
"$ROOT/scripts/install-deps.sh"

BUILD="$ROOT/build/release"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRAFTWELL_TESTS=OFF -DDRAFTWELL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$BUILD" -j2 >/dev/null || cmake --build "$BUILD" -j1

# Until the editor exists, the main job is draftwell-cli on the given arguments.
echo "run.sh: draftwell-cli ${*:-help}" >&2
exec "$BUILD/src/cli/draftwell-cli" "${@:-help}"
