// How a value from JavaScript becomes an argument of the core, one rule for the drawing options
// and for what a surface answers (TextWidth, TextHeight, an exception's number):
//
// - a number is itself; a boolean is 1 or 0; a bigint is its value; a string is the decimal
//   number it holds (or 0x and hexadecimal digits; blanks around it allowed);
// - null is "Invalid use of Null" (94); anything else (undefined, '', a string that is no number,
//   an object, an array, a symbol) is "Type mismatch" (13). No caller code (valueOf, toString,
//   getters) runs during a conversion;
// - an integer argument rounds half to even; a value outside its type (16-bit, 32-bit, single
//   precision), NaN or an infinity is "Overflow" (6).
//
// A conversion that fails throws Refusal with the number; the caller decides whether that fails
// the call (an option) or stops the drawing (a surface's answer).

export const typeMismatch = 13;
export const invalidUseOfNull = 94;
export const overflow = 6;

export class Refusal {
  constructor(number) {
    this.number = number;
  }
}

const decimal = /^\s*([+-]?(\d+\.?\d*|\.\d+)(e[+-]?\d+)?|0x[0-9a-f]+)\s*$/i;

export function numberFrom(value) {
  switch (typeof value) {
    case 'number': return value;
    case 'boolean': return value ? 1 : 0;
    case 'bigint': return Number(value);
    case 'string':
      if (decimal.test(value)) return Number(value);
      throw new Refusal(typeMismatch);
    default:
      throw new Refusal(value === null ? invalidUseOfNull : typeMismatch);
  }
}

export function roundHalfEven(value) {
  const floor = Math.floor(value);
  const difference = value - floor;
  if (difference > 0.5) return floor + 1;
  if (difference < 0.5) return floor;
  return floor % 2 === 0 ? floor : floor + 1;
}

function roundedWithin(value, low, high) {
  const number = roundHalfEven(numberFrom(value));
  if (!(number >= low && number <= high)) throw new Refusal(overflow);
  return number;
}

export function int16From(value) {
  return roundedWithin(value, -0x8000, 0x7fff);
}

// Colours are 0x00BBGGRR; written as unsigned hexadecimal, 0xFFFFFFFF is -1.
export function int32From(value) {
  const number = roundedWithin(value, -0x80000000, 0xffffffff);
  return number > 0x7fffffff ? number - 0x100000000 : number;
}

export function float32From(value) {
  const number = Math.fround(numberFrom(value));
  if (!Number.isFinite(number)) throw new Refusal(overflow);
  return number;
}

// A measured width or height, which the core rounds itself.
export function doubleFrom(value) {
  const number = numberFrom(value);
  if (Number.isNaN(number)) throw new Refusal(overflow);
  return number;
}

// A switch: a boolean, or a number by the rule above (non-zero is on).
export function flagFrom(value) {
  return typeof value === 'boolean' ? value : numberFrom(value) !== 0;
}

// A text: a string, or the decimal text of a number, boolean or bigint.
export function textFrom(value) {
  switch (typeof value) {
    case 'string': return value;
    case 'number': case 'boolean': case 'bigint': return String(value);
    default:
      throw new Refusal(value === null ? invalidUseOfNull : typeMismatch);
  }
}
