#!/usr/bin/env bash
# Installs what is needed, builds Quillet and draws the sample: the surface calls of a Code 39
# symbol with its check character.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF
cmake --build build/release --target quillet_command
./build/release/cli/quillet trace Code_39 CODE39 --chk 1
