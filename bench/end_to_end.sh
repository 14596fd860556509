#!/usr/bin/env bash
# End to end: the same 10,000 EAN-13 and 10,000 Code 128 symbols (Code 128 with its check
# character, as every reader expects it) drawn as PNG files by `quillet batch`, with one thread
# and with its default threads, and by `zint --batch` (one thread), both at quillet's pixel size
# and at zint's defaults; beside them the physical floor of the job (the same files written with
# one open, write and close each, every pixel read once: bench/file_floor.cpp), also shared by
# as many threads as there are cores, which shows what the file system allows threads writing
# into one folder (the bound of quillet's thread ratio). Every program
# runs ROUNDS times, the programs interleaved round by round; each is reported by wall and CPU
# time (user + system), minimum and median, and the ratios use the medians. A sample of every
# run's files is read back with zbarimg: a run whose sampled files do not all decode to their
# row's data is reported and fails the benchmark (exit status 1).
# Then the same batches drawn and encoded without writing (-o /dev/null), and the peak RSS of a
# large batch against a small one (a batch must not grow with its length).
#
# Usage: bench/end_to_end.sh [QUILLET_BINARY] [COUNT, default 10000] [LARGE, default 1000000]
# Environment: QUILLET_BENCH_ROUNDS (default 5), QUILLET_BENCH_SAMPLE (files decoded per run,
# default 20), QUILLET_FILE_FLOOR (the floor program, default beside the build's benchmarks),
# QUILLET_BENCH_DIR (where the files go).
# The files go to /dev/shm when it is there: on a disk, the time to find free inodes after earlier
# runs deleted thousands of files varies by seconds from one run to the next, whichever program
# is running, and would drown the programs' own times. The machine may be shared: the load
# average is printed before and after, and figures taken under load say little about threads.
set -euo pipefail
cd "$(dirname "$0")/.."

quillet=${1:-build/bench/cli/quillet}
count=${2:-10000}
large=${3:-1000000}
rounds=${QUILLET_BENCH_ROUNDS:-5}
sample=${QUILLET_BENCH_SAMPLE:-20}
floor_program=${QUILLET_FILE_FLOOR:-$(dirname "$quillet")/../bench/quillet_file_floor}
base=${QUILLET_BENCH_DIR:-$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
for tool in zint zbarimg bc /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "end_to_end: $tool is missing (bash scripts/install-deps.sh bench)" >&2; exit 2; }
done
[ -x "$floor_program" ] || { echo "end_to_end: no $floor_program (build quillet_file_floor)" >&2; exit 2; }
work=$(mktemp -d "$base/quillet-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "files in $base; $count files a run, $rounds rounds; $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Distinct plain data per row: twelve EAN-13 digits (both programs add the check digit), and a
# Code 128 text (both add the check character). The numbers are built as text: awk's %d stops at
# 2^31 - 1 in some awks. What a reader must find in row N's symbol is line N of $kind.expected.
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "EAN_13,4%011d\n", i }' \
  >"$work/ean13.csv"
awk -v n="$count" 'BEGIN { for (i = 1; i <= n; i++) printf "Code_128,QUILLET-%06d\n", i }' \
  >"$work/code128.csv"
for kind in ean13 code128; do cut -d, -f2 "$work/$kind.csv" >"$work/$kind.txt"; done
awk '{ s = 0; for (i = 1; i <= 12; i++) s += substr($0, i, 1) * (i % 2 ? 1 : 3)
       print $0 (10 - s % 10) % 10 }' "$work/ean13.txt" >"$work/ean13.expected"
cp "$work/code128.txt" "$work/code128.expected"

png_size() {
  python3 -c 'import struct, sys; print(*struct.unpack(">II", open(sys.argv[1], "rb").read(24)[16:24]))' "$1"
}

