// Code 93: a start character, the data as symbol characters of nine modules (a character outside
// the direct set as a shift character and a capital letter), optionally the modulo-47 check
// characters C and K, and the stop character with its termination bar; the caller's data is
// centred below, exactly as given.
#include <array>
#include <cstdint>
#include <string>

#include "render/check_sum.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

// Indexed by value: 0..42 the direct set, 43..46 the shift characters ($), (%), (/), (+),
// 47 start, 48 stop followed by the termination bar.
constexpr std::array<std::string_view, 49> symbolCharacters = {
    "100010100", "101001000", "101000100", "101000010", "100101000", "100100100",  // 0-5
    "100100010", "101010000", "100010010", "100001010", "110101000", "110100100",  // 6-11
    "110100010", "110010100", "110010010", "110001010", "101101000", "101100100",  // 12-17
    "101100010", "100110100", "100011010", "101011000", "101001100", "101000110",  // 18-23
    "100101100", "100010110", "110110100", "110110010", "110101100", "110100110",  // 24-29
    "110010110", "110011010", "101101100", "101100110", "100110110", "100111010",  // 30-35
    "100101110", "111010100", "111010010", "111001010", "101101110", "101110110",  // 36-41
    "110101110", "100100110", "111011010", "111010110", "100110010", "101011110",  // 42-47
    "1010111101"};                                                                 // 48
constexpr std::array<PatternBlock, symbolCharacters.size()> symbolBlocks =
    patternBlocks(symbolCharacters);
constexpr std::size_t startValue = 47;
constexpr std::size_t stopValue = 48;

// Every symbol character is nine modules in three bars and three spaces, beginning with a bar;
// the stop character adds the one-module termination bar.
constexpr bool isSymbolCharacter(std::string_view modules) {
    int bars = 0;
    for (std::size_t i = 0; i < modules.size(); ++i)
        bars += modules[i] == '1' && (i == 0 || modules[i - 1] == '0');
    return modules.size() == 9 && modules.front() == '1' && modules.back() == '0' && bars == 3;
}
static_assert([] {
    for (std::size_t value = 0; value < stopValue; ++value)
        if (!isSymbolCharacter(symbolCharacters[value])) return false;
    return symbolCharacters[stopValue].size() == 10 && symbolCharacters[stopValue].back() == '1';
}());

// The position of a character here is its value.
constexpr std::string_view directSet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
// The first character of a pair names its shift character, values 43..46 in this order.
constexpr std::string_view shiftNames = "$%/+";
constexpr std::size_t firstShiftValue = 43;
static_assert(directSet.size() == firstShiftValue &&
              firstShiftValue + shiftNames.size() == startValue);

// Indexed by character code 0..127: the shift pair of a character outside the direct set, empty
// for the characters of the direct set, which are drawn as themselves.
constexpr std::array<std::string_view, 128> fullAscii = {
    "%U", "$A", "$B", "$C", "$D", "$E", "$F", "$G",   // 0-7
    "$H", "$I", "$J", "$K", "$L", "$M", "$N", "$O",   // 8-15
    "$P", "$Q", "$R", "$S", "$T", "$U", "$V", "$W",   // 16-23
    "$X", "$Y", "$Z", "%A", "%B", "%C", "%D", "%E",   // 24-31
    "",   "/A", "/B", "/C", "",   "",   "/F", "/G",   // 32-39
    "/H", "/I", "/J", "",   "/L", "",   "",   "",     // 40-47
    "",   "",   "",   "",   "",   "",   "",   "",     // 48-55
    "",   "",   "/Z", "%F", "%G", "%H", "%I", "%J",   // 56-63
    "%V", "",   "",   "",   "",   "",   "",   "",     // 64-71
    "",   "",   "",   "",   "",   "",   "",   "",     // 72-79
    "",   "",   "",   "",   "",   "",   "",   "",     // 80-87
    "",   "",   "",   "%K", "%L", "%M", "%N", "%O",   // 88-95
    "%W", "+A", "+B", "+C", "+D", "+E", "+F", "+G",   // 96-103
    "+H", "+I", "+J", "+K", "+L", "+M", "+N", "+O",   // 104-111
    "+P", "+Q", "+R", "+S", "+T", "+U", "+V", "+W",   // 112-119
    "+X", "+Y", "+Z", "%P", "%Q", "%R", "%S", "%T"};  // 120-127

