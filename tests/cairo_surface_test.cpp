// The cairo surface: what it accepts, how wide its boxes are and what its vector output holds.
#ifdef QUILLET_WITH_CAIRO
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>

#include "surfaces/cairo/symbol_output.h"
#include "tests/support/drawing.h"

namespace quillet {
namespace {

struct Canvas {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> target{
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 8), cairo_surface_destroy};
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context{cairo_create(target.get()),
                                                               cairo_destroy};
    Canvas() {
        cairo_set_source_rgb(context.get(), 1, 1, 1);
        cairo_paint(context.get());
    }
    // Pixels of row y darker than mid grey.
    int darkPixelsInRow(int y) {
        cairo_surface_flush(target.get());
        const auto* row = cairo_image_surface_get_data(target.get()) +
                          y * cairo_image_surface_get_stride(target.get());
        int dark = 0;
        for (int x = 0; x < 64; ++x) dark += row[x * 4 + 1] < 128;
        return dark;
    }
};

// One device pixel per unit, so that widths can be counted.
DevicePlacement pixelPlacement() {
    DevicePlacement placement;
    placement.gridFit = true;
    return placement;
}

TEST(CairoSurface, RejectsWhatAHostRejects) {
    struct Row {
        const char* what;
        std::int16_t flags;
        std::int32_t color;
    };
    const Row rows[] = {
        {"line without the box flags", 6, 0},
        {"box flags plus another bit", 38 | 64, 0},
        {"system colour", boxFlags, static_cast<std::int32_t>(0x80000005u)},
        {"negative colour", boxFlags, -1},
        {"palette index", boxFlags, 0x01000000},
    };
    for (const auto& row : rows) {
        Canvas canvas;
        CairoSurface surface(canvas.context.get(), pixelPlacement());
        std::int16_t x = 0;
        try {
            surface.line(row.flags, x, 0, 9, 7, row.color);
            ADD_FAILURE() << row.what << ": accepted";
        } catch (const RuntimeError& failure) {
            EXPECT_EQ(failure.number(), error::invalidPropertyValue) << row.what;
        }
        EXPECT_EQ(canvas.darkPixelsInRow(3), 0) << row.what << ": painted";
    }
    Canvas canvas;
    CairoSurface surface(canvas.context.get(), pixelPlacement());
    EXPECT_THROW(surface.setForeColor(0x80000012), RuntimeError);
    EXPECT_NO_THROW(surface.setForeColor(0x00FF8040));
}

// A caller's own context stays usable after text that cairo would refuse, in the font name too.
TEST(CairoSurface, TextCairoRefusesLeavesTheContextWorking) {
    for (const char* noncharacter :
         {"\xef\xbf\xbe", "\xef\xbf\xbf", "\xef\xb7\x90", "\xf0\x9f\xbf\xbf", "\xed\xa0\x80"}) {
        Canvas canvas;
        CairoSurface surface(canvas.context.get(), pixelPlacement());
        Quillet control;
        DrawingArguments arguments;
        arguments.pCode = std::string("12345678901") + noncharacter;
        arguments.pFont = std::string("Arial") + noncharacter;
        EXPECT_EQ(control.Draw(EAN_13, &surface, arguments), 0) << noncharacter;
        EXPECT_EQ(cairo_status(canvas.context.get()), CAIRO_STATUS_SUCCESS) << noncharacter;
        std::int16_t x = 0;
        surface.line(boxFlags, x, 0, 63, 7, white);
        surface.line(boxFlags, x, 0, 9, 7, 0);
        EXPECT_EQ(canvas.darkPixelsInRow(3), 10) << noncharacter;
    }
}

// A context that cairo has put in error ends the drawing with a result instead.
TEST(CairoSurface, AFailedContextIsTheResult) {
    Canvas canvas;
    cairo_set_font_size(canvas.context.get(), NAN);
    cairo_text_extents_t extents;
    cairo_text_extents(canvas.context.get(), "x", &extents);
    CairoSurface surface(canvas.context.get(), pixelPlacement());
    Quillet control;
    DrawingArguments arguments;
    arguments.pCode = "CODE39";
    EXPECT_EQ(control.Draw(Code_39, &surface, arguments), error::invalidArgument);
}

TEST(CairoSurface, BoxesIncludeBothCorners) {
    struct Row {
        std::int16_t x1, x2;
        double barReduction;
        int expectedWidth;
    };
    const Row rows[] = {
        {0, 14, 0, 15},                  // x .. x + w - 1 is w wide
        {10, 10, 0, 1}, {5, 4, 0, 0},    // pWidth 0: nothing
        {0, 14, 2, 13}, {0, 14, 3, 12},  // print gain taken off the bar
        {0, 1, 5, 0},                    // never less than nothing
    };
    for (const auto& row : rows) {
        Canvas canvas;
        DevicePlacement placement = pixelPlacement();
        placement.barReduction = row.barReduction;
        CairoSurface surface(canvas.context.get(), placement);
        std::int16_t x = row.x1;
        surface.line(boxFlags, x, 0, row.x2, 6, 0);
        EXPECT_EQ(canvas.darkPixelsInRow(3), row.expectedWidth)
            << row.x1 << ".." << row.x2 << " less " << row.barReduction;
    }
}

// Boxes of one height after another, as symbols draw them: each lands on its own rows.
TEST(CairoSurface, BoxesOfOtherHeightsLandOnTheirOwnRows) {
    Canvas canvas;
    CairoSurface surface(canvas.context.get(), pixelPlacement());
    struct Box {
        std::int16_t x1, x2;
        float y1, y2;
    };
    const Box boxes[] = {{0, 9, 0, 1},   {10, 19, 4, 6}, {20, 29, -0.0f, 1},
                         {30, 39, 4, 6}, {40, 44, 4, 5}, {45, 49, 0.4f, 6}};
    for (const Box& box : boxes) {
        std::int16_t x = box.x1;
        surface.line(boxFlags, x, box.y1, box.x2, box.y2, 0);
    }
    const int darkInRow[] = {25, 25, 5, 5, 30, 30, 25, 0};
    for (int y = 0; y < 8; ++y) EXPECT_EQ(canvas.darkPixelsInRow(y), darkInRow[y]) << "row " << y;
}

TEST(CairoSurface, TextIsMeasuredInSurfaceUnits) {
    Canvas canvas;
    DevicePlacement points;  // one device unit per point: no hinting at this size matters
    CairoSurface inPoints(canvas.context.get(), points);
    DevicePlacement twips;
    twips.devicePerUnit = 1.0 / 20;
    CairoSurface inTwips(canvas.context.get(), twips);
    for (CairoSurface* surface : {&inPoints, &inTwips}) {
        surface->setFontName("Arial");
        surface->setFontSize(10);
    }
    EXPECT_NEAR(inTwips.textWidth("CODE39W"), 20 * inPoints.textWidth("CODE39W"), 1e-6);
    EXPECT_NEAR(inTwips.textHeight("X"), 20 * inPoints.textHeight("X"), 1e-6);

    // Below one point the text is drawn at one point; a malformed text is still measured.
    inPoints.setFontSize(0);
    const double atZero = inPoints.textWidth("ABC");
    inPoints.setFontSize(1);
    EXPECT_DOUBLE_EQ(atZero, inPoints.textWidth("ABC"));
    EXPECT_GT(inPoints.textWidth("A\xff\xfe"), inPoints.textWidth("A"));

    // The metric-compatible faces are found by the names hosts use.
    inPoints.setFontSize(10);
    inPoints.setFontName("Courier New");
    EXPECT_NEAR(inPoints.textWidth("iiii"), inPoints.textWidth("WWWW"), 1e-6);
    inPoints.setFontName("Times New Roman");
    EXPECT_LT(inPoints.textWidth("iiii"), inPoints.textWidth("WWWW"));
}

TEST(CairoSurface, TextOfAnySizeLeavesCairoWorking) {
    // FreeType takes at most 65535 pixels to the em; a size beyond that after a small one used
    // to break the face for every later context.
    DevicePlacement at600;
    at600.devicePerPoint = 600.0 / 72;
    for (const std::int16_t size : {1, 16383, 10}) {
        Canvas canvas;
        CairoSurface surface(canvas.context.get(), at600);
        surface.setFontName("Arial");
        surface.setFontBold(true);
        surface.setFontSize(size);
        EXPECT_GT(surface.textWidth("CODE39"), 0) << size;
        EXPECT_EQ(cairo_status(canvas.context.get()), CAIRO_STATUS_SUCCESS) << size;
    }
}

// Text is measured from the glyph advances and font extents kept of each font; the answers must
// be cairo's own to the bit, for raster targets (hinted metrics) and vector ones, from a caller's
// current point too.
TEST(CairoSurface, TextMeasuresAreCairosOwn) {
    struct Target {
        const char* what;
        bool raster;
        double dpi;
        double currentX;  // a current point on the caller's context, -1 for none
    };
    const Target targets[] = {{"raster at 96 dpi", true, 96, -1},
                              {"raster at 600 dpi", true, 600, -1},
                              {"vector", false, 72, -1},
                              {"vector from a current point", false, 72, 1234.567},
                              {"raster from a current point", true, 96, 3.3}};
    struct Font {
        const char* name;
        std::int16_t size;
        bool bold;
    };
    const Font fonts[] = {{"Arial", 7, false},
                          {"Arial", 10, true},
                          {"Times New Roman", 13, false},
                          {"Courier New", 9, true},
                          {"DejaVu Sans", 11, false}};
    const char* texts[] = {"0123456789",
                           "QUILLET-000001",
                           "Wave MW iil.,",
                           "  two  spaces ",
                           "x",
                           "\t",
                           "A\tB\x01"
                           "C\x7f",
                           "Gr\xc3\xbc\xc3\x9f"
                           "e \xc3\xa9\xc2\xa9",
                           ""};
    for (const Target& target : targets)
        for (const Font& font : fonts)
            for (const char* text : texts) {
                SCOPED_TRACE(std::string(target.what) + ", " + font.name + " " +
                             std::to_string(font.size) + (font.bold ? " bold" : "") + ", \"" +
                             text + "\"");
                const auto contextOn = [&target] {
                    cairo_surface_t* surface =
                        target.raster
                            ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)
                            : cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
                    cairo_t* context = cairo_create(surface);
                    cairo_surface_destroy(surface);
                    if (target.currentX >= 0) cairo_move_to(context, target.currentX, 5);
                    return std::unique_ptr<cairo_t, decltype(&cairo_destroy)>(context,
                                                                              cairo_destroy);
                };
                const auto cairos = contextOn();
                cairo_select_font_face(
                    cairos.get(), font.name, CAIRO_FONT_SLANT_NORMAL,
                    font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
                cairo_set_font_size(cairos.get(), font.size * (target.dpi / 72));
                cairo_text_extents_t textExtents;
                cairo_font_extents_t fontExtents;
                cairo_text_extents(cairos.get(), text, &textExtents);
                cairo_font_extents(cairos.get(), &fontExtents);

                const auto ours = contextOn();
                DevicePlacement placement;
                placement.devicePerPoint = target.dpi / 72;
                placement.devicePerUnit = target.dpi / 1440;
                CairoSurface surface(ours.get(), placement);
                surface.setFontName(font.name);
                surface.setFontBold(font.bold);
                surface.setFontSize(font.size);
                const double width = textExtents.x_advance / placement.devicePerUnit;
                const double height = fontExtents.height / placement.devicePerUnit;
                for (int time = 0; time < 2; ++time) {  // glyphs learnt, then kept
                    EXPECT_EQ(surface.textWidth(text), width);
                    EXPECT_EQ(surface.textHeight(text), height);
                }
                surface.print(text);  // from CurrentX and CurrentY 0
                EXPECT_EQ(surface.drawn().width(), width);
                EXPECT_EQ(surface.drawn().height(), height);
            }
}

// Every filled box of an SVG file, as cairo writes it: a path "M x y L x2 y L x2 y2 L x y2 Z"
// with a fill colour (glyph outlines have none).
std::vector<std::pair<double, double>> svgBoxSpans(const std::string& svg) {
    static const std::regex box(
        R"(fill:rgb[^"]*" d="M ([-0-9.e]+) [-0-9.e]+ L ([-0-9.e]+) [-0-9.e]+ L)");
    std::vector<std::pair<double, double>> spans;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), box); it != std::sregex_iterator();
         ++it)
        spans.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    return spans;
}

