#!/usr/bin/env bash
# Builds Quillet for the browser and Node with Emscripten (bash scripts/install-deps.sh web):
#   OUT/package/            the npm package's files (ES and CommonJS modules, loader, .wasm,
#                           types, README)
#   OUT/quillet-VERSION.tgz the package as `npm pack` makes it
#   OUT/site/               the label page with the package beside it, for any static server
# OUT is build/web unless given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/web}")

# Debian's Emscripten finds its JavaScript helpers (acorn, ...) in Debian's node folder, which
# a node from elsewhere does not search.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs

emcmake cmake -S "$root/web" -B "$out/wasm" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/wasm"

rm -rf "$out/package" "$out/site" "$out"/quillet-*.tgz
mkdir -p "$out/package" "$out/site"
cp "$root"/web/package/* "$out/wasm/quillet-core.js" "$out/wasm/quillet-core.wasm" "$out/package/"
[ -f "$root/LICENSE" ] && cp "$root/LICENSE" "$out/package/"

# The CommonJS form: the loader with its two ES-module phrases replaced (the build stops if this
# Emscripten writes them otherwise), the package's own modules converted, the same declarations.
loader="$out/package/quillet-core.js"
grep -q '^export default createQuilletCore;$' "$loader" && [ "$(grep -o 'import\.meta\.url' "$loader" | wc -l)" -ge 1 ] ||
  { echo "build.sh: the Emscripten loader no longer looks as expected" >&2; exit 1; }
sed -e 's/^export default createQuilletCore;$/module.exports = createQuilletCore;/' \
  -e 's/import\.meta\.url/require("url").pathToFileURL(__filename).href/g' "$loader" > "${loader%.js}.cjs"
node "$root/web/commonjs.mjs" "$out/package" glue.js arguments.js one-call.js put-with-kind.js \
  recording-surface.js canvas-surface.js
cp "$out/package/quillet.d.ts" "$out/package/quillet.d.cts"
(cd "$out" && npm pack --silent "$out/package" >/dev/null)

cp "$root"/web/index.html "$root"/web/label.js "$root"/web/label.css "$out/site/"
cp -r "$out/package" "$out/site/quillet"
echo "$out"
