// MSI: a start, every digit as its four bits (most significant first, a 0 bit a narrow bar and a
// wide space, a 1 bit a wide bar and a narrow space) and a stop, with no gap between digits. An
// optional modulo-10 check digit is appended to the symbol and to the caller's variable.
#include <array>
#include <string>

#include "render/check_sum.h"
#include "render/numeric.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

// "1" wide, "0" narrow; bar, space, bar, ... Indexed by digit value.
constexpr std::array<std::string_view, 10> patterns = {
    "01010101", "01010110", "01011001", "01011010", "01100101",
    "01100110", "01101001", "01101010", "10010101", "10010110"};

static_assert([] {
    for (std::size_t digit = 0; digit < patterns.size(); ++digit) {
        if (patterns[digit].size() != 8) return false;
        for (std::size_t bit = 0; bit < 4; ++bit) {
            const bool set = (digit >> (3 - bit)) & 1U;
            if (patterns[digit].substr(2 * bit, 2) != (set ? "10" : "01")) return false;
        }
    }
    return true;
}());

constexpr std::array<PatternBlock, patterns.size()> blocks = patternBlocks(patterns);

constexpr std::string_view startElements = "10";  // wide bar, narrow space
constexpr std::string_view stopElements = "010";  // narrow bar, wide space, narrow bar

// The alternate characters ending with the last one form a number that is doubled, and the
// digits of the double are added to the other characters. The double's digit sum is taken digit
// by digit, exact for data of any length: 2d for a digit below 5, and 2d - 9 from 5 on, where
// the double carries 1 into the next place. A non-digit counts 0 wherever it stands.
char checkDigit(std::u32string_view data) {
    CheckSum<10> sum;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int digit = digitValue(data[i]);
        const bool doubled = (data.size() - i) % 2 == 1;
        sum.add(!doubled ? digit : digit < 5 ? 2 * digit : 2 * digit - 9);
    }
    return static_cast<char>('0' + (10 - sum.residue()) % 10);
}

}  // namespace

std::int16_t drawMsi(const Arguments& args) {
    const Ratio extras = parseRatio(args.pRatio);
    // Neither product is drawn with, but one beyond 16 bits still fails the call at this point.
    multiply16(extras.wideExtra, args.pWidth);
    multiply16(extras.narrowExtra, args.pWidth);
    const ElementWidths widths{args.pWidth, extras};
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        Characters data;
        decodeUtf8(args.pCode, data);
        if (args.pChk) {
            const char check = checkDigit(data);
            args.pCode.push_back(check);
            data.push_back(static_cast<char32_t>(check));
        }

        const Band band = frame.normalBand();
        PatternRun run(frame, widths, band);
        run.add(startElements);
        for (char32_t character : data)
            run.add(blocks[static_cast<std::size_t>(digitValue(character))]);
        run.add(stopElements);
        run.paint();
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
