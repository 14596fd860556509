// Quillet for JavaScript: linear barcodes drawn onto a surface that the caller owns.

export type Symbology =
  | 'Codabar' | 'Code_11' | 'Code_128' | 'Code_25' | 'Code_39' | 'Code_39F' | 'Code_93'
  | 'EAN_13' | 'EAN_8' | 'ISBN' | 'Code_MSI' | 'PostNet' | 'UPC_A' | 'UPC_A_Plus' | 'UPC_E';

/**
 * The symbologies beyond the fifteen methods, drawn by toSVG, toPNG and drawOn only: Code 128
 * with automatic code sets (what 'code128' draws unless a set is chosen), GS1-128 with its
 * bracketed AIs, ITF-14 with bearer bars, EAN-13, UPC-A and UPC-E with a two- or five-digit
 * add-on (what 'ean13', 'upca' and 'upce' draw for data with '+'), the Intelligent Mail barcode.
 */
export type ExtendedSymbology =
  | 'Code_128_Auto' | 'GS1_128' | 'ITF_14' | 'EAN_13_AddOn' | 'UPC_A_AddOn' | 'UPC_E_AddOn'
  | 'Intelligent_Mail';

/**
 * A symbology as the quillet command spells it: its type name or the usual spellings, matched
 * in any case and with or without "_", "-" and blanks ("EAN_13", "ean13", "EAN-13" are one).
 */
export type SymbologyName = Symbology | ExtendedSymbology
  | 'codabar' | 'code11' | 'Code-11' | 'code128' | 'Code-128' | 'code25' | 'itf' | 'ITF'
  | 'i2of5' | 'i25' | 'interleaved2of5' | 'code39' | 'Code-39' | 'code3of9' | 'code39f'
  | 'code39ext' | 'code39extended' | 'code39full' | 'code39fullascii' | 'extcode39' | 'code93'
  | 'Code-93' | 'ean13' | 'EAN-13' | 'ean8' | 'EAN-8' | 'isbn' | 'msi' | 'MSI' | 'msiplessey'
  | 'codemsi' | 'postnet' | 'POSTNET' | 'upca' | 'UPC-A' | 'upcaplus' | 'upce' | 'UPC-E'
  | 'code128auto' | 'gs1-128' | 'gs1128' | 'ean128' | 'ucc128' | 'itf14' | 'ITF-14'
  | 'ean13addon' | 'upcaaddon' | 'upceaddon' | 'imb' | 'intelligent-mail' | 'uspsimb' | 'onecode';

/** A length with its unit ('0.33mm', '0.013in', '1pt', '2px', '2.5cm'), or pixels at dpi. */
export type Length = string | number;

/**
 * The options of toSVG, toPNG and drawOn, by the quillet command's names. The data is checked
 * as the command checks it (digits and lengths, a typed check digit, each symbology's
 * characters) unless asIs; a refusal is QuilletError 5 with its findings.
 */
export interface SymbolOptions {
  /** The module (narrow element) width. Default 2px at 96 dpi (1/48 inch). In a PNG or on a
   * canvas it is made a whole number of pixels. */
  module?: Length;
  /** The bar height. Default 0.833in (1200 twips). */
  height?: Length;
  /** Pixels an inch: the PNG's resolution, and what px means in module and height. Default 96. */
  dpi?: number;
  /** Quiet zone in modules on every side. Default: what the symbology's standard asks beside the
   * bars (EAN-13 11 and 7, UPC-A 9, Code 128 10, ...) and 10 above and below. */
  margin?: number;
  /** Wide elements to narrow ones, 2 to 3 (default 3), or the method's own "W:N". */
  ratio?: number | string;
  /** The human-readable text. Default true (toPNG without a canvas, as in Node: false). */
  text?: boolean;
  font?: string;
  bold?: boolean;
  /** Text colour: a CSS colour ('#1a2b3c', '#abc', 'navy') or 0x00BBGGRR. Default black. */
  fore?: string | number;
  /** Bar colour, as fore. Default black. */
  line?: string | number;
  /** The page: a CSS colour, or 'none' for a transparent page. Default white. */
  background?: string;
  /** Clockwise, in degrees. Default 0. */
  rotate?: 0 | 90 | 180 | 270;
  /** The check character(s) where optional. Default on for Code 128 and Code 93, else off. */
  chk?: boolean;
  /** Code 128 drawn in one code set by the original method; default: the code sets chosen
   * character by character, shortest symbol first. */
  set?: 'A' | 'B' | 'C';
  /** ITF-14's bearer bars, width in modules and "frame" or "bars". Default "5:frame". */
  bearers?: string;
  /** The data to the method untouched, unchecked (Code 128 data then begins with its set). */
  asIs?: boolean;
}

/** A finding of the data checks: a stable id, the character (from 1; 0 for the whole data). */
export interface Finding {
  id: string;
  position: number;
  /** false for a note on how the data is drawn, which it still is. */
  refusal: boolean;
  message: string;
}

