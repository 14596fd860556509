// A surface that records every call in the format of `quillet trace`: one call per line,
// tab-separated, the member and its arguments as received (integers in decimal, floats in their
// shortest round-trip form, booleans True/False, texts with tab, newline and backslash escaped);
// TextWidth and TextHeight lines end with the value returned. A text measures FontSize x 12 units
// per character and FontSize x 24 units high, so traces are the same everywhere.
import { putWithKind } from './put-with-kind.js';

// The digits and decimal exponent of the shortest text that reads back as value (as a
// single-precision number when single is set).
function shortestDigits(value, single) {
  let text = value.toExponential();
  if (single) {
    for (let digits = 0; digits < 9; ++digits) {
      const candidate = value.toExponential(digits);
      if (Math.fround(Number(candidate)) === value) {
        text = candidate;
        break;
      }
    }
  }
  const [mantissa, exponent] = text.split('e');
  return { digits: mantissa.replace('.', ''), exponent: Number(exponent) };
}

// As C++'s std::to_chars without a format: fixed or scientific, whichever is shorter (fixed on a
// tie), with the shortest digits that read back as the same number.
export function formatNumber(value, single = false) {
  if (value === 0) return '0';
  const sign = value < 0 ? '-' : '';
  const { digits, exponent } = shortestDigits(Math.abs(value), single);
  const scientific = digits[0] + (digits.length > 1 ? `.${digits.slice(1)}` : '') + 'e' +
    (exponent < 0 ? '-' : '+') + String(Math.abs(exponent)).padStart(2, '0');
  let fixed;
  if (exponent < 0) fixed = `0.${'0'.repeat(-exponent - 1)}${digits}`;
  else if (digits.length <= exponent + 1) fixed = digits + '0'.repeat(exponent + 1 - digits.length);
  else fixed = `${digits.slice(0, exponent + 1)}.${digits.slice(exponent + 1)}`;
  return sign + (scientific.length < fixed.length ? scientific : fixed);
}

export function escapeText(text) {
  return String(text).replace(/[\t\n\\]/g, (c) => ({ '\t': '\\t', '\n': '\\n', '\\': '\\\\' })[c]);
}

function formatKind(value, kind) {
  switch (kind) {
    case 'text': return escapeText(value);
    case 'bool': return value ? 'True' : 'False';
    case 'float': return formatNumber(value, true);
    case 'double': return formatNumber(value);
    default: return String(value);
  }
}

export class RecordingSurface {
  #lines = [];
  #values = { FontName: '', ForeColor: 0, FontBold: false, FontSize: 0, CurrentX: 0, CurrentY: 0 };

  // Every call so far, one string per line.
  get lines() {
    return this.#lines;
  }

  // Every line followed by a newline, as `quillet trace` prints them.
  trace() {
    return this.#lines.map((line) => `${line}\n`).join('');
  }

  // The properties: a put outside a drawing call cannot tell a float from a double and is
  // written as the double it is.
  get FontName() { return this.#values.FontName; }
  set FontName(value) { this[putWithKind]('FontName', value, 'text'); }
  get ForeColor() { return this.#values.ForeColor; }
  set ForeColor(value) { this[putWithKind]('ForeColor', value, 'int32'); }
  get FontBold() { return this.#values.FontBold; }
  set FontBold(value) { this[putWithKind]('FontBold', value, 'bool'); }
  get FontSize() { return this.#values.FontSize; }
  set FontSize(value) { this[putWithKind]('FontSize', value, 'int16'); }
  get CurrentX() { return this.#values.CurrentX; }
  set CurrentX(value) { this[putWithKind]('CurrentX', value, 'double'); }
  get CurrentY() { return this.#values.CurrentY; }
  set CurrentY(value) { this[putWithKind]('CurrentY', value, 'double'); }

  [putWithKind](name, value, kind) {
    this.#values[name] = value;
    this.#lines.push(`${name}\t${formatKind(value, kind)}`);
  }

  TextWidth(text) {
    const width = this.#values.FontSize * 12 * [...String(text)].length;
    this.#lines.push(`TextWidth\t${escapeText(text)}\t${formatNumber(width)}`);
    return width;
  }

  TextHeight(text) {
    const height = this.#values.FontSize * 24;
    this.#lines.push(`TextHeight\t${escapeText(text)}\t${formatNumber(height)}`);
    return height;
  }

  Line(flags, x1, y1, x2, y2, color) {
    this.#lines.push(['Line', flags, x1, formatNumber(y1, true), x2, formatNumber(y2, true),
      color].join('\t'));
  }

  Print(text) {
    this.#lines.push(`Print\t${escapeText(text)}`);
  }
}
