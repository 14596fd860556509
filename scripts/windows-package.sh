#!/usr/bin/env bash
# Builds the COM control for 32-bit and 64-bit Windows and writes the release package
# out/quillet-VERSION-windows.zip (see windows/package/package.cmake for what it holds).
#   bash scripts/windows-package.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-out}")
bash scripts/install-deps.sh com
for arch in i686 x86_64; do
  cmake -S windows -B "build/windows-package/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake"
  cmake --build "build/windows-package/$arch"
done
mkdir -p "$output"
cmake -DX86_BUILD="$PWD/build/windows-package/i686" \
  -DX64_BUILD="$PWD/build/windows-package/x86_64" -DOUTPUT_DIR="$output" \
  -P windows/package/package.cmake
