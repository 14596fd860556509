#!/usr/bin/env bash
# Builds the COM control for 32-bit and 64-bit Windows and writes the release packages to
# OUTPUT_DIR (out/ by default): quillet-VERSION-windows.zip, and the installers
# quillet-VERSION-x64.msi (all users, both bitnesses) and quillet-VERSION-x64-user.msi (the
# current user); see windows/package/package.cmake for what they hold.
#   bash scripts/windows-package.sh [OUTPUT_DIR]
# The DLLs and the installers are signed (osslsigncode, Authenticode SHA-256) when these are set:
#   QUILLET_SIGN_CERTIFICATE    PKCS#12 file (.pfx) with the code-signing key and certificate
#   QUILLET_SIGN_PASSWORD       its password
#   QUILLET_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server (recommended)
# Without a certificate everything is built unsigned, and the output says so.
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
  -DX64_BUILD="$PWD/build/windows-package/x86_64" -DOUTPUT_DIR="$output" -DINSTALLERS=ON \
  -P windows/package/package.cmake
if [ -z "${QUILLET_SIGN_CERTIFICATE:-}" ]; then
  echo "windows-package: the DLLs and installers in $output are NOT signed" >&2
fi
