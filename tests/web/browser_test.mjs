// The label page in headless Chromium, served from a static server on 127.0.0.1: every
// symbology is drawn onto the page's canvas at a devicePixelRatio of 1, 2 and 3, and zbar reads
// back from a screenshot each symbol that it reads, with the right symbology and text; bar edges
// land on whole device pixels. The PNG export (300 DPI, the package's own encoder) reads back and
// carries its resolution; the SVG export, rasterised by the browser at 1x, reads back too, and a
// Code 128 symbol without text is under 2 KB. The Download PNG button saves a file; typing into
// the data field redraws the symbol; a failing input shows its error and no stale symbol; the
// printed sheet shows only the labels, at their true size. A screenshot of the page and the
// printed sheet (PDF) are kept.
//
// usage: node browser_test.mjs SITE_DIR CHROMIUM ZBAR_READ ARTIFACTS_DIR
// (ZBAR_READ: quillet_zbar_read, tests/web/zbar_read.cpp)
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { extname, join, normalize } from 'node:path';

const [site, chromium, zbarRead, artifacts] = process.argv.slice(2);
const puppeteer = createRequire(import.meta.url)('puppeteer-core');

// [row name, symbology, data, check, what zbar reads (null: zbar has no reader for it)]
const cases = [
  ['codabar', 'Codabar', 'A40156B', false, 'Codabar:A40156B'],
  ['code11', 'Code_11', '0123-4567', true, null],
  ['code128', 'Code_128', 'Quillet 128', true, 'CODE-128:Quillet 128'],
  ['code25', 'Code_25', '1234567890', false, 'I2/5:1234567890'],
  ['code39', 'Code_39', 'CODE39', true, 'CODE-39:CODE39W'],
  ['code39f', 'Code_39F', 'Hello a', true, 'CODE-39:H+E+L+L+O +A6'],
  ['code93', 'Code_93', 'CODE 93', true, 'CODE-93:CODE 93'],
  ['ean13', 'EAN_13', '400638133393', false, 'EAN-13:4006381333931'],
  ['ean8', 'EAN_8', '9638507', false, 'EAN-8:96385074'],
  ['isbn', 'ISBN', '080442957X', false, 'EAN-13:9780804429573'],
  ['msi', 'Code_MSI', '80523', true, null],
  ['postnet', 'PostNet', '12345-6789', false, null],
  ['upca', 'UPC_A', '03600029145', false, 'UPC-A:036000291452'],
  ['upca_plus', 'UPC_A_Plus', '78901234567', false, 'UPC-A:789012345674'],
  ['upce', 'UPC_E', '115838', false, 'UPC-E:01158380'],
  ['gs1_128', 'GS1_128', '(01)09501101530003(10)AB1', true, 'CODE-128:010950110153000310AB1'],
  ['itf14', 'ITF_14', '1540014128876', true, 'I2/5:15400141288763'],
  ['imb', 'Intelligent_Mail', '01234567094987654321-01234567891', true, null],
];
const zbarSettings = ['code93.enable=1', 'codabar.enable=1', 'codabar.min-length=1',
  'i25.min-length=2', 'upca.enable=1', 'upce.enable=1'];

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.json': 'application/json', '.md': 'text/markdown' };
const server = createServer((request, response) => {
  const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
  try {
    const body = readFileSync(join(site, path.endsWith('/') ? `${path}index.html` : path));
    response.writeHead(200, { 'content-type': types[extname(path)] ?? 'text/html' });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));

let failed = 0;
let passed = 0;
function check(name, ok, detail) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    console.log(`FAIL ${name}: ${detail}`);
  }
}

