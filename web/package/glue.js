// The drawing methods of the WebAssembly core for JavaScript: the arguments in, the caller's
// surface answering the core's calls, the result and the written-back data out.
//
// Nothing a caller throws may cross into the core: an exception passing through its frames would
// leave its stack pointer where it was, and a few thousand such calls later every draw fails. So
// every answer to the core is a number (0, a run-time error number, or abandonDrawing), whatever
// the surface throws, returns or is.
import {
  Refusal, doubleFrom, flagFrom, float32From, int16From, int32From, invalidUseOfNull, numberFrom,
  overflow, roundHalfEven, textFrom, typeMismatch,
} from './arguments.js';
import { putWithKind } from './put-with-kind.js';

export const symbologies = Object.freeze([
  'Codabar', 'Code_11', 'Code_128', 'Code_25', 'Code_39', 'Code_39F', 'Code_93', 'EAN_13',
  'EAN_8', 'ISBN', 'Code_MSI', 'PostNet', 'UPC_A', 'UPC_A_Plus', 'UPC_E',
]);

const invalidArgument = 5;
const outOfMemory = 7;
const outOfStackSpace = 28;
const objectVariableNotSet = 91;
const noSuchMember = 438;
// The answer that ends a drawing at once, without a result (web/src/binding.cpp).
const abandonDrawing = -2147483648;
// A draw inside a surface member inside a draw...: deeper than this is a runaway recursion, and
// well inside what the core's stack holds.
export const maxNesting = 32;

let core = null;

// The loaded module, from quillet.js or quillet.cjs.
export function attachCore(loaded) {
  core = loaded;
}

function loadedCore() {
  if (core === null) throw new Error('quillet: the WebAssembly module is not loaded yet (await ready)');
  return core;
}

const decoder = new TextDecoder();
const encoder = new TextEncoder();

function readText(pointer, length) {
  return decoder.decode(core.HEAPU8.subarray(pointer, pointer + length));
}

// Every symbology's type name as the core numbers them: the fifteen methods, then the
// symbologies beyond them that the one-call functions draw.
let typeNames = null;
export function allSymbologies() {
  if (typeNames === null) {
    const loaded = loadedCore();
    const names = [];
    for (let pointer; (pointer = loaded._quillet_type_name(names.length)) !== 0;) {
      names.push(readText(pointer, loaded.HEAPU8.indexOf(0, pointer) - pointer));
    }
    typeNames = Object.freeze(names);
  }
  return typeNames;
}

// The runtime's wording of a result or error number: "Overflow", "Subscript out of range", ...
export function describeResult(number) {
  const loaded = loadedCore();
  if (number === outOfStackSpace) return 'Out of stack space';
  let known;
  try {
    known = int32From(number);
  } catch (refusal) {
    throw new QuilletError(refusal.number, `describeResult takes a number, not ${shown(number)}`);
  }
  const pointer = loaded._quillet_describe(known);
  let end = pointer;
  while (loaded.HEAPU8[end] !== 0) ++end;
  return readText(pointer, end - pointer);
}

// A failure towards the caller: the call drew nothing or was given up. `option` names the
// option at fault; `cause` is a surface's exception whose number does not fit a result.
export class QuilletError extends Error {
  constructor(number, detail = '', { option, cause } = {}) {
    super(`${core === null ? 'Error' : describeResult(number)} (${number})` +
      (detail === '' ? '' : `: ${detail}`), cause === undefined ? undefined : { cause });
    this.name = 'QuilletError';
    this.number = number;
    if (option !== undefined) this.option = option;
  }
}

// What a value is, for a message, without running any of the caller's code.
function shown(value) {
  switch (typeof value) {
    case 'string': return JSON.stringify(value.length > 40 ? `${value.slice(0, 40)}...` : value);
    case 'number': case 'boolean': case 'bigint': return String(value);
    case 'symbol': return 'a symbol';
    case 'function': return 'a function';
    default: return value === null ? 'null' : value === undefined ? 'undefined' : 'an object';
  }
}

// ---- The surface's side of a drawing ----------------------------------------------------------

const members = ['FontName', 'ForeColor', 'FontBold', 'FontSize', 'CurrentX', 'CurrentY',
  'TextWidth', 'TextHeight'];
const numberKinds = ['int16', 'float', 'double', 'int32', 'bool'];

// The draws in progress, innermost last: a surface member may itself draw.
const calls = [];

function current() {
  return calls[calls.length - 1];
}

