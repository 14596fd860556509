#include "render/ratio.h"

#include "render/arithmetic.h"
#include "render/numeric.h"

namespace quillet {

Ratio parseRatio(std::string_view ratio) {
    const auto colon = ratio.find(':');
    // Taking the characters before a colon that is not there asks for -1 characters.
    if (colon == std::string_view::npos) raise(error::invalidArgument);
    const std::int16_t wide = roundToInt16(numericValue(ratio.substr(0, colon)) * 7);
    const std::int16_t narrow = roundToInt16(numericValue(ratio.substr(colon + 1)));
    return {wide, narrow};
}

}  // namespace quillet
