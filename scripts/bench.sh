#!/usr/bin/env bash
# Installs what the benchmarks need, builds them (Release) and runs them: every drawing method
# beside libzint, the end-to-end batch against `zint --batch`, and, with the "com" argument, the
# COM throughput under Wine. Not part of the test command. Usage: scripts/bench.sh [com]
set -euo pipefail
cd "$(dirname "$0")/.."

groups=(bench)
[ "${1:-}" = com ] && groups+=(com)
bash scripts/install-deps.sh "${groups[@]}"

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_WERROR=ON \
  -DQUILLET_BUILD_BENCH=ON -DQUILLET_BUILD_TESTS=OFF
cmake --build build/bench
# Medians of five runs, CPU time per symbol (the machine may be shared).
./build/bench/bench/quillet_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true
bash bench/end_to_end.sh build/bench/cli/quillet

if [ "${1:-}" = com ]; then
  cmake -S windows -B build/bench/com-x64 -G Ninja -DQUILLET_COM_TESTS_DIR="$PWD/bench/windows" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/windows/cmake/mingw-x86_64.cmake" -DQUILLET_WERROR=ON
  cmake --build build/bench/com-x64
  cp build/bench/com-x64/quillet.dll build/bench/com-x64/tests/
  (cd build/bench/com-x64/tests &&
    WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/../wine}" wine quillet_com_bench.exe 20000)
fi
