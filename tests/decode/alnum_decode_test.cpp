// Code 93 and Code 128 read back by zbar at the resolutions of screens and printers. zbar needs
// the check characters of both, reads Code 93 only when told to, and translates Code 93's shift
// pairs itself, so full-ASCII data comes back as the caller's own text.
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
    Decoded expected;
};

const RoundTrip roundTrips[] = {
    {"Code93DirectSet", Code_93, "CODE 93-$/+%.", {"CODE-93", "CODE 93-$/+%."}},
    {"Code93FullAscii", Code_93, "Hi, [x]@{a~b}!\t", {"CODE-93", "Hi, [x]@{a~b}!\t"}},
    // Longer than both weight cycles, so C and K start their weights again.
    {"Code93Long",
     Code_93,
     "THE QUICK BROWN FOX 0123456789",
     {"CODE-93", "THE QUICK BROWN FOX 0123456789"}},
    {"Code128SetA", Code_128, "AHELLO\t_ 42", {"CODE-128", "HELLO\t_ 42"}},
    {"Code128SetB", Code_128, "BHello, World {~}", {"CODE-128", "Hello, World {~}"}},
    {"Code128SetC", Code_128, "C0123456789", {"CODE-128", "0123456789"}},
    {"Code128SetCOdd", Code_128, "C12345", {"CODE-128", "012345"}},
    // Long enough that the check sums no longer fit in 16 bits.
    {"Code93Percent", Code_93, std::string(77, '%'), {"CODE-93", std::string(77, '%')}},
    {"Code128SetALong", Code_128, "A" + std::string(64, '0'), {"CODE-128", std::string(64, '0')}},
    {"Code128SetBLong", Code_128, "B" + std::string(34, 'Z'), {"CODE-128", std::string(34, 'Z')}},
    {"Code128SetCLong",
     Code_128,
     "C" + std::string(51, '9'),
     {"CODE-128", "0" + std::string(51, '9')}},
};

// zbar's Code 93 reader wants modules close to whole pixels: 15 twips at 203 dpi are 2.1 pixels,
// which it misreads in longer symbols, so that printer gets modules of three pixels.
struct Resolution {
    double dpi;
    std::int16_t moduleWidth;
};

class AlnumRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, Resolution>> {};

TEST_P(AlnumRoundTrip, ZbarReadsWhatWasDrawn) {
    const auto& [row, resolution] = GetParam();
    DrawingArguments arguments;
    arguments.pCode = row.code;
    arguments.pChk = true;
    arguments.pWidth = resolution.moduleWidth;
    EXPECT_EQ(renderAndDecode(row.type, arguments, resolution.dpi, {"code93.enable=1"}),
              std::vector<Decoded>{row.expected});
}

INSTANTIATE_TEST_SUITE_P(
    AtPrinterResolutions, AlnumRoundTrip,
    ::testing::Combine(::testing::ValuesIn(roundTrips),
                       ::testing::Values(Resolution{96, 15}, Resolution{203, 21},
                                         Resolution{300, 15}, Resolution{600, 15})),
    [](const auto& instance) {
        return std::string(std::get<0>(instance.param).name) + "_" +
               std::to_string(static_cast<int>(std::get<1>(instance.param).dpi)) + "dpi";
    });

}  // namespace
}  // namespace quillet
