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
#include "symbologies/alnum/code128_table.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

using code128::stopValue;
using code128::symbolBlock;
using code128::symbolCharacter;

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
        PatternRun run(frame, band);
        if (perCharacterText) {
            // A text before every character: nothing to gather until the check character. The
            // start and data characters are proven to fit at once.
            frame.proveModules((values.size() + 1) * code128::characterModules);
            frame.paintModules(symbolCharacter(startValue(set)), band);
            const float textRow = frame.textRow();
            for (std::size_t i = 0; i < values.size(); ++i) {
                frame.writeText(frame.runningX(), textRow, CharacterText(data[i]));
                frame.paintModules(symbolCharacter(values[i]), band);
            }
        } else {
            run.add(symbolBlock(startValue(set), run));
            for (const std::int16_t value : values) run.add(symbolBlock(value, run));
        }
        if (args.pChk) run.add(symbolBlock(checkValue, run));
        run.add(symbolBlock(stopValue, run));
        run.paint();
        if (set == CodeSet::c && args.pText != 0) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
