// What quillet draw does above the methods, read back from its PNG files: Code 128 sets chosen
// for plain data (zbar and ZXing agree on the data), modules of a physical size, the resolution
// the files carry, and colours however they are spelt.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "assist/checks.h"
#include "assist/labels.h"
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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Thirty addresses with a customer number each, on an Avery 5160 sheet: ghostscript draws the
// page, every label's symbol reads back from within its label, and nothing is printed outside
// the labels. A label too small for its contents fails its row.
TEST(BatchCommand, AddressLabelsOnAnAveryPage) {
    std::string csv = "symbology,code,name,street,city\n";
    for (int i = 1; i <= 30; ++i)
        csv += "code128,C" + std::to_string(1000 + i) + ",Customer " + std::to_string(i) + "," +
               std::to_string(i) + " Main Street,Springfield IL 62701\n";
    const fs::path pdf = fs::temp_directory_path() / "quillet-avery-5160.pdf";
    std::istringstream in(csv);
    std::ostringstream out, err;
    ASSERT_EQ(cli::runBatch({"-", "-o", pdf.string(), "--template", "avery 5160", "--module",
                             "0.25mm", "--height", "6mm", "--font-size", "7"},
                            in, out, err, false),
              0)
        << err.str();
    if (std::system("command -v gs >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ghostscript";
    constexpr double dpi = 300;
    const fs::path png = pdf.string() + ".png";
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -o '" +
                                png.string() + "' '" + pdf.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const testing::GreyImage page = testing::readPng(readFile(png));
    fs::remove(png);
    fs::remove(pdf);

    const auto sheet = assist::sheetTemplateNamed("5160");
    ASSERT_TRUE(sheet);
    const auto pixels = [&](double millimetres) {
        return static_cast<int>(std::lround(millimetres / 25.4 * dpi));
    };
    std::vector<bool> inLabel(page.pixels.size(), false);
    for (std::size_t i = 0; i < 30; ++i) {
        SCOPED_TRACE("label " + std::to_string(i + 1));
        const assist::LabelBox box = sheet->label(i);
        testing::GreyImage label;
        label.width = pixels(box.width);
        label.height = pixels(box.height);
        for (int y = 0; y < label.height; ++y)
            for (int x = 0; x < label.width; ++x) {
                const int pageX = pixels(box.left) + x;
                const int pageY = pixels(box.top) + y;
                label.pixels.push_back(page.at(pageX, pageY));
                inLabel[static_cast<std::size_t>(pageY * page.width + pageX)] = true;
            }
        EXPECT_EQ(testing::decode(label),
                  (std::vector<Decoded>{{"CODE-128", "C" + std::to_string(1001 + i)}}));
    }
    std::size_t outside = 0;
    for (std::size_t i = 0; i < page.pixels.size(); ++i)
        outside += !inLabel[i] && page.pixels[i] < 200;
    EXPECT_EQ(outside, 0u);

    std::istringstream tooLarge("symbology,code,name\ncode128,C1001,Customer 1\n");
    std::ostringstream none, report;
    EXPECT_EQ(cli::runBatch({"-", "-o", pdf.string(), "--template", "L7651", "--height", "20mm"},
                            tooLarge, none, report, false),
              1);
    EXPECT_NE(report.str().find("quillet: row 1: the label's contents ("), std::string::npos)
        << report.str();
    EXPECT_FALSE(fs::exists(pdf));
}

}  // namespace
}  // namespace quillet
