#!/usr/bin/env bash
# End to end: the same 10,000 EAN-13 and 10,000 Code 128 symbols drawn as PNG files by
# `quillet batch` (with its default threads and with --threads 1) and by `zint --batch`, in one
# run, by wall time and by CPU time; the same batches drawn and encoded without writing
# (-o /dev/null); then the peak RSS of a large batch against a small one, both to /dev/null (a
# batch must not grow with its length).
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
# Code 128 text (batch chooses set B for it, as zint does). The numbers are built as text: awk's
# %d stops at 2^31 - 1 in some awks.
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,4%011d\n", i }' \
  >"$work/ean13.csv"
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "Code_128,QUILLET-%06d\n", i }' \
  >"$work/code128.csv"
cut -d, -f2 "$work/ean13.csv" >"$work/ean13.txt"
cut -d, -f2 "$work/code128.csv" >"$work/code128.txt"

# Runs a command quietly and prints its wall time and its CPU time (user + system), in seconds.
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time"
}
ratio() { echo "$1 / $2" | bc -l; }

# Per symbology: quillet with its default threads and with one, zint (one thread), each into a
# fresh folder; the ratios are zint's time over quillet's, by wall time and by CPU time.
declare -A wall cpu
printf '%-8s %-18s %8s %8s %11s %11s\n' kind program wall-s cpu-s zint/q-wall zint/q-cpu
for kind in ean13 code128; do
  case $kind in ean13) symbology=13 ;; code128) symbology=20 ;; esac
  for program in quillet quillet-1 zint; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    case $program in
      quillet) read -r w c < <(timed "$quillet" batch "$work/$kind.csv" -o "$work/out") ;;
      quillet-1) read -r w c < <(timed "$quillet" batch "$work/$kind.csv" -o "$work/out" --threads 1) ;;
      zint) read -r w c < <(timed zint -b "$symbology" --batch --filetype=PNG \
        -i "$work/$kind.txt" -o "$work/out/~~~~~~.png") ;;
    esac
    made=$(find "$work/out" -name '*.png' | wc -l)
    [ "$made" -eq "$count" ] || echo "$kind $program: $made files, expected $count" >&2
    wall[$kind-$program]=$w
    cpu[$kind-$program]=$c
  done
  for program in quillet quillet-1 zint; do
    printf '%-8s %-18s %8.2f %8.2f %10.2fx %10.2fx\n' "$kind" \
      "$([ $program = quillet-1 ] && echo 'quillet --threads 1' || echo $program)" \
      "${wall[$kind-$program]}" "${cpu[$kind-$program]}" \
      "$(ratio "${wall[$kind-zint]}" "${wall[$kind-$program]}")" \
      "$(ratio "${cpu[$kind-zint]}" "${cpu[$kind-$program]}")"
  done
done
rm -rf "$work/out"
echo "targets: zint/quillet >= 2.50x with the default threads, >= 1.50x with --threads 1"
for kind in ean13 code128; do
  read -r w c < <(timed "$quillet" batch "$work/$kind.csv" -o /dev/null)
  printf 'drawn and encoded, not written (-o /dev/null): %-8s wall %.2f s  cpu %.2f s\n' "$kind" "$w" "$c"
done

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
