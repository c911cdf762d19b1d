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
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$BUILD" -j2

if [ -x "$BUILD/src/cli/draftwell-cli" ]; then
  exec "$BUILD/src/cli/draftwell-cli" "$@"
fi
echo "Draftwell: the library is built in $BUILD; the command-line tool and the editor come with later work."
