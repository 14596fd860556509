#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan) in build/fuzz and runs each for a bounded
# time, seeded from the test cases. Usage: fuzz/run.sh [SECONDS_PER_TARGET, default 60].
# Exits non-zero on any finding; the reproducer is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLET_WERROR=ON -DQUILLET_BUILD_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_CLI=OFF \
  >/dev/null
cmake --build "$build"

python3 fuzz/make_corpus.py "$build/seeds"
mkdir -p "$build/findings"
for target in "$build"/fuzz/*_fuzzer; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  # Every test case first, once each, so that a fault there is reported on its own seed.
  "$target" -runs=0 "$build/seeds" 2>"$build/$name.log" ||
    { tail -n 40 "$build/$name.log"; echo "fuzz: $name fails on a seed" >&2; exit 1; }
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 -max_len=512 \
    -artifact_prefix="$build/findings/$name-" "$corpus" "$build/seeds" 2>"$build/$name.log" ||
    { tail -n 40 "$build/$name.log"; echo "fuzz: $name found a fault" >&2; exit 1; }
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$name.log" |
    sed "s/^/fuzz: $name /"
done
