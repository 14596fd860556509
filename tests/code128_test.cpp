// Code 128 on the recording surface. Symbol characters are read back by value, with the pattern
// of each value learnt from symbols that hold it alone (set C pairs, the start characters), so
// these tests check the code sets, the check value, the texts and the failures; the decoder
// round trip checks the patterns themselves.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;

constexpr int moduleWidth = 15;
constexpr std::size_t characterModules = 11;
const std::string stopModules = "1100011101011";

std::string modulesOf(const testing::Drawing& drawn) {
    return testing::modulesOf(drawn.surface.boxes(), moduleWidth);
}

const std::map<std::string, int>& valueByPattern() {
    static const std::map<std::string, int> map = [] {
        std::map<std::string, int> learnt;
        for (int value = 0; value < 100; ++value) {
            const std::string pair = {static_cast<char>('0' + value / 10),
                                      static_cast<char>('0' + value % 10)};
            learnt[modulesOf(draw(Code_128, "C" + pair)).substr(11, 11)] = value;
        }
        // Set B codes 132..134 (Windows-1252) are the values 100..102.
        const auto high = modulesOf(draw(Code_128, "B\u201e\u2026\u2020"));
        for (int value = 100; value <= 102; ++value)
            learnt[high.substr(11 * static_cast<std::size_t>(value - 99), 11)] = value;
        learnt[modulesOf(draw(Code_128, "A")).substr(0, 11)] = 103;
        learnt[modulesOf(draw(Code_128, "B")).substr(0, 11)] = 104;
        learnt[modulesOf(draw(Code_128, "C")).substr(0, 11)] = 105;
        return learnt;
    }();
    return map;
}

// The values from the start character up to the stop character; -1 for an unknown pattern.
std::vector<int> readValues(const testing::Drawing& drawn) {
    const std::string modules = modulesOf(drawn);
    EXPECT_GE(modules.size(), characterModules + stopModules.size());
    EXPECT_EQ((modules.size() - stopModules.size()) % characterModules, 0u);
    EXPECT_EQ(modules.substr(modules.size() - stopModules.size()), stopModules);
    std::vector<int> values;
    for (std::size_t at = 0; at + stopModules.size() < modules.size(); at += characterModules) {
        const auto found = valueByPattern().find(modules.substr(at, characterModules));
        values.push_back(found == valueByPattern().end() ? -1 : found->second);
    }
    return values;
}

DrawingArguments arguments(bool check, std::int16_t text = 1) {
    DrawingArguments args;
    args.pChk = check;
    args.pText = text;
    return args;
}

struct SymbolRow {
    std::string code;
    bool check;
    std::vector<int> values;  // start, data, check; the stop character is checked apart
    std::string codeAfter;
};

TEST(Code128, DrawsTheNamedCodeSet) {
    const SymbolRow rows[] = {
        {"A", true, {103, 0}, ""},
        {"B", true, {104, 1}, ""},
        {"C", true, {105, 2}, ""},
        {"A", false, {103}, ""},
        {"BAB", true, {104, 33, 34, 102}, "AB"},
        {"BAB", false, {104, 33, 34}, "AB"},
        {"C1234", true, {105, 12, 34, 82}, "1234"},
        {"C123", true, {105, 1, 23, 49}, "123"},
        {"A\t_ ", true, {103, 73, 63, 0, 96}, "\t_ "},  // 103 + 73 + 126 + 0 = 302
        {"Ba~\x7f", false, {104, 65, 94, 95}, "a~\x7f"},
        {"B\u2030", false, {104, 105}, "\u2030"},  // code 137 draws a start character's value
        {"B" + std::string(63, '0'), true, {}, std::string(63, '0')},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_128, row.code, arguments(row.check));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_TRUE(testing::contiguous(drawn.surface.boxes()));
        if (!row.values.empty()) {
            EXPECT_EQ(readValues(drawn), row.values) << row.code;
            const int modules = static_cast<int>(11 * row.values.size() + 13);
            EXPECT_EQ(drawn.surface.boxes().back().x2 + 1, moduleWidth * modules) << row.code;
        }
    }
    // 63 zeros keep the check sum at 104 + 16 x 2016 = 32360 and end at x = 10920.
    const auto zeros = draw(Code_128, "B" + std::string(63, '0'), arguments(true));
    EXPECT_EQ(zeros.surface.boxes().back().x2 + 1, 10920);
}

