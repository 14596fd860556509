// EAN-13, EAN-8, ISBN, UPC-A, UPC-A Plus and UPC-E on the recording surface.
#include <gtest/gtest.h>

#include <array>

#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;
using testing::linesOf;

// The published right-hand set; the odd left-hand set is each pattern inverted, the even one
// each pattern reversed. Used to read the bars back independently of the drawing code.
constexpr std::array<std::string_view, 10> rightSet = {"1110010", "1100110", "1101100", "1000010",
                                                       "1011100", "1001110", "1010000", "1000100",
                                                       "1001000", "1110100"};

// A seven-module field as its digit and set ("L", "G" or "R"), "?" when it is none.
std::pair<char, char> readField(std::string_view field) {
    for (std::size_t digit = 0; digit < 10; ++digit) {
        std::string inverted, reversed(rightSet[digit].rbegin(), rightSet[digit].rend());
        for (char module : rightSet[digit]) inverted += module == '1' ? '0' : '1';
        const char symbol = static_cast<char>('0' + digit);
        if (field == rightSet[digit]) return {symbol, 'R'};
        if (field == inverted) return {symbol, 'L'};
        if (field == reversed) return {symbol, 'G'};
    }
    return {'?', '?'};
}

struct Reading {
    std::string digits;  // every field in order
    std::string sets;    // the set of every field
    std::string guards;  // the modules outside the fields
};

// Fields of seven modules after a three-module start guard, leftFields of them, then a centre
// guard of five and rightFields more; what follows is the end guard.
Reading readSymbol(const std::string& modules, std::size_t leftFields, std::size_t rightFields) {
    Reading reading;
    std::size_t at = 0;
    const auto guard = [&](std::size_t length) {
        reading.guards += modules.substr(at, length) + "|";
        at += length;
    };
    const auto fields = [&](std::size_t count) {
        for (std::size_t i = 0; i < count && at + 7 <= modules.size(); ++i, at += 7) {
            const auto [digit, set] = readField(std::string_view(modules).substr(at, 7));
            reading.digits += digit;
            reading.sets += set;
        }
    };
    guard(3);
    fields(leftFields);
    if (rightFields > 0) {
        guard(5);
        fields(rightFields);
    }
    guard(modules.size() - std::min(at, modules.size()));
    return reading;
}

Reading readBars(tBarcodeType type, const RecordingSurface& surface) {
    const std::string modules = testing::modulesOf(surface.boxes(), 15);
    if (type == EAN_8) return readSymbol(modules, 4, 4);
    if (type == UPC_E) return readSymbol(modules, 6, 0);
    return readSymbol(modules, 6, 6);
}

std::string printed(const RecordingSurface& surface) {
    std::string text;
    for (const auto& line : linesOf(surface, "Print")) text += line.substr(6);
    return text;
}

struct SymbolRow {
    tBarcodeType type;
    std::string code;
    std::string codeAfter;  // the caller's variable afterwards
    std::string texts;      // every text output, joined
    std::string digits;     // read from the bars
    std::string sets;
};

class EanUpcSymbols : public ::testing::TestWithParam<SymbolRow> {};

TEST_P(EanUpcSymbols, DrawsTheSymbolAndWritesBack) {
    const auto& row = GetParam();
    const auto drawn = draw(row.type, row.code);
    EXPECT_EQ(drawn.result, 0);
    EXPECT_EQ(drawn.code, row.codeAfter);
    EXPECT_EQ(printed(drawn.surface), row.texts);
    EXPECT_TRUE(testing::contiguous(drawn.surface.boxes()));
    const Reading reading = readBars(row.type, drawn.surface);
    EXPECT_EQ(reading.digits, row.digits);
    EXPECT_EQ(reading.sets, row.sets);
    EXPECT_EQ(reading.guards, row.type == UPC_E ? "101|010101|" : "101|01010|101|");
}

