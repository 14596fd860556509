// What each of Code 128's three code sets holds, by character code (the published symbol
// character table: set A has the control characters where set B has the lower case).
#pragma once

#include <cstdint>

namespace quillet::code128 {

// Space to underscore, and the control characters 0 to 31.
constexpr bool inSetA(std::int32_t code) noexcept {
    return code >= 0 && code <= 95;
}
// Space to DEL.
constexpr bool inSetB(std::int32_t code) noexcept {
    return code >= 32 && code <= 127;
}
// Digits, two to a symbol character.
constexpr bool inSetC(std::int32_t code) noexcept {
    return code >= '0' && code <= '9';
}

}  // namespace quillet::code128
