// Quillet for JavaScript: the drawing methods of the C++ library, compiled to WebAssembly, drawing
// onto any object with the ten surface members (FontName, ForeColor, FontBold, FontSize,
// CurrentX, CurrentY, TextWidth, TextHeight, Line, Print), such as the ready surfaces below.
import createQuilletCore from './quillet-core.js';
import { putWithKind } from './put-with-kind.js';

export const symbologies = Object.freeze([
  'Codabar', 'Code_11', 'Code_128', 'Code_25', 'Code_39', 'Code_39F', 'Code_93', 'EAN_13',
  'EAN_8', 'ISBN', 'Code_MSI', 'PostNet', 'UPC_A', 'UPC_A_Plus', 'UPC_E',
]);

// A failure towards the caller: a ratio without a colon (5), a pX or an argument that does not
// fit its type (6), an argument that is not a number at all (13), a null code (94).
export class QuilletError extends Error {
  constructor(number) {
    super(`${describeResult(number)} (${number})`);
    this.name = 'QuilletError';
    this.number = number;
  }
}

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

const members = ['FontName', 'ForeColor', 'FontBold', 'FontSize', 'CurrentX', 'CurrentY',
  'TextWidth', 'TextHeight'];
const numberKinds = ['int16', 'float', 'double', 'int32', 'bool'];

const invalidArgument = 5;
const noSuchMember = 438;
const objectVariableNotSet = 91;
const typeMismatch = 13;

const decoder = new TextDecoder();
const encoder = new TextEncoder();

// The surfaces of the calls in progress (a surface member may itself draw), innermost last.
const calls = [];

// The number of a surface member's exception: its own `number`, as a host's objects raise them,
// or the invalid-argument error for one that has none. The first exception of a call is kept.
function failureNumber(error, call) {
  call.error ??= error;
  const number = error?.number;
  return Number.isInteger(number) && number !== 0 ? number : invalidArgument;
}

function current() {
  return calls[calls.length - 1];
}

const bridge = {
  text: (pointer, length) => readText(pointer, length),
  put(member, value, kind) {
    const call = current();
    const surface = call.surface;
    if (surface === null || typeof surface !== 'object') return objectVariableNotSet;
    const name = members[member];
    try {
      if (typeof surface[putWithKind] === 'function') {
        surface[putWithKind](name, value, kind);
      } else {
        if (!(name in surface)) return noSuchMember;
        surface[name] = value;
      }
      return 0;
    } catch (error) {
      return failureNumber(error, call);
    }
  },
  putText(member, text) {
    return bridge.put(member, text, 'text');
  },
  putNumber(member, value, kind) {
    return bridge.put(member, numberKinds[kind] === 'bool' ? value !== 0 : value,
      numberKinds[kind]);
  },
  invoke(name, args) {
    const call = current();
    const surface = call.surface;
    if (surface === null || typeof surface !== 'object') return { number: objectVariableNotSet };
    if (typeof surface[name] !== 'function') return { number: noSuchMember };
    try {
      return { number: 0, value: surface[name](...args) };
    } catch (error) {
      return { number: failureNumber(error, call) };
    }
  },
  measure(member, text) {
    const answer = bridge.invoke(members[member], [text]);
    if (answer.number !== 0) return { number: answer.number, value: 0 };
    const value = Number(answer.value);
    return Number.isNaN(value) ? { number: typeMismatch, value: 0 } : { number: 0, value };
  },
  line: (flags, x1, y1, x2, y2, color) =>
    bridge.invoke('Line', [flags, x1, y1, x2, y2, color]).number,
  print: (text) => bridge.invoke('Print', [text]).number,
};

// A .wasm that cannot be had fails the import instead of leaving it waiting.
const core = await new Promise((resolve, reject) => {
  createQuilletCore({
    quilletBridge: bridge,
    instantiateWasm(imports, done) {
      instantiate(imports).then((result) => done(result.instance), reject);
      return {};
    },
  }).then(resolve, reject);
});

function readText(pointer, length) {
  return decoder.decode(core.HEAPU8.subarray(pointer, pointer + length));
}

// Copies texts into the module's memory for one call and frees them afterwards.
function withTexts(texts, use) {
  const placed = texts.map((text) => {
    const bytes = encoder.encode(text);
    const pointer = core._malloc(bytes.length + 1);
    core.HEAPU8.set(bytes, pointer);
    core.HEAPU8[pointer + bytes.length] = 0;
    return { pointer, length: bytes.length };
  });
  try {
    return use(...placed);
  } finally {
    for (const { pointer } of placed) core._free(pointer);
  }
}

