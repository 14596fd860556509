// Codabar, Code 11, Interleaved 2 of 5, MSI and POSTNET on the recording surface. Symbols are
// read back from the boxes with the published element tables, written out here independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;
using testing::linesOf;

constexpr int narrowWidth = 16;  // pWidth 15, ratio 3:1
constexpr int wideWidth = 36;

DrawingArguments withCheck(bool check, std::int16_t text = 1) {
    DrawingArguments args;
    args.pChk = check;
    args.pText = text;
    return args;
}

// Reads characters of `size` elements from `elements`, each followed by `gap` narrow elements.
std::string readCharacters(std::string_view elements, const std::map<std::string, char>& table,
                           std::size_t size, std::size_t gap) {
    std::string read;
    for (std::size_t i = 0; i + size <= elements.size(); i += size + gap) {
        const auto found = table.find(std::string(elements.substr(i, size)));
        read.push_back(found == table.end() ? '?' : found->second);
        for (std::size_t k = i + size; k < i + size + gap && k < elements.size(); ++k)
            EXPECT_EQ(elements[k], '0') << "gap after character " << read.size();
    }
    return read;
}

std::map<std::string, char> tableOf(std::string_view symbols,
                                    std::initializer_list<const char*> patterns) {
    std::map<std::string, char> table;
    std::size_t i = 0;
    for (const char* pattern : patterns) table[pattern] = symbols[i++];
    return table;
}

std::string printed(const RecordingSurface& surface) {
    const auto lines = linesOf(surface, "Print");
    return lines.empty() ? "(none)" : lines.back().substr(6);
}

// ---------------------------------------------------------------------------------------------
// Codabar

std::string readCodabar(const RecordingSurface& surface) {
    static const auto table =
        tableOf("0123456789-$:/.+ABCD",
                {"0000011", "0000110", "0001001", "1100000", "0010010", "1000010", "0100001",
                 "0100100", "0110000", "1001000", "0001100", "0011000", "1000101", "1010001",
                 "1010100", "0010101", "0011010", "0101001", "0001011", "0001110"});
    return readCharacters(testing::elementsOf(surface.boxes(), wideWidth), table, 7, 1);
}

struct CodabarRow {
    std::string code;
    std::int16_t text;
    std::int16_t result;
    std::string codeAfter;
    std::string symbol;  // read back from the bars
    std::string shown;   // the printed text
};

TEST(Codabar, RepairsStartAndStopAndPrintsTheInnerText) {
    const CodabarRow rows[] = {
        {"123", 1, 0, "A123A", "A123A", "123"},
        {"B45-6D", 1, 0, "B45-6D", "B45-6D", "45-6"},
        {"  7 ", 1, 0, "A7A", "A7A", "7"},
        {"B123", 1, 0, "B123A", "B123A", "123"},
        {"1D", 1, 0, "A1D", "A1D", "1"},
        {"C$:/.+D", 1, 0, "C$:/.+D", "C$:/.+D", "$:/.+"},
        {"AB", 1, 0, "AB", "AB", ""},
        // Lower case does not count as start or stop and has no pattern: the start is drawn.
        {"a12", 1, 9, "Aa12A", "A", "(none)"},
        {"d", 1, 9, "AdA", "A", "(none)"},
        // Inner characters without a pattern stop the drawing instead of leaving a bare gap.
        {"1 2", 1, 9, "A1 2A", "A1", "(none)"},
        {"*", 1, 9, "A*A", "A", "(none)"},
        {"1,2", 0, 9, "A1,2A", "A1", "(none)"},
        {"\u00e9", 1, 9, "A\u00e9A", "A", "(none)"},
        // A lone start/stop character has no inner text to print.
        {"A", 1, 5, "A", "A", "(none)"},
        {"A", 0, 0, "A", "A", "(none)"},
        {"   ", 1, 5, "", "", "(none)"},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Codabar, row.code, withCheck(false, row.text));
        EXPECT_EQ(drawn.result, row.result) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(readCodabar(drawn.surface), row.symbol) << row.code;
        EXPECT_EQ(printed(drawn.surface), row.shown) << row.code;
        EXPECT_TRUE(testing::contiguous(drawn.surface.boxes())) << row.code;
    }
}