// Gives up every draw in progress: each ends as soon as control comes back to it, and throws
// fatal, even where a surface member catches the exception on its way out.
function abandonAll(fatal) {
  for (const call of calls) call.fatal ??= fatal;
}

// A JavaScript stack that ran out: carrying on would only run out again.
function isStackExhausted(error) {
  try {
    return (error instanceof RangeError && /call stack/i.test(error.message)) ||
      (error instanceof Error && error.name === 'InternalError' && /recursion/i.test(error.message));
  } catch {
    return false;
  }
}

// The number of a surface member's exception: its own `number`, converted as any number from
// JavaScript, or the invalid-argument error where it has none (or 0, which would pass for
// success).
function numberOfFailure(error) {
  let number;
  try {
    number = roundHalfEven(numberFrom(error?.number));
  } catch {
    return invalidArgument;
  }
  return Number.isNaN(number) || number === 0 ? invalidArgument : number;
}

// A number beyond 16 bits goes to the core as it is (within 32 bits), and the core's conversion
// of it into the result overflows towards the caller; it is never wrapped.
function failed(call, error) {
  if (call.fatal !== undefined || isStackExhausted(error)) {
    abandonAll(error);
    return abandonDrawing;
  }
  const number = numberOfFailure(error);
  if (call.error === undefined) {
    call.error = error;
    call.errorNumber = number;
  }
  return Math.min(Math.max(number, -0x7fffffff), 0x7fffffff);
}

function isObject(surface) {
  return (typeof surface === 'object' && surface !== null) || typeof surface === 'function';
}

// Runs one answer to the core against the current call's surface.
function answer(work) {
  const call = current();
  if (call.fatal !== undefined) return abandonDrawing;
  let number;
  try {
    number = isObject(call.surface) ? work(call.surface) : objectVariableNotSet;
  } catch (error) {
    number = failed(call, error);
  }
  return call.fatal !== undefined ? abandonDrawing : number;
}

function put(member, value, kind) {
  return answer((surface) => {
    const name = members[member];
    if (typeof surface[putWithKind] === 'function') {
      surface[putWithKind](name, value, kind);
    } else {
      if (!(name in surface)) return noSuchMember;
      surface[name] = value;
    }
    return 0;
  });
}

function invoke(name, args, take) {
  return answer((surface) => {
    const method = surface[name];
    if (typeof method !== 'function') return noSuchMember;
    const returned = Reflect.apply(method, surface, args);
    if (take === undefined) return 0;
    try {
      take(doubleFrom(returned));
    } catch (refusal) {
      if (refusal instanceof Refusal) return refusal.number;
      throw refusal;
    }
    return 0;
  });
}

const measured = { number: 0, value: 0 };

// The loader's imports call these (web/src/binding.cpp).
export const bridge = {
  text: readText,
  putText: (member, text) => put(member, text, 'text'),
  putNumber: (member, value, kind) =>
    put(member, numberKinds[kind] === 'bool' ? value !== 0 : value, numberKinds[kind]),
  measure(member, text) {
    measured.value = 0;
    measured.number = invoke(members[member], [text], (value) => { measured.value = value; });
    return measured;
  },
  line: (flags, x1, y1, x2, y2, color) => invoke('Line', [flags, x1, y1, x2, y2, color]),
  print: (text) => invoke('Print', [text]),
};

// ---- The caller's side ------------------------------------------------------------------------

// The method's arguments by name, with the defaults of `quillet trace`.
export const defaults = Object.freeze({
  x: 0, y: 0, code: '', width: 15, height: 1200, text: 1, bold: false, font: 'Arial',
  foreColor: 0, lineColor: 0, ratio: '3:1', chk: false,
});

const conversions = {
  x: float32From, y: float32From, code: textFrom, width: int16From, height: int16From,
  text: int16From, bold: flagFrom, font: textFrom, foreColor: int32From, lineColor: int32From,
  ratio: textFrom, chk: flagFrom,
};

// The options as the method's arguments; a bad one fails the call, naming it.
function argumentsOf(options) {
  if (options === null || (options !== undefined && typeof options !== 'object')) {
    throw new QuilletError(options === null ? invalidUseOfNull : typeMismatch,
      `the options are ${shown(options)}, not an object`);
  }
  const given = { ...defaults };
  for (const name of Object.keys(options ?? {})) {
    if (!Object.hasOwn(defaults, name)) {
      throw new QuilletError(invalidArgument, `unknown option ${shown(name)}`, { option: name });
    }
    const value = options[name];
    if (value !== undefined) given[name] = value;
  }
  for (const name of Object.keys(conversions)) {
    try {
      given[name] = conversions[name](given[name]);
    } catch (error) {
      if (!(error instanceof Refusal)) throw error;
      throw new QuilletError(error.number, `option ${name} is ${shown(given[name])}`,
        { option: name });
    }
  }
  return given;
}

