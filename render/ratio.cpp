#include "render/ratio.h"

#include "render/arithmetic.h"
#include "render/numeric.h"

namespace quillet {

namespace {

// The value of one to four decimal digits and nothing else, such as the "3" and "1" of the
// usual "3:1", which read exactly as the same number does through numericValue; -1 for any
// other text.
std::int32_t shortWholeNumber(std::string_view text) noexcept {
    if (text.empty() || text.size() > 4) return -1;
    std::int32_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return -1;
        value = value * 10 + (digit - '0');
    }
    return value;
}

}  // namespace

Ratio parseRatio(std::string_view ratio) {
    const auto colon = ratio.find(':');
    // Taking the characters before a colon that is not there asks for -1 characters.
    if (colon == std::string_view::npos) raise(error::invalidArgument);
    const std::string_view before = ratio.substr(0, colon);
    const std::string_view after = ratio.substr(colon + 1);
    const std::int32_t wholeBefore = shortWholeNumber(before);
    const std::int32_t wholeAfter = shortWholeNumber(after);
    if (wholeBefore >= 0 && wholeAfter >= 0)
        return {checkedInt16(wholeBefore * 7), checkedInt16(wholeAfter)};
    const std::int16_t wide = roundToInt16(numericValue(before) * 7);
    const std::int16_t narrow = roundToInt16(numericValue(after));
    return {wide, narrow};
}

}  // namespace quillet
