// What Code 11 carries: digits and the hyphen.
#pragma once

namespace quillet::code11 {

constexpr bool inSet(char32_t character) noexcept {
    return (character >= U'0' && character <= U'9') || character == U'-';
}

}  // namespace quillet::code11