const std::string eightSets = "LLLLRRRR";
INSTANTIATE_TEST_SUITE_P(
    Rows, EanUpcSymbols,
    ::testing::Values(
        SymbolRow{EAN_13, "400638133393", "400638133393", "4006381333931", "006381333931",
                  "LGLLGGRRRRRR"},
        SymbolRow{EAN_13, "4006381333935", "400638133393", "4006381333931", "006381333931",
                  "LGLLGGRRRRRR"},
        SymbolRow{EAN_13, "  4006381 ", "400638100000", "4006381000000", "006381000000",
                  "LGLLGGRRRRRR"},
        SymbolRow{EAN_13, "", "000000000000", "0000000000000", "000000000000", "LLLLLLRRRRRR"},
        SymbolRow{EAN_13, "912345678901", "912345678901", "9123456789013", "123456789013",
                  "LGGLGLRRRRRR"},
        SymbolRow{EAN_8, "9638507", "9638507", "96385074", "96385074", eightSets},
        SymbolRow{EAN_8, "96385079", "9638507", "96385074", "96385074", eightSets},
        SymbolRow{EAN_8, "963850", "9638500", "96385005", "96385005", eightSets},
        SymbolRow{ISBN, "030640615", "978030640615",
                  "ISBN 0-306406-15-2"
                  "9780306406157",
                  "780306406157", "LGGLGLRRRRRR"},
        SymbolRow{ISBN, "0306406152", "978030640615",
                  "ISBN 0-306406-15-2"
                  "9780306406157",
                  "780306406157", "LGGLGLRRRRRR"},
        SymbolRow{ISBN, "080442957", "978080442957",
                  "ISBN 0-804429-57-X"
                  "9780804429573",
                  "780804429573", "LGGLGLRRRRRR"},
        SymbolRow{ISBN, "100000006", "978100000006",
                  "ISBN 1-000000-06-0"
                  "9781000000061",
                  "781000000061", "LGGLGLRRRRRR"},
        // The variable of an earlier call, passed again: a different book number.
        SymbolRow{ISBN, "978030640615", "978978030640",
                  "ISBN 9-780306-40-4"
                  "9789780306403",
                  "789780306403", "LGGLGLRRRRRR"},
        SymbolRow{UPC_A, "03600029145", "03600029145", "036000291452", "036000291452",
                  "LLLLLLRRRRRR"},
        SymbolRow{UPC_A, "036000291452", "03600029145", "036000291452", "036000291452",
                  "LLLLLLRRRRRR"},
        SymbolRow{UPC_A, "036000291459", "03600029145", "036000291452", "036000291452",
                  "LLLLLLRRRRRR"},
        SymbolRow{UPC_A, "123", "12300000000", "123000000006", "123000000006", "LLLLLLRRRRRR"},
        SymbolRow{UPC_A_Plus, "03600029145", "03600029145", "036000291452", "036000291452",
                  "LLLLLLRRRRRR"},
        SymbolRow{UPC_E, "425261", "425261", "04252614", "425261", "GLGGLL"},
        SymbolRow{UPC_E, "123456", "123456", "01234565", "123456", "GLLGGL"},
        SymbolRow{UPC_E, "123453", "123453", "01234531", "123453", "GGLGLL"},
        SymbolRow{UPC_E, "012344", "012344", "00123444", "012344", "GLGGLL"},
        SymbolRow{UPC_E, "", "000000", "00000000", "000000", "GGGLLL"},
        SymbolRow{UPC_E, "12345678", "123456", "01234565", "123456", "GLLGGL"}),
    [](const auto& row) { return "row" + std::to_string(row.index); });

TEST(EanUpc, NonDigitsDrawAndWeighAsZeroButAreWrittenAsThemselves) {
    struct Row {
        tBarcodeType type;
        std::string code;
        std::string asZero;  // the same data with a 0 in place of each non-digit
        std::string texts;
    };
    const Row rows[] = {
        {EAN_13, "A00638133393", "000638133393", "A006381333935"},  // parity as for 0
        {EAN_13, "4006381333\u00e93", "400638133303", "4006381333\u00e930"},
        {EAN_8, "96A8507", "9608507", "96A85073"},
        {ISBN, "0306A0615", "030600615",
         "ISBN 0-306A06-15-4"
         "9780306A06159"},
        {UPC_A, "0360A029145", "03600029145", "0360A0291452"},
        {UPC_A_Plus, "0360A029145", "03600029145", "0360A0291452"},
    };
    for (const auto& row : rows) {
        const auto letter = draw(row.type, row.code);
        const auto zero = draw(row.type, row.asZero);
        EXPECT_EQ(letter.result, 0) << row.code;
        EXPECT_EQ(linesOf(letter.surface, "Line"), linesOf(zero.surface, "Line")) << row.code;
        EXPECT_EQ(printed(letter.surface), row.texts) << row.code;
    }
}

std::string heights(const std::vector<RecordedBox>& boxes, float normal, float lengthened) {
    std::string classes;
    for (const auto& box : boxes)
        classes += box.y2 == normal ? 'n' : box.y2 == lengthened ? 'L' : '?';
    return classes;
}