TEST(Codabar, MeasuresTheWholeDataButCentresTheInnerText) {
    auto args = withCheck(false);
    args.pX = 0.25f;
    const auto drawn = draw(Codabar, "123", args);
    const int end = drawn.surface.boxes().back().x2 + 1;
    EXPECT_EQ(linesOf(drawn.surface, "TextWidth").front(), "TextWidth\tA123A\t420");
    const double inner = 3 * 12 * 7;
    EXPECT_EQ(linesOf(drawn.surface, "CurrentX").back(),
              "CurrentX\t" + formatNumber((end - inner + 10 + 0.25) / 2));

    // The whole data is wider than the symbol's end: the text starts at 10.
    args.pWidth = 2;
    args.pRatio = "0:0";
    args.pX = -100;
    const auto narrow = draw(Codabar, "1", args);
    EXPECT_EQ(linesOf(narrow.surface, "CurrentX").back(), "CurrentX\t10");
}

TEST(Codabar, ElementWidthsAndCheckSwitchIgnored) {
    auto args = withCheck(false);
    args.pRatio = "2:1";
    const auto plain = draw(Codabar, "A0A", args);
    // "A" 4 x 16 + 3 x 29 = 151, "0" 5 x 16 + 2 x 29 = 138, two gaps of 16.
    EXPECT_EQ(plain.surface.boxes().back().x2 + 1, 151 + 16 + 138 + 16 + 151);
    args.pChk = true;
    EXPECT_EQ(draw(Codabar, "A0A", args).surface.trace(), plain.surface.trace());
}

// ---------------------------------------------------------------------------------------------
// Code 11

// Start/stop is read as "*".
std::string readCode11(const RecordingSurface& surface) {
    static const auto table =
        tableOf("0123456789-*", {"00001", "10001", "01001", "11000", "00101", "10100", "01100",
                                 "00011", "10010", "10000", "00100", "00110"});
    return readCharacters(testing::elementsOf(surface.boxes(), wideWidth), table, 5, 1);
}

struct CheckRow {
    std::string code;
    bool check;
    std::string codeAfter;
    std::string symbol;
};

TEST(Code11, CheckCharactersAndSymbol) {
    const CheckRow rows[] = {
        {"123-45", true, "123-4552", "*123-4552*"},
        {"-", true, "--8", "*--8*"},
        {"", true, "00", "*00*"},
        {"", false, "", "**"},
        {"1", false, "1", "*1*"},
        // A letter is drawn as "0" but weighs its own code (65) in the sums.
        {"12A4", false, "12A4", "*1204*"},
        {"12A4", true, "12A418", "*120418*"},
        // Weights restart after 10 (C) and 9 (K).
        {"0123456789-", true, "0123456789-06", "*0123456789-06*"},
        {"12345678901234567890", true, "1234567890123456789023", "*1234567890123456789023*"},
        // A second call weighs the first check characters too.
        {"123-4552", true, "123-455211", "*123-455211*"},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_11, row.code, withCheck(row.check));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(readCode11(drawn.surface), row.symbol) << row.code;
        EXPECT_EQ(printed(drawn.surface), row.codeAfter) << row.code;
        // Every character, the stop included, is followed by a narrow white space.
        const auto& last = drawn.surface.boxes().back();
        EXPECT_FALSE(testing::isBar(last));
        EXPECT_EQ(testing::widthOf(last), narrowWidth);
    }
}

TEST(Code11, WidthsWithRatioTwoToOne) {
    auto args = withCheck(false);
    args.pRatio = "2:1";
    const auto drawn = draw(Code_11, "", args);
    // Start/stop 3 x 16 + 2 x 29 = 106, each followed by a gap of 16.
    EXPECT_EQ(drawn.surface.boxes().back().x2 + 1, 2 * (106 + 16));
}

// ---------------------------------------------------------------------------------------------
// Interleaved 2 of 5

