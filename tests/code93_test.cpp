// Code 93 on the recording surface. The symbol characters are read back by value: the pattern
// of each value is learnt from a symbol holding that character alone, so these tests check
// the translation, the check characters and the layout, and the decoder round trip checks the
// patterns themselves.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;

constexpr int moduleWidth = 15;
constexpr std::size_t characterModules = 9;
constexpr std::size_t startModules = 9;
constexpr std::size_t stopModules = 10;

std::string modulesOf(const testing::Drawing& drawn) {
    return testing::modulesOf(drawn.surface.boxes(), moduleWidth);
}

// The pattern of every value 0..46, from symbols of one character.
const std::map<std::string, int>& valueByPattern() {
    static const std::map<std::string, int> map = [] {
        std::map<std::string, int> learnt;
        const std::string directSet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
        for (std::size_t value = 0; value < directSet.size(); ++value) {
            const auto modules = modulesOf(draw(Code_93, std::string(1, directSet[value])));
            learnt[modules.substr(startModules, characterModules)] = static_cast<int>(value);
        }
        // Characters whose pair begins with each shift character: ($)A, (%)U, (/)A, (+)A.
        const std::pair<std::string, int> shifted[] = {
            {"\x01", 43}, {std::string(1, '\0'), 44}, {"!", 45}, {"a", 46}};
        for (const auto& [data, value] : shifted) {
            const auto modules = modulesOf(draw(Code_93, data));
            learnt[modules.substr(startModules, characterModules)] = value;
        }
        return learnt;
    }();
    return map;
}

// The values between the start and the stop character; -1 for a pattern that is no value.
std::vector<int> readValues(const testing::Drawing& drawn) {
    const std::string modules = modulesOf(drawn);
    EXPECT_GE(modules.size(), startModules + stopModules);
    EXPECT_EQ((modules.size() - startModules - stopModules) % characterModules, 0u);
    std::vector<int> values;
    for (std::size_t at = startModules; at + stopModules < modules.size(); at += characterModules) {
        const auto found = valueByPattern().find(modules.substr(at, characterModules));
        values.push_back(found == valueByPattern().end() ? -1 : found->second);
    }
    return values;
}

DrawingArguments withCheck(bool check) {
    DrawingArguments args;
    args.pChk = check;
    return args;
}

struct SymbolRow {
    std::string code;
    bool check;
    std::vector<int> values;  // between start and stop
};

TEST(Code93, DrawsTranslationAndCheckCharacters) {
    const SymbolRow rows[] = {
        {"ABC", true, {10, 11, 12, 17, 20}},  // C "H", K "K"
        {"ABC", false, {10, 11, 12}},
        {"a", true, {46, 10, 8, 25}},  // (+)A
        {"", true, {0, 0}},
        {"", false, {}},
        {"$%+/", false, {39, 42, 41, 40}},  // the direct set, not the shift characters
        {std::string("\x7f\x1b :@`", 6), false, {44, 29, 44, 10, 38, 45, 35, 44, 31, 44, 32}},
        // C's weights start again after 20 characters: the "1" weighs 1, not 21.
        {"1" + std::string(20, '0'), true, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 8}},
        // K's weights start again after 15: the "1" weighs 1 there, not 16.
        {"1" + std::string(14, '0'), true, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 16}},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_93, row.code, withCheck(row.check));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.code) << "pCode is never changed";
        EXPECT_EQ(readValues(drawn), row.values) << row.code;
        const auto& boxes = drawn.surface.boxes();
        EXPECT_TRUE(testing::contiguous(boxes));
        EXPECT_EQ(boxes.front().x1, 0);
        EXPECT_EQ(boxes.back().x2 + 1,
                  moduleWidth * static_cast<int>(9 * (row.values.size() + 1) + 10));
    }
}

TEST(Code93, StartAndStopWithTerminationBar) {
    const auto drawn = draw(Code_93, "");
    EXPECT_EQ(modulesOf(drawn),
              "101011110"
              "1010111101");
    for (const auto& box : drawn.surface.boxes()) {
        EXPECT_EQ(box.y1, 0.0f);
        EXPECT_EQ(box.y2, 1200.0f);
    }
}

TEST(Code93, TextIsTheCallersDataCentredWhenPTextIsOne) {
    struct Row {
        std::int16_t text;
        bool written;
    };
    for (const Row row : {Row{1, true}, Row{0, false}, Row{-1, false}, Row{2, false}}) {
        DrawingArguments args = withCheck(true);
        args.pText = row.text;
        args.pX = 0.5f;
        const auto drawn = draw(Code_93, "a-1", args);
        const auto prints = testing::linesOf(drawn.surface, "Print");
        if (!row.written) {
            EXPECT_TRUE(prints.empty()) << row.text;
            continue;
        }
        // Start, (+), A, -, 1, C, K and stop: 9 x 7 + 10 modules, then centred on pX .. x + 10.
        const int end = 15 * 73;
        const double width = 3 * 7 * 12;
        ASSERT_EQ(prints.size(), 1u);
        EXPECT_EQ(prints[0], "Print\ta-1");
        EXPECT_EQ(testing::linesOf(drawn.surface, "CurrentX")[0],
                  "CurrentX\t" + formatNumber((end - width + 10 + 0.5) / 2));
        EXPECT_EQ(testing::linesOf(drawn.surface, "CurrentY")[0], "CurrentY\t1260");
    }
}

TEST(Code93, Failures) {
    struct Row {
        std::string code;
        bool check;
        float x;
        std::int16_t result;
        bool drewSomething;
    };
    const Row rows[] = {
        {"AB\u00e9", false, 0, 9, false},  // code 233 has no pair
        {"\u4e2d", true, 0, 9, false},
        {"A", false, 32767.5f, 6, false},  // pX rounds to 32768
        {"ABCDEFGH", false, 32000, 6, true},
        // Long data draws with or without its check characters.
        {std::string(80, '%'), true, 0, 0, true},
        {std::string(80, '%'), false, 0, 0, true},
    };
    for (const auto& row : rows) {
        DrawingArguments args = withCheck(row.check);
        args.pX = row.x;
        const auto drawn = draw(Code_93, row.code, args);
        EXPECT_EQ(drawn.result, row.result) << row.code;
        EXPECT_EQ(drawn.code, row.code);
        EXPECT_EQ(!drawn.surface.boxes().empty(), row.drewSomething) << row.code;
        EXPECT_EQ(testing::linesOf(drawn.surface, "FontSize").size(), 1u);
        if (row.drewSomething) {
            EXPECT_LE(drawn.surface.boxes().back().x2, 32767);
        }
    }
}

}  // namespace
}  // namespace quillet
