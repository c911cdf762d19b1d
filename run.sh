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

# The build's progress on one line that updates itself (on a terminal); the whole
# output goes to build.log, whose end is shown when the build fails.
build() {
  local jobs=$1 log="$BUILD/build.log" status
  if [ -t 2 ]; then
    local cols=$(( $(tput cols 2>/dev/null || echo 80) - 1 ))
    set +e
    cmake --build "$BUILD" -j"$jobs" 2>&1 | tee "$log" | while IFS= read -r line; do
      case $line in
        \[*/*\]*) printf '\r\033[K%s' "${line:0:$cols}" >&2 ;;
      esac
    done
    status=${PIPESTATUS[0]}
    set -e
    printf '\r\033[K' >&2
  else
    status=0
    cmake --build "$BUILD" -j"$jobs" >"$log" 2>&1 || status=$?
  fi
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "run.sh: the build failed (all of it in $log)" >&2
  fi
  return "$status"
}
echo "run.sh: building $BUILD" >&2
build 2 || build 1

# No arguments: the editor on the sample drawing. --headless: the sample drawn into
# draftwell-sample.png in the current folder, for machines without a display.
# Anything else goes to the editor (for example a file to open).
SAMPLE="$ROOT/samples/bracket.dxf"
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
