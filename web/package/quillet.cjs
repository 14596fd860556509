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

exports.ready = Promise.resolve();
exports.draw = glue.draw;
exports.describeResult = glue.describeResult;
exports.QuilletError = glue.QuilletError;
exports.symbologies = glue.symbologies;
exports.defaults = glue.defaults;
exports.maxNesting = glue.maxNesting;
const oneCall = require('./one-call.cjs');
exports.toSVG = oneCall.toSVG;
exports.toPNG = oneCall.toPNG;
exports.drawOn = oneCall.drawOn;
exports.symbologyNamed = oneCall.symbologyNamed;
exports.putWithKind = require('./put-with-kind.cjs').putWithKind;
const recording = require('./recording-surface.cjs');
exports.RecordingSurface = recording.RecordingSurface;
exports.formatNumber = recording.formatNumber;
exports.escapeText = recording.escapeText;
const surfaces = require('./canvas-surface.cjs');
exports.CanvasSurface = surfaces.CanvasSurface;
exports.SvgSurface = surfaces.SvgSurface;
exports.colorToCss = surfaces.colorToCss;
exports.fitCanvas = surfaces.fitCanvas;
