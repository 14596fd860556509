// The symbologies beyond the fifteen, bar for bar against zint's encoding of the same data
// (`zint --dump`), their refusals, and Code 128's choice of sets.
#include "symbologies/extended/extended.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "symbologies/alnum/code128_table.h"
#include "tests/support/drawing.h"

namespace quillet {
namespace {

using testing::draw;

// zint's rows, one string of "0"/"1" modules per row, trailing spaces dropped.
std::vector<std::string> zintRows(int symbology, const std::string& data) {
    const std::string command =
        "zint --dump -b " + std::to_string(symbology) + " -d '" + data + "' 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> rows;
    std::string row;
    for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) {
        if (c == '\n') {
            rows.push_back(row.substr(0, row.find_last_of('1') + 1));
            row.clear();
        } else if (std::isxdigit(c)) {
            const int nibble = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
            for (int bit = 3; bit >= 0; --bit) row.push_back((nibble >> bit) & 1 ? '1' : '0');
        } else if (c != ' ') {
            row.push_back(static_cast<char>(c));  // an error message, kept for the failure
        }
    }
    return rows;
}

std::string modulesOfValues(const extended::Values& values) {
    std::string modules;
    for (const std::int16_t value : values) modules += code128::symbolCharacter(value);
    return modules;
}

// Our symbol in zint's terms: modules (wide ITF-14 elements three modules, as zint dumps them)
// or, for Intelligent Mail, one letter per bar.
std::string ours(ExtendedType type, const std::string& data) {
    extended::Values values;
    switch (type) {
        case ExtendedType::Code_128_Auto:
            extended::planCode128Text(data, values);
            return modulesOfValues(values);
        case ExtendedType::GS1_128:
            extended::planCode128(extended::parseGs1(data).codes, values);
            return modulesOfValues(values);
        case ExtendedType::Intelligent_Mail: {
            const auto bars = extended::intelligentMailBars(data);
            return {bars.begin(), bars.end()};
        }
        default:
            break;
    }
    DrawingArguments arguments;
    arguments.pText = 0;
    arguments.pRatio = "0";  // ITF-14 without bearer bars, which zint does not dump
    const auto drawing = draw(type, data, arguments);
    EXPECT_EQ(drawing.result, 0);
    auto boxes = drawing.surface.boxes();
    if (type != ExtendedType::ITF_14) {
        const std::string modules = testing::modulesOf(boxes, arguments.pWidth);
        return modules.substr(0, modules.find_last_of('1') + 1);
    }
    std::string modules;  // between the quiet zones
    for (std::size_t i = 1; i + 1 < boxes.size(); ++i)
        modules.append(testing::widthOf(boxes[i]) == arguments.pWidth ? 1 : 3,
                       testing::isBar(boxes[i]) ? '1' : '0');
    return modules;
}

std::string theirs(int symbology, const std::string& data) {
    const std::vector<std::string> rows = zintRows(symbology, data);
    if (rows.size() != 3) return rows.empty() ? "no output from zint" : rows[0];
    std::string bars;  // ascender row, tracker row, descender row; a bar every other column
    for (std::size_t column = 0; column < 129; column += 2) {
        const auto at = [&](const std::string& row) {
            return column < row.size() && row[column] == '1';
        };
        bars.push_back(at(rows[0]) ? (at(rows[2]) ? 'F' : 'A') : (at(rows[2]) ? 'D' : 'T'));
    }
    return bars;
}

struct AgainstZint {
    const char* name;
    ExtendedType type;
    std::string data;
    int zintSymbology;
    std::string zintData = {};  // when zint spells the data otherwise
};

const AgainstZint againstZint[] = {
    {"Code128Text", ExtendedType::Code_128_Auto, "Ship-ID 2026/12/07 #0042", 20},
    {"Code128DigitsFirst", ExtendedType::Code_128_Auto, "1234567AB", 20},
    {"Code128DigitRunInside", ExtendedType::Code_128_Auto, "AB123456cd", 20},
    {"Code128ControlAndLower", ExtendedType::Code_128_Auto, "AB\tCD", 20},
    {"Code128StartsInSetA", ExtendedType::Code_128_Auto, "\tabc", 20},
    {"Code128Fnc4Latch", ExtendedType::Code_128_Auto, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9x", 20},
    {"Gs1Fixed", ExtendedType::GS1_128, "(01)09501101530003(17)260101(10)ABC123", 16,
     "[01]09501101530003[17]260101[10]ABC123"},
    {"Gs1VariableInside", ExtendedType::GS1_128, "(10)12345(3103)000189(21)A1", 16,
     "[10]12345[3103]000189[21]A1"},
    {"Gs1SquareBrackets", ExtendedType::GS1_128, "[10]A(B)C[21]12", 16},
    {"Gs1Sscc", ExtendedType::GS1_128, "(00)106141411234567897", 16, "[00]106141411234567897"},
    {"Itf14Computed", ExtendedType::ITF_14, "1540014128876", 89},
    {"Itf14Verified", ExtendedType::ITF_14, "00012345678905", 89, "0001234567890"},
    {"Ean13TwoDigits", ExtendedType::EAN_13_AddOn, "9771234567003+05", 13},
    {"Ean13FiveDigits", ExtendedType::EAN_13_AddOn, "978030640615+51299", 13},
    {"UpcATwoDigits", ExtendedType::UPC_A_AddOn, "03600029145+12", 34},
    {"UpcAFiveDigits", ExtendedType::UPC_A_AddOn, "036000291452+90000", 34, "03600029145+90000"},
    {"UpcETwoDigits", ExtendedType::UPC_E_AddOn, "425261+07", 37, "0425261+07"},
    {"UpcEFiveDigits", ExtendedType::UPC_E_AddOn, "0425261+12345", 37},
    {"UpcENumberSystem1", ExtendedType::UPC_E_AddOn, "1425261+24", 37},
    {"ImbNoRouting", ExtendedType::Intelligent_Mail, "00040123456200800001", 85},
    {"ImbFiveDigits", ExtendedType::Intelligent_Mail, "01234567094987654321-01234", 85},
    {"ImbNineDigits", ExtendedType::Intelligent_Mail, "01234567094987654321 012345678", 85,
     "01234567094987654321-012345678"},
    {"ImbElevenDigits", ExtendedType::Intelligent_Mail, "0123456709498765432101234567891", 85,
     "01234567094987654321-01234567891"},
    {"ImbLargest", ExtendedType::Intelligent_Mail, "94999999999999999999-99999999999", 85},
};

TEST(Extended, MatchesZintBarForBar) {
    for (const AgainstZint& row : againstZint) {
        SCOPED_TRACE(row.name);
        const std::string expected =
            theirs(row.zintSymbology, row.zintData.empty() ? row.data : row.zintData);
        const std::string actual = ours(row.type, row.data);
        // Code 128 may find a shorter mix of sets than zint; as long, it must be zint's.
        if (actual.size() < expected.size() &&
            (row.type == ExtendedType::Code_128_Auto || row.type == ExtendedType::GS1_128))
            continue;
        EXPECT_EQ(actual, expected);
    }
}

// Code 128 needs no set letter and is never longer than the one set that holds the data.
TEST(Extended, Code128ChoosesTheShortestSets) {
    const struct {
        const char* name;
        std::string data;
        std::size_t values;  // start, data and function characters, check, stop
    } rows[] = {
        {"SetBAlone", "Ship-ID", 10},
        {"DigitsInSetC", "00420042", 7},
        {"MixedShorterThanSetB", "Ship-ID 2026/12/07 #0042", 26},
        {"OddDigitRun", "12345", 7},
        {"ShiftForOneControl", "ab\tcd", 9},
        {"Latin1ByFnc4", "caf\xC3\xA9", 8},
        {"Fnc4LatchForALongRun", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        extended::Values values;
        extended::planCode128Text(row.data, values);
        EXPECT_EQ(values.size(), row.values);
    }
}

// Where plans of the same length compete, the one chosen, value for value: FNC4 latched and
// unlatched around set C, SHIFT against a change, odd digit runs, FNC1 inside a run. Each code
// is one UTF-16 unit, U+0100 standing for FNC1.
TEST(Extended, Code128PlansTheSameValuesWhereTheyTie) {
    const struct {
        const char* name;
        std::u16string data;
        std::vector<std::int16_t> values;  // start to stop
    } rows[] = {
        {"DigitsWhileLatched",
         u"\u00E9\u00E9\u00E9\u00E91234\u00E9\u00E9",
         {104, 100, 100, 73, 73, 73, 73, 99, 12, 34, 100, 73, 73, 33, 106}},
        {"LowCodeWhileLatched",
         u"\u00E9\u00E9\u00E9\u00E9a\u00E9\u00E9",
         {104, 100, 100, 73, 73, 73, 73, 100, 65, 73, 73, 102, 106}},
        {"ShiftWhileLatched",
         u"\u00E9\u00E9\u00E9\u00E9\u0089\u00E9",
         {104, 100, 100, 73, 73, 73, 73, 98, 73, 73, 40, 106}},
        {"ShiftsBetweenLower", u"a\tb\tc", {104, 65, 98, 73, 66, 98, 73, 67, 82, 106}},
        {"ControlFirst", u"\ta\tb", {103, 73, 98, 65, 73, 98, 66, 97, 106}},
        {"OddRunFirst", u"12345", {105, 12, 34, 100, 21, 54, 106}},
        {"OddRunLast", u"A12345", {104, 33, 17, 99, 23, 45, 64, 106}},
        {"HighControls", u"\u0080\u0081", {103, 101, 64, 101, 65, 71, 106}},
        {"Fnc1InsideARun", u"\u010012\u01003456", {105, 102, 12, 102, 34, 56, 26, 106}},
        {"Fnc1AfterAnOddRun", u"\u0100123\u010045", {104, 102, 17, 99, 23, 102, 45, 70, 106}},
        {"PairsBetweenLatin1",
         u"\u00E912\u00E934\u00E9",
         {104, 100, 73, 17, 18, 100, 73, 19, 20, 100, 73, 38, 106}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        extended::Codes codes;
        for (const char16_t code : row.data) codes.push_back(static_cast<std::int16_t>(code));
        extended::Values values;
        extended::planCode128(codes, values);
        EXPECT_EQ(std::vector<std::int16_t>(values.begin(), values.end()), row.values);
    }
}

// pRatio gives ITF-14's bearer bars: width in modules, then a frame or only top and bottom.
TEST(Extended, Itf14BearersAsTheRatioSays) {
    const struct {
        std::string ratio;
        std::int16_t result;
        int alongTheSymbol;  // top and bottom bearers
        int atTheSides;      // full-height vertical bearers
    } rows[] = {
        {"0", 0, 0, 0},
        {"2:bars", 0, 2, 0},
        {"2:frame", 0, 2, 2},
        {"3:1", 0, 2, 2},
        {"3:0", 0, 2, 0},
        {"3", 0, 2, 2},
        {"x", error::invalidArgument, 0, 0},
        {"11:frame", error::invalidArgument, 0, 0},
        {"2:round", error::invalidArgument, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ratio);
        DrawingArguments arguments;
        arguments.pRatio = row.ratio;
        const auto drawing = draw(ExtendedType::ITF_14, "1540014128876", arguments);
        ASSERT_EQ(drawing.result, row.result);
        int along = 0, sides = 0;
        for (const RecordedBox& box : drawing.surface.boxes()) {
            along += testing::widthOf(box) > 100 * arguments.pWidth;
            sides += box.y1 == 0 && box.y2 > arguments.pHeight;
        }
        EXPECT_EQ(along, row.alongTheSymbol);
        EXPECT_EQ(sides, row.atTheSides);
    }
}

TEST(Extended, RefusesDataItCannotEncode) {
    const struct {
        ExtendedType type;
        std::string data;
        std::string_view id;
    } rows[] = {
        {ExtendedType::Code_128_Auto, "", "code128.empty"},
        {ExtendedType::Code_128_Auto, "\xE2\x82\xAC", "code128.character"},
        {ExtendedType::GS1_128, "0109501101530003", "gs1.form"},
        {ExtendedType::GS1_128, "(01)09501101530004", "gs1.check-digit"},
        {ExtendedType::GS1_128, "(01)0950110153000", "gs1.length"},
        {ExtendedType::GS1_128, "(17)261301", "gs1.date"},
        {ExtendedType::GS1_128, "(17)260230", "gs1.date"},
        {ExtendedType::GS1_128, "(7003)2601011260", "gs1.time"},
        {ExtendedType::GS1_128, "(10)AB#1", "gs1.character"},
        {ExtendedType::GS1_128, "(3103)00018A", "gs1.digits"},
        {ExtendedType::GS1_128, "(3106)000189", "gs1.unknown-ai"},
        {ExtendedType::GS1_128, "(10)", "gs1.empty"},
        {ExtendedType::ITF_14, "154001412887", "itf14.length"},
        {ExtendedType::ITF_14, "15400141288767", "itf14.check-digit"},
        {ExtendedType::ITF_14, "154001412887X", "itf14.digits"},
        {ExtendedType::EAN_13_AddOn, "9771234567004+05", "addon.check-digit"},
        {ExtendedType::EAN_13_AddOn, "9771234567003+123", "addon.length"},
        {ExtendedType::UPC_A_AddOn, "0360002914+12", "addon.length"},
        {ExtendedType::UPC_E_AddOn, "2425261+12", "addon.number-system"},
        {ExtendedType::UPC_E_AddOn, "42526A+12", "addon.digits"},
        {ExtendedType::Intelligent_Mail, "0123456709498765432101", "imb.length"},
        {ExtendedType::Intelligent_Mail, "01234567094987654321-0123X", "imb.digits"},
        {ExtendedType::Intelligent_Mail, "05234567094987654321", "imb.barcode-id"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.data);
        const auto problem = checkExtendedData(row.type, row.data);
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->id, row.id) << problem->message;
        // The method refuses the same data before it draws a box.
        const auto drawing = draw(row.type, row.data);
        EXPECT_EQ(drawing.result, error::invalidArgument);
        EXPECT_TRUE(drawing.surface.boxes().empty());
    }
}

}  // namespace
}  // namespace quillet