TEST(Code128, SetsAAndBWriteEachCharacterAtItsLeftEdge) {
    for (std::int16_t text : {1, -1, 7}) {
        const auto drawn = draw(Code_128, "BAb", arguments(true, text));
        const std::vector<std::string> expected = {"CurrentX\t165", "CurrentY\t1260", "Print\tA",
                                                   "CurrentX\t330", "CurrentY\t1260", "Print\tb"};
        std::vector<std::string> textLines;
        for (const auto& line : drawn.surface.lines())
            if (line.rfind("Line", 0) != 0 && line.rfind("Font", 0) != 0 &&
                line.rfind("ForeColor", 0) != 0)
                textLines.push_back(line);
        EXPECT_EQ(textLines, expected) << text;
    }
    const auto silent = draw(Code_128, "BAb", arguments(true, 0));
    EXPECT_TRUE(testing::linesOf(silent.surface, "Print").empty());
    EXPECT_TRUE(testing::linesOf(silent.surface, "CurrentX").empty());
}

TEST(Code128, SetCCentresTheDataWithoutItsLeadingZero) {
    DrawingArguments args = arguments(true, -1);
    args.pX = 100.5f;  // the running x starts at 100
    const auto drawn = draw(Code_128, "C123", args);
    const auto lines = drawn.surface.lines();
    ASSERT_GE(lines.size(), 4u);
    // Start, 01, 23, check, stop: 57 modules, so x = 100 + 855; the text is 3 x 7 x 12 wide.
    EXPECT_EQ(lines[lines.size() - 4], "TextWidth\t123\t252");
    EXPECT_EQ(lines[lines.size() - 3], "CurrentX\t" + formatNumber((955 - 252 + 10 + 100.5) / 2));
    EXPECT_EQ(lines[lines.size() - 2], "CurrentY\t1260");
    EXPECT_EQ(lines.back(), "Print\t123");
    EXPECT_EQ(testing::linesOf(drawn.surface, "Print").size(), 1u);

    // A text wider than the running x starts at the absolute coordinate 10.
    args.pX = -2000;
    const auto wide = draw(Code_128, "C12", args);
    EXPECT_EQ(testing::linesOf(wide.surface, "CurrentX").back(), "CurrentX\t10");
}

struct FailureRow {
    std::string code;
    bool check;
    std::int16_t result;
    std::string codeAfter;
    std::size_t boxes;  // painted before the failure
    std::size_t prints;
};

TEST(Code128, Failures) {
    const FailureRow rows[] = {
        {"", true, 5, "", 0, 0},
        // Anything but "A", "B" or "C" names no code set: refused, the caller's data untouched.
        {"a123", true, 5, "a123", 0, 0},
        {"D12", false, 5, "D12", 0, 0},
        {"\u00c1BC", false, 5, "\u00c1BC", 0, 0},
        {"Aa", true, 94, "a", 0, 0},
        {"AB\u00e9", true, 94, "B\u00e9", 0, 0},
        // A control character has no set B value: the start character and its text, then 9.
        {"B\t", true, 9, "\t", 11, 1},
        {"BA\u00e9", true, 9, "A\u00e9", 22, 2},  // code 233: value 201
        // Set C pairs must be two decimal digits.
        {"C5A", true, 13, "5A", 0, 0},
        {"C125 ", true, 13, "125 ", 0, 0},
        {"C-5", true, 13, "-5", 0, 0},
        {"C1\u00bd", true, 13, "1\u00bd", 0, 0},
        // A character outside set A fails before anything is drawn, however far along it stands.
        {"A" + std::string(64, '0') + "a", true, 94, std::string(64, '0') + "a", 0, 0},
        {"Aa" + std::string(64, '0'), true, 94, "a" + std::string(64, '0'), 0, 0},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_128, row.code, arguments(row.check));
        EXPECT_EQ(drawn.result, row.result) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(drawn.surface.boxes().size(), row.boxes) << row.code;
        EXPECT_EQ(testing::linesOf(drawn.surface, "Print").size(), row.prints) << row.code;
        EXPECT_EQ(testing::linesOf(drawn.surface, "FontSize").size(), 1u) << row.code;
    }
}

TEST(Code128, PositionOverflows) {
    DrawingArguments args = arguments(false);
    args.pX = 32767.5f;  // rounded inside the trap
    auto drawn = draw(Code_128, "B1", args);
    EXPECT_EQ(drawn.result, 6);
    EXPECT_TRUE(drawn.surface.boxes().empty());
    EXPECT_EQ(drawn.code, "B1") << "the running x is set before the code set is taken";

    args.pX = 32000;
    drawn = draw(Code_128, "B12345", args);
    EXPECT_EQ(drawn.result, 6);
    ASSERT_FALSE(drawn.surface.boxes().empty());
    // Boxes of 15 from 32000: the 52nd would end at 32779.
    EXPECT_EQ(drawn.surface.boxes().size(), 51u);
    EXPECT_EQ(drawn.surface.boxes().back().x2, 32764);
}

}  // namespace
}  // namespace quillet
