// A project of its own that has the quillet package installed: draws the rows it is given and
// prints what came of them, for node_trace_test.mjs.
//
// usage: node consumer.mjs '{"traces": [[name, symbology, code, options], ...],
//                            "conversions": [[name, symbology, options, surface], ...]}'
import { createRequire } from 'node:module';
import * as imported from 'quillet';
import { readFileSync } from 'node:fs';
import {
  draw, RecordingSurface, QuilletError, escapeText, SvgSurface, symbologyNamed,
} from 'quillet';

const { traces, conversions } = JSON.parse(process.argv[2]);

// The trace as `quillet trace` prints it.
function trace([, symbology, code, options]) {
  const surface = new RecordingSurface();
  let ending;
  try {
    const drawn = draw(surface, symbology, { ...options, code });
    ending = `Result\t${drawn.result}\npCode\t${escapeText(drawn.code)}\n`;
  } catch (error) {
    if (!(error instanceof QuilletError)) throw error;
    // The caller's variable keeps its data when the call fails towards the caller.
    ending = `Error\t${error.number}\npCode\t${escapeText(code)}\n`;
  }
  return surface.trace() + ending;
}

// Surfaces by name: the recording one, one lacking a member, ones whose Line throws.
function surfaceNamed(name) {
  const plain = { FontName: '', ForeColor: 0, FontBold: false, FontSize: 0, CurrentX: 0,
    CurrentY: 0, TextWidth: () => 100, TextHeight: () => 200, Line() {}, Print() {} };
  const [kind, detail] = name.split(':');
  switch (kind) {
    case 'recording': return new RecordingSurface();
    case 'null': return null;
    case 'lacking': delete plain[detail]; return plain;
    case 'throwing': return { ...plain, Line() {
      throw detail === 'plain' ? new Error('no') : Object.assign(new Error('no'), { number: Number(detail) });
    } };
    default: throw new Error(`no surface ${name}`);
  }
}

// "result N", "error N" for a QuilletError or the name of another exception; a recording
// surface adds its FontSize line, a drawing stopped by an exception says so.
function conversion([, symbology, options, surfaceName]) {
  const surface = surfaceNamed(surfaceName);
  try {
    const drawn = draw(surface, symbology, options);
    const fontSize = surface instanceof RecordingSurface ? ` ${surface.lines[3]}` : '';
    return `result ${drawn.result}${fontSize}${drawn.error ? ' with error' : ''}`;
  } catch (error) {
    return error instanceof QuilletError ? `error ${error.number}` : error.name;
  }
}

// The SVG paints what the boxes paint one after another (its paths merge boxes and leave out
// white on white): compared along a row through the bars, unit by unit, on a white page.
function svgPaintsTheBoxes() {
  const cases = [['EAN_13', { code: '400638133393' }], ['Code_39', { code: 'A1', width: 0 }],
    ['Code_39', { code: 'AB', width: -3, ratio: '2:1' }], ['PostNet', { code: '12345' }],
    ['Code_93', { code: 'A', lineColor: 0xffffff }]];
  return cases.every(([symbology, options]) => {
    const recording = new RecordingSurface();
    const svg = new SvgSurface();
    draw(recording, symbology, options);
    draw(svg, symbology, options);
    const boxes = recording.lines.filter((line) => line.startsWith('Line\t')).map((line) => {
      const [, , x1, y1, x2, y2, color] = line.split('\t').map(Number);
      return { left: Math.min(x1, x2 + 1), right: Math.max(x1, x2 + 1),
        top: Math.min(y1, y2 + 1), bottom: Math.max(y1, y2 + 1), fill: color };
    });
    const painted = [];
    for (const [, fill, d] of svg.toString().matchAll(/<path fill="#(\w+)" d="([^"]*)"/g)) {
      for (const [, x, y, w, h] of d.matchAll(/M(\S+) (\S+)h(\S+)v(\S+)h\S+z/g)) {
        const [r, g, b] = [0, 2, 4].map((i) => parseInt(fill.slice(i, i + 2), 16));
        painted.push({ left: +x, right: +x + +w, top: +y, bottom: +y + +h, fill: (b << 16) | (g << 8) | r });
      }
    }
    const row = boxes.length ? Math.min(...boxes.map((b) => b.bottom)) - 0.5 : 0;
    const paint = (list, x) => list.reduce((colour, b) =>
      b.left <= x && x < b.right && b.top <= row && row < b.bottom ? b.fill : colour, 0xffffff);
    const from = Math.min(...boxes.map((b) => b.left)), to = Math.max(...boxes.map((b) => b.right));
    for (let x = from; x < to; ++x) if (paint(boxes, x + 0.5) !== paint(painted, x + 0.5)) return false;
    return true;
  });
}

// The three forms of the package (Node's import, require, the browsers' ES module) offer the same
// names, and require and the ES module draw the same symbol.
async function forms() {
  const required = createRequire(import.meta.url)('quillet');
  const browser = await import(new URL('./node_modules/quillet/quillet.js', import.meta.url).href);
  const names = (form) => Object.keys(form).sort().join(' ');
  const traced = (form) => {
    const surface = new form.RecordingSurface();
    return `${surface.trace()}${form.draw(surface, 'Code_39', { code: 'A1' }).result}`;
  };
  return { names: names(imported) === names(required) && names(required) === names(browser),
    same: traced(required) === traced(browser) && required.QuilletError === QuilletError };
}

// The type name of every spelling the declarations list.
function spellings() {
  const declarations = readFileSync(new URL('./node_modules/quillet/quillet.d.ts', import.meta.url), 'utf8');
  const union = declarations.match(/type SymbologyName = Symbology([^;]*);/)[1];
  return [...union.matchAll(/'([^']+)'/g)].map(([, spelling]) => [spelling, symbologyNamed(spelling)]);
}

process.stdout.write(JSON.stringify({ spellings: spellings(), traces: traces.map(trace),
  conversions: conversions.map(conversion), svgPaintsTheBoxes: svgPaintsTheBoxes(), forms: await forms() }));
