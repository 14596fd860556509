// Raster output as a reader sees it: grid fitting, anti-aliasing, bar width reduction, and the
// quillet command's own PNG files.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "cli/output_commands.h"
#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

using testing::Decoded;
using testing::GreyImage;

const std::vector<Decoded> code39W = {{"CODE-39", "CODE39W"}};

DrawingArguments code39() {
    DrawingArguments arguments;
    arguments.pCode = "CODE39";
    arguments.pChk = true;
    return arguments;
}

// Widths of the dark and the light runs across a row through the bars, from the first bar on;
// the last space is the quiet zone after the symbol.
struct Runs {
    std::vector<int> bars, spaces;
    int greyPixels = 0;
};
Runs runsAcross(const GreyImage& image) {
    Runs runs;
    const int y = image.height / 3;
    int start = -1;
    bool dark = false;
    for (int x = 0; x < image.width; ++x) {
        const auto value = image.at(x, y);
        runs.greyPixels += value > 32 && value < 224;
        const bool isDark = value < 128;
        if (x == 0 || isDark != dark) {
            if (start >= 0 && x > 0) (dark ? runs.bars : runs.spaces).push_back(x - start);
            start = isDark || start >= 0 ? x : -1;
            dark = isDark;
        }
    }
    if (!runs.spaces.empty()) runs.spaces.erase(runs.spaces.begin());  // the quiet zone
    return runs;
}

std::pair<int, int> narrowRange(const std::vector<int>& widths) {
    const auto [low, high] = std::minmax_element(widths.begin(), widths.end());
    const int threshold = (*low + *high) / 2;
    int narrowLow = *high, narrowHigh = 0;
    for (int width : widths) {
        if (width > threshold) continue;
        narrowLow = std::min(narrowLow, width);
        narrowHigh = std::max(narrowHigh, width);
    }
    return {narrowLow, narrowHigh};
}

TEST(RasterOutput, GridFittingKeepsEqualBarsEqual) {
    // At 300 dpi a 16-twip narrow element is 3.33 pixels, a 36-twip wide one 7.5.
    for (const double dpi : {203.0, 300.0, 600.0}) {
        OutputSettings settings;
        settings.dpi = dpi;
        const GreyImage image = testing::readPng(testing::renderPng(Code_39, code39(), settings));
        const Runs runs = runsAcross(image);
        ASSERT_EQ(runs.bars.size(), 45u) << dpi;
        EXPECT_EQ(runs.greyPixels, 0) << dpi << " dpi: edges are not sharp";
        const auto [low, high] = narrowRange(runs.bars);
        EXPECT_EQ(low, high) << dpi << " dpi: narrow bars differ";
        EXPECT_EQ(testing::decode(image), code39W) << dpi;
    }
}

TEST(RasterOutput, WithoutGridFittingEdgesAreSmoothed) {
    OutputSettings settings;
    settings.dpi = 300;
    settings.gridFit = false;
    const GreyImage image = testing::readPng(testing::renderPng(Code_39, code39(), settings));
    EXPECT_GT(runsAcross(image).greyPixels, 10);
    EXPECT_EQ(testing::decode(image), code39W);
}

TEST(RasterOutput, BarReductionNarrowsBarsOnly) {
    OutputSettings settings;
    settings.dpi = 600;
    const Runs plain =
        runsAcross(testing::readPng(testing::renderPng(Code_39, code39(), settings)));
    for (const auto& [amount, inUnits, pixels] :
         {std::tuple{2.0, false, 2}, std::tuple{4.8, true, 2}, std::tuple{1.0, false, 1}}) {
        settings.barReduction = amount;
        settings.barReductionInUnits = inUnits;
        const GreyImage image = testing::readPng(testing::renderPng(Code_39, code39(), settings));
        const Runs reduced = runsAcross(image);
        ASSERT_EQ(reduced.bars.size(), plain.bars.size());
        for (std::size_t i = 0; i < plain.bars.size(); ++i) {
            EXPECT_EQ(reduced.bars[i], plain.bars[i] - pixels) << amount << " bar " << i;
            if (i + 1 < plain.bars.size()) {
                EXPECT_EQ(reduced.spaces[i], plain.spaces[i] + pixels) << amount << " space " << i;
            }
        }
        EXPECT_EQ(testing::decode(image), code39W) << amount;
    }
}

// A vector page as a reader shows it: the same drawing, onto an image at four pixels a point.
GreyImage showVector(tBarcodeType type, const DrawingArguments& arguments,
                     const OutputSettings& settings) {
    constexpr double pixelsPerPoint = 4;
    const SymbolDrawing measured = measureSymbol(type, arguments, settings);
    cairo_surface_t* image = cairo_image_surface_create(
        CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(measured.pageWidth * pixelsPerPoint)),
        static_cast<int>(std::ceil(measured.pageHeight * pixelsPerPoint)));
    cairo_t* context = cairo_create(image);
    cairo_set_source_rgb(context, 1, 1, 1);
    cairo_paint(context);
    cairo_scale(context, pixelsPerPoint, pixelsPerPoint);
    const double margin = measured.margin * settings.devicePerUnit();
    EXPECT_EQ(drawSymbolAt(context, type, arguments, settings, measured, margin, margin), 0);
    cairo_destroy(context);
    std::string png;
    cairo_surface_write_to_png_stream(
        image,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(image);
    return testing::readPng(png);
}

