// POSTNET: a height-modulated postal code. The data, brought to five, six, nine or eleven digits,
// and its modulo-10 check digit stand between two full frame bars; every digit is five bars, two
// of them full and three half height, each bar followed by a space of its own width.
#include <array>
#include <string>

#include "render/numeric.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

// "1" a full bar, "0" a half bar. Indexed by digit value.
constexpr std::array<std::string_view, 10> patterns = {"11000", "00011", "00101", "00110", "01001",
                                                       "01010", "01100", "10001", "10010", "10100"};

static_assert([] {
    for (auto bars : patterns) {
        int full = 0;
        for (char bar : bars) full += bar == '1';
        if (bars.size() != 5 || full != 2) return false;
    }
    return true;
}());
constexpr std::array<PatternBlock, patterns.size()> blocks = patternBlocks(patterns);

// Five-digit ZIP, six digits kept as given, ZIP+4 and the eleven-digit delivery point code;
// any other length is filled with "0" or cut to the nearest of five or nine.
std::size_t normalLength(std::size_t length) noexcept {
    if (length <= 5) return 5;
    if (length == 6 || length == 11) return length;
    return 9;
}

char checkDigit(std::u32string_view data) {
    // Every term is a digit, so the 16-bit sum overflows at some step exactly when the whole does.
    std::int32_t whole = 0;
    for (char32_t character : data) whole += digitValue(character);
    const std::int16_t sum = checkedInt16(whole);
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace

std::int16_t drawPostnet(const Arguments& args) {
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        // A ZIP+4 is written with a hyphen and often with spaces: neither is a digit of the code.
        Characters data;
        const bool ascii = decodeUtf8(args.pCode, data);
        const std::size_t given = data.size();
        data.eraseIf([](char32_t character) { return character == U'-' || character == U' '; });
        const bool kept = ascii && data.size() == given && normalLength(given) == given;
        data.resize(normalLength(data.size()), U'0');
        const char check = checkDigit(data);
        data.push_back(static_cast<char32_t>(check));
        // Plain ASCII kept as given only gains its check digit.
        if (kept) {
            args.pCode.push_back(check);
        } else {
            assignUtf8(args.pCode, data);
        }

        const Band full = frame.normalBand();
        const Band half = frame.halfBand();
        PatternRun run(frame, full, half);
        run.add("1");
        for (char32_t character : data)
            run.add(blocks[static_cast<std::size_t>(digitValue(character))]);
        run.paint();
        frame.paintBox(args.pWidth, full, true);

        if (args.pText == 1) {
            // The text leaves the check digit out, and so does the caller's variable then.
            data.pop_back();
            if (kept) {
                args.pCode.pop_back();
            } else {
                assignUtf8(args.pCode, data);
            }
            frame.centreText(args.pCode);
        }
    });
}

}  // namespace quillet
