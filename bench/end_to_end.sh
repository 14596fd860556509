#!/usr/bin/env bash
# End to end: the same 10,000 EAN-13 and 10,000 Code 128 symbols drawn as PNG files by
# `quillet batch` and by `zint --batch`, in one run, and the ratio of the wall times; the same
# batches drawn and encoded without writing (-o /dev/null); then the peak RSS of a large batch
# against a small one, both to /dev/null (a batch must not grow with its length).
# Usage: bench/end_to_end.sh [QUILLET_BINARY] [COUNT, default 10000] [LARGE, default 1000000]
# The files go to /dev/shm when it is there (QUILLET_BENCH_DIR says otherwise): on a disk, the
# time to find free inodes after earlier runs deleted thousands of files varies by seconds from
# one run to the next, whichever program is running, and would drown the programs' own times.
set -euo pipefail
cd "$(dirname "$0")/.."

quillet=${1:-build/bench/cli/quillet}
count=${2:-10000}
large=${3:-1000000}
base=${QUILLET_BENCH_DIR:-$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
work=$(mktemp -d "$base/quillet-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "files in $base"

# Distinct data per row: twelve EAN-13 digits (the check digit is computed by both), and a
# Code 128 text in set B. The numbers are built as text: awk's %d stops at 2^31 - 1 in some awks.
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,4%011d\n", i }' \
  >"$work/ean13.csv"
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "Code_128,BQUILLET-%06d\n", i }' \
  >"$work/code128.csv"
cut -d, -f2 "$work/ean13.csv" >"$work/ean13.txt"
cut -d, -f2 "$work/code128.csv" | cut -c2- >"$work/code128.txt"

seconds() {  # runs a command quietly and prints its wall time
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

declare -A quillet_time zint_time null_time
for kind in ean13 code128; do
  mkdir -p "$work/$kind-quillet" "$work/$kind-zint"
  quillet_time[$kind]=$(seconds "$quillet" batch "$work/$kind.csv" -o "$work/$kind-quillet")
  case $kind in ean13) symbology=13 ;; code128) symbology=20 ;; esac
  zint_time[$kind]=$(seconds zint -b "$symbology" --batch --filetype=PNG \
    -i "$work/$kind.txt" -o "$work/$kind-zint/~~~~~~.png")
  made_q=$(find "$work/$kind-quillet" -name '*.png' | wc -l)
  made_z=$(find "$work/$kind-zint" -name '*.png' | wc -l)
  bytes_q=$(find "$work/$kind-quillet" -name '*.png' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  printf '%-8s %6d PNGs  quillet %7.2f s (%d files, %d bytes each)  zint %7.2f s (%d files)  zint/quillet %.2fx\n' \
    "$kind" "$count" "${quillet_time[$kind]}" "$made_q" "$((bytes_q / (made_q > 0 ? made_q : 1)))" \
    "${zint_time[$kind]}" "$made_z" "$(echo "${zint_time[$kind]} / ${quillet_time[$kind]}" | bc -l)"
  rm -rf "$work/$kind-quillet" "$work/$kind-zint"
  null_time[$kind]=$(seconds "$quillet" batch "$work/$kind.csv" -o /dev/null)
done
total_q=$(echo "${quillet_time[ean13]} + ${quillet_time[code128]}" | bc -l)
total_z=$(echo "${zint_time[ean13]} + ${zint_time[code128]}" | bc -l)
printf 'both     %6d PNGs  quillet %7.2f s  zint %7.2f s  zint/quillet %.2fx (target >= 1.50)\n' \
  $((2 * count)) "$total_q" "$total_z" "$(echo "$total_z / $total_q" | bc -l)"
printf 'drawn and encoded, not written (-o /dev/null): ean13 %.2f s  code128 %.2f s\n' \
  "${null_time[ean13]}" "${null_time[code128]}"

# Peak RSS: a batch drawn and encoded to /dev/null, small and large.
peak_rss_kb() {
  local rows=$1
  awk -v n="$rows" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,4%011d\n", i }' \
    >"$work/rows.csv"
  /usr/bin/time -f '%M' -o "$work/rss" "$quillet" batch "$work/rows.csv" -o /dev/null \
    >/dev/null 2>&1 || true
  cat "$work/rss"
}
small_rss=$(peak_rss_kb 1000)
large_rss=$(peak_rss_kb "$large")
printf 'peak RSS  1000 rows %d KiB  %d rows %d KiB  ratio %.2f (target <= 1.10)\n' \
  "$small_rss" "$large" "$large_rss" "$(echo "$large_rss / $small_rss" | bc -l)"