TEST(EanUpc, LayoutOfBarsAndTexts) {
    const auto L = [](std::size_t modules) { return std::string(modules, 'L'); };
    const auto n = [](std::size_t modules) { return std::string(modules, 'n'); };
    const std::string ean13Heights = L(3) + n(42) + L(5) + n(42) + L(3);
    struct Row {
        tBarcodeType type;
        std::int16_t text;
        std::int16_t firstX;  // left edge of the first box
        std::int16_t endX;    // right edge of the last box + 1
        std::string heights;
        std::string firstTextX, lastTextX;  // "CurrentX" of the first and last text
    };
    // pX 100.5 rounds to 100; the font size is 7, so a digit's text is 84 units wide.
    const Row rows[] = {
        {EAN_13, 1, 184, 1609, ean13Heights, "100.5", "1459"},
        {EAN_13, 0, 100, 1525, ean13Heights, "", ""},
        {EAN_8, 1, 100, 1105, L(3) + n(28) + L(5) + n(28) + L(3), "145", "955"},
        {EAN_8, 0, 100, 1105, L(3) + n(28) + L(5) + n(28) + L(3), "", ""},
        {ISBN, 0, 100, 1525, ean13Heights, "", ""},
        {UPC_A, 1, 194, 1619, L(10) + n(35) + L(5) + n(35) + L(10), "100.5", "1619"},
        {UPC_A, 0, 100, 1525, L(10) + n(35) + L(5) + n(35) + L(10), "", ""},
        {UPC_A_Plus, 1, 184, 1609, n(95), "100", "1525"},
        {UPC_A_Plus, 0, 100, 1525, n(95), "", ""},
        {UPC_E, 1, 184, 949, L(3) + n(42) + L(6), "100.5", "949"},
        {UPC_E, 0, 100, 865, L(3) + n(42) + L(6), "", ""},
    };
    for (const auto& row : rows) {
        DrawingArguments args;
        args.pX = 100.5f;
        args.pText = row.text;
        const auto drawn = draw(row.type, "036000291452", args);
        const auto& boxes = drawn.surface.boxes();
        const std::string name =
            std::string(barcodeTypeNames[row.type]) + " pText " + std::to_string(row.text);
        ASSERT_FALSE(boxes.empty()) << name;
        EXPECT_EQ(boxes.front().x1, row.firstX) << name;
        EXPECT_EQ(boxes.back().x2 + 1, row.endX) << name;
        EXPECT_EQ(heights(boxes, 1200, 1400), row.heights) << name;
        const auto textX = linesOf(drawn.surface, "CurrentX");
        EXPECT_EQ(textX.empty() ? "" : textX.front().substr(9), row.firstTextX) << name;
        EXPECT_EQ(textX.empty() ? "" : textX.back().substr(9), row.lastTextX) << name;
        for (const auto& y : linesOf(drawn.surface, "CurrentY"))
            EXPECT_EQ(y, "CurrentY\t1260") << name;
    }
}

TEST(EanUpc, IsbnCaptionPushesTheSymbolDown) {
    DrawingArguments args;
    args.pX = 100.5f;
    args.pY = 10;
    const auto drawn = draw(ISBN, "030640615", args);
    // The caption at the rounded pX and pY; its height 7 x 24 + 4 moves everything else down.
    const auto lines = drawn.surface.lines();
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[4], "CurrentX\t100");
    EXPECT_EQ(lines[5], "CurrentY\t10");
    EXPECT_EQ(lines[6], "Print\tISBN 0-306406-15-2");
    EXPECT_EQ(lines[7], "TextHeight\tI\t168");
    EXPECT_EQ(lines[8], "CurrentX\t100");
    EXPECT_EQ(lines[9], "CurrentY\t1442");
    const auto& first = drawn.surface.boxes().front();
    EXPECT_EQ(first.x1, 184);
    EXPECT_EQ(first.y1, 182.0f);
    EXPECT_EQ(first.y2, 182.0f + 1200 + 200);
}

TEST(EanUpc, UpcAPlusIsUpcAMovedLeftAndFlat) {
    for (std::int16_t text : {1, 0}) {
        DrawingArguments args;
        args.pText = text;
        args.pX = 7.5f;
        const auto upcA = draw(UPC_A, "01234567890", args).surface.boxes();
        const auto plus = draw(UPC_A_Plus, "01234567890", args).surface.boxes();
        ASSERT_EQ(upcA.size(), plus.size());
        for (std::size_t i = 0; i < upcA.size(); ++i) {
            EXPECT_EQ(plus[i].x1, upcA[i].x1 - (text ? 10 : 0)) << i;
            EXPECT_EQ(plus[i].color, upcA[i].color) << i;
            EXPECT_EQ(plus[i].y2, 1200.0f) << i;
        }
    }
}

