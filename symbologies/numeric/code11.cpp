// Code 11: the start/stop character, the data (with the check characters C and K when asked
// for) and the start/stop character again, every character five elements (three bars, two
// spaces) followed by a narrow space, the last one too. The text is the data with C and K.
#include <array>
#include <string>

#include "render/check_sum.h"
#include "render/numeric.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

// "1" wide, "0" narrow; bar, space, bar, space, bar. Indexed by value: "0" to "9", "-", start/stop.
constexpr std::array<std::string_view, 12> patterns = {"00001", "10001", "01001", "11000",
                                                       "00101", "10100", "01100", "00011",
                                                       "10010", "10000", "00100", "00110"};
constexpr std::size_t hyphenValue = 10;
constexpr std::size_t startStop = 11;
constexpr std::int32_t checkModulus = 11;

static_assert([] {
    for (auto elements : patterns) {
        int wide = 0;
        for (char element : elements) wide += element == '1';
        if (elements.size() != 5 || wide < 1 || wide > 2) return false;
    }
    return true;
}());

// The published weights restart from 1 after 10 for C and after 9 for K.
constexpr std::int32_t cWeightCycle = 10;
constexpr std::int32_t kWeightCycle = 9;

constexpr std::array<PatternBlock, 12> blocks = patternBlocks(patterns);

// Any character other than a digit or "-" is drawn as "0": Code 11 data is never rejected.
const PatternBlock& patternOf(char32_t character) {
    return blocks[character == U'-' ? hyphenValue
                                    : static_cast<std::size_t>(digitValue(character))];
}

// In the check sums a character that is neither a digit nor "-" counts with its own code.
std::int32_t checkValue(char32_t character) {
    if (character >= U'0' && character <= U'9') return digitValue(character);
    if (character == U'-') return static_cast<std::int32_t>(hyphenValue);
    return singleByteCode(character);
}

constexpr char checkCharacter(std::int32_t value) {
    return value == static_cast<std::int32_t>(hyphenValue) ? '-' : static_cast<char>('0' + value);
}

struct CheckCharacters {
    char c;
    char k;
};

// Weights count from the right; K weighs C with 1, so the data's K weights start at 2. Both
// sums are kept modulo 11, so long data never overflows them.
CheckCharacters checkCharacters(std::u32string_view data) {
    CheckSum<checkModulus> cSum;
    CheckSum<checkModulus> kSum;
    std::int32_t cWeight = 1;
    std::int32_t kWeight = 2;
    for (auto it = data.rbegin(); it != data.rend(); ++it) {
        const std::int32_t value = checkValue(*it);
        cSum.add(value, cWeight);
        kSum.add(value, kWeight);
        cWeight = cWeight == cWeightCycle ? 1 : cWeight + 1;
        kWeight = kWeight == kWeightCycle ? 1 : kWeight + 1;
    }
    kSum.add(cSum.residue());
    return {checkCharacter(cSum.residue()), checkCharacter(kSum.residue())};
}

}  // namespace

std::int16_t drawCode11(const Arguments& args) {
    const ElementWidths widths{args.pWidth, parseRatio(args.pRatio)};
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        Characters data;
        decodeUtf8(args.pCode, data);
        if (args.pChk) {
            // Both sums are complete before the caller's variable changes.
            const auto check = checkCharacters(data);
            for (char character : {check.c, check.k}) {
                args.pCode.push_back(character);
                data.push_back(static_cast<char32_t>(character));
            }
        }

        // The start/stop character, the data, the start/stop character again, as one run.
        const Band band = frame.normalBand();
        PatternRun run(frame, widths, band);
        run.addWithNarrowSpace(blocks[startStop]);
        for (const char32_t character : data) run.addWithNarrowSpace(patternOf(character));
        run.addWithNarrowSpace(blocks[startStop]);
        run.paint();
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
