// Code 39 and Code 39 Full ASCII read back by zbar at the resolutions of screens and printers.
#include <gtest/gtest.h>

#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

using testing::Decoded;
using testing::renderAndDecode;

struct RoundTrip {
    const char* name;
    tBarcodeType type;
    std::string code;
    bool check;
    std::vector<std::string> zbarSettings;
    Decoded expected;
};

const RoundTrip roundTrips[] = {
    {"Code39WithCheck", Code_39, "CODE39", true, {}, {"CODE-39", "CODE39W"}},
    {"Code39AllSymbols", Code_39, "AZ-09. $/+%", false, {}, {"CODE-39", "AZ-09. $/+%"}},
    // zbar 0.23 reads Full ASCII as the plain characters, shift pairs included.
    {"FullAsciiAsPairs", Code_39F, "Hello a", true, {}, {"CODE-39", "H+E+L+L+O +A6"}},
    {"FullAsciiPunctuation", Code_39F, "x=[1];", false, {}, {"CODE-39", "+X%H%K1%M%F"}},
};

class Code39RoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, double>> {};

TEST_P(Code39RoundTrip, ZbarReadsWhatWasDrawn) {
    const auto& [row, dpi] = GetParam();
    DrawingArguments arguments;
    arguments.pCode = row.code;
    arguments.pChk = row.check;
    EXPECT_EQ(renderAndDecode(row.type, arguments, dpi, row.zbarSettings),
              std::vector<Decoded>{row.expected});
}

INSTANTIATE_TEST_SUITE_P(AtPrinterResolutions, Code39RoundTrip,
                         ::testing::Combine(::testing::ValuesIn(roundTrips),
                                            ::testing::Values(96.0, 203.0, 300.0, 600.0)),
                         testing::RowAtDpiName());

}  // namespace
}  // namespace quillet