TEST(CairoOutput, VectorBoxesAreExactToTheUnit) {
    DrawingArguments arguments;
    arguments.pCode = "CODE39";
    arguments.pChk = true;
    const auto recorded = testing::draw(Code_39, arguments).surface.boxes();

    OutputSettings settings;
    settings.format = OutputFormat::svg;
    std::ostringstream svg;
    Document document(svg, settings);
    ASSERT_EQ(drawSymbolPage(document, Code_39, arguments, settings).result, 0);
    document.finish();

    const auto spans = svgBoxSpans(svg.str());
    ASSERT_EQ(spans.size(), recorded.size());
    // cairo keeps coordinates to 1/256 point, a 50th of a twip.
    constexpr double tolerance = 0.05;
    constexpr double twipsPerPoint = 20;
    const double origin = spans[0].first * twipsPerPoint - recorded[0].x1;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        EXPECT_NEAR(spans[i].first * twipsPerPoint - origin, recorded[i].x1, tolerance)
            << "box " << i;
        EXPECT_NEAR((spans[i].second - spans[i].first) * twipsPerPoint,
                    testing::widthOf(recorded[i]), tolerance)
            << "box " << i;
    }
}

using Image = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Image readPng(const std::string& png) {
    struct Reader {
        const std::string& png;
        std::size_t offset = 0;
    } reader{png};
    const auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto& from = *static_cast<Reader*>(closure);
        if (from.png.size() - from.offset < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, from.png.data() + from.offset, length);
        from.offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    return {cairo_image_surface_create_from_png_stream(read, &reader), cairo_surface_destroy};
}