// The runtime's wording of a result or error number: "Overflow", "Subscript out of range", ...
export function describeResult(number) {
  const pointer = core._quillet_describe(number);
  let end = pointer;
  while (core.HEAPU8[end] !== 0) ++end;
  return readText(pointer, end - pointer);
}

// The argument conversions a host makes before the call: numbers round half to even, and a value
// outside its type's range is an overflow.
function roundHalfEven(value) {
  const floor = Math.floor(value);
  const difference = value - floor;
  if (difference > 0.5) return floor + 1;
  if (difference < 0.5) return floor;
  return floor % 2 === 0 ? floor : floor + 1;
}

function numberOf(value) {
  if (typeof value === 'boolean') return value ? 1 : 0;
  if (value === null) throw new QuilletError(94);
  const number = typeof value === 'string' && value.trim() === '' ? NaN : Number(value);
  if (Number.isNaN(number)) throw new QuilletError(typeMismatch);
  return number;
}

function int16(value) {
  const number = roundHalfEven(numberOf(value));
  if (number < -32768 || number > 32767) throw new QuilletError(6);
  return number;
}

function float32(value) {
  const number = Math.fround(numberOf(value));
  if (!Number.isFinite(number)) throw new QuilletError(6);
  return number;
}

// Colours are 0x00BBGGRR; written as unsigned hexadecimal, 0xFFFFFFFF is -1.
function int32(value) {
  let number = roundHalfEven(numberOf(value));
  if (number > 0x7fffffff && number <= 0xffffffff) number -= 0x100000000;
  if (number < -0x80000000 || number > 0x7fffffff) throw new QuilletError(6);
  return number;
}

function text(value) {
  if (value === null) throw new QuilletError(94);
  return String(value);
}

function typeOf(symbology) {
  if (Number.isInteger(symbology) && symbology >= 0 && symbology < symbologies.length) {
    return symbology;
  }
  const wanted = String(symbology).toLowerCase();
  const index = symbologies.findIndex((name) => name.toLowerCase() === wanted);
  if (index < 0) throw new QuilletError(invalidArgument);
  return index;
}

// The method's arguments by name, with the defaults of `quillet trace`.
export const defaults = Object.freeze({
  x: 0, y: 0, code: '', width: 15, height: 1200, text: 1, bold: false, font: 'Arial',
  foreColor: 0, lineColor: 0, ratio: '3:1', chk: false,
});

// Draws one symbol onto surface and returns { result, code }: result is 0 when the symbol was
// drawn, otherwise the number of the run-time error that stopped it (describeResult gives its
// meaning; what was painted stays painted); code is the data as the method left it, normalised
// and with any check characters it writes back. When a surface member threw, that exception is
// error. A failure towards the caller throws QuilletError.
export function draw(surface, symbology, options = {}) {
  const given = { ...defaults };
  for (const [name, value] of Object.entries(options)) {
    if (!(name in defaults)) throw new TypeError(`quillet: unknown option ${name}`);
    if (value !== undefined) given[name] = value;
  }
  const type = typeOf(symbology);
  const x = float32(given.x), y = float32(given.y);
  const width = int16(given.width), height = int16(given.height), shown = int16(given.text);
  const foreColor = int32(given.foreColor), lineColor = int32(given.lineColor);
  const call = { surface, error: undefined };
  calls.push(call);
  try {
    return withTexts([text(given.code), text(given.font), text(given.ratio)],
      (code, font, ratio) => {
        const result = core._quillet_draw(type, x, y, code.pointer, code.length, width, height,
          shown, given.bold ? 1 : 0, font.pointer, foreColor, lineColor, ratio.pointer,
          given.chk ? 1 : 0);
        const thrown = core._quillet_thrown();
        if (thrown !== 0) throw new QuilletError(thrown);
        const drawn = {
          result,
          code: readText(core._quillet_code(), core._quillet_code_length()),
        };
        if (call.error !== undefined) drawn.error = call.error;
        return drawn;
      });
  } finally {
    calls.pop();
  }
}

export { putWithKind };
export { RecordingSurface, formatNumber, escapeText } from './recording-surface.js';
export { CanvasSurface, SvgSurface, colorToCss, fitCanvas } from './canvas-surface.js';