function typeOf(symbology) {
  if (Number.isInteger(symbology) && symbology >= 0 && symbology < symbologies.length) {
    return symbology;
  }
  const wanted = typeof symbology === 'string' ? symbology.toLowerCase() : undefined;
  const index = symbologies.findIndex((name) => name.toLowerCase() === wanted);
  if (index < 0) throw new QuilletError(invalidArgument, `unknown symbology ${shown(symbology)}`);
  return index;
}

// A block the core fills (binding.cpp's Outcome, Checked), then the texts, in one allocation.
function place(texts, outcomeBytes = 16) {
  const encoded = texts.map((text) => encoder.encode(text));
  const size = outcomeBytes + encoded.reduce((sum, bytes) => sum + bytes.length + 1, 0);
  const block = core._malloc(size);
  if (block === 0) throw new QuilletError(outOfMemory, 'no memory for the arguments');
  let at = block + outcomeBytes;
  const pointers = encoded.map((bytes) => {
    core.HEAPU8.set(bytes, at);
    core.HEAPU8[at + bytes.length] = 0;
    const placed = { pointer: at, length: bytes.length };
    at += bytes.length + 1;
    return placed;
  });
  return { block, pointers };
}

function runCore(type, a, code, font, ratio, outcome) {
  const stack = core.stackSave();
  try {
    return core._quillet_draw(type, a.x, a.y, code.pointer, code.length, a.width, a.height,
      a.text, a.bold ? 1 : 0, font.pointer, a.foreColor, a.lineColor, ratio.pointer,
      a.chk ? 1 : 0, outcome);
  } catch (escaped) {
    // Nothing should get here; if anything does, the module's stack is put back as it was.
    core.stackRestore(stack);
    throw escaped;
  }
}

// Draws one symbol onto surface and returns { result, code } (and the exception of the surface
// member that stopped the drawing, as error). A failure towards the caller throws QuilletError.
export function draw(surface, symbology, options) {
  return drawType(surface, typeOf(symbology), options);
}

// draw() for any symbology the core draws, by its type name.
export function drawSymbology(surface, typeName, options) {
  loadedCore();
  return drawType(surface, allSymbologies().indexOf(typeName), options);
}

function drawType(surface, type, options) {
  loadedCore();
  if (calls.length >= maxNesting) {
    const deep = new QuilletError(outOfStackSpace, `draw() calls nested more than ${maxNesting} deep`);
    abandonAll(deep);
    throw deep;
  }
  const a = argumentsOf(options);
  const call = { surface, error: undefined, errorNumber: 0, fatal: undefined };
  const { block, pointers: [code, font, ratio] } = place([a.code, a.font, a.ratio]);
  const depth = calls.length;
  calls.push(call);
  try {
    const result = runCore(type, a, code, font, ratio, block);
    const words = block >> 2;
    const [thrown, abandoned, codePointer, codeLength] = core.HEAP32.subarray(words, words + 4);
    const written = codePointer === 0 ? '' : readText(codePointer, codeLength);
    if (codePointer !== 0) core._free(codePointer);
    if (abandoned !== 0 || call.fatal !== undefined) {
      if (call.fatal === undefined) {
        abandonAll(new QuilletError(outOfStackSpace, 'the JavaScript stack ran out'));
      }
      throw call.fatal;
    }
    if (thrown !== 0) {
      if (call.error !== undefined && thrown === overflow && call.errorNumber !== overflow) {
        throw new QuilletError(overflow, `the surface's error number ${call.errorNumber} ` +
          'does not fit a 16-bit result', { cause: call.error });
      }
      throw new QuilletError(thrown);
    }
    const drawn = { result, code: written };
    if (call.error !== undefined) drawn.error = call.error;
    return drawn;
  } finally {
    calls.length = depth;
    core._free(block);
  }
}

