// ISBN: the EAN-13 symbol of "978" and the nine digits of a ten-digit book number, with a
// caption "ISBN d-dddddd-dd-c" above it. The caption's c is the book number's own modulo-11
// check character ("X" for ten); the bars carry the EAN-13 check digit.
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

// Always grouped 1-6-2, whatever the number's real registration groups are.
using Caption = SmallBuffer<char, 64>;
std::string_view caption(std::u32string_view data, Caption& text) {
    const auto append = [&](std::u32string_view characters) {
        for (char32_t character : characters) {
            if (character < 0x80) {
                text.push_back(static_cast<char>(character));
                continue;
            }
            const CharacterText bytes(character);  // the view below points into it
            text.append(bytes.view().data(), bytes.view().size());
        }
    };
    append(U"ISBN ");
    append(data.substr(0, 1));
    append(U"-");
    append(data.substr(1, 6));
    append(U"-");
    append(data.substr(7, 2));
    append(U"-");
    const char32_t check = isbnCheckCharacter(data);
    append({&check, 1});
    return {text.data(), text.size()};
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
        assignUtf8(args.pCode, digits);
        digits.push_back(ean_upc::checkDigit(digits));
        // Unlike EAN-13, the leading "9" starts at the rounded pX, under the caption's start.
        ean13::paintSymbol(frame, digits, frame.runningX(), static_cast<float>(offset));
    });
}

}  // namespace quillet