std::uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
    std::uint32_t pixel;
    std::memcpy(
        &pixel,
        cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image) + x * 4,
        sizeof pixel);
    return cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32 ? pixel : pixel & 0xFFFFFF;
}

// The first pixel at which two images differ, "" when they are the same.
std::string firstDifference(cairo_surface_t* a, cairo_surface_t* b, int width, int height) {
    cairo_surface_flush(a);
    cairo_surface_flush(b);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixelAt(a, x, y) != pixelAt(b, x, y))
                return "at " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

TEST(PngEncoder, ReadsBackAsItWasDrawn) {
    struct Row {
        const char* what;
        int width, height;
        std::function<std::uint32_t(int x, int y)> colour;
        int colourType;  // 0 grey, 2 RGB, 3 palette
    };
    const auto bars = [](int x, int) { return x % 7 < 3 ? 0x000000u : 0xFFFFFFu; };
    const Row rows[] = {
        {"one white pixel", 1, 1, [](int, int) { return 0xFFFFFFu; }, 0},
        {"one pixel wide", 1, 9, [](int, int y) { return y * 0x101010u; }, 0},
        {"bars, rows repeated", 120, 40, bars, 0},
        {"rows longer than a match", 700, 5, bars, 0},
        // Runs of 258 .. 262 equal pixels: a rest of one or two takes from the match before.
        {"run of 259", 260, 2, [](int, int) { return 0x808080u; }, 0},
        {"run of 260", 261, 2, [](int, int) { return 0x808080u; }, 0},
        {"run of 261", 262, 2, [](int, int) { return 0x808080u; }, 0},
        // Rows that differ from the row above in one pixel: the rest is copied from above.
        {"a stroke across bars", 700, 6,
         [&](int x, int y) { return x == 100 * y + 3 ? 0x404040u : bars(x, y); }, 0},
        {"every grey", 256, 3, [](int x, int y) { return ((x * 7 + y) & 0xFF) * 0x010101u; }, 0},
        {"red text on white", 50, 12,
         [](int x, int y) { return (x + y) % 5 == 0 ? 0xFF0000u : 0xFFFFFFu; }, 3},
        {"256 colours", 64, 4,
         [](int x, int y) { return static_cast<std::uint32_t>(x * 4 + y) << 8; }, 3},
        {"257 colours", 257, 2, [](int x, int) { return static_cast<std::uint32_t>(x) * 0x10203u; },
         2},
        // A row of more than 32 KiB cannot be referred back to as a whole.
        {"wide colour rows", 11000, 3,
         [](int x, int) { return static_cast<std::uint32_t>(x / 8) * 0x010305u; }, 2},
    };
    PngEncoder encoder;  // one for every picture, as in a batch
    for (const auto& row : rows) {
        Image picture(cairo_image_surface_create(CAIRO_FORMAT_RGB24, row.width, row.height),
                      cairo_surface_destroy);
        unsigned char* data = cairo_image_surface_get_data(picture.get());
        const int stride = cairo_image_surface_get_stride(picture.get());
        for (int y = 0; y < row.height; ++y)
            for (int x = 0; x < row.width; ++x) {
                const std::uint32_t pixel = row.colour(x, y) | 0xFF000000u;
                std::memcpy(data + y * stride + x * 4, &pixel, sizeof pixel);
            }
        std::string png;
        encoder.encode(data, row.width, row.height, stride, png);
        ASSERT_GT(png.size(), 25u) << row.what;
        EXPECT_EQ(png[25], row.colourType) << row.what;
        const Image read = readPng(png);
        ASSERT_EQ(cairo_surface_status(read.get()), CAIRO_STATUS_SUCCESS) << row.what;
        ASSERT_EQ(cairo_image_surface_get_width(read.get()), row.width) << row.what;
        ASSERT_EQ(cairo_image_surface_get_height(read.get()), row.height) << row.what;
        EXPECT_EQ(firstDifference(picture.get(), read.get(), row.width, row.height), "")
            << row.what;
    }
    std::string png;
    unsigned char pixel[4] = {};
    EXPECT_THROW(encoder.encode(pixel, 0, 1, 4, png), std::runtime_error);
}