/**
 * The symbol as an SVG document: bars as one path of whole-module rectangles, text as text, the
 * page sized to print at its true size. Throws QuilletError for refused data or a bad option
 * (naming it), and for a drawing that ends with a result other than 0.
 */
export function toSVG(symbology: SymbologyName, data: string, options?: SymbolOptions): string;

/**
 * The symbol as a PNG file at dpi, by the package's own encoder, carrying its resolution; every
 * module whole pixels. Text is drawn where the platform has a canvas (OffscreenCanvas, as in
 * browsers); elsewhere (Node) the PNG has the bars only, and text: true fails.
 */
export function toPNG(symbology: SymbologyName, data: string,
  options?: SymbolOptions): Uint8Array;

/**
 * Draws the symbol onto a canvas element, sizing it to its page with pixelRatio device pixels a
 * CSS pixel (default devicePixelRatio), every module whole device pixels.
 */
export function drawOn(canvas: HTMLCanvasElement | OffscreenCanvas, symbology: SymbologyName,
  data: string, options?: SymbolOptions & { pixelRatio?: number }):
  { code: string; width: number; height: number };

/** The type name of a spelling; QuilletError 5 for an unknown one. */
export function symbologyNamed(name: string): Symbology | ExtendedSymbology;

/**
 * Resolved once the WebAssembly module is loaded. `import` waits for it already and `require`
 * loads it synchronously, so drawing works at once either way; await it in code written for both.
 */
export const ready: Promise<void>;

/** The symbologies in the order of their numbers 0..14 (a name is matched case-insensitively). */
export const symbologies: readonly Symbology[];

/** What toSVG, toPNG and drawOn draw: the fifteen in their order, then those beyond them. */
export const oneCallSymbologies: readonly (Symbology | ExtendedSymbology)[];

/**
 * Numbers from JavaScript, one rule for the options and for what a surface answers (TextWidth,
 * TextHeight, the `number` of an exception it throws): a number is itself, a boolean 1 or 0, a
 * bigint its value, a string the decimal (or 0x hexadecimal) number it holds; null is "Invalid
 * use of Null" (94); anything else (undefined, '', other text, objects, arrays, symbols) is "Type
 * mismatch" (13), and none of the caller's code (valueOf, toString, getters) runs to find out.
 * Integers round half to even; a value outside its type (16-bit for widths, heights, text and a
 * result; 32-bit for colours, where 0x80000000..0xFFFFFFFF count as unsigned hexadecimal; single
 * precision for x and y), NaN or an infinity is "Overflow" (6). From an option that fails the call
 * (QuilletError naming the option); from a surface it stops the drawing with that number as the
 * result.
 */
export type NumberLike = number | boolean | bigint | string;

/**
 * The drawing surface: any object with these ten members. Positions and sizes are in the
 * surface's own units; the y axis grows downwards. A member that throws stops the drawing: the
 * result is the exception's `number` (by the rule of NumberLike; 5 where it has none or it is 0),
 * and `error` of the returned object is the exception. A number that does not fit a 16-bit result
 * cannot be returned: draw() then throws QuilletError 6 whose `cause` is the exception (never a
 * wrapped number). A member the object lacks gives 438; a surface that is not an object, 91.
 * A member may itself call draw(): each call has its own result and error, up to `maxNesting`
 * deep. Draws nested deeper, or a JavaScript stack that runs out (RangeError) inside a member,
 * end every draw in progress: each throws that error, even where a member catches it.
 */
export interface Surface {
  FontName: string;
  /** Text colour, 0x00BBGGRR. */
  ForeColor: number;
  FontBold: boolean;
  /** Points: the module width \ 2. */
  FontSize: number;
  /** Left edge of the next text. */
  CurrentX: number;
  /** Top of the next text. */
  CurrentY: number;
  TextWidth(text: string): NumberLike;
  TextHeight(text: string): NumberLike;
  /** One filled box from (x1, y1) to (x2, y2), both corners inclusive; flags is always 38. */
  Line(flags: number, x1: number, y1: number, x2: number, y2: number, color: number): void;
  /** Writes text at (CurrentX, CurrentY) in the current font and fore colour. */
  Print(text: string): void;
}

/** The drawing method's arguments by name; the defaults are those of `quillet trace`. */
export interface DrawOptions {
  /** Left edge of the symbol (pX), single precision. Default 0. */
  x?: NumberLike;
  /** Top of the bars (pY), single precision. Default 0. */
  y?: NumberLike;
  /** The data (pCode); a number, boolean or bigint as its decimal text. Default "". */
  code?: string | number | bigint | boolean;
  /** Module (narrow element) width, 16-bit. Default 15. */
  width?: NumberLike;
  /** Bar height, 16-bit. Default 1200. */
  height?: NumberLike;
  /** Human-readable text: 1 (or true) writes it, 0 does not. Default 1. */
  text?: NumberLike;
  /** Default false; a number is on when not 0. */
  bold?: NumberLike;
  /** Default "Arial". */
  font?: string;
  /** Text colour, 0x00BBGGRR. Default 0. */
  foreColor?: NumberLike;
  /** Bar colour, 0x00BBGGRR. Default 0. */
  lineColor?: NumberLike;
  /** Wide and narrow extras of the two-width symbologies, "W:N". Default "3:1". */
  ratio?: string;
  /** Optional check character(s). Default false; a number is on when not 0. */
  chk?: NumberLike;
}

