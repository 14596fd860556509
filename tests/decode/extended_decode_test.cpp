// The symbologies beyond the fifteen read back by ZXing (its command-line reader, on the PNG the
// quillet command would write): GS1-128 must come back as GS1 (symbology identifier ]C1), the
// add-ons after their main symbol's digits. zbar reads Code 128 with automatic sets too.
// Intelligent Mail has no reader here; it is compared with zint bar for bar instead.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/output_commands.h"
#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

struct ZxingResult {
    std::string format;
    std::string identifier;
    std::string text;
};

// Every symbol ZXingReader finds in the PNG, from its "Text:", "Format:" and "Identifier:" lines.
std::vector<ZxingResult> readWithZxing(const std::string& png, const std::string& name) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quillet-zxing-" + std::to_string(::getpid()) + "-" + name + ".png");
    std::ofstream(path, std::ios::binary) << png;
    const std::string command = "ZXingReader -norotate '" + path.string() + "' 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;)
        output.push_back(static_cast<char>(c));
    pipe.reset();
    std::filesystem::remove(path);

    std::vector<ZxingResult> found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto value = [&](std::string_view key) { return line.substr(key.size()); };
        if (line.rfind("Text:", 0) == 0) {
            const std::string quoted = value("Text:");
            const auto first = quoted.find('"');
            found.push_back({"", "", quoted.substr(first + 1, quoted.rfind('"') - first - 1)});
        } else if (!found.empty() && line.rfind("Format:", 0) == 0) {
            found.back().format = value("Format:").substr(value("Format:").find_first_not_of(' '));
        } else if (!found.empty() && line.rfind("Identifier:", 0) == 0) {
            found.back().identifier =
                value("Identifier:").substr(value("Identifier:").find_first_not_of(' '));
        }
    }
    return found;
}

struct RoundTrip {
    const char* name;
    ExtendedType type;
    std::string code;
    std::string format;
    std::string identifier;
    std::string text;
};

const RoundTrip roundTrips[] = {
    {"Code128Mixed", ExtendedType::Code_128_Auto, "Ship-ID 2026/12/07 #0042", "Code128", "]C0",
     "Ship-ID 2026/12/07 #0042"},
    {"Code128Latin1", ExtendedType::Code_128_Auto, "Caf\xC3\xA9 \xC3\xA0 12345678", "Code128",
     "]C0", "Caf\xC3\xA9 \xC3\xA0 12345678"},
    {"Gs1", ExtendedType::GS1_128, "(01)09501101530003(17)260101(10)ABC123", "Code128", "]C1",
     "01095011015300031726010110ABC123"},
    {"Gs1VariableFirst", ExtendedType::GS1_128, "(10)AB12(21)X7(37)12", "Code128", "]C1",
     "10AB12\x1D"
     "21X7\x1D"
     "3712"},
    {"Itf14", ExtendedType::ITF_14, "1540014128876", "ITF", "]I1", "15400141288763"},
    {"Ean13AddOn2", ExtendedType::EAN_13_AddOn, "9771234567003+05", "EAN-13", "]E3",
     "9771234567003 05"},
    {"Ean13AddOn5", ExtendedType::EAN_13_AddOn, "978030640615+51299", "EAN-13", "]E3",
     "9780306406157 51299"},
    {"UpcAAddOn5", ExtendedType::UPC_A_AddOn, "03600029145+90000", "UPC-A", "]E3",
     "036000291452 90000"},
    {"UpcEAddOn2", ExtendedType::UPC_E_AddOn, "425261+12", "UPC-E", "]E3", "04252614 12"},
};

class ExtendedRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, double>> {};

TEST_P(ExtendedRoundTrip, ZxingReadsWhatWasDrawn) {
    const auto& [row, dpi] = GetParam();
    DrawingArguments arguments;
    arguments.pCode = row.code;
    OutputSettings settings;
    settings.dpi = dpi;
    const auto found = readWithZxing(testing::renderPng(row.type, arguments, settings),
                                     std::string(row.name) + std::to_string(int(dpi)));
    const bool read = std::any_of(found.begin(), found.end(), [&](const ZxingResult& result) {
        return result.format == row.format && result.text == row.text &&
               result.identifier == row.identifier;
    });
    EXPECT_TRUE(read) << "ZXing found " << found.size() << " symbols"
                      << (found.empty() ? ""
                                        : ", the first " + found[0].format + " " +
                                              found[0].identifier + " \"" + found[0].text + "\"");
}

INSTANTIATE_TEST_SUITE_P(AtPrinterResolutions, ExtendedRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(roundTrips),
                                            ::testing::Values(96.0, 300.0)),
                         testing::RowAtDpiName{});

