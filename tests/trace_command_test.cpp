// `quillet trace`: options, exit codes and output framing.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/command_line.h"

namespace quillet {
namespace {

struct Run {
    int exitCode;
    std::string out;
    std::string err;
};

Run trace(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int exitCode = cli::runTrace(arguments, out, err);
    return {exitCode, out.str(), err.str()};
}

std::string lastLines(const std::string& text, int count) {
    std::size_t at = text.size();
    for (int i = 0; i <= count && at != std::string::npos && at > 0; ++i)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

TEST(TraceCommand, ExitCodesAndEndings) {
    struct Row {
        std::vector<std::string> arguments;
        int exitCode;
        std::string ending;  // the last two lines, or a fragment of stderr for usage errors
    };
    const Row rows[] = {
        {{"Code_39", "CODE39", "--chk", "1"}, 0, "Result\t0\npCode\tCODE39W\n"},
        {{"--chk=true", "code_39", "CODE39"}, 0, "Result\t0\npCode\tCODE39W\n"},
        {{"Code_39", "--", "-A-"}, 0, "Result\t0\npCode\t-A-\n"},
        {{"Code_39", "abc"}, 0, "Result\t9\npCode\tabc\n"},
        {{"Code_39", "A", "--ratio", "3"}, 2, "Error\t5\npCode\tA\n"},
        {{"Code_39", "A", "--x", "32767.5"}, 0, "Result\t6\npCode\tA\n"},
        {{"Code_39", "a\tb"}, 0, "Result\t9\npCode\ta\\tb\n"},
        {{"Code39x", "A"}, 64, "unknown symbology 'Code39x'"},
        {{"Code_39"}, 64, "takes SYMBOLOGY and CODE"},
        {{"Code_39", "A", "--width", "40000"}, 64, "--width"},
        {{"Code_39", "A", "--bold", "maybe"}, 64, "--bold"},
        {{"Code_39", "A", "--colour", "1"}, 64, "unknown option --colour"},
        {{"Code_39", "A", "--x"}, 64, "needs a value"},
    };
    for (const auto& row : rows) {
        const auto run = trace(row.arguments);
        const std::string name = ::testing::PrintToString(row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << name;
        if (row.exitCode == 64) {
            EXPECT_NE(run.err.find(row.ending), std::string::npos) << name << ": " << run.err;
            EXPECT_TRUE(run.out.empty()) << name;
        } else {
            EXPECT_EQ(lastLines(run.out, 2), row.ending) << name;
        }
    }
}

TEST(TraceCommand, OptionsReachTheMethod) {
    const auto run =
        trace({"--x",    "100",    "--y",     "20.5",   "--width",     "2",      "--height",
               "40",     "--bold", "1",       "--font", "Courier New", "--fore", "0x0000FF",
               "--line", "255",    "--ratio", "0:0",    "Code_39",     "A"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find("Line")),
              "FontName\tCourier New\nForeColor\t255\nFontBold\tTrue\nFontSize\t1\n");
    EXPECT_NE(run.out.find("Line\t38\t100\t20.5\t101\t60.5\t255\n"), std::string::npos);
    EXPECT_NE(run.out.find("CurrentY\t62.5\n"), std::string::npos);  // 20.5 + 40 + 40 \ 20
}

TEST(TraceCommand, SymbologiesGoByTheirUsualNames) {
    const std::pair<std::string_view, Symbology> rows[] = {
        {"ean13", EAN_13},
        {"EAN-13", EAN_13},
        {"Ean_13", EAN_13},
        {"ean8", EAN_8},
        {"code128", Code_128},
        {"Code-39", Code_39},
        {"code3of9", Code_39},
        {"I2of5", Code_25},
        {"ITF", Code_25},
        {"interleaved2of5", Code_25},
        {"upc-a", UPC_A},
        {"UPCE", UPC_E},
        {"upc_a_plus", UPC_A_Plus},
        {"codabar", Codabar},
        {"MSI", Code_MSI},
        {"code_msi", Code_MSI},
        {"postnet", PostNet},
        {"isbn", ISBN},
        {"code11", Code_11},
        {"code93", Code_93},
        {"code39ext", Code_39F},
        {"Code39F", Code_39F},
        {"code39-full-ascii", Code_39F},
        {"code128auto", ExtendedType::Code_128_Auto},
        {"GS1-128", ExtendedType::GS1_128},
        {"ean128", ExtendedType::GS1_128},
        {"itf14", ExtendedType::ITF_14},
        {"ean13addon", ExtendedType::EAN_13_AddOn},
        {"IMb", ExtendedType::Intelligent_Mail},
        {"intelligent-mail", ExtendedType::Intelligent_Mail},
    };
    for (const auto& [name, type] : rows) EXPECT_TRUE(cli::parseSymbology(name) == type) << name;
    for (std::string_view unknown : {"", "code", "ean", "code39x", "qr"})
        EXPECT_THROW(cli::parseSymbology(unknown), cli::UsageError) << unknown;
}

TEST(TraceCommand, HelpNamesEveryOption) {
    const auto run = trace({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (auto option : cli::drawingOptionNames)
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace quillet
