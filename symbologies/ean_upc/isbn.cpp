// ISBN: the EAN-13 symbol of "978" and the nine digits of a ten-digit book number, with a
// caption "ISBN d-dddddd-dd-c" above it. The caption's c is the book number's own modulo-11
// check character ("X" for ten); the bars carry the EAN-13 check digit.
#include <algorithm>
#include <array>

#include "symbologies/ean_upc/ean13.h"
#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

constexpr std::size_t bookNumberLength = 9;

// Weights 10 down to 2 from the first character to the ninth. Nine digits weigh at most 486,
// so the sum needs no overflow check.
char32_t isbnCheckCharacter(std::u32string_view data) {
    int sum = 0;
    for (int position = 1; position <= 9; ++position)
        sum += (position + 1) * digitValue(data[static_cast<std::size_t>(9 - position)]);
    const int check = (11 - sum % 11) % 11;
    return check == 10 ? U'X' : static_cast<char32_t>(U'0' + check);
}

// Always grouped 1-6-2, whatever the number's real registration groups are. Nine characters of
// up to four bytes each, "ISBN ", three hyphens and the check character fit in 64 bytes.
using Caption = std::array<char, 64>;
std::string_view caption(std::u32string_view data, Caption& text) {
    char* out = text.data();
    const auto put = [&](char32_t character) {
        if (character < 0x80) {
            *out++ = static_cast<char>(character);
            return;
        }
        const CharacterText bytes(character);
        out = std::copy_n(bytes.view().data(), bytes.view().size(), out);
    };
    for (const char32_t character : std::u32string_view(U"ISBN ")) put(character);
    for (std::size_t k = 0; k < bookNumberLength; ++k) {
        if (k == 1 || k == 7) put(U'-');
        put(data[k]);
    }
    put(U'-');
    put(isbnCheckCharacter(data));
    return {text.data(), static_cast<std::size_t>(out - text.data())};
}

}  // namespace

std::int16_t drawIsbn(const Arguments& args) {
    Characters data;
    ean_upc::normalise(args.pCode, bookNumberLength, data);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        // The caption stands at pY and pushes the whole symbol down by its height and 4 units.
        std::int16_t offset = 0;
        if (args.pText != 0) {
            Caption text;
            frame.writeText(frame.runningX(), args.pY, caption(data, text));
            offset = roundToInt16(frame.surface().textHeight("I") + 4);
        }
        Characters digits;
        digits.append(U"978", 3);
        digits.append(data.data(), data.size());
        // The caller's variable already holds the book number's digits as written.
        args.pCode.insert(0, "978");
        digits.push_back(ean_upc::checkDigit(digits));
        // Unlike EAN-13, the leading "9" starts at the rounded pX, under the caption's start.
        ean13::paintSymbol(frame, digits, frame.runningX(), static_cast<float>(offset));
    });
}

}  // namespace quillet