// quillet draw by the usual names: the symbol ZXing reads, or the refusal and its reason.
TEST(ExtendedDrawCommand, DrawsByTheUsualNamesOrSaysWhatIsWrong) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string readOrSaid;  // ZXing's identifier and text, or what stderr says
    } rows[] = {
        {{"code128", "Ship-ID 2026/12/07 #0042"}, 0, "]C0 Ship-ID 2026/12/07 #0042"},
        {{"code128", "Ship-ID", "--set", "B"}, 0, "]C0 Ship-ID"},
        {{"gs1-128", "(01)09501101530003(17)260101(10)ABC123"},
         0,
         "]C1 01095011015300031726010110ABC123"},
        {{"ean128", "(00)106141411234567897"}, 0, "]C1 00106141411234567897"},
        {{"itf14", "1540014128876", "--bearers", "2:bars"}, 0, "]I1 15400141288763"},
        {{"ean13", "9771234567003+05"}, 0, "]E3 9771234567003 05"},
        {{"upca", "03600029145+90000"}, 0, "]E3 036000291452 90000"},
        {{"imb", "01234567094987654321-01234567891"}, 0, ""},
        {{"gs1-128", "(17)261301"}, cli::exitDataError, "month 13 is not 01 to 12"},
        {{"itf14", "15400141288767"}, cli::exitDataError, "check digit of 1540014128876 is 3"},
        {{"imb", "0123456709498765432"}, cli::exitDataError, "20, 25, 29 or 31 digits, not 19"},
        {{"code39", "ABC", "--bearers", "2"}, cli::exitUsage, "bearer bars of ITF-14 only"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments[0] + " " + row.arguments[1]);
        std::vector<std::string> arguments = row.arguments;
        arguments.insert(arguments.end(), {"-o", "-", "--format", "png", "--dpi", "200"});
        std::ostringstream out, err;
        ASSERT_EQ(cli::runDraw(arguments, out, err), row.exitCode) << err.str();
        if (row.exitCode != 0) {
            EXPECT_NE(err.str().find(row.readOrSaid), std::string::npos) << err.str();
            continue;
        }
        if (row.readOrSaid.empty()) continue;  // no reader for Intelligent Mail
        const auto found = readWithZxing(out.str(), "command");
        const bool read = std::any_of(found.begin(), found.end(), [&](const ZxingResult& result) {
            return result.identifier + " " + result.text == row.readOrSaid;
        });
        EXPECT_TRUE(read) << found.size() << " found";
    }
}

// The automatic sets make the plain text of a shipping label shorter than the one set that
// holds all of it (set B), and it reads the same.
TEST(ExtendedDrawCommand, Code128IsShorterThanOneSet) {
    const auto width = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"-o", "-", "--format", "png", "--margin", "0"});
        std::ostringstream out, err;
        EXPECT_EQ(cli::runDraw(arguments, out, err), 0) << err.str();
        return testing::readPng(out.str()).width;
    };
    const std::string data = "Ship-ID 2026/12/07 #0042";
    EXPECT_LT(width({"code128", data, "--text", "0"}),
              width({"code128", data, "--set", "B", "--text", "0"}));
}

// zbar reads the main symbols too (the add-ons it leaves out unless told), at the resolutions
// of printers: modules of one pixel at 96 dpi are too thin for it beside an add-on.
TEST(ExtendedZbar, ReadsTheSymbolsItKnows) {
    const struct {
        ExtendedType type;
        std::string code;
        testing::Decoded expected;
    } rows[] = {
        {ExtendedType::Code_128_Auto,
         "Ship-ID 2026/12/07 #0042",
         {"CODE-128", "Ship-ID 2026/12/07 #0042"}},
        {ExtendedType::ITF_14, "1540014128876", {"I2/5", "15400141288763"}},
        {ExtendedType::EAN_13_AddOn, "9771234567003+05", {"EAN-13", "9771234567003"}},
        {ExtendedType::UPC_A_AddOn, "03600029145+51299", {"EAN-13", "0036000291452"}},
        {ExtendedType::UPC_E_AddOn, "0425261+12", {"EAN-13", "0042100005264"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        DrawingArguments arguments;
        arguments.pCode = row.code;
        arguments.pRatio = "5:frame";
        for (const double dpi : {200.0, 300.0}) {
            SCOPED_TRACE(dpi);
            EXPECT_EQ(testing::renderAndDecode(row.type, arguments, dpi),
                      std::vector<testing::Decoded>{row.expected});
        }
    }
}

}  // namespace
}  // namespace quillet
