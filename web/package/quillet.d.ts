// Quillet for JavaScript: linear barcodes drawn onto a surface that the caller owns.

export type Symbology =
  | 'Codabar' | 'Code_11' | 'Code_128' | 'Code_25' | 'Code_39' | 'Code_39F' | 'Code_93'
  | 'EAN_13' | 'EAN_8' | 'ISBN' | 'Code_MSI' | 'PostNet' | 'UPC_A' | 'UPC_A_Plus' | 'UPC_E';

/** The symbologies in the order of their numbers 0..14 (a name is matched case-insensitively). */
export const symbologies: readonly Symbology[];

/**
 * The drawing surface: any object with these ten members. Positions and sizes are in the
 * surface's own units; the y axis grows downwards. A member that throws stops the drawing: the
 * result is the exception's `number` when it is an integer, else 5. A member the object lacks
 * gives 438.
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
  TextWidth(text: string): number;
  TextHeight(text: string): number;
  /** One filled box from (x1, y1) to (x2, y2), both corners inclusive; flags is always 38. */
  Line(flags: number, x1: number, y1: number, x2: number, y2: number, color: number): void;
  /** Writes text at (CurrentX, CurrentY) in the current font and fore colour. */
  Print(text: string): void;
}

/** The drawing method's arguments by name; the defaults are those of `quillet trace`. */
export interface DrawOptions {
  /** Left edge of the symbol (pX), single precision. Default 0. */
  x?: number;
  /** Top of the bars (pY), single precision. Default 0. */
  y?: number;
  /** The data (pCode). Default "". */
  code?: string;
  /** Module (narrow element) width, 16-bit. Default 15. */
  width?: number;
  /** Bar height, 16-bit. Default 1200. */
  height?: number;
  /** Human-readable text: 1 (or true) writes it, 0 does not. Default 1. */
  text?: number | boolean;
  /** Default false. */
  bold?: boolean;
  /** Default "Arial". */
  font?: string;
  /** Text colour, 0x00BBGGRR. Default 0. */
  foreColor?: number;
  /** Bar colour, 0x00BBGGRR. Default 0. */
  lineColor?: number;
  /** Wide and narrow extras of the two-width symbologies, "W:N". Default "3:1". */
  ratio?: string;
  /** Optional check character(s). Default false. */
  chk?: boolean;
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

/**
 * Draws one symbol onto surface. Throws QuilletError for a failure towards the caller: a ratio
 * without a colon (5), a value that does not fit its argument's type (6), a value that is not a
 * number (13), a null code (94), an unknown symbology (5).
 */
export function draw(surface: Surface, symbology: Symbology | string | number,
  options?: DrawOptions): Drawn;

/** The meaning of a result or error number, e.g. 9 → "Subscript out of range". */
export function describeResult(number: number): string;

export class QuilletError extends Error {
  readonly number: number;
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
