// What quillet draw does above the methods, read back from its PNG files: Code 128 sets chosen
// for plain data (zbar and ZXing agree on the data), modules of a physical size, the resolution
// the files carry, and colours however they are spelt.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "assist/checks.h"
#include "cli/output_commands.h"
#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::Decoded;

std::string drawPng(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"-o", "-", "--format", "png"});
    std::ostringstream out, err;
    EXPECT_EQ(cli::runDraw(arguments, out, err), 0) << err.str();
    return out.str();
}

// The bytes ZXing's reader finds in a PNG file, as text; empty when it finds nothing.
std::string zxingBytes(const std::string& png) {
    const fs::path path = fs::temp_directory_path() / "quillet-zxing.png";
    std::ofstream(path, std::ios::binary) << png;
    const std::string command = "ZXingReader '" + path.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> reader(popen(command.c_str(), "r"), pclose);
    std::string text;
    char line[4096];
    while (reader && std::fgets(line, sizeof line, reader.get()) != nullptr) {
        std::istringstream fields(line);
        std::string label;
        if (!(fields >> label) || label != "Bytes:") continue;
        for (unsigned byte; fields >> std::hex >> byte;) text.push_back(static_cast<char>(byte));
    }
    fs::remove(path);
    return text;
}

TEST(DrawCommand, Code128TakesPlainDataInTheSetThatHoldsIt) {
    struct Row {
        std::string data;
        char set;
    };
    const Row rows[] = {
        {"12345678", 'C'},
        {"1234567", 'B'},
        {"ABC-12345", 'B'},
        {"Quillet 128", 'B'},
        {"AB\tC", 'A'},
        {"\x1B"
         "A1",
         'A'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.data);
        EXPECT_EQ(assist::checkData(Code_128, row.data).pCode, row.set + row.data);
        const std::string png = drawPng({"code128", row.data, "--dpi", "300"});
        EXPECT_EQ(testing::decode(testing::readPng(png)),
                  (std::vector<Decoded>{{"CODE-128", row.data}}));
        EXPECT_EQ(zxingBytes(png), row.data);
    }
}

// Across a row through the bars: the light pixels before the first bar, the first bar's width
// and the light pixels after the last bar.
struct BarRow {
    int before = 0, firstBar = 0, after = 0;
};
BarRow barRow(const testing::GreyImage& image) {
    const int y = image.height / 3;
    BarRow row;
    while (row.before < image.width && image.at(row.before, y) > 127) ++row.before;
    while (row.before + row.firstBar < image.width && image.at(row.before + row.firstBar, y) <= 127)
        ++row.firstBar;
    while (row.after < image.width && image.at(image.width - 1 - row.after, y) > 127) ++row.after;
    return row;
}

std::uint32_t pixelsPerMetre(const std::string& png) {
    const std::size_t chunk = png.find("pHYs");
    if (chunk == std::string::npos) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(png[chunk + 4 + i]);
    return value;
}

TEST(DrawCommand, PhysicalModulesAtPrinterResolutions) {
    struct Row {
        std::string dpi;
        int modulePixels;  // 0.33 mm is 3.9 pixels at 300 dpi, 7.8 at 600
        std::uint32_t pixelsPerMetre;
    };
    const Row rows[] = {{"300", 4, 11811}, {"600", 8, 23622}, {"96", 1, 3780}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dpi + " dpi");
        const std::string png = drawPng(
            {"ean13", "4006381333931", "--module", "0.33mm", "--height", "15mm", "--dpi", row.dpi});
        const testing::GreyImage image = testing::readPng(png);
        const BarRow bars = barRow(image);
        EXPECT_EQ(bars.firstBar, row.modulePixels);
        // EAN-13's quiet zones: 11 modules before the bars, 7 after.
        EXPECT_GE(bars.before, 11 * row.modulePixels);
        EXPECT_GE(bars.after, 7 * row.modulePixels);
        EXPECT_LT(bars.before, 12 * row.modulePixels);
        EXPECT_EQ(pixelsPerMetre(png), row.pixelsPerMetre);
        EXPECT_EQ(testing::decode(image), (std::vector<Decoded>{{"EAN-13", "4006381333931"}}));
    }
}

TEST(DrawCommand, ColoursSpeltEveryWayGiveTheSamePixels) {
    const std::vector<std::vector<std::string>> spellings = {
        {"--line", "#0000FF", "--fore", "#800000", "--background", "#FFFF00"},
        {"--line", "blue", "--fore", "maroon", "--background", "yellow"},
        {"--line", "0xFF0000", "--fore", "0x000080", "--background", "0x00FFFF"},
        {"--line", "#00f", "--fore", "Maroon", "--background", "65535"},
    };
    std::string first;
    for (const auto& spelling : spellings) {
        std::vector<std::string> arguments = {"code39", "BLUE"};
        arguments.insert(arguments.end(), spelling.begin(), spelling.end());
        const std::string png = drawPng(arguments);
        SCOPED_TRACE(spelling[1]);
        if (first.empty()) first = png;
        EXPECT_TRUE(png == first);
    }
}

}  // namespace
}  // namespace quillet
