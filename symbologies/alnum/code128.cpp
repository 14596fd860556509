// Code 128 in the one code set the caller names with the first character of pCode: start
// character, the data characters, optionally the modulo-103 check character, and the stop
// character with its termination bar. Sets A and B write each data character under the left
// edge of its own bars; set C centres the digits below the symbol.
#include "symbologies/alnum/code128.h"

#include <array>
#include <cstdint>
#include <string>

#include "render/check_sum.h"
#include "render/numeric.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

// Indexed by value: 0..102 data and function characters, 103..105 the start characters of
// sets A, B and C, 106 the stop character with its two-module termination bar.
constexpr std::array<std::string_view, 107> symbolCharacters = {
    "11011001100", "11001101100",  "11001100110", "10010011000", "10010001100",  // 0-4
    "10001001100", "10011001000",  "10011000100", "10001100100", "11001001000",  // 5-9
    "11001000100", "11000100100",  "10110011100", "10011011100", "10011001110",  // 10-14
    "10111001100", "10011101100",  "10011100110", "11001110010", "11001011100",  // 15-19
    "11001001110", "11011100100",  "11001110100", "11101101110", "11101001100",  // 20-24
    "11100101100", "11100100110",  "11101100100", "11100110100", "11100110010",  // 25-29
    "11011011000", "11011000110",  "11000110110", "10100011000", "10001011000",  // 30-34
    "10001000110", "10110001000",  "10001101000", "10001100010", "11010001000",  // 35-39
    "11000101000", "11000100010",  "10110111000", "10110001110", "10001101110",  // 40-44
    "10111011000", "10111000110",  "10001110110", "11101110110", "11010001110",  // 45-49
    "11000101110", "11011101000",  "11011100010", "11011101110", "11101011000",  // 50-54
    "11101000110", "11100010110",  "11101101000", "11101100010", "11100011010",  // 55-59
    "11101111010", "11001000010",  "11110001010", "10100110000", "10100001100",  // 60-64
    "10010110000", "10010000110",  "10000101100", "10000100110", "10110010000",  // 65-69
    "10110000100", "10011010000",  "10011000010", "10000110100", "10000110010",  // 70-74
    "11000010010", "11001010000",  "11110111010", "11000010100", "10001111010",  // 75-79
    "10100111100", "10010111100",  "10010011110", "10111100100", "10011110100",  // 80-84
    "10011110010", "11110100100",  "11110010100", "11110010010", "11011011110",  // 85-89
    "11011110110", "11110110110",  "10101111000", "10100011110", "10001011110",  // 90-94
    "10111101000", "10111100010",  "11110101000", "11110100010", "10111011110",  // 95-99
    "10111101110", "11101011110",  "11110101110", "11010000100", "11010010000",  // 100-104
    "11010011100", "1100011101011"};                                             // 105-106
constexpr std::int16_t stopValue = 106;

// Every character is eleven modules in three bars and three spaces, beginning with a bar, with
// an even number of bar modules; the stop character adds the two-module termination bar.
constexpr bool isSymbolCharacter(std::string_view modules) {
    int bars = 0;
    int barModules = 0;
    for (std::size_t i = 0; i < modules.size(); ++i) {
        bars += modules[i] == '1' && (i == 0 || modules[i - 1] == '0');
        barModules += modules[i] == '1';
    }
    return modules.size() == 11 && modules.front() == '1' && modules.back() == '0' && bars == 3 &&
           barModules % 2 == 0;
}
static_assert([] {
    for (std::int16_t value = 0; value < stopValue; ++value)
        if (!isSymbolCharacter(symbolCharacters[static_cast<std::size_t>(value)])) return false;
    return symbolCharacters[stopValue] == "1100011101011";
}());

// A value that is not in the table, such as a set B control character, is the index error.
std::string_view symbolCharacter(std::int16_t value) {
    if (value < 0 || value > stopValue) raise(error::subscriptOutOfRange);
    return symbolCharacters[static_cast<std::size_t>(value)];
}

enum class CodeSet : std::int16_t { a = 0, b = 1, c = 2 };

