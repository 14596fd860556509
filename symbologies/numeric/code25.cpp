// Interleaved 2 of 5: digits in pairs, the first digit of a pair in the widths of five bars and
// the second in the five spaces between them, between a narrow start and a wide-bar stop. A
// leading "0" makes the digit count even, counting the optional modulo-10 check digit; neither
// the "0" nor the check digit reaches the text or the caller's variable.
#include <array>
#include <string>

#include "render/check_sum.h"
#include "render/numeric.h"
#include "symbologies/numeric/two_of_five.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

constexpr bool isDigit(char32_t character) noexcept {
    return character >= U'0' && character <= U'9';
}

// Weights 3, 1, 3, ... from the left; the string has odd length, so its last digit weighs 3.
char checkDigit(std::u32string_view encoded) {
    CheckSum<10> sum;
    for (std::size_t i = 0; i < encoded.size(); ++i)
        sum.add(digitValue(encoded[i]), i % 2 == 0 ? 3 : 1);
    return static_cast<char>('0' + (10 - sum.residue()) % 10);
}

// A non-digit has no pattern: the type mismatch the digit conversion of the pair would raise,
// after the pairs before it are painted.
std::string_view patternOf(char32_t character, PatternRun& run) {
    if (!isDigit(character)) {
        run.fail(error::typeMismatch);
    }
    return two_of_five::patterns[static_cast<std::size_t>(digitValue(character))];
}

}  // namespace

std::int16_t drawCode25(const Arguments& args) {
    const ElementWidths widths{args.pWidth, parseRatio(args.pRatio)};
    Characters encoded;
    decodeTrimmed(args.pCode, encoded);
    if (args.pChk == (encoded.size() % 2 == 0)) encoded.insertFront(U'0');
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        if (args.pChk) encoded.push_back(static_cast<char32_t>(checkDigit(encoded)));

        const Band band = frame.normalBand();
        PatternRun run(frame, widths, band);
        run.add(two_of_five::startElements);
        for (std::size_t i = 0; i + 1 < encoded.size(); i += 2) {
            const std::string_view bars = patternOf(encoded[i], run);
            const std::string_view spaces = patternOf(encoded[i + 1], run);
            const std::array<char, 10> pair = two_of_five::interleave(bars, spaces);
            run.add(pair);
        }
        run.add(two_of_five::stopElements);
        run.paint();
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
