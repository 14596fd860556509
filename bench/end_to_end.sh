#!/usr/bin/env bash
# End to end: the same 10,000 EAN-13 and 10,000 Code 128 symbols drawn as PNG files by
# `quillet batch` and by `zint --batch`, in one run, and the ratio of the wall times; then the
# peak RSS of a large batch against a small one (a batch must not grow with its length).
# Usage: bench/end_to_end.sh [QUILLET_BINARY] [COUNT, default 10000] [LARGE, default 1000000]
set -euo pipefail
cd "$(dirname "$0")/.."

quillet=${1:-build/bench/cli/quillet}
count=${2:-10000}
large=${3:-1000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Distinct data per row: twelve EAN-13 digits (the check digit is computed by both), and a
# Code 128 text in set B.
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,%012d\n", 400000000000 + i }' \
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

declare -A quillet_time zint_time
for kind in ean13 code128; do
  mkdir -p "$work/$kind-quillet" "$work/$kind-zint"
  quillet_time[$kind]=$(seconds "$quillet" batch "$work/$kind.csv" -o "$work/$kind-quillet")
  case $kind in ean13) symbology=13 ;; code128) symbology=20 ;; esac
  zint_time[$kind]=$(seconds zint -b "$symbology" --batch --filetype=PNG \
    -i "$work/$kind.txt" -o "$work/$kind-zint/~~~~~~.png")
  made_q=$(find "$work/$kind-quillet" -name '*.png' | wc -l)
  made_z=$(find "$work/$kind-zint" -name '*.png' | wc -l)
  printf '%-8s %6d PNGs  quillet %7.2f s (%d files)  zint %7.2f s (%d files)  zint/quillet %.2fx\n' \
    "$kind" "$count" "${quillet_time[$kind]}" "$made_q" "${zint_time[$kind]}" "$made_z" \
    "$(echo "${zint_time[$kind]} / ${quillet_time[$kind]}" | bc -l)"
  rm -rf "$work/$kind-quillet" "$work/$kind-zint"
done
total_q=$(echo "${quillet_time[ean13]} + ${quillet_time[code128]}" | bc -l)
total_z=$(echo "${zint_time[ean13]} + ${zint_time[code128]}" | bc -l)
printf 'both     %6d PNGs  quillet %7.2f s  zint %7.2f s  zint/quillet %.2fx\n' \
  $((2 * count)) "$total_q" "$total_z" "$(echo "$total_z / $total_q" | bc -l)"

# Peak RSS: a batch drawn into a PDF that goes nowhere (the file is /dev/null), small and large.
peak_rss_kb() {
  local rows=$1
  awk -v n="$rows" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,%012d\n", 400000000000 + i }' \
    >"$work/rows.csv"
  ln -sf /dev/null "$work/null.pdf"
  /usr/bin/time -f '%M' -o "$work/rss" "$quillet" batch "$work/rows.csv" -o "$work/null.pdf" \
    >/dev/null 2>&1 || true
  cat "$work/rss"
}
small_rss=$(peak_rss_kb 1000)
large_rss=$(peak_rss_kb "$large")
printf 'peak RSS  1000 rows %d KiB  %d rows %d KiB  ratio %.2f (target <= 1.10)\n' \
  "$small_rss" "$large" "$large_rss" "$(echo "$large_rss / $small_rss" | bc -l)"