// A pair exactly where the direct set has no character, and every pair a shift and a capital.
static_assert([] {
    for (std::size_t code = 0; code < fullAscii.size(); ++code) {
        const std::string_view pair = fullAscii[code];
        const bool direct = directSet.find(static_cast<char>(code)) != std::string_view::npos;
        if (direct != pair.empty()) return false;
        if (!direct && (pair.size() != 2 || shiftNames.find(pair[0]) == std::string_view::npos ||
                        pair[1] < 'A' || pair[1] > 'Z'))
            return false;
    }
    return true;
}());

// Indexed by character code 0..127: the value a character of the direct set is drawn with, or
// the shift character and letter values of its pair.
struct Translation {
    std::uint8_t first;
    std::uint8_t second;
    bool pair;
};
constexpr std::array<Translation, 128> translations = [] {
    std::array<Translation, 128> table{};
    for (std::size_t code = 0; code < table.size(); ++code) {
        const std::string_view pair = fullAscii[code];
        if (pair.empty()) {
            table[code] = {static_cast<std::uint8_t>(directSet.find(static_cast<char>(code))), 0,
                           false};
        } else {
            table[code] = {static_cast<std::uint8_t>(firstShiftValue + shiftNames.find(pair[0])),
                           static_cast<std::uint8_t>(directSet.find(pair[1])), true};
        }
    }
    return table;
}();

// The values the data is drawn with, left to right; a code above 127 has no entry (9).
using Sequence = SmallBuffer<std::uint8_t, 512>;
void translate(std::u32string_view data, Sequence& sequence) {
    for (const char32_t character : data) {
        const std::int32_t code = singleByteCode(character);
        if (code >= static_cast<std::int32_t>(translations.size()))
            raise(error::subscriptOutOfRange);
        const Translation& translation = translations[static_cast<std::size_t>(code)];
        sequence.push_back(translation.first);
        if (translation.pair) sequence.push_back(translation.second);
    }
}

struct CheckCharacters {
    std::size_t c;
    std::size_t k;
};

constexpr std::int32_t checkModulus = 47;
// Weights count from the rightmost character and start again from 1 after these.
constexpr std::int32_t weightCycleC = 20;
constexpr std::int32_t weightCycleK = 15;

// Both sums are kept modulo 47, so long data never overflows them.
CheckCharacters checkCharacters(const Sequence& sequence) {
    CheckSum<checkModulus> sumC;
    CheckSum<checkModulus> sumK;
    std::int32_t weightC = 1;
    std::int32_t weightK = 2;  // C itself is the rightmost character of K's count, weight 1
    for (std::size_t i = sequence.size(); i-- > 0;) {
        sumC.add(sequence[i], weightC);
        sumK.add(sequence[i], weightK);
        weightC = weightC == weightCycleC ? 1 : weightC + 1;
        weightK = weightK == weightCycleK ? 1 : weightK + 1;
    }
    sumK.add(sumC.residue());
    return {static_cast<std::size_t>(sumC.residue()), static_cast<std::size_t>(sumK.residue())};
}

}  // namespace

std::int16_t drawCode93(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        Characters data;
        decodeUtf8(args.pCode, data);
        Sequence sequence;
        translate(data, sequence);
        const CheckCharacters check = checkCharacters(sequence);

        const Band band = frame.normalBand();
        PatternRun run(frame, band);
        run.add(symbolBlocks[startValue]);
        for (const std::uint8_t value : sequence) run.add(symbolBlocks[value]);
        if (args.pChk) {
            run.add(symbolBlocks[check.c]);
            run.add(symbolBlocks[check.k]);
        }
        run.add(symbolBlocks[stopValue]);
        run.paint();
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
