// EAN-8: seven data digits and a check digit, four in L and four in R between the guards, every
// digit written under its own field; nothing stands left of the start guard.
#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet {

std::int16_t drawEan8(const Arguments& args) {
    using namespace ean_upc;
    Characters digits;
    normalise(args.pCode, 7, digits);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        digits.push_back(checkDigit(digits));
        const std::optional<float> textRow = digitTextRow(frame);
        const Band guards = frame.longBand();
        const Band data = frame.normalBand();
        frame.proveModules(symbolModules(8));
        frame.paintModules(startGuard, guards);
        for (std::size_t k = 0; k <= 3; ++k) paintDigit(frame, digits[k], bitsL, data, textRow);
        frame.paintModules(centreGuard, guards);
        for (std::size_t k = 4; k <= 7; ++k) paintDigit(frame, digits[k], bitsR, data, textRow);
        frame.paintModules(endGuard, guards);
    });
}

}  // namespace quillet
