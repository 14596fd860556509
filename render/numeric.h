// The numeric value of a text, read the way the host runtime reads a number at the start of a
// string: blanks (space, tab, line feed) are ignored wherever they stand, an optional sign, digits
// with "." as the decimal point and an optional exponent (E or D); reading stops at the first
// character that cannot continue the number, and a text without a number is 0.
#pragma once

#include <string_view>

namespace quillet {

// Fails with the overflow error (6) for a number beyond the range of a double.
double numericValue(std::string_view text);
double numericValue(std::u32string_view text);

// The numeric value of a one-character text: 0..9 for a decimal digit, 0 for anything else.
constexpr int digitValue(char32_t character) noexcept {
    return character >= U'0' && character <= U'9' ? static_cast<int>(character - U'0') : 0;
}

}  // namespace quillet