# zint's options that draw $kind at quillet's pixel size: the scale (in steps of 0.5) that gives
# quillet's width, with zint's quiet zones when they are needed for it, and the bar height that
# gives quillet's height. Prints the options; the sizes it reached go to $work/$kind.sizes.
zint_matched() {
  local kind=$1 symbology=$2 data qw qh quiet scale w h at50 at100 height try
  data=$(head -1 "$work/$kind.txt")
  head -1 "$work/$kind.csv" >"$work/one.csv"
  rm -rf "$work/one" && mkdir "$work/one"
  "$quillet" batch "$work/one.csv" -o "$work/one" >/dev/null 2>&1
  read -r qw qh < <(png_size "$(find "$work/one" -name '*.png' | head -1)")
  zsize() { zint -b "$symbology" --filetype=PNG -d "$data" -o "$work/z.png" "$@" >/dev/null 2>&1 &&
    png_size "$work/z.png"; }
  read -r w h < <(zsize)
  local defaults=${w}x$h
  for quiet in "" --quietzones; do
    for scale in 0.5 1 1.5 2 2.5 3; do
      read -r w h < <(zsize --scale=$scale $quiet)
      [ "$w" -eq "$qw" ] || continue
      at50=$(zsize --scale=$scale $quiet --height=50 | cut -d' ' -f2)
      at100=$(zsize --scale=$scale $quiet --height=100 | cut -d' ' -f2)
      height=$(echo "50 + ($qh - $at50) * 50 / ($at100 - $at50)" | bc -l)
      height=$(printf '%.1f' "$(echo "scale=0; ($height * 2 + 0.5) / 1 / 2" | bc -l)")
      for try in "$height" "$(echo "$height - 0.5" | bc)" "$(echo "$height + 0.5" | bc)"; do
        read -r w h < <(zsize --scale=$scale $quiet --height="$try")
        if [ "$w" -eq "$qw" ] && [ "$h" -eq "$qh" ]; then
          echo "${qw}x$qh ${w}x$h $defaults" >"$work/$kind.sizes"
          echo "--scale=$scale --height=$try $quiet"
          return
        fi
      done
    done
  done
  echo "no zint options draw $kind at quillet's ${qw}x$qh" >&2
  echo "${qw}x$qh unmatched $defaults" >"$work/$kind.sizes"
}

# Runs a command quietly and appends its wall time and CPU time (user + system) to $work/$1.times:
# the wall time from just before the program starts to its end, the CPU time from wait4 in
# microseconds (/usr/bin/time gives hundredths, too coarse for runs of a few tenths of a second).
timed() {
  local key=$1
  shift
  python3 -c '
import os, sys, time
start = time.perf_counter()
pid = os.posix_spawnp(sys.argv[2], sys.argv[2:], os.environ)
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter() - start
with open(sys.argv[1], "a") as times:
    times.write("%.4f %.4f\n" % (wall, usage.ru_utime + usage.ru_stime))
sys.exit(os.waitstatus_to_exitcode(status))
' "$work/$key.times" "$@" >/dev/null 2>"$work/stderr" || {
    echo "  $key: exit status $?: $(tail -1 "$work/stderr")" >&2
    echo "$key" >>"$work/failed"
  }
}

# Decodes $sample files of the folder, evenly spread, and counts those that do not read as their
# row's data (the row number leads every file name, in quillet's naming and in zint's).
check_decoded() {
  local key=$1 kind=$2 folder=$3 made bad=0 file row expected found
  made=$(find "$folder" -name '*.png' | wc -l)
  if [ "$made" -ne "$count" ]; then
    echo "  $key: $made files, expected $count" >&2
    echo "$key" >>"$work/failed"
  fi
  while read -r file; do
    row=$(basename "$file" | sed -E 's/^0*([0-9]+).*/\1/')
    expected=$(sed -n "${row}p" "$work/$kind.expected")
    found=$(zbarimg -q --raw "$file" 2>/dev/null | head -1 || true)
    [ "$found" = "$expected" ] || bad=$((bad + 1))
  done < <(find "$folder" -name '*.png' | sort | awk -v n="$made" -v s="$sample" \
    'NR == 1 || NR % int(n / s > 1 ? n / s : 1) == 0' | head -"$sample")
  if [ "$bad" -gt 0 ]; then
    echo "  $key: $bad of $sample sampled files do not decode as their rows" >&2
    echo "$key" >>"$work/failed"
  fi
}

