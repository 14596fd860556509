// One call for the common jobs: toSVG, toPNG and drawOn take a symbology as the quillet command
// spells it, the data as a person types it and the command's options (module and height with a
// unit, dpi, quiet zones, CSS colours, rotate, background), check the data, and lay the symbol
// out on a page of whole modules.
//
// Every module is unitsPerModule() surface units, and the surface unit is chosen so that a
// module has the asked width; in raster output (a PNG, a canvas) the module is first made a whole
// number of pixels, so that every bar and space is a whole number of pixels and the wide elements
// keep their ratio exactly. Sizes, quiet zones, colours and the checks are the quillet command's
// own (assist/, compiled in).
import {
  QuilletError, allSymbologies, checkTypedData, colourNamed, drawSymbology, encodePng,
  inchesNamed, quietZoneOf, unitsPerInchForModule, unitsPerModule,
} from './glue.js';
import { int32From, invalidUseOfNull, overflow, typeMismatch } from './arguments.js';
import { CanvasSurface, SurfaceBase, SvgSurface, colorToCss } from './canvas-surface.js';

// The ratio's wide extra is seven times its first number: 6:0 makes wide elements three modules.
const wideExtraPerStep = 7;
const cssPixelsPerInch = 96;
const defaultModuleInches = 2 / 96;  // two pixels on a 96 dpi screen
const defaultHeightInches = 1200 / 1440;
const verticalQuietModules = 10;
const maxPixels = 64 * 2 ** 20;
const invalidArgument = 5;

// The names other barcode tools give the symbologies, compared in lower case without "_", "-"
// and blanks, as the quillet command compares them (tests/web check that both agree).
const otherSpellings = {
  i2of5: 'Code_25', itf: 'Code_25', interleaved2of5: 'Code_25', i25: 'Code_25',
  code3of9: 'Code_39', code39ext: 'Code_39F', code39extended: 'Code_39F', code39full: 'Code_39F',
  code39fullascii: 'Code_39F', extcode39: 'Code_39F', msi: 'Code_MSI', msiplessey: 'Code_MSI',
  ean128: 'GS1_128', ucc128: 'GS1_128', imb: 'Intelligent_Mail', uspsimb: 'Intelligent_Mail',
  onecode: 'Intelligent_Mail',
};
const comparable = (name) => name.toLowerCase().replace(/[-_ ]/g, '');

export function symbologyNamed(name) {
  if (typeof name === 'string') {
    const key = comparable(name);
    const type = allSymbologies().find((type) => comparable(type) === key) ?? otherSpellings[key];
    if (type !== undefined) return type;
  }
  throw new QuilletError(invalidArgument, `unknown symbology ${typeof name === 'string' ? JSON.stringify(name) : typeof name}`);
}

const optionNames = new Set(['module', 'height', 'dpi', 'margin', 'ratio', 'text', 'font', 'bold',
  'fore', 'line', 'background', 'rotate', 'chk', 'set', 'bearers', 'asIs', 'pixelRatio']);

function refuse(option, why, number = invalidArgument) {
  return new QuilletError(number, `option ${option}: ${why}`, { option });
}

// A length with its unit ("0.33mm", "0.013in", "1pt", "4px", "2.5cm"), or a number of pixels
// (at dpi), in inches.
function inchesOf(value, option, dpi) {
  const text = typeof value === 'number' ? `${value}px` : value;
  const inches = typeof text === 'string' ? inchesNamed(text, dpi) : undefined;
  if (inches === undefined) {
    throw refuse(option, `${JSON.stringify(value)} is no length (0.33mm, 0.013in, 1pt, 4px)`,
      typeMismatch);
  }
  return inches;
}

// A CSS colour ("#1a2b3c", "#abc", "navy") or the methods' 0x00BBGGRR as a number.
function colourOf(value, option) {
  if (typeof value === 'number') return int32From(value);
  const colour = typeof value === 'string' ? colourNamed(value) : undefined;
  if (colour === undefined) throw refuse(option, `${JSON.stringify(value)} is no colour`, typeMismatch);
  return colour;
}

function optionsOf(options) {
  if (options === undefined) return {};
  if (options === null || typeof options !== 'object') {
    throw new QuilletError(options === null ? invalidUseOfNull : typeMismatch,
      'the options are not an object');
  }
  const given = {};
  for (const name of Object.keys(options)) {
    if (!optionNames.has(name)) throw refuse(name, 'no such option');
    if (options[name] !== undefined) given[name] = options[name];
  }
  return given;
}

