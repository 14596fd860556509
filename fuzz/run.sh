#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan) in build/fuzz and runs them one after another
# for SECONDS in all (default 60), seeded from the test cases, then prints the executions of each
# and their total. Usage: fuzz/run.sh [SECONDS]. The targets share the time by weight: those
# whose inputs cost most (drawing through cairo) get the most. Exits non-zero on any finding;
# the reproducer is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${QUILLET_FUZZ_BUILD:-build/fuzz}  # another folder keeps a run going alongside
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLET_WERROR=ON -DQUILLET_BUILD_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_CLI=ON \
  >/dev/null
cmake --build "$build" --target quillet_fuzzers

# The font libraries' process-lifetime caches are no leaks of ours.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0

rm -rf "$build/seeds"
python3 fuzz/make_corpus.py "$build/seeds"
mkdir -p "$build/findings"

# target, weight, longest input
targets=(
  "draw 3 512"
  "cairo 3 512"
  "png 2 512"
  "table 1 2048"
  "options 1 512"
)
weights=0
for entry in "${targets[@]}"; do
  read -r _ weight _ <<<"$entry"
  weights=$((weights + weight))
done

total=0
for entry in "${targets[@]}"; do
  read -r short weight maxLength <<<"$entry"
  name=quillet_${short}_fuzzer
  target=$build/fuzz/$name
  [ -x "$target" ] || { echo "fuzz: $name was not built (cairo missing?)"; continue; }
  share=$((seconds * weight / weights))
  [ "$share" -ge 1 ] || share=1
  corpus=$build/corpus/$name
  seeds=$build/seeds/$short
  mkdir -p "$corpus" "$seeds"
  # Every test case first, once each, so that a fault there is reported on its own seed.
  "$target" -runs=0 -artifact_prefix="$build/findings/$name-" "$seeds" 2>"$build/$name.log" ||
    { tail -n 40 "$build/$name.log"; echo "fuzz: $name fails on a seed" >&2; exit 1; }
  echo "fuzz: $name for ${share}s"
  # Two frames of each allocation's stack, not thirty, cost far less per input; a finding can be
  # run again alone for the whole stacks: build/fuzz/fuzz/NAME REPRODUCER.
  ASAN_OPTIONS=malloc_context_size=2 \
    "$target" -max_total_time="$share" -print_final_stats=1 -max_len="$maxLength" \
      -artifact_prefix="$build/findings/$name-" "$corpus" "$seeds" 2>"$build/$name.log" ||
    { tail -n 40 "$build/$name.log"; echo "fuzz: $name found a fault" >&2; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$name.log")
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$build/$name.log")
  echo "fuzz: $name ran $runs inputs (peak RSS ${rss} MB)"
  total=$((total + runs))
done
echo "fuzz: $total inputs in all"