TEST(RasterOutput, TurnedSymbolsScanInEveryFormat) {
    for (const OutputFormat format :
         {OutputFormat::png, OutputFormat::pdf, OutputFormat::svg, OutputFormat::ps}) {
        for (const int rotation : {0, 90, 180, 270}) {
            const std::string name =
                std::string(extensionOf(format)) + " turned " + std::to_string(rotation);
            OutputSettings settings;
            settings.format = format;
            settings.dpi = 200;
            settings.rotation = rotation;
            const GreyImage image =
                format == OutputFormat::png
                    ? testing::readPng(testing::renderPng(Code_39, code39(), settings))
                    : showVector(Code_39, code39(), settings);
            EXPECT_EQ(image.width > image.height, rotation % 180 == 0) << name;
            EXPECT_EQ(testing::decode(image), code39W) << name;
            if (format != OutputFormat::png) continue;
            // Turned bars keep their edges on whole pixels.
            DrawingArguments withoutText = code39();
            withoutText.pText = 0;
            const GreyImage bars =
                testing::readPng(testing::renderPng(Code_39, withoutText, settings));
            EXPECT_EQ(std::count_if(bars.pixels.begin(), bars.pixels.end(),
                                    [](std::uint8_t value) { return value != 0 && value != 255; }),
                      0)
                << name;
        }
    }
}

// The top left pixel of a PNG as cairo reads it: 0xAARRGGBB, premultiplied.
std::uint32_t cornerOf(const std::string& png) {
    std::size_t offset = 0;
    auto read = [&](unsigned char* data, unsigned int length) {
        if (png.size() - offset < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, png.data() + offset, length);
        offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    using Read = decltype(read);
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            return (*static_cast<Read*>(closure))(data, length);
        },
        &read);
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, cairo_image_surface_get_data(image), sizeof pixel);
    if (cairo_image_surface_get_format(image) == CAIRO_FORMAT_RGB24) pixel |= 0xFF000000u;
    cairo_surface_destroy(image);
    return pixel;
}

TEST(RasterOutput, BackgroundColourOrNone) {
    const std::pair<std::optional<std::int32_t>, std::uint32_t> rows[] = {
        {whitePaper, 0xFFFFFFFFu}, {0x00EEFF, 0xFFFFEE00u}, {std::nullopt, 0}};
    for (const auto& [background, corner] : rows) {
        OutputSettings settings;
        settings.background = background;
        settings.dpi = 200;
        // A page of its own, and a batch's file from a kept raster.
        const std::string page = testing::renderPng(Code_39, code39(), settings);
        SymbolFiles files(settings);
        ASSERT_EQ(files.draw(Code_39, code39()).result, 0);
        std::string file;
        files.encode(file);
        for (const std::string& png : {page, file}) {
            EXPECT_EQ(cornerOf(png), corner) << std::hex << corner;
            EXPECT_EQ(testing::decode(testing::readPng(png)), code39W) << std::hex << corner;
        }
    }
}

TEST(QuilletDraw, WritesAPngThatScans) {
    const auto path = std::filesystem::temp_directory_path() / "quillet-draw-test.png";
    std::ostringstream out, err;
    ASSERT_EQ(cli::runDraw({"Code_39", "CODE39", "--chk", "1", "-o", path.string()}, out, err), 0)
        << err.str();
    EXPECT_EQ(out.str(), "");
    std::ifstream file(path, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    EXPECT_EQ(testing::decode(testing::readPng(png)), code39W);
}

TEST(QuilletSheet, EverySymbolZbarKnowsScans) {
    std::ostringstream out, err;
    ASSERT_EQ(cli::runSheet({"-o", "-", "--format", "png"}, out, err), 0) << err.str();
    const auto found = testing::decode(testing::readPng(out.str()), {"code93.enable=1"});
    std::vector<std::string> names;
    for (const auto& decoded : found) names.push_back(decoded.symbology);
    std::sort(names.begin(), names.end());
    // Code 11, MSI, POSTNET and Intelligent Mail are beyond zbar; UPC-A, UPC-E and ISBN read as
    // EAN-13, GS1-128 as Code 128, ITF-14 as I2/5; of the three symbols with add-ons, two.
    const std::vector<std::string> expected = {
        "CODE-128", "CODE-128", "CODE-128", "CODE-39", "CODE-39", "CODE-93",
        "Codabar",  "EAN-13",   "EAN-13",   "EAN-13",  "EAN-13",  "EAN-13",
        "EAN-13",   "EAN-13",   "EAN-8",    "I2/5",    "I2/5"};
    EXPECT_EQ(names, expected) << err.str();
}

}  // namespace
}  // namespace quillet