// Everything a drawing needs: the method's arguments, the unit, the quiet zones. rasterDpi
// makes the module whole pixels at that resolution.
function plan(symbology, data, options, rasterDpi) {
  const given = optionsOf(options);
  const dpi = given.dpi ?? cssPixelsPerInch;
  if (typeof dpi !== 'number' || !(dpi >= 10 && dpi <= 4800)) throw refuse('dpi', 'from 10 to 4800');
  const moduleInches = given.module === undefined ? defaultModuleInches :
    inchesOf(given.module, 'module', dpi);
  const resolution = rasterDpi === undefined ? undefined : rasterDpi(dpi);
  const unitsPerInch = unitsPerInchForModule(moduleInches, resolution);
  const m = unitsPerModule();
  const heightInches = given.height === undefined ? defaultHeightInches :
    inchesOf(given.height, 'height', dpi);
  const height = Math.round(heightInches * unitsPerInch);
  if (height > 32767) throw refuse('height', 'too tall for its module width', overflow);

  const type = symbologyNamed(symbology);
  if (typeof data !== 'string') throw new QuilletError(typeMismatch, 'the data is not a string');
  if (given.set !== undefined && type !== 'Code_128') throw refuse('set', 'Code 128 only');
  if (given.set !== undefined && given.asIs === true) {
    throw refuse('set', 'not with asIs: as it is, Code 128 data begins with its set letter');
  }
  if (given.bearers !== undefined && type !== 'ITF_14') throw refuse('bearers', 'ITF-14 only');
  if (given.bearers !== undefined && typeof given.bearers !== 'string') {
    throw refuse('bearers', 'the width in modules and "frame" or "bars", as "5:frame"', typeMismatch);
  }
  const checked = checkTypedData(type, data, {
    asIs: given.asIs === true, chk: given.chk, set: given.set,
  });

  let ratio = given.ratio ?? 3;
  // ITF-14 takes its bearer bars where the two-width symbologies take their ratio.
  if (checked.type === 'ITF_14' && given.asIs !== true) ratio = given.bearers ?? '5:frame';
  else if (typeof ratio === 'number') {
    if (!(ratio >= 2 && ratio <= 3)) throw refuse('ratio', 'wide elements are 2 to 3 narrow ones');
    ratio = `${((ratio - 1) * m) / wideExtraPerStep}:0`;
  } else if (typeof ratio !== 'string' || !ratio.includes(':')) {
    throw refuse('ratio', 'a number (wide to narrow, 2 to 3) or the method\'s "W:N"');
  }
  const rotate = given.rotate ?? 0;
  if (![0, 90, 180, 270].includes(rotate)) throw refuse('rotate', '0, 90, 180 or 270 degrees');
  const margin = given.margin;
  if (margin !== undefined && !(typeof margin === 'number' && margin >= 0 && margin <= 1000)) {
    throw refuse('margin', 'modules, 0 to 1000');
  }
  const background = given.background ?? '#ffffff';
  if (background !== 'none') colourOf(background, 'background');

  const [quietLeft, quietRight] = margin === undefined ? quietZoneOf(checked.type) : [margin, margin];
  const quietVertical = margin ?? verticalQuietModules;
  return {
    type: checked.type,
    arguments: {
      code: checked.code, width: m, height, text: given.text === false ? 0 : 1,
      bold: given.bold === true, font: given.font ?? 'Arial',
      foreColor: colourOf(given.fore ?? 0, 'fore'), lineColor: colourOf(given.line ?? 0, 'line'),
      ratio, chk: checked.chk,
    },
    unitsPerInch, dpi, rotate, resolution,
    background: background === 'none' ? 'none' : colorToCss(colourOf(background, 'background')),
    quiet: { left: quietLeft, right: quietRight, top: quietVertical, bottom: quietVertical },
    findings: checked.findings ?? [],
  };
}

// Draws onto surface; a result other than 0 is no label, and fails the call.
function drawPlanned(surface, planned) {
  const drawn = drawSymbology(surface, planned.type, planned.arguments);
  if (drawn.result !== 0) {
    throw new QuilletError(drawn.result, 'the symbol could not be drawn', { cause: drawn.error });
  }
  return drawn;
}