// The pairs read back as digits; "?" for anything else. Start and stop are checked on the way.
std::string readCode25(const RecordingSurface& surface) {
    static const auto table = tableOf("0123456789", {"00110", "10001", "01001", "11000", "00101",
                                                     "10100", "01100", "00011", "10010", "01010"});
    const std::string elements = testing::elementsOf(surface.boxes(), wideWidth);
    if (elements.size() < 7) return "(short)";
    EXPECT_EQ(elements.substr(0, 4), "0000");
    EXPECT_EQ(elements.substr(elements.size() - 3), "100");
    std::string read;
    for (std::size_t i = 4; i + 10 <= elements.size() - 3; i += 10) {
        std::string bars, spaces;
        for (std::size_t k = 0; k < 10; k += 2) {
            bars.push_back(elements[i + k]);
            spaces.push_back(elements[i + k + 1]);
        }
        for (const auto& digit : {bars, spaces}) {
            const auto found = table.find(digit);
            read.push_back(found == table.end() ? '?' : found->second);
        }
    }
    return read;
}

TEST(Code25, LeadingZeroAndCheckDigit) {
    const CheckRow rows[] = {
        {"123", false, "123", "0123"},
        {"1234", true, "1234", "012348"},
        {"12345", true, "12345", "123457"},
        {"55", true, "55", "0550"},  // weighted sum 20: check digit 0
        {"", false, "", ""},
        {"", true, "", "00"},
        {" 12 ", false, "12", "12"},
        {"9876543210", false, "9876543210", "9876543210"},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_25, row.code, withCheck(row.check));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(readCode25(drawn.surface), row.symbol) << row.code;
        EXPECT_EQ(printed(drawn.surface), row.codeAfter) << row.code;
    }
}

TEST(Code25, NonDigitIsATypeMismatchAtItsPair) {
    const struct {
        std::string code;
        bool check;
        std::size_t boxes;  // start and the pairs before the one with the non-digit
    } rows[] = {{"12a4", false, 4 + 10},
                {"a1", false, 4},
                {"1a", true, 4 + 10},
                {"a", true, 4},
                {"12 34", false, 4 + 10}};
    for (const auto& row : rows) {
        const auto drawn = draw(Code_25, row.code, withCheck(row.check));
        EXPECT_EQ(drawn.result, 13) << row.code;
        EXPECT_EQ(drawn.surface.boxes().size(), row.boxes) << row.code;
    }
}

TEST(Code25, ElementWidthsFromTheRatio) {
    for (const auto& [ratio, narrow, wide] :
         {std::tuple{"3:1", 16, 36}, std::tuple{"2:0", 15, 29}}) {
        DrawingArguments args;
        args.pRatio = ratio;
        const auto drawn = draw(Code_25, "1234", args);
        // Two pairs: 6 + 12 narrow and 1 + 8 wide elements.
        EXPECT_EQ(drawn.surface.boxes().back().x2 + 1, 18 * narrow + 9 * wide) << ratio;
    }
}

// ---------------------------------------------------------------------------------------------
// MSI

// The digits between start "10" and stop "010", read back from their bit pairs.
std::string readMsi(const RecordingSurface& surface) {
    const std::string elements = testing::elementsOf(surface.boxes(), wideWidth);
    if (elements.size() < 5) return "(short)";
    EXPECT_EQ(elements.substr(0, 2), "10");
    EXPECT_EQ(elements.substr(elements.size() - 3), "010");
    std::string read;
    for (std::size_t i = 2; i + 8 <= elements.size() - 3; i += 8) {
        int value = 0;
        for (std::size_t bit = 0; bit < 8; bit += 2) {
            const std::string pair = elements.substr(i + bit, 2);
            if (pair != "10" && pair != "01") return read + "?";
            value = value * 2 + (pair == "10");
        }
        read.push_back(value <= 9 ? static_cast<char>('0' + value) : '?');
    }
    return read;
}

