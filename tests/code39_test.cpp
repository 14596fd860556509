// Code 39 and Code 39 Full ASCII on the recording surface.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;

// The published Code 39 patterns, read back from the boxes: nine elements, then a narrow gap.
std::string readCode39(const std::vector<RecordedBox>& boxes, int wideWidth) {
    static const std::map<std::string, char> byPattern = [] {
        const std::string_view set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
        const std::string_view patterns[] = {
            "000110100", "100100001", "001100001", "101100000", "000110001", "100110000",
            "001110000", "000100101", "100100100", "001100100", "100001001", "001001001",
            "101001000", "000011001", "100011000", "001011000", "000001101", "100001100",
            "001001100", "000011100", "100000011", "001000011", "101000010", "000010011",
            "100010010", "001010010", "000000111", "100000110", "001000110", "000010110",
            "110000001", "011000001", "111000000", "010010001", "110010000", "011010000",
            "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
            "000101010", "010010100"};
        std::map<std::string, char> map;
        for (std::size_t i = 0; i < set.size(); ++i) map[std::string(patterns[i])] = set[i];
        return map;
    }();
    const std::string elements = testing::elementsOf(boxes, wideWidth);
    std::string read;
    for (std::size_t i = 0; i + 9 <= elements.size(); i += 10) {
        const auto found = byPattern.find(elements.substr(i, 9));
        read.push_back(found == byPattern.end() ? '?' : found->second);
        if (i + 9 < elements.size()) {
            EXPECT_EQ(elements[i + 9], '0') << "gap after character";
        }
    }
    return read;
}

DrawingArguments withRatio(std::string ratio, bool check = false) {
    DrawingArguments args;
    args.pRatio = std::move(ratio);
    args.pChk = check;
    return args;
}

struct SymbolRow {
    tBarcodeType type;
    std::string code;
    bool check;
    std::string symbol;     // what the bars read
    std::string codeAfter;  // the caller's variable afterwards
};

class Code39Symbols : public ::testing::TestWithParam<SymbolRow> {};

TEST_P(Code39Symbols, DrawsTheSymbolAndWritesBack) {
    const auto& row = GetParam();
    const auto drawn = draw(row.type, row.code, withRatio("3:1", row.check));
    EXPECT_EQ(drawn.result, 0);
    EXPECT_EQ(drawn.code, row.codeAfter);
    EXPECT_TRUE(testing::contiguous(drawn.surface.boxes()));
    EXPECT_EQ(readCode39(drawn.surface.boxes(), 15 + 21), row.symbol);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Code39Symbols,
    ::testing::Values(
        SymbolRow{Code_39, "CODE39", true, "*CODE39W*", "CODE39W"},
        SymbolRow{Code_39, "CODE39", false, "*CODE39*", "CODE39"},
        SymbolRow{Code_39, "Z3", true, "*Z3 *", "Z3 "},  // sum 38: a space
        SymbolRow{Code_39, "", false, "**", ""}, SymbolRow{Code_39, "", true, "*0*", "0"},
        SymbolRow{Code_39, "A*B", false, "*A*B*", "A*B"},
        SymbolRow{Code_39, "CODE39W", true, "*CODE39WL*",
                  "CODE39WL"},  // a second call appends again
        SymbolRow{Code_39F, "a", true, "*+A8*", "a8"}, SymbolRow{Code_39F, "%", false, "*/E*", "%"},
        SymbolRow{Code_39F, "*", false, "*/J*", "*"},
        SymbolRow{Code_39F, "a/b", false, "*+A/O+B*", "a/b"},
        SymbolRow{Code_39F, std::string("\0", 1), false, "*%U*", std::string("\0", 1)},
        SymbolRow{Code_39F, "", true, "*0*", "0"},
        SymbolRow{Code_39F, "AB-12. 3", false, "*AB-12. 3*", "AB-12. 3"}),
    [](const auto& row) { return "row" + std::to_string(row.index); });

TEST(Code39, FullAsciiOfPlainDataIsCode39) {
    for (std::string data : {"CODE 39-1.5", "", "0"}) {
        for (bool check : {false, true}) {
            auto plain = draw(Code_39, data, withRatio("2:1", check));
            auto full = draw(Code_39F, data, withRatio("2:1", check));
            EXPECT_EQ(plain.surface.trace(), full.surface.trace()) << data;
            EXPECT_EQ(plain.code, full.code);
        }
    }
}

TEST(Code39, WidthsFromPWidthAndRatio) {
    // A, pWidth 15, ratio 2:1: narrow 16, wide 29, three characters of 183 and two gaps of 16.
    auto args = withRatio("2:1");
    args.pX = 100.5f;  // rounds half to even: 100
    const auto drawn = draw(Code_39, "A", args);
    const auto& boxes = drawn.surface.boxes();
    ASSERT_EQ(boxes.size(), 29u);
    EXPECT_EQ(boxes.front().x1, 100);
    EXPECT_EQ(boxes.back().x2 + 1, 100 + 581);
    for (const auto& box : boxes) {
        EXPECT_TRUE(testing::widthOf(box) == 16 || testing::widthOf(box) == 29);
        EXPECT_EQ(box.y1, 0.0f);
        EXPECT_EQ(box.y2, 1200.0f);
    }
}