// The page round what a surface drew: the quiet zones beside the bars and anything drawn beyond
// them, on whole modules counted from the bars' corner.
function pageOf(surface, quiet) {
  const bars = surface.boxesDrawn ?? { left: 0, top: 0, right: 0, bottom: 0 };
  const drawn = surface.drawn ?? bars;
  const m = unitsPerModule();
  const out = (from, edge, sign) => from + sign * Math.ceil((sign * (edge - from)) / m) * m;
  return {
    left: out(bars.left, Math.min(drawn.left, bars.left - quiet.left * m), -1),
    right: out(bars.left, Math.max(drawn.right, bars.right + quiet.right * m), 1),
    top: out(bars.top, Math.min(drawn.top, bars.top - quiet.top * m), -1),
    bottom: out(bars.top, Math.max(drawn.bottom, bars.bottom + quiet.bottom * m), 1),
  };
}

function measuringSurface(planned, context) {
  const surface = new SvgSurface({ unit: planned.unitsPerInch / cssPixelsPerInch, context });
  drawPlanned(surface, planned);
  return surface;
}

// The symbol as an SVG document: bars as one path, text as text, sized to print at its true size.
export function toSVG(symbology, data, options) {
  const planned = plan(symbology, data, options);
  const surface = measuringSurface(planned);
  return surface.toString({ page: pageOf(surface, planned.quiet), grid: unitsPerModule(),
    background: planned.background, rotate: planned.rotate });
}

// A canvas context to draw text with, where the platform has one.
function textContext(width, height) {
  if (typeof OffscreenCanvas === 'function') {
    return new OffscreenCanvas(width, height).getContext('2d');
  }
  return null;
}

// The device transform of a page turned by rotate degrees clockwise, k device pixels a CSS
// pixel, page edges in CSS pixels.
function pageTransform(rotate, k, left, top, width, height) {
  switch (rotate) {
    case 90: return [0, k, -k, 0, k * (height + top), -k * left];
    case 180: return [-k, 0, 0, -k, k * (width + left), k * (height + top)];
    case 270: return [0, -k, k, 0, -k * top, k * (width + left)];
    default: return [k, 0, 0, k, -k * left, -k * top];
  }
}

// Paints the planned symbol onto a 2D context k device pixels a CSS pixel, sized
// deviceWidth x deviceHeight; returns what draw() returned.
function paintOnContext(context, planned, page, k, deviceWidth, deviceHeight) {
  const unitsPerPixel = planned.unitsPerInch / cssPixelsPerInch;
  context.setTransform(1, 0, 0, 1, 0, 0);
  context.clearRect(0, 0, deviceWidth, deviceHeight);
  if (planned.background !== 'none') {
    context.fillStyle = planned.background;
    context.fillRect(0, 0, deviceWidth, deviceHeight);
  }
  const px = (units) => units / unitsPerPixel;
  context.setTransform(...pageTransform(planned.rotate, k, px(page.left), px(page.top),
    px(page.right - page.left), px(page.bottom - page.top)));
  return drawPlanned(new CanvasSurface(context, { unit: unitsPerPixel }), planned);
}

// The page in device pixels at resolution (whole numbers: the page is whole modules, the module
// whole pixels), turned as planned.
function deviceSize(planned, page) {
  const scale = planned.resolution / planned.unitsPerInch;
  const across = Math.round((page.right - page.left) * scale);
  const down = Math.round((page.bottom - page.top) * scale);
  if (across * down > maxPixels) throw new QuilletError(overflow, `${across} x ${down} pixels is too large`);
  return planned.rotate % 180 === 0 ? [across, down, scale] : [down, across, scale];
}

// Draws boxes into pixels (0xAARRGGBB words), for a PNG where no canvas is at hand: every box
// edge is the page position rounded to a whole pixel, so abutting boxes stay abutting and boxes
// of equal width stay equal. It has no text: the plan leaves text out here (see toPNG).
class RasterSurface extends SurfaceBase {
  constructor(planned, page, width, height, scale) {
    super({ unit: planned.unitsPerInch / cssPixelsPerInch });
    Object.assign(this, { page, width, height, scale, rotate: planned.rotate });
    this.words = new Uint32Array(width * height);
    if (planned.background !== 'none') this.words.fill(wordOf(planned.background));
  }

  TextWidth() { return 0; }
  TextHeight() { return 0; }
  Print() {}

