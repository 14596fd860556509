// UPC-E: the zero-suppressed six-digit body of a number-system-0 UPC-A number. The check digit
// of the expanded number is not drawn as bars: it chooses the parity of the six body digits and
// is written after the end guard, as the number-system digit "0" is written before the start.
#include "symbologies/ean_upc/upce.h"

#include "symbologies/ean_upc/tables.h"
#include "symbologies/symbologies.h"

namespace quillet::upce {

void paintSymbol(Frame& frame, char32_t numberSystem, std::u32string_view body, char32_t check) {
    using namespace ean_upc;
    const bool withText = frame.arguments().pText != 0;
    if (withText) {
        const CharacterText text(numberSystem);
        frame.writeText(frame.arguments().pX, frame.textRow(), text);
        frame.advancePastText(text);
    }
    const Band guards = frame.longBand();
    const Band data = frame.normalBand();
    const std::optional<float> textRow = digitTextRow(frame);
    frame.proveModules(symbolModules(bodyLength, upcEEndGuard, {}));
    frame.paintModules(startGuard, guards);
    const std::string_view parity = upcEParity[static_cast<std::size_t>(digitValue(check))];
    const bool otherParity = numberSystem == U'1';
    for (std::size_t k = 0; k < bodyLength; ++k)
        paintDigit(frame, body[k], leftBits((parity[k] == '1') != otherParity ? '1' : '0'), data,
                   textRow);
    frame.paintModules(upcEEndGuard, guards);
    if (withText) frame.writeAtRunningX(CharacterText(check));
}

}  // namespace quillet::upce

namespace quillet {
namespace {

// The expanded number is summed character by character as text, so an empty expansion or a
// non-digit in it is a type mismatch rather than a 0.
char32_t checkDigitOf(std::u32string_view expanded) {
    if (expanded.empty()) raise(error::typeMismatch);
    for (char32_t character : expanded)
        if (character < U'0' || character > U'9') raise(error::typeMismatch);
    return ean_upc::checkDigit(expanded);
}

}  // namespace

std::int16_t drawUpcE(const Arguments& args) {
    Characters body;
    ean_upc::normalise(args.pCode, upce::bodyLength, body);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        ean_upc::UpcEExpansion expansion;
        const char32_t check = checkDigitOf(ean_upc::expandUpcE(body, expansion));
        upce::paintSymbol(frame, U'0', body, check);
        // The running x ends one module past the symbol; only an overflow of that step shows.
        frame.advance(args.pWidth);
    });
}

}  // namespace quillet