TEST(Code39, TextIsCentredOrStartsAtTen) {
    // Symbol wider than the text: centred on the span pX .. X + 10.
    auto args = withRatio("3:1", true);
    args.pX = 0.25f;
    auto drawn = draw(Code_39, "CODE39", args);
    const std::int32_t end = drawn.surface.boxes().back().x2 + 1;
    const double width = 7 * 12 * 7;  // seven characters, font size 7
    const auto expected = (end - width + 10 + 0.25) / 2;
    const auto lines = drawn.surface.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "TextWidth\tCODE39W\t588");
    EXPECT_EQ(lines[lines.size() - 3], "CurrentX\t" + formatNumber(expected));
    EXPECT_EQ(lines[lines.size() - 2], "CurrentY\t1260");
    EXPECT_EQ(lines.back(), "Print\tCODE39W");

    // Text wider than the running x: it starts at the absolute coordinate 10.
    DrawingArguments narrow = withRatio("0:0");
    narrow.pWidth = 2;  // font size 1: 12 units a character; 14 characters of 18 and 13 gaps
    narrow.pX = -200;   // so X ends at -200 + 278 = 78, left of the 144-unit text
    const auto wide = draw(Code_39, "WWWWWWWWWWWW", narrow);
    EXPECT_EQ(testing::linesOf(wide.surface, "CurrentX").back(), "CurrentX\t10");
}

TEST(Code39, TextOnlyWhenPTextIsExactlyOne) {
    for (std::int16_t text : {-1, 0, 2}) {
        DrawingArguments args;
        args.pText = text;
        const auto drawn = draw(Code_39, "AB", args);
        EXPECT_EQ(drawn.result, 0);
        EXPECT_TRUE(testing::linesOf(drawn.surface, "Print").empty()) << text;
        EXPECT_TRUE(testing::linesOf(drawn.surface, "TextWidth").empty()) << text;
        EXPECT_EQ(testing::linesOf(drawn.surface, "FontSize").size(), 1u);
    }
}

struct FailureRow {
    tBarcodeType type;
    std::string code;
    bool check;
    std::int16_t result;
    std::string codeAfter;
    std::size_t boxes;  // painted before the failure
};

TEST(Code39, DataWithoutAPatternStopsWithIndexError) {
    const FailureRow rows[] = {
        // Lower case has no Code 39 pattern: start and its gap, then 9.
        {Code_39, "abc", false, 9, "abc", 10},
        // The check character is computed (97 + 98 + 99 = 294, mod 43 = 36: "-") and written first.
        {Code_39, "abc", true, 9, "abc-", 10},
        {Code_39, "AB\u00e9C", false, 9, "AB\u00e9C", 30},
        {Code_39, "A\u4e2d", true, 9, "A\u4e2d8", 20},  // unmapped: counts 256, no pattern
        {Code_39F, "AB\u00e9C", true, 9, "AB\u00e9C", 0},
        {Code_39F, "\u20ac", false, 9, "\u20ac", 0},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(row.type, row.code, withRatio("3:1", row.check));
        EXPECT_EQ(drawn.result, row.result) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(drawn.surface.boxes().size(), row.boxes) << row.code;
    }
}

TEST(Code39, FailuresTowardsTheCallerAndThroughTheTrap) {
    // A ratio without a colon fails before the trap: nothing reaches the surface.
    for (auto type : {Code_39, Code_39F}) {
        RecordingSurface surface;
        Quillet control;
        std::string code = "A";
        EXPECT_THROW(
            {
                try {
                    control.BarCODE39(&surface, 0, 0, code, 15, 1200, 1, false, "Arial", 0, 0, "3",
                                      false);
                } catch (const RuntimeError& failure) {
                    EXPECT_EQ(failure.number(), 5);
                    throw;
                }
            },
            RuntimeError);
        EXPECT_TRUE(surface.lines().empty());
        DrawingArguments args;
        args.pCode = "A";
        args.pRatio = "1:99999";
        EXPECT_THROW(control.Draw(type, &surface, args), RuntimeError);
    }
    // pX is rounded inside the trap here: result 6, after the font was set.
    DrawingArguments args;
    args.pX = 32767.5f;
    auto drawn = draw(Code_39, "A", args);
    EXPECT_EQ(drawn.result, 6);
    EXPECT_EQ(drawn.surface.lines().size(), 4u);
    EXPECT_TRUE(drawn.surface.boxes().empty());

    // A symbol running past 32767 stops at the first box that would overflow.
    args.pX = 32000;
    drawn = draw(Code_39, "ABCDEFGH", args);
    EXPECT_EQ(drawn.result, 6);
    EXPECT_FALSE(drawn.surface.boxes().empty());
    EXPECT_LE(drawn.surface.boxes().back().x2, 32767);

    // A character without a pattern fails where it would be drawn, however long the data
    // (800 x 122 is more than 16 bits hold): the start character and the gap stay.
    args = withRatio("3:1", true);
    drawn = draw(Code_39, std::string(800, 'z'), args);
    EXPECT_EQ(drawn.result, 9);
    EXPECT_EQ(drawn.surface.boxes().size(), 10u);
}

TEST(Code39, SurfaceFailuresBecomeTheResult) {
    struct Row {
        std::string member;
        std::int32_t number;
        std::size_t linesBefore;  // recorded before the failing member
    };
    const Row rows[] = {
        {"TextWidth", 438, 4 + 39},  // font set, symbol painted, then no TextWidth
        {"FontName", 438, 0},
        {"Line", 380, 4},
        {"Print", 1001, 4 + 39 + 3},
    };
    for (const auto& row : rows) {
        testing::Drawing drawing;
        drawing.surface.failAt(row.member, row.number);
        DrawingArguments args;
        args.pCode = "AB";
        Quillet control;
        EXPECT_EQ(control.Draw(Code_39, &drawing.surface, args), row.number) << row.member;
        EXPECT_EQ(drawing.surface.lines().size(), row.linesBefore) << row.member;
    }
    // No surface at all: the first member call fails with 91.
    DrawingArguments args;
    Quillet control;
    EXPECT_EQ(control.Draw(Code_39, nullptr, args), 91);
}

}  // namespace
}  // namespace quillet
