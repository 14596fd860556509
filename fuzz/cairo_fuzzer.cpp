// Draws arbitrary symbols through the cairo surface. The fast path that writes the pixels of
// whole-pixel boxes itself (an image target) must leave the very pixels cairo leaves when it
// fills the same boxes at the same place (drawn through a view of a like image, which that path
// leaves alone), clip included, on white or on transparent pixels;
// the contexts must end without error; without text and unturned, nothing may lie outside what
// was measured; and symbol files drawn on a raster kept from a larger symbol must be the bytes
// of a fresh one.
//
// Input layout (little-endian):
//   0      symbology, taken modulo 15
//   1      switches: bit 0 pBold, bit 1 pChk, bits 2-3 pText (0, 1, -1, or its field), bit 4 no
//          grid fitting, bit 5 bar reduction in units, bit 6 a clip, bit 7 symbol files too
//   2      units (twips, points, pixels, millimetres, inches), 3 resolution, 4 line colour (bits
//          0-1), the turn (bits 5-6: 0, 90, 180, 270 degrees), no background (bit 7)
//   5      bar reduction (a quarter pixel or unit each), 6 margin in modules
//   7..10  the clip: left, top, width, height in pixels (as a share of the page)
//   11..12 pWidth   13..14 pHeight   15..16 pText   17..20 pX   21..24 pY (floats)
//   then one length byte and that many bytes of pRatio; the rest is pCode.
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "control/quillet.h"
#include "fuzz/fuzz_input.h"
#include "surfaces/cairo/symbol_output.h"

namespace {

using namespace quillet;

using quillet::fuzz::fail;
using quillet::fuzz::Reader;

constexpr std::array<double, 6> resolutions = {24, 72, 96, 150, 300, 600};
// Black, red, white, a palette index the surface refuses (380).
constexpr std::array<std::int32_t, 4> lineColours = {0x000000, 0x0000FF, 0xFFFFFF, 0x01000000};

struct Input {
    Symbology type;
    DrawingArguments args;
    OutputSettings settings;
    bool clipped = false, files = false;
    std::array<std::uint8_t, 4> clip{};
};

Input readInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Input input;
    input.type = fuzz::symbologyOf(in.take<std::uint8_t>());
    const auto switches = in.take<std::uint8_t>();
    OutputSettings& settings = input.settings;
    settings.units = static_cast<ScaleMode>(in.take<std::uint8_t>() % 5);
    settings.dpi = resolutions[in.take<std::uint8_t>() % resolutions.size()];
    const auto look = in.take<std::uint8_t>();
    input.args.pLineColor = lineColours[look % lineColours.size()];
    settings.rotation = 90 * ((look >> 5) & 3);
    if ((look & 128u) != 0) settings.background.reset();
    settings.barReduction = in.take<std::uint8_t>() / 4.0;
    settings.marginModules = in.take<std::uint8_t>() % 16;
    for (auto& side : input.clip) side = in.take<std::uint8_t>();
    settings.gridFit = (switches & 16u) == 0;
    settings.barReductionInUnits = (switches & 32u) != 0;
    input.clipped = (switches & 64u) != 0;
    input.files = (switches & 128u) != 0;
    DrawingArguments& args = input.args;
    args.pBold = (switches & 1u) != 0;
    args.pChk = (switches & 2u) != 0;
    args.pWidth = in.take<std::int16_t>();
    args.pHeight = in.take<std::int16_t>();
    const auto text = in.take<std::int16_t>();
    constexpr std::array<std::int16_t, 3> commonTexts = {0, 1, -1};
    const unsigned textMode = (switches >> 2) & 3u;
    args.pText = textMode < commonTexts.size() ? commonTexts[textMode] : text;
    args.pX = in.take<float>();
    args.pY = in.take<float>();
    args.pRatio = in.text(in.take<std::uint8_t>());
    args.pCode = in.text(std::size_t(-1));
    return input;
}

using OwnedTarget = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using OwnedContext = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// An image, white or transparent to begin with, as a page with or without its background. Drawn
// on directly, or through a view of the whole image: cairo then draws the very pixels at the very
// places, but the fast path, which takes image targets only, is left out. (Moving the context
// instead is no fair comparison: cairo renders a glyph between pixels differently once moved.)
struct Canvas {
    cairo_format_t format;
    OwnedTarget target;
    OwnedTarget view;
    OwnedContext context;

    Canvas(int width, int height, cairo_format_t pixels, bool white, bool throughView)
        : format(pixels),
          target(cairo_image_surface_create(pixels, width, height), cairo_surface_destroy),
          view(throughView ? cairo_surface_create_for_rectangle(target.get(), 0, 0, width, height)
                           : cairo_surface_reference(target.get()),
               cairo_surface_destroy),
          context(cairo_create(view.get()), cairo_destroy) {
        if (white) {
            cairo_set_source_rgb(context.get(), 1, 1, 1);
            cairo_paint(context.get());
        }
    }
    std::uint32_t pixel(int x, int y) const {
        const unsigned char* data = cairo_image_surface_get_data(target.get());
        std::uint32_t word;
        std::memcpy(
            &word,
            data + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(target.get()) +
                x * 4,
            4);
        return format == CAIRO_FORMAT_RGB24 ? word & 0xFFFFFFu : word;
    }
};