// Boxes on whole pixels and texts of one character are written straight into the image; cairo
// must have drawn the same.
TEST(CairoOutput, DirectPixelsMatchCairos) {
    struct Row {
        tBarcodeType type;
        const char* code;
        double dpi;
        double barReduction;
        std::int32_t fore = 0;                         // 0x00BBGGRR
        std::optional<std::uint32_t> page = 0xFFFFFF;  // 0xRRGGBB, or transparent
        const char* font = "Arial";
        bool bold = false;
        bool gridFit = true;  // else texts start between pixels
        std::int16_t height = 1200;
    };
    const Row rows[] = {
        {Code_128, "BQuillet-128", 96, 0},  // one band of adjacent boxes
        {EAN_13, "590123412345", 96, 0},    // guard bars longer than the digits' bars
        {UPC_E, "0123456", 300, 0},
        {PostNet, "12345", 203, 0},   // bars of two heights with gaps between them
        {Code_39, "CODE39", 203, 2},  // bars narrowed: gaps inside the band
        {Codabar, "A40156B", 600, 1},
        // Characters in colour over colour and over nothing, in other faces and weights.
        {Code_128, "B!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", 150, 0, 0x3399CC, 0x204060},
        {Code_128, "BABCDEFGHIJKLMNOPQRSTUVWXYZ", 203, 0, 0x0000FF, std::nullopt, "DejaVu Serif"},
        {Code_128, "Babcdefghijklmnopqrstuvwxyz", 72, 0, 0x808080, 0xFFFF00, "Liberation Mono",
         true},
        {Code_93, "CODE 93", 1200, 0, 0xFFFFFF, std::nullopt, "Arial", true},
        {EAN_8, "9638507", 24, 0, 0x00FF00, 0x000000},
        {Code_128, "BQuillet-128", 203, 0, 0x102030, 0xFFFFFF, "Arial", false, false},
        {Code_39, "CODE39", 96, 0, 0xFF0000, std::nullopt, "Arial", true, false},
        {EAN_13, "590123412345", 150, 0, 0x404040, 0xC0C0C0},  // grey characters on grey
        // Bars drawn upwards, and characters reaching back over the bars before them.
        {Code_128, "Bjjyj", 203, 0, 0x808080, 0xFFFFFF, "Arial", false, true, -150},
        // A centred text whose characters' ink meets: cairo adds their coverage first.
        {Code_39F, "fjord/jjj/Tyj", 300, 0, 0x3399CC, 0xFFFFFF, "DejaVu Serif", true},
    };
    for (const auto& row : rows) {
        OutputSettings settings;
        settings.dpi = row.dpi;
        settings.barReduction = row.barReduction;
        settings.gridFit = row.gridFit;
        DrawingArguments arguments;
        arguments.pCode = row.code;
        arguments.pForeColor = row.fore;
        arguments.pFont = row.font;
        arguments.pBold = row.bold;
        arguments.pHeight = row.height;
        const SymbolDrawing measured = measureSymbol(row.type, arguments, settings);
        ASSERT_EQ(measured.result, 0) << row.code;
        const int width = static_cast<int>(measured.pageWidth);
        const int height = static_cast<int>(measured.pageHeight);
        const double margin = measured.margin * settings.devicePerUnit();
        // The same drawing twice: within a clip on whole pixels, and within one that ends half
        // a pixel below the page, which leaves every box and text to cairo.
        std::vector<Image> images;
        for (const double clipHeight : {static_cast<double>(height), height + 0.5}) {
            images.emplace_back(
                cairo_image_surface_create(row.page ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                           width, height + 1),
                cairo_surface_destroy);
            cairo_t* context = cairo_create(images.back().get());
            cairo_rectangle(context, 0, 0, width, clipHeight);
            cairo_clip(context);
            if (row.page) {
                cairo_set_source_rgb(context, (*row.page >> 16) / 255.0,
                                     (*row.page >> 8 & 0xFF) / 255.0, (*row.page & 0xFF) / 255.0);
                cairo_paint(context);
            }
            EXPECT_EQ(
                drawSymbolAt(context, row.type, arguments, settings, measured, margin, margin), 0);
            cairo_destroy(context);
        }
        EXPECT_EQ(firstDifference(images[0].get(), images[1].get(), width, height), "")
            << row.code << " at " << row.dpi << " dpi";
    }
}