TEST(EanUpc, TextForAnyNonZeroPTextAndNoTextCallsForZero) {
    const std::pair<tBarcodeType, std::size_t> printsPerType[] = {
        {EAN_13, 13}, {EAN_8, 8}, {ISBN, 14}, {UPC_A, 12}, {UPC_A_Plus, 12}, {UPC_E, 8}};
    for (const auto& [type, prints] : printsPerType) {
        for (std::int16_t text : {0, -1, 2}) {
            DrawingArguments args;
            args.pText = text;
            const auto drawn = draw(type, "123456", args);
            EXPECT_EQ(drawn.result, 0);
            EXPECT_EQ(linesOf(drawn.surface, "Print").size(), text ? prints : 0) << type;
            if (text == 0) {
                // Only the font set-up and the boxes.
                EXPECT_EQ(drawn.surface.lines().size(), 4 + drawn.surface.boxes().size()) << type;
            }
        }
    }
}

TEST(EanUpc, FailuresStopTheDrawing) {
    struct Row {
        tBarcodeType type;
        std::string code;
        float pX;
        std::int16_t pHeight;
        std::int16_t pText;
        std::string failingMember;  // with failingNumber, on the surface
        std::int32_t failingNumber;
        std::int16_t result;
        std::size_t boxes;  // painted before the failure
        std::string codeAfter;
    };
    const Row rows[] = {
        // The outer digits' depth pHeight + pHeight \ 6 is a 16-bit sum: 28087 + 4681 overflows
        // after the start guard; the guards' own depth is summed in single precision.
        {UPC_A, "1", 0, 28087, 1, "", 0, 6, 3, "10000000000"},
        {UPC_A, "1", 0, 28086, 1, "", 0, 0, 95, "10000000000"},
        {UPC_A_Plus, "1", 0, 32767, 1, "", 0, 0, 95, "10000000000"},
        {EAN_13, "1", 0, 32767, 1, "", 0, 0, 95, "100000000000"},
        {UPC_E, "1", 0, 32767, 1, "", 0, 0, 51, "100000"},
        // The symbol ends at 32760: UPC-A and UPC-E then step one module further and overflow.
        {UPC_A, "", 31335, 1200, 0, "", 0, 6, 95, "00000000000"},
        {EAN_13, "", 31335, 1200, 0, "", 0, 0, 95, "000000000000"},
        {UPC_E, "", 31995, 1200, 0, "", 0, 6, 51, "000000"},
        // The running x passes 32767 at box 52.
        {EAN_8, "", 32000, 1200, 0, "", 0, 6, 51, "0000000"},
        // A non-digit body cannot be expanded and summed: nothing is drawn.
        {UPC_E, "12345A", 0, 1200, 1, "", 0, 13, 0, "12345A"},
        {UPC_E, "1A3456", 0, 1200, 1, "", 0, 13, 0, "1A3456"},
        {UPC_E, "12 45", 0, 1200, 1, "", 0, 13, 0, "12 450"},
        // The caption fails before "978" is put in front of the caller's data.
        {ISBN, "030640615", 0, 1200, 1, "TextHeight", 438, 438, 0, "030640615"},
        {ISBN, "030640615", 0, 1200, 0, "TextHeight", 438, 0, 95, "978030640615"},
        {EAN_8, "", 0, 1200, 1, "Line", 380, 380, 0, "0000000"},
        {UPC_E, "", 0, 1200, 1, "Print", 1001, 1001, 0, "000000"},
    };
    for (const auto& row : rows) {
        testing::Drawing drawing;
        if (!row.failingMember.empty())
            drawing.surface.failAt(row.failingMember, row.failingNumber);
        DrawingArguments args;
        args.pCode = row.code;
        args.pX = row.pX;
        args.pHeight = row.pHeight;
        args.pText = row.pText;
        Quillet control;
        const std::string name = std::string(barcodeTypeNames[row.type]) + " " + row.code;
        EXPECT_EQ(control.Draw(row.type, &drawing.surface, args), row.result) << name;
        EXPECT_EQ(drawing.surface.boxes().size(), row.boxes) << name;
        EXPECT_EQ(args.pCode, row.codeAfter) << name;
    }
}

TEST(EanUpc, PXOutOfRangeFailsTowardsTheCallerAfterTheWriteBack) {
    for (auto type : {EAN_13, EAN_8, ISBN, UPC_A, UPC_A_Plus, UPC_E}) {
        RecordingSurface surface;
        DrawingArguments args;
        args.pCode = " 12 ";
        args.pX = 32767.5f;
        Quillet control;
        try {
            control.Draw(type, &surface, args);
            ADD_FAILURE() << type << " returned";
        } catch (const RuntimeError& failure) {
            EXPECT_EQ(failure.number(), 6) << type;
        }
        EXPECT_TRUE(surface.lines().empty()) << type;
        EXPECT_EQ(args.pCode.substr(0, 3), "120") << type;
    }
}

}  // namespace
}  // namespace quillet
