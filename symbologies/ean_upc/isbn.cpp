// ISBN: the EAN-13 symbol of "978" and the nine digits of a ten-digit book number, with a
// caption "ISBN d-dddddd-dd-c" above it. The caption's c is the book number's own modulo-11
// check character ("X" for ten); the bars carry the EAN-13 check digit.
#include "symbologies/ean_upc/ean13.h"
#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

constexpr std::size_t bookNumberLength = 9;

// Weights 10 down to 2 from the first character to the ninth.
char32_t isbnCheckCharacter(std::u32string_view data) {
    std::int16_t sum = 0;
    for (std::int16_t position = 1; position <= 9; ++position) {
        const int value = digitValue(data[static_cast<std::size_t>(9 - position)]);
        sum = add16(sum, multiply16(position + 1, value));
    }
    const int check = (11 - sum % 11) % 11;
    return check == 10 ? U'X' : static_cast<char32_t>(U'0' + check);
}

// Always grouped 1-6-2, whatever the number's real registration groups are.
std::string caption(std::u32string_view data) {
    std::u32string text = U"ISBN ";
    text += data.substr(0, 1);
    text += U'-';
    text += data.substr(1, 6);
    text += U'-';
    text += data.substr(7, 2);
    text += U'-';
    text += isbnCheckCharacter(data);
    return encodeUtf8(text);
}

}  // namespace

std::int16_t drawIsbn(const Arguments& args) {
    const std::u32string data = ean_upc::normalise(args.pCode, bookNumberLength);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        // The caption stands at pY and pushes the whole symbol down by its height and 4 units.
        std::int16_t offset = 0;
        if (args.pText != 0) {
            frame.writeText(frame.runningX(), args.pY, caption(data));
            offset = roundToInt16(frame.surface().textHeight("I") + 4);
        }
        std::u32string digits = U"978" + data;
        args.pCode = encodeUtf8(digits);
        digits.push_back(ean_upc::checkDigit(digits));
        // Unlike EAN-13, the leading "9" starts at the rounded pX, under the caption's start.
        ean13::paintSymbol(frame, digits, frame.runningX(), static_cast<float>(offset));
    });
}

}  // namespace quillet
