// UPC-A: a number-system digit, ten data digits and a check digit in 95 modules. The outer two
// digits are drawn with long bars and written outside the guards: the number-system digit at
// pX with a 10-unit gap before the start guard, the check digit right after the end guard.
#include "symbologies/ean_upc/upca.h"

#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet::upca {
namespace {

// The outer digits take their depth pHeight + pHeight \ 6 as one 16-bit sum, so a pHeight near
// the top of the range overflows at the first outer digit, after the start guard (whose depth
// is summed in single precision) has been painted.
Band outerDigitBand(const Frame& frame) {
    const Arguments& args = frame.arguments();
    const std::int16_t depth = add16(args.pHeight, frame.longTerm());
    return {args.pY, args.pY + static_cast<float>(depth)};
}

}  // namespace

void paintSymbol(Frame& frame, std::u32string_view digits, Bars bars) {
    using namespace ean_upc;
    const bool lengthened = bars == Bars::lengthened;
    const Band data = frame.normalBand();
    const Band guards = lengthened ? frame.longBand() : data;
    const auto outerDigits = [&] { return lengthened ? outerDigitBand(frame) : data; };
    const std::optional<float> textRow = digitTextRow(frame);

    frame.proveModules(symbolModules(12));
    frame.paintModules(startGuard, guards);
    paintDigit(frame, digits[0], bitsL, outerDigits(), std::nullopt);
    for (std::size_t k = 1; k <= 5; ++k) paintDigit(frame, digits[k], bitsL, data, textRow);
    frame.paintModules(centreGuard, guards);
    for (std::size_t k = 6; k <= 10; ++k) paintDigit(frame, digits[k], bitsR, data, textRow);
    paintDigit(frame, digits[11], bitsR, outerDigits(), std::nullopt);
    frame.paintModules(endGuard, guards);
}

void paintWithOuterTexts(Frame& frame, std::u32string_view digits) {
    const bool withText = frame.arguments().pText != 0;
    if (withText) {
        const CharacterText numberSystem(digits[0]);
        frame.writeText(frame.arguments().pX, frame.textRow(), numberSystem);
        frame.advancePastText(numberSystem, 10);
    }
    paintSymbol(frame, digits, Bars::lengthened);
    if (withText) frame.writeAtRunningX(CharacterText(digits[11]));
}

}  // namespace quillet::upca

namespace quillet {

std::int16_t drawUpcA(const Arguments& args) {
    Characters digits;
    ean_upc::normalise(args.pCode, upca::dataLength, digits);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        digits.push_back(ean_upc::checkDigit(digits));
        upca::paintWithOuterTexts(frame, digits);
        // The running x ends one module past the symbol; only an overflow of that step shows.
        frame.advance(args.pWidth);
    });
}

}  // namespace quillet