# minimum and median of column $2 of a times file
stats() { cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { printf "%.4f %.4f\n", v[1], v[int((NR + 1) / 2)] }'; }
median() { stats "$1" "$2" | cut -d' ' -f2; }
# $1 / $2, or "-" when $2 is too small for /usr/bin/time's hundredths to measure
ratio() {
  if [ "$(echo "$2 > 0" | bc)" = 1 ]; then printf '%.2f' "$(echo "$1 / $2" | bc -l)"; else printf -- -; fi
}

programs=(quillet-1 quillet zint-same zint-default floor floor-threads)
: >"$work/failed"
declare -A zint_options
for kind in ean13 code128; do
  case $kind in ean13) symbology=13 ;; code128) symbology=20 ;; esac
  zint_options[$kind]=$(zint_matched "$kind" "$symbology")
  # The floor writes the files quillet writes.
  mkdir -p "$work/reference-$kind"
  "$quillet" batch "$work/$kind.csv" -o "$work/reference-$kind" --threads 1 >/dev/null 2>&1
  for _ in $(seq "$rounds"); do
    for program in "${programs[@]}"; do
      key=$kind-$program
      rm -rf "$work/out" && mkdir -p "$work/out"
      case $program in
        quillet) timed "$key" "$quillet" batch "$work/$kind.csv" -o "$work/out" ;;
        quillet-1) timed "$key" "$quillet" batch "$work/$kind.csv" -o "$work/out" --threads 1 ;;
        zint-same) # shellcheck disable=SC2086
          timed "$key" zint -b "$symbology" --batch --filetype=PNG ${zint_options[$kind]} \
            -i "$work/$kind.txt" -o "$work/out/~~~~~~.png" ;;
        zint-default) timed "$key" zint -b "$symbology" --batch --filetype=PNG \
          -i "$work/$kind.txt" -o "$work/out/~~~~~~.png" ;;
        floor) "$floor_program" "$work/reference-$kind" "$work/out" >>"$work/$key.times" ;;
        floor-threads) "$floor_program" "$work/reference-$kind" "$work/out" "$(nproc)" >>"$work/$key.times" ;;
      esac
      check_decoded "$key" "$kind" "$work/out"
    done
  done
  rm -rf "$work/out" "$work/reference-$kind"
done

printf '\n%-8s %-40s %-9s %15s %15s %10s\n' kind program pixels "wall min/med" "cpu min/med" "zint/q cpu"
for kind in ean13 code128; do
  read -r quillet_size zint_size default_size <"$work/$kind.sizes"
  for program in "${programs[@]}"; do
    key=$kind-$program
    read -r wall_min wall_median < <(stats "$work/$key.times" 1)
    read -r cpu_min cpu_median < <(stats "$work/$key.times" 2)
    case $program in
      quillet-1) label="quillet --threads 1" size=$quillet_size ;;
      quillet) label="quillet (default threads)" size=$quillet_size ;;
      zint-same) label="zint ${zint_options[$kind]}" size=$zint_size ;;
      zint-default) label="zint (defaults)" size=$default_size ;;
      floor) label="floor (write + read pixels)" size=$quillet_size ;;
      floor-threads) label="floor, $(nproc) threads" size=$quillet_size ;;
    esac
    against=""
    case $program in quillet*) against=$(ratio "$(median "$work/$kind-zint-same.times" 2)" "$cpu_median")x ;; esac
    [ -n "$(grep -x "$key" "$work/failed" || true)" ] && against="$against FAILED"
    printf '%-8s %-40.40s %-9s %7.3f/%-7.3f %7.3f/%-7.3f %10s\n' "$kind" "$label" "$size" \
      "$wall_min" "$wall_median" "$cpu_min" "$cpu_median" "$against"
  done
done

echo
echo "ratios (medians)                      ean13   code128  target"
line() {
  printf '%-36s %7s %9s  %s\n' "$1" "$(ratio "$(median "$work/ean13-$2.times" "$4")" "$(median "$work/ean13-$3.times" "$4")")" \
    "$(ratio "$(median "$work/code128-$2.times" "$4")" "$(median "$work/code128-$3.times" "$4")")" "$5"
}
line "zint/quillet, same pixels, cpu" zint-same quillet-1 2 ">= 2.0"
line "zint/quillet, same pixels, wall" zint-same quillet-1 1 ">= 2.0"
line "zint defaults/quillet, cpu" zint-default quillet-1 2 ""
line "quillet/floor, cpu" quillet-1 floor 2 "<= 1.6"
line "quillet/floor, wall" quillet-1 floor 1 "<= 1.6"
line "default threads/one thread, wall" quillet quillet-1 1 "<= 0.6"
line "floor: $(nproc) threads/one, wall" floor-threads floor 1 "what the file system allows"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

for kind in ean13 code128; do
  read -r w c < <(/usr/bin/time -f '%e %U %S' "$quillet" batch "$work/$kind.csv" -o /dev/null 2>&1 >/dev/null |
    tail -1 | awk '{ printf "%s %.2f\n", $1, $2 + $3 }')
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

if [ -s "$work/failed" ]; then
  echo "FAILED runs: $(sort -u "$work/failed" | tr '\n' ' ')"
  exit 1
fi
