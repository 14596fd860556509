// Codabar and Interleaved 2 of 5 read back by zbar at the resolutions of screens and printers.
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
    std::int16_t width;
    std::string ratio;
    Decoded expected;
};

const RoundTrip roundTrips[] = {
    // zbar reads Codabar with its start and stop characters. A screen's 96 dpi needs a wide
    // element well over twice the narrow one once both are fitted to whole pixels.
    {"CodabarRepaired", Codabar, "123", false, 15, "4:1", {"Codabar", "A123A"}},
    {"CodabarAllSymbols",
     Codabar,
     "B0123456789-$:/.+D",
     false,
     30,
     "5:1",
     {"Codabar", "B0123456789-$:/.+D"}},
    // zbar gives every digit drawn: the leading "0" and the check digit too.
    {"Code25WithCheck", Code_25, "1234", true, 15, "2:0", {"I2/5", "012348"}},
    {"Code25LeadingZero", Code_25, "12345", false, 15, "3:1", {"I2/5", "012345"}},
    {"Code25Even", Code_25, "9876543210", false, 15, "2:0", {"I2/5", "9876543210"}},
};

const std::vector<std::string> zbarSettings = {"codabar.enable=1", "codabar.min-length=1",
                                               "i25.min-length=2"};

class NumericRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, double>> {};

TEST_P(NumericRoundTrip, ZbarReadsWhatWasDrawn) {
    const auto& [row, dpi] = GetParam();
    DrawingArguments arguments;
    arguments.pCode = row.code;
    arguments.pChk = row.check;
    arguments.pWidth = row.width;
    arguments.pRatio = row.ratio;
    EXPECT_EQ(renderAndDecode(row.type, arguments, dpi, zbarSettings),
              std::vector<Decoded>{row.expected});
}

INSTANTIATE_TEST_SUITE_P(AtPrinterResolutions, NumericRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(roundTrips),
                                            ::testing::Values(96.0, 203.0, 300.0, 600.0)),
                         testing::RowAtDpiName());

}  // namespace
}  // namespace quillet
