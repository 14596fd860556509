// The EAN/UPC family read back by zbar at screen and printer resolutions: every leading digit of
// EAN-13 and every check digit of UPC-E, so that each parity row is read once.
#include <gtest/gtest.h>

#include "tests/decode/zbar_reader.h"

namespace quillet {
namespace {

using testing::Decoded;
using testing::renderAndDecode;

struct RoundTrip {
    std::string name;
    tBarcodeType type;
    std::string code;
    Decoded expected;
};

// zbar reports UPC-A and UPC-E as EAN-13 unless they are enabled by name.
const std::vector<std::string> upcSettings = {"upca.enable=1", "upce.enable=1"};

std::vector<RoundTrip> roundTrips() {
    std::vector<RoundTrip> rows = {
        {"Ean8", EAN_8, "9638507", {"EAN-8", "96385074"}},
        {"Ean8AllDigits", EAN_8, "0123456", {"EAN-8", "01234565"}},
        // zbar reads an ISBN symbol as the EAN-13 it is.
        {"Isbn", ISBN, "080442957", {"EAN-13", "9780804429573"}},
        {"UpcA", UPC_A, "03600029145", {"UPC-A", "036000291452"}},
        {"UpcAPlus", UPC_A_Plus, "78901234567", {"UPC-A", "789012345674"}},
    };
    const char* const ean13[] = {"0123456789012", "1123456789011", "2123456789010", "3123456789019",
                                 "4123456789018", "5123456789017", "6123456789016", "7123456789015",
                                 "8123456789014", "9123456789013"};
    // With UPC-A enabled, zbar names an EAN-13 with leading 0 the UPC-A symbol that it is.
    for (const std::string symbol : ean13) {
        const Decoded expected =
            symbol[0] == '0' ? Decoded{"UPC-A", symbol.substr(1)} : Decoded{"EAN-13", symbol};
        rows.push_back(
            {"Ean13Leading" + symbol.substr(0, 1), EAN_13, symbol.substr(0, 12), expected});
    }
    // A body for each check digit 0 to 9.
    const char* const upcE[] = {"115838", "171271", "139595", "123757", "202947",
                                "226704", "131676", "107919", "187109", "100000"};
    for (std::size_t check = 0; check < 10; ++check)
        rows.push_back({"UpcECheck" + std::to_string(check),
                        UPC_E,
                        upcE[check],
                        {"UPC-E", "0" + std::string(upcE[check]) + std::to_string(check)}});
    return rows;
}

class EanUpcRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, double>> {};

TEST_P(EanUpcRoundTrip, ZbarReadsWhatWasDrawn) {
    const auto& [row, dpi] = GetParam();
    DrawingArguments arguments;
    arguments.pCode = row.code;
    // A 15-twip module is a single pixel at 96 DPI, where zbar misses some symbols whose raster
    // is exact; screens get two-pixel modules.
    if (dpi < 100) arguments.pWidth = 30;
    EXPECT_EQ(renderAndDecode(row.type, arguments, dpi, upcSettings),
              std::vector<Decoded>{row.expected});
}

INSTANTIATE_TEST_SUITE_P(AtScreenAndPrinter, EanUpcRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(roundTrips()),
                                            ::testing::Values(96.0, 300.0)),
                         testing::RowAtDpiName());

}  // namespace
}  // namespace quillet