// A surface that has its context alone keeps the font it selected only while the face and size
// stay: a text after a change (lone characters too) is drawn as a surface that never drew before
// it would draw it.
TEST(CairoOutput, TextAfterAFontChangeIsDrawnInTheNewFont) {
    struct Row {
        const char* change;
        std::function<void(Surface&)> apply;
    };
    const Row rows[] = {
        {"size", [](Surface& surface) { surface.setFontSize(20); }},
        {"weight", [](Surface& surface) { surface.setFontBold(true); }},
        {"face", [](Surface& surface) { surface.setFontName("DejaVu Serif"); }},
        {"size and back",
         [](Surface& surface) {
             surface.setFontSize(20);
             surface.setFontSize(10);
         }},
        {"colour", [](Surface& surface) { surface.setForeColor(0x0000FF); }},
    };
    constexpr int width = 80, height = 40;
    // Draws on a white image through a surface of the kind given, its font at 10 points first.
    const auto draw = [](cairo_surface_t* image, bool raster,
                         const std::function<void(Surface&)>& calls) {
        cairo_t* context = cairo_create(image);
        cairo_set_source_rgb(context, 1, 1, 1);
        cairo_paint(context);
        cairo_rectangle(context, 0, 0, width, height);
        cairo_clip(context);
        std::optional<RasterSurface> rasterSurface;
        std::optional<CairoSurface> cairoSurface;
        CairoSurface* surface = nullptr;
        if (raster)
            surface =
                &rasterSurface.emplace(context, pixelPlacement(), *RasterSurface::pageOf(context));
        else
            surface = &cairoSurface.emplace(context, pixelPlacement());
        surface->haveContextAlone();
        surface->setFontSize(10);
        calls(*surface);
        rasterSurface.reset();
        cairo_destroy(context);
    };
    for (const auto& row : rows)
        for (const bool raster : {true, false}) {
            SCOPED_TRACE(std::string(row.change) + (raster ? " on a raster" : " through cairo"));
            std::vector<Image> images;
            for (int i = 0; i < 2; ++i)
                images.emplace_back(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                                    cairo_surface_destroy);
            const auto second = [&row](Surface& surface) {
                row.apply(surface);
                surface.setCurrentX(std::int16_t{40});
                surface.setCurrentY(5);
                surface.print("8g");
                // Lone characters, each placed by the advance of the one before.
                surface.print("8");
                surface.print("g");
            };
            draw(images[0].get(), raster, [&second](Surface& surface) {
                surface.print("8");
                second(surface);
            });
            draw(images[1].get(), raster, [&second](Surface& surface) { second(surface); });
            // The first text, alone on the left, is left out of the comparison.
            cairo_t* blank = cairo_create(images[0].get());
            cairo_rectangle(blank, 0, 0, 40, height);
            cairo_set_source_rgb(blank, 1, 1, 1);
            cairo_fill(blank);
            cairo_destroy(blank);
            EXPECT_EQ(firstDifference(images[0].get(), images[1].get(), width, height), "");
        }
}

