// A hostile caller cannot break the package: one table of surfaces and options that throw what
// they like, answer what they like or recurse without end, run over and over in one process
// (100,000 calls); every row gives the same outcome every time, the memory stays flat, and a
// normal draw afterwards still gives `quillet trace`'s reference trace.
//
// usage: node --expose-gc hostile_test.mjs PACKAGE_DIR QUILLET_COMMAND
import { spawnSync } from 'node:child_process';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, quilletCommand] = process.argv.slice(2);
const { draw, RecordingSurface, QuilletError } =
  await import(pathToFileURL(join(packageDir, 'quillet.js')).href);

const plain = () => ({ FontName: '', ForeColor: 0, FontBold: false, FontSize: 0, CurrentX: 0,
  CurrentY: 0, TextWidth: () => 100, TextHeight: () => 200, Line() {}, Print() {} });
const answering = (member, value) => ({ ...plain(), [member]: () => value });
const lineThrowing = (thrown) => ({ ...plain(), Line() { throw thrown; } });
const hostileGet = new Proxy({}, { get() { throw new Error('get'); } });
const endless = () => endless() + 1;
const selfDrawing = (swallow) => {
  const surface = { ...plain(), Line() {
    try {
      draw(surface, 'EAN_13', { code: '1' });
    } catch (error) {
      if (!swallow) throw error;
    }
  } };
  return surface;
};

// [row, symbology, options, surface (made afresh each time), outcome]
const rows = [
  ['width_a_symbol', 'Code_39', { code: 'A' }, () => answering('TextWidth', Symbol('w')), 'result 13'],
  ['width_valueof_throws', 'Code_39', { code: 'A' },
    () => answering('TextWidth', { valueOf() { throw new Error('valueOf'); } }), 'result 13'],
  ['height_empty_text', 'ISBN', { code: '080442957' }, () => answering('TextHeight', ''), 'result 13'],
  ['height_null', 'ISBN', { code: '080442957' }, () => answering('TextHeight', null), 'result 94'],
  ['height_array', 'ISBN', { code: '080442957' }, () => answering('TextHeight', []), 'result 13'],
  ['proxy_get_throws', 'Code_39', { code: 'A' }, () => new Proxy(plain(), { get(target, key) {
    if (key === 'Line') throw new Error('Line');
    return target[key];
  } }), 'result 5 with error'],
  ['proxy_has_throws', 'Code_39', { code: 'A' },
    () => new Proxy(plain(), { has() { throw new Error('has'); } }), 'result 5 with error'],
  ['throws_symbol', 'Code_39', { code: 'A' }, () => lineThrowing(Symbol('s')), 'result 5 with error'],
  ['throws_null', 'Code_39', { code: 'A' }, () => lineThrowing(null), 'result 5 with error'],
  ['throws_hostile_object', 'Code_39', { code: 'A' }, () => lineThrowing(hostileGet), 'result 5 with error'],
  ['number_2_32', 'Code_39', { code: 'A' }, () => lineThrowing({ number: 2 ** 32 }), 'error 6 cause'],
  ['number_2_32_plus_9', 'Code_39', { code: 'A' }, () => lineThrowing({ number: 2 ** 32 + 9 }), 'error 6 cause'],
  ['number_32768', 'Code_39', { code: 'A' }, () => lineThrowing({ number: 32768 }), 'error 6 cause'],
  ['number_hresult', 'Code_39', { code: 'A' }, () => lineThrowing({ number: -2147221504 }), 'error 6 cause'],
  ['number_minus_1', 'Code_39', { code: 'A' }, () => lineThrowing({ number: -1 }), 'result -1 with error'],
  ['number_as_text', 'Code_39', { code: 'A' }, () => lineThrowing({ number: '380' }), 'result 380 with error'],
  ['nested_failure_caught', 'EAN_13', { code: '1' }, () => ({ ...plain(), Line() {
    try { draw(plain(), 'Code_39', { ratio: 'bad' }); } catch { /* the inner call's own */ }
  } }), 'result 0'],
  ['self_drawing', 'EAN_13', { code: '1' }, () => selfDrawing(false), 'error 28'],
  ['self_drawing_swallowed', 'EAN_13', { code: '1' }, () => selfDrawing(true), 'error 28'],
  ['stack_exhausted', 'Code_39', { code: 'A' }, () => ({ ...plain(), Line: endless }), 'RangeError'],
  ['options_null', 'EAN_13', null, plain, 'error 94'],
  ['option_a_symbol', 'EAN_13', { width: Symbol('w') }, plain, 'error 13 width'],
  ['option_unknown', 'EAN_13', { colour: 0 }, plain, 'error 5 colour'],
  ['option_valueof_throws', 'EAN_13', { height: { valueOf() { throw new Error('v'); } } }, plain,
    'error 13 height'],
  ['symbology_a_symbol', Symbol('s'), {}, plain, 'error 5'],
];

function outcome([, symbology, options, surface]) {
  try {
    const drawn = draw(surface(), symbology, options);
    return `result ${drawn.result}${'error' in drawn ? ' with error' : ''}`;
  } catch (error) {
    if (!(error instanceof QuilletError)) return error.name;
    return `error ${error.number}${error.option ? ` ${error.option}` : ''}` +
      `${error.cause !== undefined ? ' cause' : ''}`;
  }
}

const calls = 100_000;
const rounds = Math.ceil(calls / rows.length);
let failed = 0;
const fail = (message) => {
  ++failed;
  console.log(`FAIL ${message}`);
};

const memory = () => {
  globalThis.gc?.();
  return process.memoryUsage();
};
let settled;
for (let round = 0; round < rounds; ++round) {
  if (round === Math.floor(rounds / 10)) settled = memory();
  for (const row of rows) {
    const got = outcome(row);
    if (got !== row[4] && failed < 20) fail(`${row[0]} (round ${round}): ${got}, expected ${row[4]}`);
  }
}
const end = memory();
const megabytes = (bytes) => (bytes / 2 ** 20).toFixed(1);
console.log(`${rounds * rows.length} hostile calls; after the first tenth heap ` +
  `${megabytes(settled.heapUsed)} -> ${megabytes(end.heapUsed)} MB, rss ${megabytes(settled.rss)} ` +
  `-> ${megabytes(end.rss)} MB`);
if (end.heapUsed - settled.heapUsed > 8 * 2 ** 20) fail('the JavaScript heap grew by more than 8 MB');
if (end.rss - settled.rss > 32 * 2 ** 20) fail('the resident memory grew by more than 32 MB');

// A draw inside a surface member has its own data written back; the outer call keeps its own.
const outer = draw({ ...plain(), Line() { draw(plain(), 'Code_39', { code: 'XYZ', chk: true }); } },
  'EAN_13', { code: '1' });
if (outer.code !== '100000000000') fail(`the outer draw's data became ${outer.code}`);

const surface = new RecordingSurface();
const drawn = draw(surface, 'EAN_13', { code: '400638133393' });
const reference = spawnSync(quilletCommand, ['trace', 'EAN_13', '--', '400638133393'],
  { encoding: 'utf8' }).stdout;
const traced = `${surface.trace()}Result\t${drawn.result}\npCode\t${drawn.code}\n`;
if (traced !== reference) fail('the normal draw afterwards differs from quillet trace');
console.log(failed === 0 ? 'passed' : `${failed} failed`);
process.exitCode = failed === 0 ? 0 : 1;