  Line(flags, x1, y1, x2, y2, color) {
    this.box(flags, x1, y1, x2, y2, color);
    const edge = (units, from) => Math.round((units - from) * this.scale);
    let left = edge(Math.min(x1, x2 + 1), this.page.left);
    let right = edge(Math.max(x1, x2 + 1), this.page.left);
    let top = edge(Math.min(y1, y2 + 1), this.page.top);
    let bottom = edge(Math.max(y1, y2 + 1), this.page.top);
    // Turned clockwise: (x, y) of the upright page goes to (down - y, x), and so on.
    const across = Math.round((this.page.right - this.page.left) * this.scale);
    const down = Math.round((this.page.bottom - this.page.top) * this.scale);
    if (this.rotate === 90) [left, right, top, bottom] = [down - bottom, down - top, left, right];
    if (this.rotate === 180) {
      [left, right, top, bottom] = [across - right, across - left, down - bottom, down - top];
    }
    if (this.rotate === 270) [left, right, top, bottom] = [top, bottom, across - right, across - left];
    const word = wordOf(colorToCss(color));
    for (let y = Math.max(top, 0); y < Math.min(bottom, this.height); ++y) {
      this.words.fill(word, y * this.width + Math.max(left, 0),
        y * this.width + Math.max(Math.min(right, this.width), 0));
    }
  }
}

function wordOf(css) {
  return (0xff000000 | parseInt(css.slice(1), 16)) >>> 0;
}

// The symbol as a PNG file at dpi (96 unless given), made by the project's own encoder and
// carrying its resolution. The module is made a whole number of pixels. Text needs a canvas to
// be drawn: in a browser (or wherever OffscreenCanvas exists) it is drawn as on a page; elsewhere
// (Node) the PNG holds the bars only unless text is asked for with text: true, which then fails.
export function toPNG(symbology, data, options) {
  const canvasAtHand = typeof OffscreenCanvas === 'function';
  const given = optionsOf(options);
  if (!canvasAtHand && given.text === true) {
    throw refuse('text', 'no canvas here to draw text into a PNG: text: false, or toSVG');
  }
  const planned = plan(symbology, data, { ...given, text: canvasAtHand && given.text !== false },
    (dpi) => dpi);
  const page = pageOf(measuringSurface(planned, canvasAtHand ? textContext(1, 1) : null),
    planned.quiet);
  const [width, height, scale] = deviceSize(planned, page);
  const transparent = planned.background === 'none';
  if (!canvasAtHand) {
    const raster = new RasterSurface(planned, page, width, height, scale);
    drawPlanned(raster, planned);
    return encodePng(raster.words, width, height, transparent, planned.dpi);
  }
  const context = new OffscreenCanvas(width, height).getContext('2d');
  paintOnContext(context, planned, page, planned.dpi / cssPixelsPerInch, width, height);
  const rgba = context.getImageData(0, 0, width, height).data;
  const words = new Uint32Array(width * height);
  for (let i = 0; i < words.length; ++i) {
    const a = rgba[4 * i + 3];
    const channel = (c) => (transparent ? Math.round((rgba[4 * i + c] * a) / 255) : rgba[4 * i + c]);
    words[i] = ((a << 24) | (channel(0) << 16) | (channel(1) << 8) | channel(2)) >>> 0;
  }
  return encodePng(words, width, height, transparent, planned.dpi);
}

// Draws the symbol onto a canvas element, sized to its page with pixelRatio (devicePixelRatio
// unless given) device pixels a CSS pixel, every module whole device pixels. Returns the data as
// drawn and the size in CSS pixels.
export function drawOn(canvas, symbology, data, options) {
  const given = optionsOf(options);
  const pixelRatio = given.pixelRatio ?? globalThis.devicePixelRatio ?? 1;
  if (typeof pixelRatio !== 'number' || !(pixelRatio > 0)) throw refuse('pixelRatio', 'a number above 0');
  const planned = plan(symbology, data, options, () => cssPixelsPerInch * pixelRatio);
  const context = canvas.getContext('2d');
  const page = pageOf(measuringSurface(planned, context), planned.quiet);
  const [width, height] = deviceSize(planned, page);
  canvas.width = width;
  canvas.height = height;
  if (canvas.style) {
    canvas.style.width = `${width / pixelRatio}px`;
    canvas.style.height = `${height / pixelRatio}px`;
  }
  const { code } = paintOnContext(context, planned, page, pixelRatio, width, height);
  return { code, width: width / pixelRatio, height: height / pixelRatio };
}
