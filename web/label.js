// The label page: draws the symbol as the settings change, shows the data as the method left it
// and the result with its meaning, exports PNG and SVG, and collects labels on a printable sheet.
const started = performance.now();
const quillet = await import('./quillet/quillet.js');
const loadMilliseconds = performance.now() - started;
const { drawOn, toPNG, toSVG, describeResult, QuilletError, oneCallSymbologies } = quillet;

const pngDpi = 300;
// What a symbology shows when chosen: sample data, and whether its check character is on
// (Code 128 and Code 93 are read only with theirs).
const samples = {
  Codabar: ['A40156B'], Code_11: ['0123-4567', true], Code_128: ['Quillet 128', true],
  Code_25: ['1234567890'], Code_39: ['CODE39'], Code_39F: ['Code 39 full'],
  Code_93: ['CODE 93', true], EAN_13: ['400638133393'], EAN_8: ['9638507'], ISBN: ['080442957X'],
  Code_MSI: ['80523', true], PostNet: ['12345-6789'], UPC_A: ['03600029145'],
  UPC_A_Plus: ['78901234567'], UPC_E: ['115838'], Code_128_Auto: ['Quillet 128 00123456', true],
  GS1_128: ['(01)09501101530003(10)ABC123', true], ITF_14: ['1540014128876', true],
  EAN_13_AddOn: ['400638133393+12'], UPC_A_AddOn: ['03600029145+12345'],
  UPC_E_AddOn: ['115838+12'], Intelligent_Mail: ['01234567094987654321-01234567891', true],
};

const $ = (id) => document.getElementById(id);
const form = $('settings');
const canvas = $('label');
const preview = $('preview');

for (const name of oneCallSymbologies) {
  $('symbology').add(new Option(name.replaceAll('_', ' '), name, false, name === 'EAN_13'));
}

// The settings as the one-call functions take them; empty fields keep their defaults.
function settings() {
  const given = (id) => $(id).value.trim() || undefined;
  const ratio = given('ratio');
  return {
    symbology: $('symbology').value,
    data: $('data').value,
    options: {
      module: given('module'),
      height: given('height'),
      // "3" or "3:1" alike: wide to narrow.
      ratio: ratio === undefined ? undefined :
        ratio.split(':').map(Number).reduce((wide, narrow) => wide / narrow),
      chk: $('chk').checked,
      text: $('text').checked,
      font: given('font'),
      bold: $('bold').checked,
      asIs: $('as-is').checked,
    },
  };
}

let current = null;  // the settings of the label on show, when it drew

function failureOf(error) {
  if (!(error instanceof QuilletError)) throw error;
  return `error ${error.number} (${describeResult(error.number)}): ` +
    `${error.findings?.filter((f) => f.refusal).map((f) => f.message).join('; ') || error.message}`;
}

// Draws the label onto the page's canvas, every module whole device pixels at the screen's
// devicePixelRatio; a failure shows no symbol at all: half a symbol is no label.
function redraw() {
  const chosen = settings();
  let drawn;
  try {
    drawn = drawOn(canvas, chosen.symbology, chosen.data, chosen.options);
  } catch (error) {
    current = null;
    preview.classList.add('failed');
    $('result').value = failureOf(error);
    $('normalised').value = chosen.data;
    for (const id of ['download-png', 'download-svg', 'add']) $(id).disabled = true;
    canvas.width = canvas.height = 1;
    return;
  }
  current = chosen;
  preview.classList.remove('failed');
  for (const id of ['download-png', 'download-svg', 'add']) $(id).disabled = false;
  $('normalised').value = drawn.code;
  $('result').value = 'drawn';
}

// The label as PNG at pngDpi, a data URL.
function png() {
  if (current === null) return null;
  const bytes = toPNG(current.symbology, current.data, { ...current.options, dpi: pngDpi });
  let binary = '';
  for (const byte of bytes) binary += String.fromCharCode(byte);
  return `data:image/png;base64,${btoa(binary)}`;
}

// The label as an SVG document, at its true size.
function svg() {
  if (current === null) return null;
  return toSVG(current.symbology, current.data, current.options);
}

function fileName(extension) {
  const data = current.data.replace(/[^A-Za-z0-9-]+/g, '_').slice(0, 40);
  return `${current.symbology}-${data || 'label'}.${extension}`;
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
  image.alt = `${current.symbology} ${current.data}`;
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
// A page moved to a screen of another pixel ratio (or zoomed) draws its modules anew in whole
// pixels.
function redrawOnNewPixelRatio() {
  matchMedia(`(resolution: ${devicePixelRatio}dppx)`).addEventListener('change', () => {
    redraw();
    redrawOnNewPixelRatio();
  }, { once: true });
}
redrawOnNewPixelRatio();
$('load-time').textContent = `module loaded in ${loadMilliseconds.toFixed(1)} ms`;

redraw();
// For scripts and tests that drive the page.
window.quilletLabel = { loadMilliseconds, png, svg, redraw, addToSheet, quillet };
