#!/usr/bin/env bash
# Installs what is needed, builds Quillet with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_WERROR=ON
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j 2
