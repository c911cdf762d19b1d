#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the editor.
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

# No arguments: the editor on the sample drawing. --headless: the sample drawn into
# draftwell-sample.png in the current folder, for machines without a display.
# Anything else goes to the editor (for example a file to open).
SAMPLE="$ROOT/samples/plan.dxf"
if [ $# -eq 0 ]; then
  exec "$BUILD/src/editor/draftwell" "$SAMPLE"
fi
if [ "$1" = "--headless" ]; then
  OUT="$PWD/draftwell-sample.png"
  QT_QPA_PLATFORM=offscreen "$BUILD/src/cli/draftwell-cli" render "$SAMPLE" -o "$OUT" >&2
  echo "$OUT"
  exit 0
fi
exec "$BUILD/src/editor/draftwell" "$@"
