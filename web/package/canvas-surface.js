// Surfaces for the page: a canvas's 2D context and an SVG document.
//
// Coordinates arrive in the surface's own units, twips (1440 per inch) unless the caller names
// others, and are turned into CSS pixels (96 per inch). Font sizes are points whatever the unit.
// Colours are 0x00BBGGRR; a value with its high byte set (a system colour or palette index) is
// rejected with the invalid-property-value error (380), as is a Line that is not a filled box.

import { formatNumber } from './recording-surface.js';

const unitsPerInch = { twips: 1440, points: 72, pixels: 96, millimetres: 25.4, mm: 25.4, inches: 1 };
const boxFlags = 38;
const genericFamilies = new Set(['serif', 'sans-serif', 'monospace', 'cursive', 'fantasy',
  'system-ui']);

function unitsPerPixel(unit) {
  if (typeof unit === 'number' && unit > 0) return unit;
  const perInch = unitsPerInch[String(unit).toLowerCase()];
  if (perInch === undefined) throw new RangeError(`quillet: unknown unit ${unit}`);
  return perInch / 96;
}

function rejected() {
  return Object.assign(new Error('Invalid property value'), { number: 380 });
}

function checkColor(color) {
  if (((color >>> 0) & 0xff000000) !== 0) throw rejected();
}

// 0x00BBGGRR as a CSS colour.
export function colorToCss(color) {
  const channel = (shift) => ((color >> shift) & 0xff).toString(16).padStart(2, '0');
  return `#${channel(0)}${channel(8)}${channel(16)}`;
}

