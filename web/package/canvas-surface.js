// Surfaces for the page: a canvas's 2D context and an SVG document.
//
// Coordinates arrive in the surface's own units, twips (1440 per inch) unless the caller names
// others, and are turned into CSS pixels (96 per inch). Font sizes are points whatever the unit.
// Colours are 0x00BBGGRR; a value with its high byte set (a system colour or palette index) is
// rejected with the invalid-property-value error (380), as is a Line that is not a filled box.

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
class SurfaceBase {
  #foreColor = 0;

  constructor({ unit = 'twips' } = {}) {
    this.unitsPerPixel = unitsPerPixel(unit);
    this.FontName = 'Arial';
    this.FontBold = false;
    this.FontSize = 8;
    this.CurrentX = 0;
    this.CurrentY = 0;
    // Everything drawn, boxes and texts, in surface units; null until something is.
    this.drawn = null;
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
    const d = this.drawn;
    this.drawn = d === null ? { left, top, right, bottom } : {
      left: Math.min(d.left, left), top: Math.min(d.top, top),
      right: Math.max(d.right, right), bottom: Math.max(d.bottom, bottom),
    };
  }

  // A box in CSS pixels from the corners Line receives, both inclusive: x .. x + w - 1 is w
  // units wide.
  box(flags, x1, y1, x2, y2, color) {
    if (flags !== boxFlags) throw rejected();
    checkColor(color);
    const left = Math.min(x1, x2 + 1), right = Math.max(x1, x2 + 1);
    const top = Math.min(y1, y2 + 1), bottom = Math.max(y1, y2 + 1);
    this.addDrawn(left, top, right, bottom);
    const scale = 1 / this.unitsPerPixel;
    return { left: left * scale, top: top * scale, right: right * scale, bottom: bottom * scale };
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
    const box = this.box(flags, x1, y1, x2, y2, color);
    const context = this.#context;
    context.fillStyle = colorToCss(color);
    const m = this.#axisAligned();
    if (m === null) {
      context.fillRect(box.left, box.top, box.right - box.left, box.bottom - box.top);
      return;
    }
    const unitLeft = Math.min(x1, x2 + 1), unitRight = Math.max(x1, x2 + 1);
    const deviceLeft = m.a * box.left + m.e, deviceRight = m.a * box.right + m.e;
    const width = Math.round(Math.abs(deviceRight - deviceLeft));
    let left;
    if (this.#run !== null && unitLeft === this.#run.unitRight) {
      left = this.#run.deviceRight;
    } else {
      left = Math.round(Math.min(deviceLeft, deviceRight));
      this.#run = { unitLeft, deviceLeft: left };
    }
    Object.assign(this.#run, { unitRight, deviceRight: left + width });
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

// Builds an SVG document with the same geometry as CanvasSurface (without grid fitting: the
// picture is scalable). Texts are measured with a canvas context where there is one (the given
// one, or one of its own in a browser); elsewhere a character is taken as 0.6 em wide and a line
// as 1.15 em high.
export class SvgSurface extends SurfaceBase {
  #context;
  #parts = [];

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

  Line(flags, x1, y1, x2, y2, color) {
    const b = this.box(flags, x1, y1, x2, y2, color);
    if (b.right <= b.left || b.bottom <= b.top) return;
    this.#parts.push(`<rect x="${b.left}" y="${b.top}" width="${b.right - b.left}" ` +
      `height="${b.bottom - b.top}" fill="${colorToCss(color)}"/>`);
  }

  Print(text) {
    const shown = String(text);
    const m = this.#metrics(shown);
    const x = Number(this.CurrentX), y = Number(this.CurrentY);
    const name = String(this.FontName).replace(/["\\]/g, '');
    this.#parts.push(`<text x="${x / this.unitsPerPixel}" ` +
      `y="${y / this.unitsPerPixel + m.ascent}" font-family="${escapeXml(name)}, sans-serif" ` +
      `font-size="${Math.max(Number(this.FontSize), 1)}pt"` +
      `${this.FontBold ? ' font-weight="bold"' : ''} fill="${colorToCss(this.ForeColor)}" ` +
      `xml:space="preserve">${escapeXml(shown)}</text>`);
    const width = m.width * this.unitsPerPixel;
    this.addDrawn(x, y, x + width, y + (m.ascent + m.descent) * this.unitsPerPixel);
    this.CurrentX = x + width;
  }

  // The document: everything drawn plus margin (surface units) on every side, on white, sized in
  // CSS pixels so that it prints at its true size.
  toString({ margin = 0 } = {}) {
    const d = this.drawn ?? { left: 0, top: 0, right: 0, bottom: 0 };
    const px = (units) => units / this.unitsPerPixel;
    const left = px(d.left - margin), top = px(d.top - margin);
    const width = px(d.right - d.left + 2 * margin), height = px(d.bottom - d.top + 2 * margin);
    return `<svg xmlns="http://www.w3.org/2000/svg" width="${width}px" height="${height}px" ` +
      `viewBox="${left} ${top} ${width} ${height}">` +
      `<rect x="${left}" y="${top}" width="${width}" height="${height}" fill="#ffffff"/>` +
      `${this.#parts.join('')}</svg>\n`;
  }
}
