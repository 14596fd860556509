// Quillet for JavaScript: the drawing methods of the C++ library, compiled to WebAssembly, drawing
// onto any object with the ten surface members (FontName, ForeColor, FontBold, FontSize,
// CurrentX, CurrentY, TextWidth, TextHeight, Line, Print), such as the ready surfaces below.
import createQuilletCore from './quillet-core.js';
import { allSymbologies, attachCore, bridge } from './glue.js';

const wasmUrl = new URL('./quillet-core.wasm', import.meta.url);

// The loader of this Emscripten fetches nothing itself: the bytes are read from the file beside
// this module under Node, and streamed from the server in a browser.
async function instantiate(imports) {
  if (typeof process === 'object' && process.versions?.node && wasmUrl.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return WebAssembly.instantiate(await readFile(wasmUrl), imports);
  }
  const response = fetch(wasmUrl);
  if (WebAssembly.instantiateStreaming) {
    try {
      return await WebAssembly.instantiateStreaming(response, imports);
    } catch {
      // A server that does not say application/wasm: read the bytes instead.
    }
  }
  return WebAssembly.instantiate(await (await response).arrayBuffer(), imports);
}

// A .wasm that cannot be had fails the import instead of leaving it waiting. Once the import has
// finished, drawing is synchronous; `ready` is for code written for either form of the package.
attachCore(await new Promise((resolve, reject) => {
  createQuilletCore({
    quilletBridge: bridge,
    instantiateWasm(imports, done) {
      instantiate(imports).then((result) => done(result.instance), reject);
      return {};
    },
  }).then(resolve, reject);
}));

export const ready = Promise.resolve();
// What toSVG, toPNG and drawOn draw: the fifteen methods' types, then those beyond them.
export const oneCallSymbologies = allSymbologies();
export {
  draw, describeResult, QuilletError, symbologies, defaults, maxNesting,
} from './glue.js';
export { toSVG, toPNG, drawOn, symbologyNamed } from './one-call.js';
export { putWithKind } from './put-with-kind.js';
export { RecordingSurface, formatNumber, escapeText } from './recording-surface.js';
export { CanvasSurface, SvgSurface, colorToCss, fitCanvas } from './canvas-surface.js';
