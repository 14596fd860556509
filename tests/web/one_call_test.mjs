// The one-call functions under Node, through import and require alike: toPNG's files read back
// with zbar (or ZXing, for GS1-128's FNC1) for every symbology they read (upright and turned) and
// carry their resolution; toSVG
// is small; bad options, refused data and unknown spellings fail naming what is wrong.
//
// usage: node one_call_test.mjs PACKAGE_DIR ZBAR_READ SCRATCH_DIR
import { spawnSync } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, zbarRead, scratch] = process.argv.slice(2);
const imported = await import(pathToFileURL(join(packageDir, 'quillet.js')).href);
const required = createRequire(import.meta.url)(join(packageDir, 'quillet.cjs'));
mkdirSync(scratch, { recursive: true });

let failed = 0;
const fail = (message) => {
  ++failed;
  console.log(`FAIL ${message}`);
};
// What a reader finds, symbols in its order joined by " ": zbar's "EAN-13:5901234123457", or
// ZXing's "Code128 ]C1:0109501101530003".
const readers = {
  zbar: (file) => spawnSync(zbarRead, ['code93.enable=1', 'codabar.enable=1', 'i25.min-length=2',
    'upca.enable=1', 'upce.enable=1', 'ean2.enable=1', 'ean5.enable=1', file],
  { encoding: 'utf8' }).stdout.trim().split('\n').join(' '),
  zxing: (file) => {
    const lines = spawnSync('ZXingReader', [file], { encoding: 'utf8' }).stdout;
    const field = (name) => lines.match(new RegExp(`^${name}:\\s*"?(.*?)"?$`, 'm'))?.[1];
    return `${field('Format')} ${field('Identifier')}:${field('Text')}`;
  },
};
const read = (reader, name, png) => {
  const file = join(scratch, `${name}.png`);
  writeFileSync(file, png);
  return readers[reader](file);
};
const resolution = (png) => {
  const at = Buffer.from(png).indexOf('pHYs');
  return at > 0 ? Buffer.from(png).readUInt32BE(at + 4) : 0;
};

// [spelling, data, options, what zbar reads (or the reader named last)]
const symbols = [
  ['ean13', '590123412345', { dpi: 300 }, 'EAN-13:5901234123457'],
  ['EAN-8', '9638507', {}, 'EAN-8:96385074'],
  ['upca', '03600029145', { rotate: 90 }, 'UPC-A:036000291452'],
  ['upce', '115838', { module: '0.33mm', dpi: 300 }, 'UPC-E:01158380'],
  ['code128', 'ABC-12345', { rotate: 270, background: 'none' }, 'CODE-128:ABC-12345'],
  ['code39', 'CODE39', { ratio: 2.5, line: 'navy' }, 'CODE-39:CODE39'],
  ['itf', '1234567890', { rotate: 180 }, 'I2/5:1234567890'],
  ['codabar', 'A40156B', { module: '1px' }, 'Codabar:A40156B'],
  ['code93', 'CODE 93', { height: '10mm' }, 'CODE-93:CODE 93'],
  ['Code-128', 'Ship-ID 2026/12/07 #0042', { set: 'B' }, 'CODE-128:Ship-ID 2026/12/07 #0042'],
  ['code128auto', 'Ship-ID 2026/12/07 #0042', {}, 'CODE-128:Ship-ID 2026/12/07 #0042'],
  ['gs1-128', '(01)09501101530003(17)260101(10)ABC123', { rotate: 90 },
    'Code128 ]C1:01095011015300031726010110ABC123', 'zxing'],
  ['itf14', '1540014128876', { bearers: '2:bars' }, 'I2/5:15400141288763'],
  ['ean13', '977123456700+05', {}, 'EAN-2:05 EAN-13:9771234567003'],
  ['upca', '03600029145+12345', { dpi: 300 }, 'EAN-5:12345 UPC-A:036000291452'],
  ['upce', '115838+12', {}, 'EAN-2:12 UPC-E:01158380'],
];
for (const [spelling, data, options, expected, reader = 'zbar'] of symbols) {
  for (const [form, quillet] of [['import', imported], ['require', required]]) {
    const png = quillet.toPNG(spelling, data, options);
    const got = read(reader, `${spelling}-${form}`, png);
    if (got !== expected) fail(`${spelling} (${form}): ${reader} read ${JSON.stringify(got)}`);
    const dpi = options.dpi ?? 96;
    if (resolution(png) !== Math.round(dpi / 0.0254)) fail(`${spelling}: no pHYs of ${dpi} dpi`);
  }
}

const small = imported.toSVG('code128', 'ABC-12345', { text: false });
if (small.length >= 2048) fail(`toSVG('code128', 'ABC-12345') is ${small.length} bytes`);

// [row, call, "error NUMBER OPTION"]
const refusals = [
  ['module_without_unit', () => imported.toSVG('ean13', '1', { module: 'wide' }), 'error 13 module'],
  ['ratio_beyond_3', () => imported.toSVG('code39', 'A', { ratio: 5 }), 'error 5 ratio'],
  ['rotate_45', () => imported.toSVG('code39', 'A', { rotate: 45 }), 'error 5 rotate'],
  ['dpi_5', () => imported.toPNG('code39', 'A', { dpi: 5 }), 'error 5 dpi'],
  ['background_no_colour', () => imported.toSVG('code39', 'A', { background: 'nope' }), 'error 13 background'],
  ['option_unknown', () => imported.toSVG('code39', 'A', { colour: 'red' }), 'error 5 colour'],
  ['text_without_canvas', () => imported.toPNG('code39', 'A', { text: true }), 'error 5 text'],
  ['spelling_unknown', () => imported.toSVG('ean14', '1'), 'error 5'],
  ['data_not_text', () => required.toSVG('ean13', 590123412345), 'error 13'],
  ['check_digit_wrong', () => imported.toSVG('ean13', '5901234123458'), 'error 5 ean13.check-digit'],
  ['check_digit_as_is', () => imported.toSVG('ean13', '5901234123458', { asIs: true }), 'no error'],
  ['gs1_check_digit', () => imported.toSVG('gs1128', '(01)09501101530004'), 'error 5 gs1.check-digit'],
  ['imb_short', () => imported.toSVG('imb', '0123'), 'error 5 imb.length'],
  ['addon_of_three', () => imported.toSVG('upca', '03600029145+123'), 'error 5 addon.length'],
  ['set_as_is', () => imported.toSVG('code128', 'BABC', { set: 'B', asIs: true }), 'error 5 set'],
  ['set_beyond_code128', () => imported.toSVG('gs1-128', '(00)1', { set: 'A' }), 'error 5 set'],
  ['bearers_beyond_itf14', () => imported.toSVG('itf', '12', { bearers: '5:frame' }), 'error 5 bearers'],
];
for (const [name, call, expected] of refusals) {
  let got;
  try {
    call();
    got = 'no error';
  } catch (error) {
    const about = error.option ?? error.findings?.[0]?.id;
    got = error?.name === 'QuilletError' ? `error ${error.number}${about ? ` ${about}` : ''}` : String(error);
  }
  if (got !== expected) fail(`${name}: ${got}, expected ${expected}`);
}
console.log(failed === 0 ? 'passed' : `${failed} failed`);
process.exitCode = failed === 0 ? 0 : 1;