// One raster serves symbols of every size; each file is the one a page of its own gives, whatever
// was drawn on the raster before it. Rows of the same settings share one SymbolFiles.
TEST(CairoOutput, SymbolFilesMatchPagesOfTheirOwn) {
    struct Row {
        tBarcodeType type;
        const char* code;
        std::int16_t result = 0;
        std::int32_t fore = 0;  // 0x00BBGGRR
        std::optional<std::int32_t> background = whitePaper;
        int rotation = 0;
        std::int16_t height = 1200;
        std::optional<std::int32_t> line = std::nullopt;  // the bars', where not fore
        double dpi = 96;
        float x = 0;
        std::int16_t module = 15;  // the text's size is half of it, in points
        bool bold = false;
        const char* font = "Arial";
    };
    const Row rows[] = {
        {Code_39F, "Code 39 Full ASCII"},
        {EAN_8, "9638507"},  // smaller than the one before
        {ISBN, "030640615"},
        {Code_39F, "Code 39 Full ASCII"},
        {PostNet, "12345"},
        {Code_128, "BQ"},
        {EAN_13, "590123412345", 0, 0, whitePaper, 0, 2400},  // taller than the next
        {EAN_8, "9638507"},
        {UPC_A, "03600029145", 0, 0, whitePaper, 0, 2400},  // over what is left below that
        // Edges at half pixels (6 twips at 600 dpi), and none.
        {Code_128, "BQuillet", 0, 0, whitePaper, 0, 1200, std::nullopt, 600},
        {EAN_13, "590123412345", 0, 0, whitePaper, 0, 1200, std::nullopt, 600},
        {Code_39, "CODE39", 0, 0, whitePaper, 0, 1200, std::nullopt, 300},
        // Bars left of the origin, modules of no whole number of pixels, and wider than most.
        {Code_128, "BQuillet", 0, 0, whitePaper, 0, 1200, std::nullopt, 96, -1000},
        {EAN_13, "590123412345", 0, 0, whitePaper, 0, 1200, std::nullopt, 600, -7},
        {Code_128, "BQuillet", 0, 0, whitePaper, 0, 1200, std::nullopt, 203, 0, 7},
        {EAN_8, "9638507", 0, 0, whitePaper, 0, 1200, std::nullopt, 96, 0, 90},
        {Code_39, "CODE39z", 9},                                      // fails after its first boxes
        {EAN_8, "9638507", 380, 0, whitePaper, 0, 1200, 0x01000000},  // a colour no box takes
        {EAN_13, "590123412345"},
        {Code_128, "BQuillet-128"},  // its text is left to cairo
        {UPC_A, "03600029145"},
        {EAN_13, "590123412345", 0, 0x0000FF},  // a colour amid greys
        {EAN_13, "590123412345"},
        {EAN_13, "590123412345", 0, 0x00FF00, 0x204060},  // colours, no grey
        {UPC_A, "03600029145", 0, 0x00FF00, 0x204060},
        {EAN_13, "590123412345", 0, 0x606060, 0xD0D0D0},    // grey on grey
        {Code_128, "BQuillet-128", 0, 0x606060, 0xD0D0D0},  // larger, its text left to cairo
        {UPC_E, "0123456", 0, 0x606060, 0xD0D0D0},
        {EAN_8, "9638507", 0, 0x402040, 0xD0D0D0},
        // Characters in greys too large for their kept blocks, too small to be composited, bold,
        // and of another face.
        {EAN_13, "590123412345", 0, 0x606060, 0xD0D0D0, 0, 1200, std::nullopt, 96, 0, 60},
        {EAN_8, "9638507", 0, 0, whitePaper, 0, 1200, std::nullopt, 96, 0, 5},
        {UPC_A, "03600029145", 0, 0x202020, whitePaper, 0, 1200, std::nullopt, 96, 0, 15, true},
        {UPC_E, "0123456", 0, 0, whitePaper, 0, 1200, std::nullopt, 96, 0, 21, false,
         "DejaVu Serif"},
        // Grey characters reaching back over the bars drawn upwards before them, and characters
        // whose boxes meet the ink of the one before.
        {Code_128, "Bjjyj", 0, 0x808080, 0xD0D0D0, 0, -150},
        {Code_39, "AVAWAVA", 0, 0x404040, whitePaper},
        {Code_39, "CODE39", 0, 0, std::nullopt},  // a transparent page
        {EAN_8, "9638507", 0, 0x0000FF, std::nullopt},
        {EAN_13, "590123412345", 0, 0, whitePaper, 90},
        {Code_128, "BQ", 0, 0, whitePaper, 90},
    };
    std::optional<SymbolFiles> files;
    OutputSettings settings;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.code) + " in " + std::to_string(row.fore));
        if (!files || settings.background != row.background || settings.rotation != row.rotation ||
            settings.dpi != row.dpi) {
            settings.background = row.background;
            settings.rotation = row.rotation;
            settings.dpi = row.dpi;
            files.emplace(settings);
        }
        DrawingArguments arguments;
        arguments.pCode = row.code;
        arguments.pForeColor = row.fore;
        arguments.pLineColor = row.line.value_or(row.fore);
        arguments.pHeight = row.height;
        arguments.pX = row.x;
        arguments.pWidth = row.module;
        arguments.pBold = row.bold;
        arguments.pFont = row.font;
        ASSERT_EQ(files->draw(row.type, arguments).result, row.result);
        if (row.result != 0) continue;
        std::ostringstream own;
        Document document(own, settings);
        ASSERT_EQ(drawSymbolPage(document, row.type, arguments, settings).result, 0);
        document.finish();
        std::string file;
        files->encode(file);
        EXPECT_TRUE(file == own.str());
    }
}

// A host may pass NaN for pY: the drawing then has no size, which is an error, not an image.
TEST(CairoOutput, APageOfNoSizeIsRefused) {
    DrawingArguments arguments;
    arguments.pCode = "CODE39";
    arguments.pY = std::numeric_limits<float>::quiet_NaN();
    const OutputSettings settings;
    EXPECT_THROW(SymbolFiles(settings).draw(Code_39, arguments), std::runtime_error);
    std::ostringstream out;
    Document document(out, settings);
    EXPECT_THROW(drawSymbolPage(document, Code_39, arguments, settings), std::runtime_error);
}

}  // namespace
}  // namespace quillet
#endif
