// UPC-A Plus: the UPC-A symbol in a flat layout. Every bar is pHeight high; the number-system
// digit is written from the rounded pX with the start guard right where its text ends, and the
// check digit under the end guard, ending at the symbol's right edge. No add-on is drawn.
#include "symbologies/ean_upc/tables.h"
#include "symbologies/ean_upc/upca.h"
#include "symbologies/symbologies.h"

namespace quillet {

std::int16_t drawUpcAPlus(const Arguments& args) {
    Characters digits;
    ean_upc::normalise(args.pCode, upca::dataLength, digits);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        digits.push_back(ean_upc::checkDigit(digits));
        const bool withText = args.pText != 0;
        if (withText) {
            const CharacterText numberSystem(digits[0]);
            frame.writeAtRunningX(numberSystem);
            frame.advancePastText(numberSystem);
        }
        upca::paintSymbol(frame, digits, upca::Bars::flat);
        if (withText) {
            // Placed by the width of "0", whatever the check digit is, and not rounded.
            const double x = frame.runningX() - frame.surface().textWidth("0");
            frame.writeText(x, frame.textRow(), CharacterText(digits[11]));
        }
        frame.advance(args.pWidth);
    });
}

}  // namespace quillet
