// The npm package, installed from its tarball into a new project, draws every symbology onto its
// RecordingSurface exactly as `quillet trace` does: the same calls with the same arguments, the
// same result (or failure towards the caller) and the same pCode. Also the package's own part:
// how it converts the arguments and what a failing surface member gives.
//
// usage: node node_trace_test.mjs PACKAGE.tgz QUILLET_COMMAND
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [tarball, quilletCommand] = process.argv.slice(2);
const here = dirname(fileURLToPath(import.meta.url));

// [row name, symbology, data, drawing options by their names in the package]
const cases = [
  ['codabar', 'Codabar', 'A123B', {}],
  ['codabar_start_added', 'Codabar', '0123456789-$:/.+', { ratio: '4:1' }],
  ['code11_check', 'Code_11', '0123-45', { chk: true }],
  ['code128_set_b', 'Code_128', 'BHello, World {~}', {}],
  ['code128_set_c', 'Code_128', 'C0123456789', { text: 5 }],
  ['code128_set_a_tab', 'Code_128', 'AHELLO\t_ 42', {}],
  ['code128_beyond_latin1', 'Code_128', 'BÄé€', {}],
  ['code25_check', 'Code_25', '1234', { chk: true, ratio: '2:0' }],
  ['code25_not_digits', 'Code_25', '12a', {}],
  ['code39_check', 'Code_39', 'CODE39', { chk: true }],
  ['code39_bad_character', 'Code_39', 'AB@C', {}],
  ['code39_ratio_without_colon', 'Code_39', 'CODE39', { ratio: '3' }],
  ['code39_x_overflows_in_trap', 'Code_39', 'A', { x: 40000 }],
  ['code39_fractional_x', 'Code_39', 'A-1', { x: 0.1, y: 10.7 }],
  ['code39_half_x', 'Code_39', 'HALF', { x: 100.5, ratio: '2.5:1' }],
  ['code39f_check', 'Code_39F', 'Hello a', { chk: true, bold: true, font: 'Liberation Sans' }],
  ['code93_full_ascii', 'Code_93', 'Hi, [x]@{a~b}!\t', { chk: true }],
  ['ean13', 'EAN_13', '400638133393', { foreColor: 0x0000ff, lineColor: 0x123456 }],
  ['ean13_no_text', 'EAN_13', '4006381333931', { text: 0 }],
  ['ean13_zero_width', 'EAN_13', '12AB', { width: 0 }],
  ['ean13_negative_width', 'EAN_13', '590123412345', { width: -3, height: 1 }],
  ['ean8', 'EAN_8', '9638507', {}],
  ['isbn', 'ISBN', '080442957', {}],
  ['msi_check', 'Code_MSI', '1234567', { chk: true }],
  ['postnet', 'PostNet', '12345-6789', {}],
  ['upca', 'UPC_A', '03600029145', { y: 100 }],
  ['upca_x_overflows_before_trap', 'UPC_A', '03600029145', { x: 40000 }],
  ['upca_plus', 'UPC_A_Plus', '78901234567', {}],
  ['upce', 'UPC_E', '115838', { x: 1440.5 }],
];

// [row name, symbology, options, surface, outcome] (consumer.mjs names the surfaces and outcomes)
const conversions = [
  ['width_rounds_half_to_even_down', 'Code_39', { code: 'A', width: 2.5 }, 'recording', 'result 0 FontSize\t1'],
  ['width_rounds_half_to_even_up', 'Code_39', { code: 'A', width: '3.5' }, 'recording', 'result 0 FontSize\t2'],
  ['width_beyond_16_bits', 'Code_39', { code: 'A', width: 40000 }, 'recording', 'error 6'],
  ['width_not_a_number', 'Code_39', { code: 'A', width: 'wide' }, 'recording', 'error 13'],
  ['colour_as_unsigned_hex', 'Code_39', { code: 'A', lineColor: 0xffffffff }, 'recording', 'result 0 FontSize\t7'],
  ['code_null', 'Code_39', { code: null }, 'recording', 'error 94'],
  ['symbology_by_number', 4, { code: 'A' }, 'recording', 'result 0 FontSize\t7'],
  ['symbology_unknown', 'Code_40', { code: 'A' }, 'recording', 'error 5'],
  ['option_unknown', 'Code_39', { code: 'A', colour: 0 }, 'recording', 'error 5'],
  ['surface_lacks_member', 'ISBN', { code: '080442957' }, 'lacking:TextHeight', 'result 438'],
  ['surface_member_fails_with_number', 'Code_39', { code: 'A' }, 'throwing:380', 'result 380 with error'],
  ['surface_member_fails_without_number', 'Code_39', { code: 'A' }, 'throwing:plain', 'result 5 with error'],
  ['surface_number_beyond_16_bits', 'Code_39', { code: 'A' }, 'throwing:70000', 'error 6'],
  ['surface_null', 'Code_39', { code: 'A' }, 'null', 'result 91'],
];

