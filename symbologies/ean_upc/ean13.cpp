// EAN-13: twelve data digits and a check digit. The leading digit has no pattern of its own: it
// chooses L or G for each left-half digit and is written left of the start guard, without a gap.
#include "symbologies/ean_upc/ean13.h"

#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet::ean13 {

void paintSymbol(Frame& frame, std::u32string_view digits, Coordinate leadingTextX, float offset) {
    using namespace ean_upc;
    const bool withText = frame.arguments().pText != 0;
    const CharacterText leading(digits[0]);
    if (withText) {
        frame.writeText(leadingTextX, frame.textRow(offset), leading);
        frame.advancePastText(leading);
    }
    const Band guards = frame.longBand(offset);
    const Band data = frame.normalBand(offset);
    const std::optional<float> textRow = digitTextRow(frame, offset);
    frame.proveModules(symbolModules(12));
    frame.paintModules(startGuard, guards);
    const std::string_view parity = ean13Parity[static_cast<std::size_t>(digitValue(digits[0]))];
    for (std::size_t k = 1; k <= 6; ++k)
        paintDigit(frame, digits[k], leftBits(parity[k - 1]), data, textRow);
    frame.paintModules(centreGuard, guards);
    for (std::size_t k = 7; k <= 12; ++k) paintDigit(frame, digits[k], bitsR, data, textRow);
    frame.paintModules(endGuard, guards);
}

}  // namespace quillet::ean13

namespace quillet {

std::int16_t drawEan13(const Arguments& args) {
    Characters digits;
    ean_upc::normalise(args.pCode, ean13::dataLength, digits);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        digits.push_back(ean_upc::checkDigit(digits));
        // The leading digit's text starts at pX itself, unrounded.
        ean13::paintSymbol(frame, digits, args.pX);
    });
}

}  // namespace quillet
