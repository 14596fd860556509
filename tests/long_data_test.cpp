// Long data: every symbology with a weighted or running check sum, at the first length whose sum
// no longer fits in 16 bits, draws as long as its boxes fit. The check characters are those of the
// full sum (worked out here by hand); the decoder round trips read the Code 93 and Code 128 rows.
#include <gtest/gtest.h>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

struct LongRow {
    const char* name;
    tBarcodeType type;
    std::string code;
    std::int16_t width;
    const char* ratio;
    std::string codeAfter;
    std::string checkModules;  // the check characters' modules just before the stop, if any
    std::size_t stopModules;
};

TEST(LongData, DrawsWhereTheSumAloneOverflowedSixteenBits) {
    const LongRow rows[] = {
        // 103 + 16 x (1 + ... + 64) = 33383, check value 11.
        {"Code128SetA", Code_128, "A" + std::string(64, '0'), 15, "3:1", std::string(64, '0'),
         "11000100100", 13},
        {"Code128SetB", Code_128, "B" + std::string(64, '0'), 15, "3:1", std::string(64, '0'),
         "10110011100", 13},
        // A 34-character part number: 104 + 58 x 595 = 34614, check value 6.
        {"Code128SetBLetters", Code_128, "B" + std::string(34, 'Z'), 15, "3:1",
         std::string(34, 'Z'), "10011001000", 13},
        // The pairs 09 and 25 x 99: 105 + 9 + 99 x (2 + ... + 26) = 34764, check value 53.
        {"Code128SetC", Code_128, "C" + std::string(51, '9'), 15, "3:1", std::string(51, '9'),
         "11011101110", 13},
        // C = 33, K = 16.
        {"Code93", Code_93, std::string(77, '%'), 15, "3:1", std::string(77, '%'),
         "101100110101101000", 10},
        {"Code11Digits", Code_11, std::string(665, '9'), 2, "2:0", std::string(665, '9') + "30", "",
         0},
        {"Code11Letters", Code_11, std::string(94, 'A'), 15, "3:1", std::string(94, 'A') + "1-", "",
         0},
        {"Code11LowerCase", Code_11, std::string(200, 'z'), 15, "3:1", std::string(200, 'z') + "05",
         "", 0},
        {"Code39", Code_39, std::string(781, '%'), 1, "0.3:0", std::string(781, '%') + "-", "", 0},
        {"Code39FullAscii", Code_39F, std::string(607, '%'), 1, "0.3:0",
         std::string(607, '%') + "C", "", 0},
        {"Msi", Code_MSI, std::string(3641, '9'), 1, ":", std::string(3641, '9') + "1", "", 0},
        {"Code25", Code_25, std::string(1821, '9'), 1, "0.3:0", std::string(1821, '9'), "", 0},
    };
    for (const auto& row : rows) {
        DrawingArguments args;
        args.pChk = true;
        args.pWidth = row.width;
        args.pRatio = row.ratio;
        const auto drawn = testing::draw(row.type, row.code, args);
        EXPECT_EQ(drawn.result, 0) << row.name;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.name;
        if (row.checkModules.empty()) continue;
        const std::string modules = testing::modulesOf(drawn.surface.boxes(), row.width);
        ASSERT_GE(modules.size(), row.checkModules.size() + row.stopModules) << row.name;
        EXPECT_EQ(modules.substr(modules.size() - row.stopModules - row.checkModules.size(),
                                 row.checkModules.size()),
                  row.checkModules)
            << row.name;
    }
}

}  // namespace
}  // namespace quillet