// A PNG file of the width x height pixels in words (0xAARRGGBB, premultiplied where hasAlpha,
// else the alpha ignored), made by the project's own encoder and carrying its resolution.
export function encodePng(words, width, height, hasAlpha, dotsPerInch) {
  const loaded = loadedCore();
  const bytes = words.length * 4;
  const pixels = loaded._malloc(bytes + 4);
  if (pixels === 0) throw new QuilletError(outOfMemory, `no memory for ${width} x ${height} pixels`);
  try {
    loaded.HEAPU8.set(new Uint8Array(words.buffer, words.byteOffset, bytes), pixels);
    const lengthAt = pixels + bytes;
    const file = loaded._quillet_png(pixels, width, height, hasAlpha ? 1 : 0, dotsPerInch,
      lengthAt);
    if (file === 0) throw new QuilletError(outOfMemory, `no PNG file of ${width} x ${height} pixels`);
    const png = loaded.HEAPU8.slice(file, file + loaded.HEAP32[lengthAt >> 2]);
    loaded._free(file);
    return png;
  } finally {
    loaded._free(pixels);
  }
}

// ---- The shared checks of typed data (assist/) ------------------------------------------------

// Reads and frees a text the core made.
function takeText(pointer, length) {
  const text = readText(pointer, length);
  core._free(pointer);
  return text;
}

// The method and arguments that draw exactly the typed data: { type, code, chk }. Data the
// checks refuse fails the call with QuilletError 5, its `findings` ({ id, position, refusal,
// message }) saying what is wrong and what would be right. asIs hands the data to the method
// untouched (Code 128 data then begins with its set letter).
export function checkTypedData(type, typed, { asIs = false, chk, set } = {}) {
  if (chk !== undefined && typeof chk !== 'boolean') {
    throw new QuilletError(typeMismatch, 'option chk is not true or false', { option: 'chk' });
  }
  if (set !== undefined && !['A', 'B', 'C'].includes(set)) {
    throw new QuilletError(invalidArgument, 'option set is not "A", "B" or "C"', { option: 'set' });
  }
  if (asIs) return { type, code: typed, chk: chk ?? false };
  loadedCore();
  const { block, pointers: [text] } = place([typed], 32);
  try {
    core._quillet_check(allSymbologies().indexOf(type), text.pointer, text.length,
      chk === undefined ? -1 : Number(chk), set === undefined ? 0 : set.charCodeAt(0), block);
    const [accepted, checkedType, checkedChk, code, codeLength, findings, findingsLength] =
      core.HEAP32.subarray(block >> 2, (block >> 2) + 7);
    const result = { type: allSymbologies()[checkedType], code: takeText(code, codeLength),
      chk: checkedChk !== 0 };
    const listed = takeText(findings, findingsLength).split('\n').filter(Boolean).map((line) => {
      const [id, position, refusal, ...message] = line.split('\t');
      return { id, position: Number(position), refusal: refusal === '1', message: message.join('\t') };
    });
    if (accepted === 0) {
      const refusals = listed.filter((finding) => finding.refusal);
      const error = new QuilletError(invalidArgument, refusals.map((f) => f.message).join('; '));
      error.findings = listed;
      throw error;
    }
    result.findings = listed;
    return result;
  } finally {
    core._free(block);
  }
}

// The quiet zones of the symbology's standard, in modules left and right.
export function quietZoneOf(type) {
  loadedCore();
  const at = core._malloc(16);
  try {
    core._quillet_quiet_zone(allSymbologies().indexOf(type), at);
    return [...new Float64Array(core.HEAPU8.buffer, at, 2)];
  } finally {
    core._free(at);
  }
}

// A colour as people write it ("#RRGGBB", "#RGB", a CSS name) as 0x00BBGGRR; undefined when it
// is none.
export function colourNamed(text) {
  loadedCore();
  const { block, pointers: [placed] } = place([text]);
  try {
    return core._quillet_colour(placed.pointer, placed.length, block) === 0 ? undefined :
      core.HEAP32[block >> 2];
  } finally {
    core._free(block);
  }
}

// ---- Sizes (assist/units) ------------------------------------------------------------------

// Every module is this many surface units.
export function unitsPerModule() {
  return loadedCore()._quillet_units_per_module();
}

// A length as people write it ("0.33mm", "0.013in", "1pt", "2px" at dotsPerInch) in inches;
// undefined when it is none.
export function inchesNamed(text, dotsPerInch) {
  loadedCore();
  const { block, pointers: [placed] } = place([text], 0);
  try {
    const inches = core._quillet_inches(placed.pointer, placed.length, dotsPerInch);
    return inches > 0 ? inches : undefined;
  } finally {
    core._free(block);
  }
}

// Surface units per inch for a module of moduleInches, made whole pixels at rasterDotsPerInch
// where that is given.
export function unitsPerInchForModule(moduleInches, rasterDotsPerInch) {
  return loadedCore()._quillet_units_per_inch(moduleInches, rasterDotsPerInch ?? 0);
}