const flags = { x: '--x', y: '--y', width: '--width', height: '--height', text: '--text',
  bold: '--bold', font: '--font', foreColor: '--fore', lineColor: '--line', ratio: '--ratio',
  chk: '--chk' };

function expectedTrace([, symbology, data, options]) {
  const args = ['trace', symbology];
  for (const [name, value] of Object.entries(options)) args.push(flags[name], String(value));
  args.push('--', data);
  const run = spawnSync(quilletCommand, args, { encoding: 'utf8' });
  if (run.status !== 0 && run.status !== 2) throw new Error(`quillet ${args.join(' ')}: ${run.stderr}`);
  return run.stdout;
}

// The consumer is a project of its own that has the package as a dependency.
const project = mkdtempSync(join(tmpdir(), 'quillet-web-'));
try {
  writeFileSync(join(project, 'package.json'), '{"name": "consumer", "private": true, "type": "module"}\n');
  const install = spawnSync('npm', ['install', '--no-audit', '--no-fund', '--offline', tarball],
    { cwd: project, encoding: 'utf8' });
  if (install.status !== 0) throw new Error(`npm install ${tarball}: ${install.stderr}`);
  writeFileSync(join(project, 'consumer.mjs'), readFileSync(join(here, 'consumer.mjs')));
  const consumer = spawnSync(process.execPath,
    ['consumer.mjs', JSON.stringify({ traces: cases, conversions })],
    { cwd: project, encoding: 'utf8', maxBuffer: 64 << 20 });
  if (consumer.status !== 0) throw new Error(`consumer: ${consumer.stderr}`);
  const outcome = JSON.parse(consumer.stdout);

  let failed = 0;
  let checked = 0;  // checks beyond the tables
  cases.forEach((row, i) => {
    const expected = expectedTrace(row).split('\n');
    const actual = outcome.traces[i].split('\n');
    const line = expected.findIndex((text, n) => text !== actual[n]);
    if (line >= 0 || actual.length !== expected.length) {
      ++failed;
      const at = line >= 0 ? line : Math.min(expected.length, actual.length);
      console.log(`FAIL ${row[0]}: line ${at + 1}: quillet trace has ${JSON.stringify(expected[at])}, ` +
        `the package ${JSON.stringify(actual[at])}`);
    }
  });
  conversions.forEach(([name, , , , expected], i) => {
    if (outcome.conversions[i] !== expected) {
      ++failed;
      console.log(`FAIL ${name}: ${JSON.stringify(outcome.conversions[i])}, expected ${JSON.stringify(expected)}`);
    }
  });
  // Every spelling of the declarations is the symbology the quillet command takes it for.
  for (const [spelling, type] of outcome.spellings) {
    const traced = (name) => spawnSync(quilletCommand, ['trace', name, '--', '1'], { encoding: 'utf8' }).stdout;
    if (traced(spelling) !== traced(type) || traced(type) === '') {
      ++failed;
      console.log(`FAIL spelling ${spelling}: the package takes it for ${type}, the quillet command otherwise`);
    }
  }
  if (!outcome.forms.names || !outcome.forms.same) {
    ++failed;
    console.log(`FAIL forms: import, require and the ES module differ: ${JSON.stringify(outcome.forms)}`);
  }
  if (!outcome.svgPaintsTheBoxes) {
    ++failed;
    console.log('FAIL svg_paints_the_boxes: the SVG paints otherwise than its boxes in turn');
  }

  // The declarations, for a TypeScript caller (where typescript is installed beside this test).
  const tsc = join(here, 'node_modules/typescript/bin/tsc');
  if (existsSync(tsc)) {
    for (const file of ['consumer-types.ts', 'consumer-require.cts']) {
      writeFileSync(join(project, file), readFileSync(join(here, file)));
    }
    const check = spawnSync(process.execPath, [tsc, '--noEmit', '--strict', '--target', 'es2022',
      '--module', 'nodenext', '--moduleResolution', 'nodenext', '--lib', 'es2022,dom',
      'consumer-types.ts', 'consumer-require.cts'], { cwd: project, encoding: 'utf8' });
    if (check.status !== 0) {
      ++failed;
      console.log(`FAIL declarations: ${check.stdout}${check.stderr}`);
    } else {
      ++checked;
    }
  }

  // The budget of a page that loads it: 160 KB of WebAssembly (the fifteen methods, the
  // symbologies beyond them and the checks).
  const wasm = statSync(join(project, 'node_modules/quillet/quillet-core.wasm')).size;
  console.log(`quillet-core.wasm: ${wasm} bytes`);
  if (wasm > 160 * 1024) {
    ++failed;
    console.log(`FAIL wasm_size: ${wasm} bytes, more than 160 KB`);
  }
  console.log(`${cases.length + conversions.length + outcome.spellings.length + 3 + checked - failed} passed, ${failed} failed`);
  process.exitCode = failed === 0 ? 0 : 1;
} finally {
  rmSync(project, { recursive: true, force: true });
}