// The start character's value is also the check sum's starting value.
constexpr std::int16_t startValue(CodeSet set) {
    return static_cast<std::int16_t>(103 + static_cast<std::int16_t>(set));
}

// Only "A", "B" and "C" name a code set: any other letter would give a symbol without a start
// character, which no reader accepts, so it is refused before anything is drawn.
CodeSet codeSetNamed(char letter) {
    switch (letter) {
        case 'A':
            return CodeSet::a;
        case 'B':
            return CodeSet::b;
        case 'C':
            return CodeSet::c;
        default:
            raise(error::invalidArgument);
    }
}

// Set A has space to underscore and the control characters; anything above is not in the set.
std::int16_t valueInSetA(char32_t character) {
    const std::int32_t code = singleByteCode(character);
    if (!code128::inSetA(code)) raise(error::invalidUseOfNull);
    return checkedInt16(code < 32 ? code + 64 : code - 32);
}

// Set B is not checked here: a value outside the table fails when it is drawn.
std::int16_t valueInSetB(char32_t character) {
    return subtract16(singleByteCode(character), 32);
}

// A pair that is not two decimal digits would otherwise be read as some other number and
// drawn as if it were the data.
std::int16_t valueOfPair(char32_t tens, char32_t units) {
    if (!code128::inSetC(singleByteCode(tens)) || !code128::inSetC(singleByteCode(units)))
        raise(error::typeMismatch);
    return static_cast<std::int16_t>(digitValue(tens) * 10 + digitValue(units));
}

constexpr std::int16_t checkModulus = 103;

// One value per character in sets A and B, one per pair in set C.
using Values = SmallBuffer<std::int16_t, 256>;

// Each value is weighted by its position from 1, on top of the start value. A value is taken
// and added before the next one is read, so a character outside the set fails before anything
// is drawn. The sum is kept modulo 103, so long data never overflows it.
class WeightedSum {
  public:
    explicit WeightedSum(CodeSet set) : sum_(startValue(set)) {}
    void add(std::int16_t value) {
        ++position_;
        sum_.add(value, position_);
    }
    std::int16_t checkValue() const { return static_cast<std::int16_t>(sum_.residue()); }

  private:
    CheckSum<checkModulus> sum_;
    std::int32_t position_ = 0;
};

// Set C reads an odd length as if a "0" stood in front. Returns the check value.
std::int16_t encode(CodeSet set, std::u32string_view data, Values& values) {
    WeightedSum sum(set);
    const auto take = [&](std::int16_t value) {
        sum.add(value);
        values.push_back(value);
    };
    if (set == CodeSet::c) {
        std::size_t i = 0;
        if (data.size() % 2 != 0) take(valueOfPair(U'0', data[i++]));
        for (; i < data.size(); i += 2) take(valueOfPair(data[i], data[i + 1]));
    } else if (set == CodeSet::a) {
        for (const char32_t character : data) take(valueInSetA(character));
    } else {
        for (const char32_t character : data) take(valueInSetB(character));
    }
    return sum.checkValue();
}

}  // namespace

std::int16_t drawCode128(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        if (args.pCode.empty()) raise(error::invalidArgument);
        const CodeSet set = codeSetNamed(args.pCode.front());
        // The caller's variable keeps the data alone; set C's leading "0" never reaches it.
        args.pCode.erase(0, 1);
        Characters data;
        decodeUtf8(args.pCode, data);
        Values values;
        const std::int16_t checkValue = encode(set, data, values);

        const Band band = frame.normalBand();
        const bool perCharacterText = set != CodeSet::c && args.pText != 0;
        frame.paintModules(symbolCharacter(startValue(set)), band);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (perCharacterText) frame.writeAtRunningX(CharacterText(data[i]));
            frame.paintModules(symbolCharacter(values[i]), band);
        }
        if (args.pChk) frame.paintModules(symbolCharacter(checkValue), band);
        frame.paintModules(symbolCharacter(stopValue), band);
        if (set == CodeSet::c && args.pText != 0) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
