// Quillet for CommonJS: `require('quillet')` in Node, the same package as the ES module, with the
// WebAssembly loaded synchronously, so that drawing works as soon as require returns (`ready` is
// resolved already). Node's `import` of the package comes here too (quillet-node.mjs), so that a
// program that both imports and requires it has one module, one QuilletError.
'use strict';
const { readFileSync } = require('node:fs');
const { join } = require('node:path');
const createQuilletCore = require('./quillet-core.cjs');
const glue = require('./glue.cjs');

const wasm = new WebAssembly.Module(readFileSync(join(__dirname, 'quillet-core.wasm')));
const core = {
  quilletBridge: glue.bridge,
  instantiateWasm(imports, done) {
    done(new WebAssembly.Instance(wasm, imports));
    return {};
  },
};
// The loader finishes at once when the instance is handed over at once; its promise only repeats
// that.
createQuilletCore(core).catch(() => {});
glue.attachCore(core);

const ready = Promise.resolve();
const oneCallSymbologies = glue.allSymbologies();
const { draw, describeResult, QuilletError, symbologies, defaults, maxNesting } = glue;
const { CanvasSurface, SvgSurface, colorToCss, fitCanvas } = require('./canvas-surface.cjs');
// In the one form that Node's import can read the names from (quillet-node.mjs).
module.exports = {
  ...require('./one-call.cjs'),
  ...require('./recording-surface.cjs'),
  ...require('./put-with-kind.cjs'),
  ready, draw, describeResult, QuilletError, symbologies, oneCallSymbologies, defaults,
  maxNesting, CanvasSurface, SvgSurface, colorToCss, fitCanvas,
};