TEST(Msi, CheckDigitAndSymbol) {
    const CheckRow rows[] = {
        {"123456", true, "1234566", "1234566"},
        // Odd lengths double the alternate digits ending with the last one, too.
        {"1234567", true, "12345674", "12345674"},
        {"", false, "", ""},
        {"", true, "0", "0"},
        {" 12 ", false, " 12 ", "0120"},
        {"1a3", true, "1a32", "1032"},
        // Exact for data far beyond a double's digits.
        {"98765432109876543210987654321098765", true, "987654321098765432109876543210987652",
         "987654321098765432109876543210987652"},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(Code_MSI, row.code, withCheck(row.check));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(readMsi(drawn.surface), row.symbol) << row.code;
        EXPECT_EQ(printed(drawn.surface), row.codeAfter) << row.code;
    }
}

TEST(Msi, SixDigitSymbolWidth) {
    auto args = withCheck(false);
    args.pRatio = "2:1";
    args.pX = 100.5f;
    const auto drawn = draw(Code_MSI, "123456", args);
    EXPECT_EQ(drawn.surface.boxes().front().x1, 100);
    EXPECT_EQ(drawn.surface.boxes().back().x2 + 1, 100 + 1186);
}

// ---------------------------------------------------------------------------------------------
// POSTNET

// "1" full bar, "0" half bar; the frame bars must be full and every bar but the last followed
// by a white space of the same width.
std::string readPostnet(const RecordingSurface& surface, float halfTop) {
    static const auto table = tableOf("0123456789", {"11000", "00011", "00101", "00110", "01001",
                                                     "01010", "01100", "10001", "10010", "10100"});
    std::string bars;
    const auto& boxes = surface.boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(testing::isBar(boxes[i]), i % 2 == 0) << i;
        EXPECT_EQ(testing::widthOf(boxes[i]), 15) << i;
        if (i % 2 == 0) {
            EXPECT_TRUE(boxes[i].y1 == 0.0f || boxes[i].y1 == halfTop) << i;
            bars.push_back(boxes[i].y1 == 0.0f ? '1' : '0');
        }
    }
    if (bars.size() < 2 || bars.front() != '1' || bars.back() != '1') return "(no frame)";
    std::string read;
    for (std::size_t i = 1; i + 5 < bars.size(); i += 5) {
        const auto found = table.find(bars.substr(i, 5));
        read.push_back(found == table.end() ? '?' : found->second);
    }
    return read;
}

TEST(Postnet, NormalisesAndAddsTheCheckDigit) {
    const struct {
        std::string code;
        std::int16_t text;
        std::string codeAfter;
        std::string symbol;
    } rows[] = {
        {"12345", 1, "12345", "123455"},
        {"12345", -1, "123455", "123455"},
        {"1234", 1, "12340", "123400"},
        {"123456", 0, "1234569", "1234569"},
        {"1234567", 0, "1234567002", "1234567002"},
        {"1234567890", 0, "1234567895", "1234567895"},
        // The delivery point code keeps all eleven digits.
        {"12345678901", 0, "123456789014", "123456789014"},
        {"1234567890123", 0, "1234567895", "1234567895"},
        {"", 0, "000000", "000000"},
        {"12a45", 1, "12a45", "120458"},
        // Hyphens and spaces are dropped before the length rule; other characters stay.
        {"12345-6789", 1, "123456789", "1234567895"},
        {"12345-6789", 0, "1234567895", "1234567895"},
        {" 12345 ", 1, "12345", "123455"},
        {"123 45-67", 0, "1234567002", "1234567002"},
        {"--", 1, "00000", "000000"},
        {"12.345", 1, "12.345", "1203455"},
    };
    for (const auto& row : rows) {
        const auto drawn = draw(PostNet, row.code, withCheck(false, row.text));
        EXPECT_EQ(drawn.result, 0) << row.code;
        EXPECT_EQ(drawn.code, row.codeAfter) << row.code;
        EXPECT_EQ(readPostnet(drawn.surface, 600.0f), row.symbol) << row.code;
        EXPECT_EQ(printed(drawn.surface), row.text == 1 ? row.codeAfter : "(none)") << row.code;
        // (10 n + 3) modules of 15.
        const std::size_t n = row.symbol.size();
        EXPECT_EQ(drawn.surface.boxes().back().x2 + 1, static_cast<int>((10 * n + 3) * 15));
    }
}

