// The label page: draws the symbol as the settings change, shows the data as the method left it
// and the result with its meaning, exports PNG and SVG, and collects labels on a printable sheet.
const started = performance.now();
const quillet = await import('./quillet/quillet.js');
const loadMilliseconds = performance.now() - started;
const { draw, describeResult, QuilletError, CanvasSurface, SvgSurface, fitCanvas, symbologies } =
  quillet;

const twipsPerPixel = 15;  // CSS pixels: 96 an inch
const pngDpi = 300;
// What a symbology shows when chosen: sample data, and whether its check character is on
// (Code 128 and Code 93 are read only with theirs).
const samples = {
  Codabar: ['A40156B'], Code_11: ['0123-4567', true], Code_128: ['BQuillet 128', true],
  Code_25: ['1234567890'], Code_39: ['CODE39'], Code_39F: ['Code 39 full'],
  Code_93: ['CODE 93', true], EAN_13: ['400638133393'], EAN_8: ['9638507'], ISBN: ['080442957'],
  Code_MSI: ['80523', true], PostNet: ['12345-6789'], UPC_A: ['03600029145'],
  UPC_A_Plus: ['78901234567'], UPC_E: ['115838'],
};

const $ = (id) => document.getElementById(id);
const form = $('settings');
const canvas = $('label');
const preview = $('preview');

for (const name of symbologies) {
  $('symbology').add(new Option(name.replaceAll('_', ' '), name, false, name === 'EAN_13'));
}

function settings() {
  return {
    symbology: $('symbology').value,
    options: {
      code: $('data').value,
      width: $('width').value,
      height: $('height').value,
      ratio: $('ratio').value,
      chk: $('chk').checked,
      text: $('text').checked ? 1 : 0,
      font: $('font').value,
      bold: $('bold').checked,
    },
  };
}

// The quiet zone: ten modules on every side.
function marginOf(options) {
  return 10 * Math.max(Math.abs(Number(options.width)) || 0, 1);
}

// Draws once onto a surface that only measures, for the size of the page; null and the failure
// when the symbol cannot be drawn. A failure shows no symbol at all: half a symbol is no label.
const measuring = document.createElement('canvas').getContext('2d');
function measure({ symbology, options }) {
  const scratch = new CanvasSurface(measuring);
  try {
    const drawn = draw(scratch, symbology, options);
    if (drawn.result !== 0) return { drawn, failure: `result ${drawn.result} (${describeResult(drawn.result)})` };
    return { drawn, extents: scratch.drawn ?? { left: 0, top: 0, right: 0, bottom: 0 } };
  } catch (error) {
    if (!(error instanceof QuilletError)) throw error;
    return { failure: `error ${error.number} (${describeResult(error.number)}): nothing drawn` };
  }
}

// Draws the label onto a context scaled to CSS pixels, white quiet zone included.
// The label's size in CSS pixels, quiet zone included.
function sizeOf(measured, chosen) {
  const margin = marginOf(chosen.options);
  const { extents } = measured;
  return {
    width: (extents.right - extents.left + 2 * margin) / twipsPerPixel,
    height: (extents.bottom - extents.top + 2 * margin) / twipsPerPixel,
  };
}

function paint(context, measured, chosen) {
  const { width, height } = sizeOf(measured, chosen);
  const margin = marginOf(chosen.options);
  context.fillStyle = '#ffffff';
  context.fillRect(0, 0, width, height);
  context.translate((margin - measured.extents.left) / twipsPerPixel,
    (margin - measured.extents.top) / twipsPerPixel);
  draw(new CanvasSurface(context), chosen.symbology, chosen.options);
}

let current = null;  // the settings and measurement of the label on show, when it drew

function redraw() {
  const chosen = settings();
  const measured = measure(chosen);
  $('normalised').value = measured.drawn ? measured.drawn.code : chosen.options.code;
  const failed = measured.failure !== undefined;
  preview.classList.toggle('failed', failed);
  for (const id of ['download-png', 'download-svg', 'add']) $(id).disabled = failed;
  if (failed) {
    current = null;
    $('result').value = measured.failure;
    fitCanvas(canvas, 1, 1).clearRect(0, 0, 1, 1);
    return;
  }
  current = { chosen, measured };
  $('result').value = 'result 0 (drawn)';
  const { width, height } = sizeOf(measured, chosen);
  paint(fitCanvas(canvas, width, height), measured, chosen);
}

// The label as PNG at pngDpi, a data URL.
function png() {
  if (current === null) return null;
  const { width, height } = sizeOf(current.measured, current.chosen);
  const scale = pngDpi / 96;
  const target = document.createElement('canvas');
  paint(fitCanvas(target, width, height, scale), current.measured, current.chosen);
  return target.toDataURL('image/png');
}

// The label as an SVG document, at its true size.
function svg() {
  if (current === null) return null;
  const surface = new SvgSurface();
  draw(surface, current.chosen.symbology, current.chosen.options);
  return surface.toString({ margin: marginOf(current.chosen.options) });
}

function fileName(extension) {
  const data = current.measured.drawn.code.replace(/[^A-Za-z0-9-]+/g, '_').slice(0, 40);
  return `${current.chosen.symbology}-${data || 'label'}.${extension}`;
}

function download(url, name) {
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
}

function addToSheet() {
  if (current === null) return;
  const body = $('sheet').tBodies[0];
  let row = body.rows[body.rows.length - 1];
  if (!row || row.cells.length === 3) row = body.insertRow();
  const cell = row.insertCell();
  const image = new Image();
  image.src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(svg())}`;
  image.alt = `${current.chosen.symbology} ${current.measured.drawn.code}`;
  const caption = document.createElement('div');
  caption.className = 'caption';
  caption.textContent = image.alt;
  cell.append(image, caption);
}

form.addEventListener('input', redraw);
form.addEventListener('submit', (event) => event.preventDefault());
$('symbology').addEventListener('change', () => {
  const [data, chk = false] = samples[$('symbology').value];
  $('data').value = data;
  $('chk').checked = chk;
  redraw();
});
$('download-png').addEventListener('click', () => download(png(), fileName('png')));
$('download-svg').addEventListener('click', () => {
  const url = URL.createObjectURL(new Blob([svg()], { type: 'image/svg+xml' }));
  download(url, fileName('svg'));
  setTimeout(() => URL.revokeObjectURL(url), 1000);
});
$('add').addEventListener('click', addToSheet);
$('clear').addEventListener('click', () => $('sheet').tBodies[0].replaceChildren());
$('print').addEventListener('click', () => {
  if ($('sheet').tBodies[0].rows.length === 0) addToSheet();
  window.print();
});
$('load-time').textContent = `module loaded in ${loadMilliseconds.toFixed(1)} ms`;

redraw();
// For scripts and tests that drive the page.
window.quilletLabel = { loadMilliseconds, png, svg, redraw, addToSheet };