export interface Drawn {
  /** 0 when the symbol was drawn, else the run-time error number that stopped it. */
  result: number;
  /** The data as the method left it: normalised, with the check characters it writes back. */
  code: string;
  /** The exception a surface member threw, when one stopped the drawing. */
  error?: unknown;
}

export const defaults: Readonly<Required<DrawOptions>>;

/** How deep draw() calls may nest (a surface member that draws); deeper is QuilletError 28. */
export const maxNesting: number;

/**
 * Draws one symbol onto surface. Throws QuilletError for a failure towards the caller: a ratio
 * without a colon (5), an option that is unknown (5), not a number (13), null (94) or does not fit
 * its argument (6), an unknown symbology (5), a surface error number beyond 16 bits (6), draws
 * nested deeper than maxNesting (28). A RangeError of an exhausted stack is thrown as it is.
 */
export function draw(surface: Surface, symbology: Symbology | string | number,
  options?: DrawOptions): Drawn;

/** The meaning of a result or error number, e.g. 9 → "Subscript out of range". */
export function describeResult(number: number): string;

export class QuilletError extends Error {
  /** The run-time error number. */
  readonly number: number;
  /** What the data checks found, where they refused the data. */
  readonly findings?: readonly Finding[];
  /** The option at fault, where one is. */
  readonly option?: string;
  /** A surface's exception whose number did not fit a result. */
  readonly cause?: unknown;
}

/** A surface's unit: a name, or units per CSS pixel (96 CSS pixels make an inch). */
export type Unit = 'twips' | 'points' | 'pixels' | 'millimetres' | 'mm' | 'inches' | number;

interface SurfaceState extends Surface {
  /** Everything drawn so far, boxes and texts, in surface units; null until something is. */
  readonly drawn: { left: number; top: number; right: number; bottom: number } | null;
  /** The CSS font of FontName, FontBold and FontSize. */
  readonly font: string;
}

/** Draws onto a canvas 2D context; box edges land on whole device pixels unless gridFit is off. */
export class CanvasSurface implements SurfaceState {
  constructor(context: CanvasRenderingContext2D | OffscreenCanvasRenderingContext2D,
    options?: { unit?: Unit; gridFit?: boolean });
  FontName: string; ForeColor: number; FontBold: boolean; FontSize: number;
  CurrentX: number; CurrentY: number;
  readonly drawn: { left: number; top: number; right: number; bottom: number } | null;
  readonly font: string;
  TextWidth(text: string): number;
  TextHeight(text: string): number;
  Line(flags: number, x1: number, y1: number, x2: number, y2: number, color: number): void;
  Print(text: string): void;
}

/** Builds an SVG document; texts are measured with the given or a new canvas context. */
export class SvgSurface implements SurfaceState {
  constructor(options?: { unit?: Unit;
    context?: CanvasRenderingContext2D | OffscreenCanvasRenderingContext2D | null });
  FontName: string; ForeColor: number; FontBold: boolean; FontSize: number;
  CurrentX: number; CurrentY: number;
  readonly drawn: { left: number; top: number; right: number; bottom: number } | null;
  readonly font: string;
  TextWidth(text: string): number;
  TextHeight(text: string): number;
  Line(flags: number, x1: number, y1: number, x2: number, y2: number, color: number): void;
  Print(text: string): void;
  /** The SVG document: what was drawn plus margin (surface units) on each side, on white. */
  toString(options?: { margin?: number }): string;
}

/** Records every call, line for line as `quillet trace` prints them. */
export class RecordingSurface implements Surface {
  FontName: string; ForeColor: number; FontBold: boolean; FontSize: number;
  CurrentX: number; CurrentY: number;
  readonly lines: readonly string[];
  /** Every line followed by a newline. */
  trace(): string;
  TextWidth(text: string): number;
  TextHeight(text: string): number;
  Line(flags: number, x1: number, y1: number, x2: number, y2: number, color: number): void;
  Print(text: string): void;
}

/** Sizes a canvas in CSS pixels with devicePixelRatio device pixels each; returns its context. */
export function fitCanvas(canvas: HTMLCanvasElement, width: number, height: number,
  ratio?: number): CanvasRenderingContext2D;

/** 0x00BBGGRR as "#rrggbb". */
export function colorToCss(color: number): string;

/** A number as the trace writes it (C++ std::to_chars), single precision when single is set. */
export function formatNumber(value: number, single?: boolean): string;
/** A text as the trace writes it: tab, newline and backslash escaped. */
export function escapeText(text: string): string;

/** The key of a surface's optional put(name, value, kind) that learns how a number was passed. */
export const putWithKind: unique symbol;
