// Type-checked against the installed package's declarations (node_trace_test.mjs runs tsc on it):
// what a TypeScript caller writes compiles, and a misspelt option does not.
import {
  draw, describeResult, CanvasSurface, SvgSurface, RecordingSurface, QuilletError, symbologies,
  toSVG, toPNG,
  type Surface, type DrawOptions, type Drawn,
} from 'quillet';

const options: DrawOptions = { code: '400638133393', width: 15, height: 1200, text: true, chk: false };
const drawn: Drawn = draw(new RecordingSurface(), 'EAN_13', options);
const meaning: string = describeResult(drawn.result);

const svg = new SvgSurface({ unit: 'pixels' });
draw(svg, symbologies[4], { code: 'A', ratio: '3:1', lineColor: 0x0000ff });
const document: string = svg.toString({ margin: 150 });

declare const context: CanvasRenderingContext2D;
const canvas = new CanvasSurface(context, { unit: 'mm', gridFit: true });
draw(canvas, 4, {});
const drawnBox = canvas.drawn?.right;

const own: Surface = {
  FontName: '', ForeColor: 0, FontBold: false, FontSize: 0, CurrentX: 0, CurrentY: 0,
  TextWidth: (text) => text.length, TextHeight: () => 1, Line() {}, Print() {},
};
try {
  draw(own, 'Code_39', { code: 'A', ratio: '3' });
} catch (error) {
  if (error instanceof QuilletError) console.log(error.number, meaning, document, drawnBox);
}

// @ts-expect-error: the options are the method's arguments by name
draw(own, 'EAN_13', { colour: 0 });

const svgText: string = toSVG('ean13', '590123412345', { module: '0.33mm', height: '22mm', rotate: 90 });
const pngBytes: Uint8Array = toPNG('EAN-13', '590123412345', { dpi: 300, background: 'none' });
console.log(svgText.length, pngBytes.length);
// @ts-expect-error: spellings are the command's
toSVG('ean14', '1');
