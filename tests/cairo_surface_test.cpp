// The cairo surface: what it accepts, how wide its boxes are and what its vector output holds.
#ifdef QUILLET_WITH_CAIRO
#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <sstream>

#include "surfaces/cairo_output.h"
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
    Document document(settings.format, svg);
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

}  // namespace
}  // namespace quillet
#endif