mkdirSync(artifacts, { recursive: true });
const browser = await puppeteer.launch({ executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-dev-shm-usage'] });
try {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.setViewport({ width: 1100, height: 900, deviceScaleFactor: 2 });
  await page.goto(`http://127.0.0.1:${server.address().port}/`, { waitUntil: 'load' });
  await page.waitForFunction(() => window.quilletLabel !== undefined, { timeout: 20000 });
  const loadMilliseconds = await page.evaluate(() => window.quilletLabel.loadMilliseconds);
  console.log(`module loaded in ${loadMilliseconds.toFixed(1)} ms`);

  const setData = (symbology, data, chk) => page.evaluate((s, d, c) => {
    document.getElementById('symbology').value = s;
    document.getElementById('data').value = d;
    document.getElementById('chk').checked = c;
    document.getElementById('settings').dispatchEvent(new Event('input'));
  }, symbology, data, chk);
  const shown = () => page.evaluate(() => ({
    canvas: document.getElementById('label').toDataURL(),
    width: document.getElementById('label').width,
    normalised: document.getElementById('normalised').value,
    result: document.getElementById('result').value,
  }));

  // The colours met along a row through the bars (a third of the way down): only black and white
  // where every box edge lies on a device pixel.
  const greysInBars = (source) => page.evaluate(async (url) => {
    const image = new Image();
    image.src = url ?? document.getElementById('label').toDataURL();
    await image.decode();
    const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
    context.drawImage(image, 0, 0);
    const row = context.getImageData(0, Math.floor(image.height / 3), image.width, 1).data;
    return row.filter((value, i) => i % 4 !== 3 && value !== 0 && value !== 255).length;
  }, source);

  const zbar = (file) => spawnSync(zbarRead, [...zbarSettings, file], { encoding: 'utf8' })
    .stdout.replace(/\n$/, '');
  const saveDataUrl = (url, file) =>
    writeFileSync(file, Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));

  // On the page's canvas at each devicePixelRatio: whole device pixels, and a screenshot reads.
  for (const ratio of [1, 2, 3]) {
    await page.setViewport({ width: 1100, height: 900, deviceScaleFactor: ratio });
    for (const [name, symbology, data, chk, expected] of cases) {
      await setData(symbology, data, chk);
      const { result, width } = await shown();
      check(name, result === 'drawn' && width > 1, `page shows ${result} at ${ratio}x`);
      const grey = await greysInBars(null);
      check(name, grey === 0, `${grey} grey values across the bars on the canvas at ${ratio}x`);
      if (expected === null) continue;
      const file = join(artifacts, `${name}-${ratio}x.png`);
      await (await page.$('#label')).screenshot({ path: file });
      const read = zbar(file);
      check(name, read === expected, `zbar read ${JSON.stringify(read)} from the page at ${ratio}x, expected ${JSON.stringify(expected)}`);
    }
  }

  // The exports: PNG at 300 DPI with its resolution, SVG rasterised at its own size (1x).
  const svgAt1x = (svg) => page.evaluate(async (text) => {
    const image = new Image();
    image.src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(text)}`;
    await image.decode();
    const target = document.createElement('canvas');
    target.width = image.naturalWidth;
    target.height = image.naturalHeight;
    target.getContext('2d').drawImage(image, 0, 0);
    return target.toDataURL('image/png');
  }, svg);
  for (const [name, symbology, data, chk, expected] of cases) {
    await setData(symbology, data, chk);
    const png = await page.evaluate(() => window.quilletLabel.png());
    const greyInPng = await greysInBars(png);
    check(name, greyInPng === 0, `${greyInPng} grey values across the bars in the PNG`);
    const bytes = Buffer.from(png.slice(png.indexOf(',') + 1), 'base64');
    const resolution = bytes.indexOf('pHYs') > 0 ? bytes.readUInt32BE(bytes.indexOf('pHYs') + 4) : 0;
    check(name, resolution === 11811, `the PNG's resolution is ${resolution} pixels a metre, not 300 DPI`);
    const file = join(artifacts, `${name}.png`);
    writeFileSync(file, bytes);
    const svgFile = join(artifacts, `${name}-svg-1x.png`);
    saveDataUrl(await svgAt1x(await page.evaluate(() => window.quilletLabel.svg())), svgFile);
    if (expected === null) continue;
    check(name, zbar(file) === expected, `zbar read ${JSON.stringify(zbar(file))} from the PNG`);
    check(name, zbar(svgFile) === expected, `zbar read ${JSON.stringify(zbar(svgFile))} from the SVG at 1x`);
  }
  // Turned pages through the browser's canvas (a mirrored context at 180 degrees).
  for (const rotate of [90, 180, 270]) {
    const png = await page.evaluate((turn) => {
      const bytes = window.quilletLabel.quillet.toPNG('code128', 'ABC-12345', { rotate: turn });
      return `data:image/png;base64,${btoa(String.fromCharCode(...bytes))}`;
    }, rotate);
    const file = join(artifacts, `code128-${rotate}.png`);
    saveDataUrl(png, file);
    check(`rotate_${rotate}`, zbar(file) === 'CODE-128:ABC-12345', `zbar read ${JSON.stringify(zbar(file))}`);
  }
  const small = await page.evaluate(() =>
    window.quilletLabel.quillet.toSVG('code128', 'ABC-12345', { text: false }));
  const smallFile = join(artifacts, 'code128-small-svg-1x.png');
  saveDataUrl(await svgAt1x(small), smallFile);
  check('svg_small', small.length < 2048 && zbar(smallFile) === 'CODE-128:ABC-12345',
    `toSVG('code128', 'ABC-12345') without text: ${small.length} bytes, zbar read ${JSON.stringify(zbar(smallFile))}`);

  // The Download PNG button saves the label as a file.
  const downloads = join(artifacts, 'downloads');
  rmSync(downloads, { recursive: true, force: true });
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await setData('EAN_8', '9638507', false);
  await page.click('#download-png');
  const saved = join(downloads, 'EAN_8-9638507.png');
  for (let waited = 0; waited < 5000 && !existsSync(saved); waited += 100) {
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  const read = existsSync(saved) ? spawnSync(zbarRead, [saved], { encoding: 'utf8' }).stdout : '';
  check('download_png', read === 'EAN-8:96385074\n', `downloaded ${saved}: zbar read ${JSON.stringify(read)}`);

  // Typing redraws: each key changes the symbol and the data shown.
  await setData('Code_128', 'Quillet', false);
  const before = await shown();
  await page.focus('#data');
  await page.keyboard.type(' 42');
  const after = await shown();
  check('typing', after.normalised === 'Quillet 42' && after.canvas !== before.canvas,
    `after typing the page shows ${JSON.stringify(after.normalised)}, canvas changed: ${after.canvas !== before.canvas}`);

  // A failing input: its error and meaning, and no symbol left over from before.
  await setData('Code_39', 'AB@C', false);
  const failing = await shown();
  const hidden = await page.evaluate(() =>
    document.getElementById('preview').classList.contains('failed') &&
    document.getElementById('label').width <= 2);
  check('failing_input', /^error (5|9) /.test(failing.result) && hidden,
    `page shows ${JSON.stringify(failing.result)}, symbol hidden: ${hidden}`);
  await setData('Code_39', 'CODE39', false);
  await page.evaluate(() => {
    document.getElementById('ratio').value = '5';
    document.getElementById('settings').dispatchEvent(new Event('input'));
  });
  const refused = await shown();
  check('bad_option', refused.result.startsWith('error 5 (Invalid procedure call or argument)') &&
    refused.result.includes('ratio'), `page shows ${JSON.stringify(refused.result)}`);

  // The screenshot: a few labels on the sheet, one on show.
  await page.evaluate(() => { document.getElementById('ratio').value = '3'; });
  for (const [symbology, data] of [['Code_39', 'QUILLET'], ['UPC_A', '03600029145'],
    ['Code_128', 'Label sheet']]) {
    await setData(symbology, data, false);
    await page.click('#add');
  }
  await setData('EAN_13', '400638133393', false);
  await page.screenshot({ path: join(artifacts, 'label-page.png'), fullPage: true });

  // Printed: only the sheet, each label as wide as its SVG says (96 CSS pixels an inch; layout
  // keeps sizes to 1/64 pixel).
  await page.emulateMediaType('print');
  const printed = await page.evaluate(() => {
    const image = document.querySelector('#sheet img');
    const declared = decodeURIComponent(image.src).match(/width="([0-9.]+)px"/)[1];
    return { shown: image.getBoundingClientRect().width, declared: Number(declared),
      controls: getComputedStyle(document.getElementById('settings')).display };
  });
  check('print_true_size', Math.abs(printed.shown - printed.declared) < 0.1 &&
    printed.controls === 'none', `printed ${JSON.stringify(printed)}`);
  await page.pdf({ path: join(artifacts, 'sheet.pdf'), format: 'A4' });
  await page.emulateMediaType('screen');
  const svg = await page.evaluate(() => window.quilletLabel.svg());
  check('svg', svg.startsWith('<svg') && svg.includes('<path'), 'no SVG document');
  check('page_errors', errors.length === 0, errors.join('; '));
} finally {
  await browser.close();
  server.close();
}
console.log(`artifacts in ${artifacts}`);
console.log(`${passed} passed, ${failed} failed`);
process.exitCode = failed === 0 ? 0 : 1;
