#!/usr/bin/env bash
# Installs what building and testing Quillet needs on Debian 12 (run as root). Idempotent: when
# every package is already there it does nothing.
set -euo pipefail

packages=(
  # build; libFuzzer and python3 for the fuzz targets and their seeds
  cmake ninja-build g++ clang pkg-config libclang-rt-14-dev python3
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # images: cairo with real fonts, and zbar to read the symbols back
  libcairo2-dev fontconfig fonts-liberation2 libzbar-dev
  # peers for the symbologies beyond the fifteen: zint's encodings to compare bar for bar, and
  # ZXing's reader for what zbar does not read (GS1-128's FNC1, ITF-14, the add-ons)
  zint zxing-cpp-tools
)

# Extra groups, asked for by name: "com" (MinGW-w64 and Wine for the Windows control: widl
# comes with wine64-tools, the .idl files with libwine-dev, 32-bit Windows with wine32, zlib
# for the canvas's PNG files with libz-mingw-w64-dev; wixl (of msitools) writes the installer,
# osslsigncode signs it and the DLLs, openssl makes the signing test's throw-away certificate).
for group in "$@"; do
  case "$group" in
    com) packages+=(mingw-w64 wine wine64 wine64-tools libwine-dev xvfb "wine32:i386"
      libz-mingw-w64-dev wixl msitools osslsigncode openssl) ;;
    # "web": Emscripten for the WebAssembly build, Chromium for the browser test;
    # node and npm unless a node is there already; puppeteer-core comes from npm (after apt).
    web)
      packages+=(emscripten chromium)
      command -v node >/dev/null || packages+=(nodejs)
      command -v npm >/dev/null || packages+=(npm)
      web_tests=1
      ;;
    # "bench": libzint and zint to compare against, zbarimg to read back what the end-to-end
    # benchmark drew, bc and GNU time for its sums and its CPU times.
    bench) packages+=(libzint-dev zint zbar-tools bc time) ;;
    # "documents": ghostscript draws PDF and PostScript pages for the decoder tests to scan.
    documents) packages+=(ghostscript) ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done

web_tests=${web_tests:-0}
# The web tests' puppeteer-core and typescript, at the versions of tests/web/package-lock.json.
install_web_tests() {
  [ "$web_tests" = 1 ] || return 0
  local folder
  folder="$(cd "$(dirname "$0")/.." && pwd)/tests/web"
  [ -d "$folder/node_modules/puppeteer-core" ] && [ -d "$folder/node_modules/typescript" ] ||
    PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$folder" --no-audit --no-fund --loglevel=error
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && { install_web_tests; exit 0; }

if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# With the recommended packages, as on the machines this was tested on: Wine's own fonts and
# Xvfb's helpers come that way.
apt-get install -y -qq "${missing[@]}" >/dev/null
install_web_tests
