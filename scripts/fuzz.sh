#!/usr/bin/env bash
# One reproducible libFuzzer campaign:  scripts/fuzz.sh TARGET SECONDS
#
# Builds TARGET (clang, AddressSanitizer + UBSan, in build/fuzz), runs it for SECONDS
# on fuzz/corpus/TARGET with the format's dictionary, merges the inputs that add
# coverage back into fuzz/corpus/TARGET and appends libFuzzer's final statistics to
# fuzz/stats/TARGET.log, so that campaigns add up (commit both).
#
# Environment: JOBS (parallel fuzzing processes, default 1), MAX_LEN (default 4096),
# ENTROPIC (libFuzzer's entropic schedule, default 0), TIMEOUT (seconds one input may take, default
# 10; raise it on a busy machine),
# SEED (default 1; each job adds its number), NICE (default 19: campaigns run beside
# builds), BUILD (default build/fuzz), NO_BUILD=1 (use the built target as it is).
# Crash inputs land in build/fuzz/artifacts/; make each a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
seconds=${2:?usage: scripts/fuzz.sh TARGET SECONDS}
jobs=${JOBS:-1}
max_len=${MAX_LEN:-4096}
seed=${SEED:-1}
nice_level=${NICE:-19}
build=${BUILD:-build/fuzz}

if [ "${NO_BUILD:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DDRAFTWELL_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_C_FLAGS_FUZZ="-O1 -g" -DCMAKE_CXX_FLAGS_FUZZ="-O1 -g" \
    -DDRAFTWELL_TESTS=OFF -DDRAFTWELL_BENCH=OFF >/dev/null
  nice -n "$nice_level" cmake --build "$build" --target "$target" -j"${BUILD_JOBS:-2}"
fi
bin="$build/fuzz/$target"
[ -x "$bin" ] || { echo "fuzz.sh: no such target: $bin" >&2; exit 2; }

# The dictionary of the format the target reads.
case "$target" in
  fuzz_dxf_*) dict=fuzz/dict/dxf.dict ;;
  fuzz_dwg_*) dict=fuzz/dict/dwg.dict ;;
  fuzz_hpgl_*) dict=fuzz/dict/hpgl.dict ;;
  fuzz_xml_*) dict=fuzz/dict/xml.dict ;;
  fuzz_sniff*) dict=fuzz/dict/sniff.dict ;;
  *) dict= ;;
esac

corpus=fuzz/corpus/$target
mkdir -p "$corpus" fuzz/stats "$build/artifacts"
work=$(mktemp -d)
logs=$(mktemp -d)
trap 'rm -rf "$work" "$logs"' EXIT

# The entropic schedule spends most of a short campaign's time in its own feature
# bookkeeping (measured: two thirds of the CPU on a fresh DXF corpus); ENTROPIC=1
# turns it back on for long runs.
args=(-max_len="$max_len" -max_total_time="$seconds" -print_final_stats=1 -timeout="${TIMEOUT:-10}" -rss_limit_mb=2560
      -entropic="${ENTROPIC:-0}" -print_funcs=0
      -artifact_prefix="$build/artifacts/$target-")
[ -n "$dict" ] && args+=(-dict="$dict")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:max_allocation_size_mb=2048}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
if [ "$jobs" -le 1 ]; then
  nice -n "$nice_level" "$bin" "${args[@]}" -seed="$seed" "$work" "$corpus" >"$logs/fuzz-0.log" 2>&1 || status=$?
else
  # One process per job, each with its own seed; they share the new-input folder.
  pids=()
  for ((j = 0; j < jobs; j++)); do
    nice -n "$nice_level" "$bin" "${args[@]}" -seed=$((seed + j)) "$work" "$corpus" >"$logs/fuzz-$j.log" 2>&1 &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=$?; done
fi
tail -n 5 "$logs"/fuzz-*.log

# Keep only the inputs that add coverage.
nice -n "$nice_level" "$bin" -merge=1 -max_len="$max_len" "$corpus" "$work" >"$logs/merge.log" 2>&1 || true

# The final statistics of every job, summed, and the last coverage line.
units=0
speed=0
for l in "$logs"/fuzz-*.log; do
  u=$(sed -n 's/^stat::number_of_executed_units: *//p' "$l" | tail -n 1)
  s=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$l" | tail -n 1)
  units=$((units + ${u:-0}))
  speed=$((speed + ${s:-0}))
done
cov=$(grep -h -o 'cov: [0-9]* ft: [0-9]*' "$logs"/fuzz-*.log | tail -n 1)
files=$(find "$corpus" -type f | wc -l)
line="$(date -u +%Y-%m-%dT%H:%M:%SZ) commit=$(git rev-parse --short HEAD) seconds=$seconds jobs=$jobs max_len=$max_len seed=$seed"
line+=" stat::number_of_executed_units=$units exec_per_sec=$speed ${cov:-cov: ?} corpus_files=$files exit=$status"
echo "$line" >>"fuzz/stats/$target.log"
total=$(sed -n 's/.*stat::number_of_executed_units=\([0-9]*\).*/\1/p' "fuzz/stats/$target.log" | awk '{t += $1} END {print t + 0}')
echo "$line"
echo "fuzz.sh: $target: $total executions in all logged campaigns"
exit "$status"
