#!/usr/bin/env bash
# Installs what is needed, builds Quillet and draws the sample sheet, every symbology under its
# name, as out/sample-sheet.png and out/sample-sheet.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF
cmake --build build/release --target quillet_command
mkdir -p out
./build/release/cli/quillet sheet -o out/sample-sheet.png
./build/release/cli/quillet sheet -o out/sample-sheet.pdf
echo "wrote out/sample-sheet.png and out/sample-sheet.pdf"