// XML has no place for most control characters: they show as replacement characters.
function escapeXml(text) {
  return String(text).replace(/[\x00-\x08\x0b\x0c\x0e-\x1f]/g, '\ufffd')
    .replace(/[<>&"]/g, (c) => ({ '<': '&lt;', '>': '&gt;', '&': '&amp;', '"': '&quot;' })[c]);
}

// A text's advance and its font's ascent and descent, in CSS pixels. Browsers without the font's
// box (before 2023 in some) get the usual proportions of the em.
function measureText(context, surface, text) {
  context.font = surface.font;
  const m = context.measureText(text);
  const em = surface.fontPixels;
  return { width: m.width, ascent: m.fontBoundingBoxAscent ?? 0.9 * em,
    descent: m.fontBoundingBoxDescent ?? 0.25 * em };
}

// The state every surface keeps: font, colours, current position and what was drawn.
export class SurfaceBase {
  #foreColor = 0;

  constructor({ unit = 'twips' } = {}) {
    this.unitsPerPixel = unitsPerPixel(unit);
    this.FontName = 'Arial';
    this.FontBold = false;
    this.FontSize = 8;
    this.CurrentX = 0;
    this.CurrentY = 0;
    // Everything drawn, boxes and texts, in surface units; null until something is. The
    // boxes alone: where the quiet zones go.
    this.drawn = null;
    this.boxesDrawn = null;
  }

  get ForeColor() {
    return this.#foreColor;
  }

  set ForeColor(color) {
    checkColor(color);
    this.#foreColor = color;
  }

  // The CSS font of the current FontName, FontBold and FontSize; anything smaller than a point
  // is drawn at one point, as hosts do.
  get font() {
    const name = String(this.FontName).replace(/["\\]/g, '').trim();
    const family = genericFamilies.has(name.toLowerCase()) ? name : `"${name}", sans-serif`;
    return `${this.FontBold ? 'bold ' : ''}${Math.max(Number(this.FontSize), 1)}pt ${family}`;
  }

  // The font's size in CSS pixels.
  get fontPixels() {
    return (Math.max(Number(this.FontSize), 1) * 96) / 72;
  }

  addDrawn(left, top, right, bottom) {
    this.drawn = grown(this.drawn, left, top, right, bottom);
  }

  // The box Line receives, both corners inclusive (x .. x + w - 1 is w units wide), as edges
  // in surface units; a Line that is no filled box, or a colour that is none, is refused.
  box(flags, x1, y1, x2, y2, color) {
    if (flags !== boxFlags) throw rejected();
    checkColor(color);
    const left = Math.min(x1, x2 + 1), right = Math.max(x1, x2 + 1);
    const top = Math.min(y1, y2 + 1), bottom = Math.max(y1, y2 + 1);
    this.addDrawn(left, top, right, bottom);
    this.boxesDrawn = grown(this.boxesDrawn, left, top, right, bottom);
    return { left, top, right, bottom };
  }
}

// Draws onto a canvas's 2D context, in its current transform: a page that scales the context by
// devicePixelRatio (see fitCanvas) gets sharp bars, since every box's edges land on whole device
// pixels, the same width for the same width, and a box that continues a run starts where the one
// before it ended.
export class CanvasSurface extends SurfaceBase {
  #context;
  #gridFit;
  #run = null;

  constructor(context, { unit = 'twips', gridFit = true } = {}) {
    super({ unit });
    this.#context = context;
    this.#gridFit = gridFit;
  }

  #metrics(text) {
    return measureText(this.#context, this, text);
  }

  TextWidth(text) {
    return this.#metrics(String(text)).width * this.unitsPerPixel;
  }

  TextHeight(text) {
    const metrics = this.#metrics(String(text));
    return (metrics.ascent + metrics.descent) * this.unitsPerPixel;
  }

  // The transform when it only scales and moves, for grid fitting; null otherwise.
  #axisAligned() {
    const m = this.#context.getTransform();
    return this.#gridFit && m.b === 0 && m.c === 0 && m.a !== 0 && m.d !== 0 ? m : null;
  }

  Line(flags, x1, y1, x2, y2, color) {
    const units = this.box(flags, x1, y1, x2, y2, color);
    const scale = 1 / this.unitsPerPixel;
    const box = { left: units.left * scale, top: units.top * scale, right: units.right * scale,
      bottom: units.bottom * scale };
    const context = this.#context;
    context.fillStyle = colorToCss(color);
    const m = this.#axisAligned();
    if (m === null) {
      context.fillRect(box.left, box.top, box.right - box.left, box.bottom - box.top);
      return;
    }
    // Device x of the box's left and right unit edges; a context that mirrors (a < 0, a page
    // turned by 180 degrees) has the right edge on the left.
    const unitLeft = units.left, unitRight = units.right;
    const deviceLeft = m.a * box.left + m.e, deviceRight = m.a * box.right + m.e;
    const width = Math.round(Math.abs(deviceRight - deviceLeft));
    let start;
    if (this.#run !== null && unitLeft === this.#run.unitRight) {
      start = this.#run.deviceRight;
    } else {
      start = Math.round(deviceLeft);
      this.#run = { unitLeft, deviceLeft: start };
    }
    const end = start + Math.sign(m.a) * width;
    Object.assign(this.#run, { unitRight, deviceRight: end });
    const left = Math.min(start, end);
    const top = Math.round(Math.min(m.d * box.top + m.f, m.d * box.bottom + m.f));
    const bottom = Math.round(Math.max(m.d * box.top + m.f, m.d * box.bottom + m.f));
    if (width <= 0 || bottom <= top) return;
    context.save();
    context.setTransform(1, 0, 0, 1, 0, 0);
    context.fillRect(left, top, width, bottom - top);
    context.restore();
  }

  // A text keeps its place among the boxes that grid fitting moved: its x moves as much as the
  // run of boxes has moved at that x.
  #textX(x) {
    const m = this.#axisAligned();
    const pixels = x / this.unitsPerPixel;
    if (m === null || this.#run === null) return pixels;
    const run = this.#run;
    const device = (units) => m.a * (units / this.unitsPerPixel) + m.e;
    const startShift = run.deviceLeft - device(run.unitLeft);
    const endShift = run.deviceRight - device(run.unitRight);
    const span = run.unitRight - run.unitLeft;
    const along = span > 0 ? Math.min(Math.max((x - run.unitLeft) / span, 0), 1)
      : (x >= run.unitRight ? 1 : 0);
    return pixels + (startShift + along * (endShift - startShift)) / m.a;
  }

  // CurrentY is the top of the text; the canvas places text by its baseline.
  Print(text) {
    const shown = String(text);
    const metrics = this.#metrics(shown);
    const x = Number(this.CurrentX), y = Number(this.CurrentY);
    const context = this.#context;
    context.fillStyle = colorToCss(this.ForeColor);
    context.textAlign = 'left';
    context.textBaseline = 'alphabetic';
    context.fillText(shown, this.#textX(x), y / this.unitsPerPixel + metrics.ascent);
    const width = metrics.width * this.unitsPerPixel;
    this.addDrawn(x, y, x + width,
      y + (metrics.ascent + metrics.descent) * this.unitsPerPixel);
    this.CurrentX = x + width;
  }
}

// Sizes a canvas to width x height CSS pixels with a backing store of devicePixelRatio (or the
// given ratio) device pixels per CSS pixel, and scales its context to match. Returns the context.
export function fitCanvas(canvas, width, height, ratio = globalThis.devicePixelRatio ?? 1) {
  canvas.width = Math.max(1, Math.ceil(width * ratio));
  canvas.height = Math.max(1, Math.ceil(height * ratio));
  if (canvas.style) {
    // Exactly the backing store's size, so that its pixels are the screen's.
    canvas.style.width = `${canvas.width / ratio}px`;
    canvas.style.height = `${canvas.height / ratio}px`;
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  return context;
}

function measuringContext() {
  if (typeof OffscreenCanvas === 'function') return new OffscreenCanvas(1, 1).getContext('2d');
  if (typeof document === 'object') return document.createElement('canvas').getContext('2d');
  return null;
}

// Builds an SVG document with the same geometry as CanvasSurface, in the surface's own units
// (the viewBox), sized in CSS pixels so that it prints at its true size. Texts are measured with
// a canvas context where there is one (the given one, or one of its own in a browser); elsewhere
// a character is taken as 0.6 em wide and a line as 1.15 em high.
//
// What it writes is small and crisp: the boxes of one colour are one path of rectangles, boxes
// that abut in a row are one rectangle (no seams inside a wide bar), and white boxes are left out
// where the page under them is white already; the page's edges lie on the pixel grid of the bars.
// The picture is the same as painting every box in turn: a box joins an earlier path of its
// colour only where nothing painted since overlaps it.
export class SvgSurface extends SurfaceBase {
  #context;
  #layers = [];  // in painting order: { color, rects, bounds } or { text, bounds }
  #firstBox = null;

  constructor({ unit = 'twips', context = measuringContext() } = {}) {
    super({ unit });
    this.#context = context;
  }

  #metrics(text) {
    if (this.#context !== null) return measureText(this.#context, this, text);
    const em = this.fontPixels;
    return { width: 0.6 * em * [...text].length, ascent: 0.9 * em, descent: 0.25 * em };
  }

  TextWidth(text) {
    return this.#metrics(String(text)).width * this.unitsPerPixel;
  }

  TextHeight(text) {
    const m = this.#metrics(String(text));
    return (m.ascent + m.descent) * this.unitsPerPixel;
  }

  // Whether anything painted after layer `since` covers part of rect.
  #coveredAfter(since, rect) {
    for (let i = since + 1; i < this.#layers.length; ++i) {
      const layer = this.#layers[i];
      if (overlaps(layer.bounds, rect) && (layer.rects === undefined || covers(layer, rect))) {
        return true;
      }
    }
    return false;
  }

  Line(flags, x1, y1, x2, y2, color) {
    const rect = this.box(flags, x1, y1, x2, y2, color);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    this.#firstBox ??= rect;
    let joined = this.#layers.length - 1;
    while (joined >= 0 && this.#layers[joined].color !== color) --joined;
    if (joined >= 0 && this.#coveredAfter(joined, rect)) joined = -1;
    // White on the page: only where nothing but white lies under it (see toString).
    const onWhitePage = color === white && !this.#coveredAfter(-1, rect);
    if (joined < 0) {
      this.#layers.push({ color, rects: [], bounds: { ...rect }, leftToRight: true });
      joined = this.#layers.length - 1;
    }
    const layer = this.#layers[joined];
    const last = layer.rects[layer.rects.length - 1];
    if (last !== undefined && rect.left < last.right) layer.leftToRight = false;
    layer.rects.push(rect);
    grown(layer.bounds, rect.left, rect.top, rect.right, rect.bottom);
    if (onWhitePage) rect.onWhitePage = true;
  }

  Print(text) {
    const shown = String(text);
    const m = this.#metrics(shown);
    const x = Number(this.CurrentX), y = Number(this.CurrentY);
    const u = this.unitsPerPixel;
    const name = String(this.FontName).replace(/["\\]/g, '');
    const width = m.width * u;
    const bounds = { left: x, top: y, right: x + width, bottom: y + (m.ascent + m.descent) * u };
    this.#layers.push({ bounds, text: `<text x="${number(x)}" y="${number(y + m.ascent * u)}" ` +
      `font-family="${escapeXml(name)}, sans-serif" font-size="${number(this.fontPixels * u)}"` +
      `${this.FontBold ? ' font-weight="bold"' : ''} fill="${colorToCss(this.ForeColor)}" ` +
      `xml:space="preserve">${escapeXml(shown)}</text>` });
    this.addDrawn(bounds.left, bounds.top, bounds.right, bounds.bottom);
    this.CurrentX = x + width;
  }

  // The document: everything drawn plus margin (surface units) on every side, or the page given
  // as { left, top, right, bottom } in surface units. The page's edges are moved outwards onto
  // the grid (surface units; by default one CSS pixel where that is a whole number of units)
  // counted from the first box, so that bars a whole number of pixels wide land on whole pixels.
  // background is a CSS colour or 'none' (no page fill, white boxes kept); rotate turns the
  // page clockwise by 90, 180 or 270 degrees.
  toString({ margin = 0, page, grid, background = '#ffffff', rotate = 0 } = {}) {
    const d = page ?? this.drawn ?? { left: 0, top: 0, right: 0, bottom: 0 };
    const step = grid ?? (Number.isInteger(this.unitsPerPixel) ? this.unitsPerPixel : 1);
    const origin = this.#firstBox ?? { left: 0, top: 0 };
    const down = (value, from) => from - Math.ceil((from - value) / step) * step;
    const up = (value, from) => from + Math.ceil((value - from) / step) * step;
    const left = down(d.left - (page ? 0 : margin), origin.left);
    const top = down(d.top - (page ? 0 : margin), origin.top);
    const width = up(d.right + (page ? 0 : margin), left) - left;
    const height = up(d.bottom + (page ? 0 : margin), top) - top;
    const whitePage = background !== 'none' && /^#?f{3}(f{3})?$|^white$/i.test(background);
    const parts = [];
    for (const layer of this.#layers) {
      if (layer.text !== undefined) {
        parts.push(layer.text);
        continue;
      }
      const rects = whitePage ? layer.rects.filter((r) => !r.onWhitePage) : layer.rects;
      if (rects.length > 0) {
        parts.push(`<path fill="${colorToCss(layer.color)}" d="${pathOf(mergeRows(rects))}"/>`);
      }
    }
    const px = (units) => number(units / this.unitsPerPixel);
    const fill = background === 'none' ? '' :
      `<rect x="${number(left)}" y="${number(top)}" width="${number(width)}" ` +
      `height="${number(height)}" fill="${escapeXml(background)}"/>`;
    // rotate(a) turns the page about the origin; the viewBox is where the page went.
    const turned = {
      0: [left, top, width, height], 90: [-(top + height), left, height, width],
      180: [-(left + width), -(top + height), width, height], 270: [top, -(left + width), height, width],
    }[rotate];
    if (turned === undefined) throw new RangeError(`quillet: no rotation by ${rotate} degrees`);
    const [viewX, viewY, viewWidth, viewHeight] = turned;
    const content = fill + parts.join('');
    return `<svg xmlns="http://www.w3.org/2000/svg" width="${px(viewWidth)}px" ` +
      `height="${px(viewHeight)}px" viewBox="${number(viewX)} ${number(viewY)} ${number(viewWidth)} ` +
      `${number(viewHeight)}" shape-rendering="crispEdges">` +
      `${rotate === 0 ? content : `<g transform="rotate(${rotate})">${content}</g>`}</svg>\n`;
  }
}

const white = 0x00ffffff;

function overlaps(a, b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Whether a layer's rectangles overlap rect. Boxes come left to right, each beginning where the
// one before ended or beyond; while a layer's do, only those right of rect.left can overlap and
// a binary search finds the first of them.
function covers(layer, rect) {
  const rects = layer.rects;
  let from = 0;
  if (layer.leftToRight) {
    let to = rects.length;
    while (from < to) {
      const middle = (from + to) >> 1;
      if (rects[middle].right <= rect.left) from = middle + 1;
      else to = middle;
    }
  }
  for (let i = from; i < rects.length; ++i) {
    if (layer.leftToRight && rects[i].left >= rect.right) return false;
    if (overlaps(rects[i], rect)) return true;
  }
  return false;
}

// A box grown to hold another (in place: a drawing grows its boxes once a call), or a new one.
function grown(box, left, top, right, bottom) {
  if (box === null) return { left, top, right, bottom };
  box.left = Math.min(box.left, left);
  box.top = Math.min(box.top, top);
  box.right = Math.max(box.right, right);
  box.bottom = Math.max(box.bottom, bottom);
  return box;
}

// Rectangles of one colour with those that abut or overlap in the same rows made one.
function mergeRows(rects) {
  const sorted = [...rects].sort((a, b) => a.top - b.top || a.bottom - b.bottom || a.left - b.left);
  const merged = [];
  for (const rect of sorted) {
    const last = merged[merged.length - 1];
    if (last && last.top === rect.top && last.bottom === rect.bottom && rect.left <= last.right) {
      last.right = Math.max(last.right, rect.right);
    } else {
      merged.push({ ...rect });
    }
  }
  return merged;
}

function pathOf(rects) {
  return rects.map((r) => `M${number(r.left)} ${number(r.top)}h${number(r.right - r.left)}` +
    `v${number(r.bottom - r.top)}h${number(r.left - r.right)}z`).join('');
}

// Positions as short as they read back: y values are single precision.
function number(value) {
  return Number.isInteger(value) ? String(value) : formatNumber(value, Math.fround(value) === value);
}