TEST(Postnet, HalfBarsStartAtTheExactMiddle) {
    auto args = withCheck(false);
    args.pY = 10.5f;
    args.pHeight = 1001;  // integer division would give 500
    const auto drawn = draw(PostNet, "1", args);
    float lowestTop = 0;
    for (const auto& box : drawn.surface.boxes()) {
        EXPECT_EQ(box.y2, 1011.5f);
        lowestTop = std::max(lowestTop, box.y1);
    }
    EXPECT_EQ(lowestTop, 511.0f);
}

// ---------------------------------------------------------------------------------------------
// What the five share, and where they differ

TEST(Numeric, FailuresBeforeAndInsideTheTrap) {
    const struct {
        tBarcodeType type;
        bool roundsBeforeTrap;
        bool parsesRatio;
    } rows[] = {{Codabar, true, true},
                {Code_11, false, true},
                {Code_25, true, true},
                {Code_MSI, false, true},
                {PostNet, false, false}};
    for (const auto& row : rows) {
        const auto name = barcodeTypeNames[row.type];
        DrawingArguments args;
        args.pCode = " 12 ";
        args.pX = 32767.5f;  // rounds to 32768
        RecordingSurface surface;
        Quillet control;
        if (row.roundsBeforeTrap) {
            try {
                control.Draw(row.type, &surface, args);
                ADD_FAILURE() << name << ": no failure towards the caller";
            } catch (const RuntimeError& failure) {
                EXPECT_EQ(failure.number(), 6) << name;
            }
            EXPECT_TRUE(surface.lines().empty()) << name;
            EXPECT_EQ(args.pCode, "12") << name;  // trimmed before the rounding
        } else {
            EXPECT_EQ(control.Draw(row.type, &surface, args), 6) << name;
            EXPECT_EQ(surface.lines().size(), 4u) << name;  // the font only
        }

        args.pX = 0;
        args.pRatio = "3";
        if (row.parsesRatio) {
            EXPECT_THROW(control.Draw(row.type, &surface, args), RuntimeError) << name;
        } else {
            EXPECT_EQ(control.Draw(row.type, &surface, args), 0) << name;
        }
    }
    // MSI also refuses extras whose product with pWidth leaves 16 bits.
    for (std::string ratio : {"1:3000", "400:1"}) {
        DrawingArguments args;
        args.pRatio = ratio;
        EXPECT_THROW(draw(Code_MSI, "1", args), RuntimeError) << ratio;
    }
}

TEST(Numeric, TextOnlyWhenPTextIsExactlyOne) {
    for (auto type : {Codabar, Code_11, Code_25, Code_MSI, PostNet}) {
        for (std::int16_t text : {-1, 0, 2}) {
            const auto drawn = draw(type, "1234", withCheck(true, text));
            EXPECT_EQ(drawn.result, 0) << barcodeTypeNames[type];
            EXPECT_TRUE(linesOf(drawn.surface, "Print").empty()) << barcodeTypeNames[type];
            EXPECT_TRUE(linesOf(drawn.surface, "TextWidth").empty()) << barcodeTypeNames[type];
        }
    }
}

TEST(Numeric, RunningPastSixteenBitsStopsAtThatBox) {
    for (auto type : {Codabar, Code_11, Code_25, Code_MSI, PostNet}) {
        DrawingArguments args;
        args.pX = 32000;
        const auto drawn = draw(type, "123456789012", args);
        EXPECT_EQ(drawn.result, 6) << barcodeTypeNames[type];
        EXPECT_FALSE(drawn.surface.boxes().empty()) << barcodeTypeNames[type];
        EXPECT_LE(drawn.surface.boxes().back().x2, 32767) << barcodeTypeNames[type];
    }
}

}  // namespace
}  // namespace quillet