// Pages beyond this are measured only: comparing them pixel by pixel costs too long.
constexpr double maxPixels = 250000;

void checkDrawing(const Input& input, const SymbolDrawing& measured) {
    const int width = std::max(1, static_cast<int>(measured.pageWidth));
    const int height = std::max(1, static_cast<int>(measured.pageHeight));
    const bool white = input.settings.background.has_value();
    const cairo_format_t format = white ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
    Canvas fast(width, height, format, white, false);
    Canvas filled(width, height, format, white, true);
    if (input.clipped) {
        const int left = input.clip[0] * width / 256, top = input.clip[1] * height / 256;
        const int right = left + (input.clip[2] + 1) * (width - left) / 256;
        const int bottom = top + (input.clip[3] + 1) * (height - top) / 256;
        for (Canvas* page : {&fast, &filled}) {
            cairo_rectangle(page->context.get(), left, top, right - left, bottom - top);
            cairo_clip(page->context.get());
        }
    }
    const double margin = measured.margin * input.settings.devicePerUnit();
    std::array<std::int16_t, 2> results{};
    int i = 0;
    for (Canvas* page : {&fast, &filled}) {
        results[i++] = drawSymbolAt(page->context.get(), input.type, input.args, input.settings,
                                    measured, margin, margin);
        if (cairo_status(page->context.get()) != CAIRO_STATUS_SUCCESS)
            fail("the context ends without error",
                 cairo_status_to_string(cairo_status(page->context.get())));
    }
    if (results[0] != measured.result || results[1] != measured.result)
        fail("a symbol draws with the result it measured with",
             std::to_string(results[0]) + ", " + std::to_string(results[1]) + " after " +
                 std::to_string(measured.result));
    cairo_surface_flush(fast.target.get());
    cairo_surface_flush(filled.view.get());
    cairo_surface_flush(filled.target.get());

    // Text ink may reach past its advance and line height; boxes may not pass what was measured
    // (a pixel more: anti-aliased edges, and the origin rounded to whole pixels).
    const bool inkKnown = input.args.pText == 0 && input.settings.rotation == 0;
    const std::uint32_t base = white ? 0xFFFFFFu : 0;
    const double slack = 1;
    const double inkLeft = margin - slack, inkTop = margin - slack;
    const double inkRight = margin + measured.drawnOnDevice.width() + slack;
    const double inkBottom = margin + measured.drawnOnDevice.height() + slack;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = fast.pixel(x, y);
            if (pixel != filled.pixel(x, y))
                fail("the fast path leaves the pixels cairo leaves",
                     std::to_string(x) + "," + std::to_string(y) + " of " + std::to_string(width) +
                         "x" + std::to_string(height) + ": " + std::to_string(pixel) + " for " +
                         std::to_string(filled.pixel(x, y)));
            if (inkKnown && pixel != base &&
                (x < std::floor(inkLeft) || x >= std::ceil(inkRight) || y < std::floor(inkTop) ||
                 y >= std::ceil(inkBottom)))
                fail("nothing drawn beyond what was measured",
                     std::to_string(x) + "," + std::to_string(y));
        }
}

// A raster kept from a larger symbol holds old pixels beyond the page: none may reach the file.
void checkFiles(const Input& input) {
    DrawingArguments larger = input.args;
    larger.pHeight =
        static_cast<std::int16_t>(std::min(32767, std::abs(input.args.pHeight) * 2 + 50));
    larger.pCode = input.args.pCode + input.args.pCode;
    SymbolFiles kept(input.settings), fresh(input.settings);
    std::string keptFile, freshFile;
    try {
        const SymbolDrawing before = kept.draw(input.type, larger);
        if (before.result == 0) kept.encode(keptFile);
    } catch (const RuntimeError&) {
    } catch (const std::runtime_error&) {  // a larger page than an image holds
    }
    const SymbolDrawing drawn = kept.draw(input.type, input.args);
    const SymbolDrawing again = fresh.draw(input.type, input.args);
    if (drawn.result != again.result) fail("symbol files draw as fresh ones", "result");
    if (drawn.result != 0) return;
    kept.encode(keptFile);
    fresh.encode(freshFile);
    if (keptFile != freshFile)
        fail("symbol files on a kept raster are the bytes of fresh ones", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = readInput(data, size);
    SymbolDrawing measured;
    try {
        measured = measureSymbol(input.type, input.args, input.settings);
    } catch (const RuntimeError&) {
        return 0;  // before drawing, as the recording surface's fuzzer checks
    } catch (const std::runtime_error&) {
        return 0;  // settings that make no usable output, a size that is not a number
    }
    if (measured.result != 0 || measured.pageWidth * measured.pageHeight > maxPixels ||
        measured.pageWidth > 8000 || measured.pageHeight > 8000)
        return 0;
    checkDrawing(input, measured);
    if (input.files) checkFiles(input);
    return 0;
}
