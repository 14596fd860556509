#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan) in build/fuzz, replays every seed (the test
# cases, and every input kept in fuzz/found/TARGET/ since it once found a fault), then fuzzes.
#
#   fuzz/run.sh [SECONDS]  explores at random for SECONDS in all (default 60): the targets share
#                          the time by weight, those whose inputs cost most (drawing through
#                          cairo) get the most. Anything found is left in build/fuzz/findings/;
#                          keep it in fuzz/found/TARGET/ once mended, so that every run replays it.
#   fuzz/run.sh --fixed    a fixed number of executions per target from a fixed seed, about a
#                          minute in all: the same commit always gives the same verdict (the
#                          gate in scripts/test.sh).
#
# Prints the executions of each target and their total; exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

fixed=0
seconds=60
case "${1:-}" in
  --fixed) fixed=1 ;;
  '') ;;
  *[!0-9]* | 0) echo "usage: fuzz/run.sh [SECONDS | --fixed]" >&2; exit 64 ;;
  *) seconds=$1 ;;
esac
build=${QUILLET_FUZZ_BUILD:-build/fuzz}  # another folder keeps a run going alongside
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLET_WERROR=ON -DQUILLET_BUILD_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_CLI=ON \
  >/dev/null
cmake --build "$build" --target quillet_fuzzers

# The font libraries' process-lifetime caches are no leaks of ours.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0
# Two frames of each allocation's stack, not thirty, cost far less per input; a finding can be
# run again alone for the whole stacks: build/fuzz/fuzz/NAME REPRODUCER.
export ASAN_OPTIONS=malloc_context_size=2

fixedAddresses=()
if setarch -R true 2>/dev/null; then fixedAddresses=(setarch -R); fi

rm -rf "$build/seeds"
python3 fuzz/make_corpus.py "$build/seeds"
mkdir -p "$build/findings"

# target, weight (its share of the time), longest input, executions when --fixed
targets=(
  "draw 3 512 140000"
  "cairo 3 512 60000"
  "png 2 512 34000"
  "table 1 2048 70000"
  "options 1 512 120000"
)
weights=0
for entry in "${targets[@]}"; do
  read -r _ weight _ _ <<<"$entry"
  weights=$((weights + weight))
done

total=0
for entry in "${targets[@]}"; do
  read -r short weight maxLength runs <<<"$entry"
  name=quillet_${short}_fuzzer
  target=$build/fuzz/$name
  [ -x "$target" ] || { echo "fuzz: $name was not built (cairo missing?)"; continue; }
  seeds=$build/seeds/$short
  mkdir -p "$seeds"
  log=$build/$name.log
  # Every seed first, once each, so that a fault there is reported on its own seed.
  "$target" -runs=0 -artifact_prefix="$build/findings/$name-" "$seeds" 2>"$log" ||
    { tail -n 40 "$log"; echo "fuzz: $name fails on a seed" >&2; exit 1; }
  options=(-print_final_stats=1 -max_len="$maxLength" -artifact_prefix="$build/findings/$name-")
  if [ "$fixed" = 1 ]; then
    # The seeds by name, in a fixed order, and no corpus folder: the order in which a folder
    # lists its files differs between file systems, and a folder kept from an earlier run
    # would start elsewhere. No mutations from the operands of comparisons either: some are
    # addresses, which differ from run to run; and no address randomisation where the system
    # allows it, since addresses still steer cairo's caches and so the paths a run takes.
    list=$build/$name.seeds
    find "$seeds" -type f | LC_ALL=C sort | paste -sd, - >"$list"
    echo "fuzz: $name for $runs inputs"
    "${fixedAddresses[@]}" "$target" -seed=1 -runs="$runs" -use_cmp=0 -seed_inputs=@"$list" \
      "${options[@]}" 2>"$log" ||
      { tail -n 40 "$log"; echo "fuzz: $name found a fault" >&2; exit 1; }
  else
    share=$((seconds * weight / weights))
    [ "$share" -ge 1 ] || share=1
    corpus=$build/corpus/$name
    mkdir -p "$corpus"
    echo "fuzz: $name for ${share}s"
    "$target" -max_total_time="$share" "${options[@]}" "$corpus" "$seeds" 2>"$log" ||
      { tail -n 40 "$log"; echo "fuzz: $name found a fault" >&2; exit 1; }
  fi
  ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  echo "fuzz: $name ran $ran inputs (peak RSS ${rss} MB)"
  total=$((total + ran))
done
echo "fuzz: $total inputs in all"
