// The one Code 128 code set that holds a piece of data, as the method's leading letter.
//
// The drawing method encodes all its data in the set its first character names and never
// switches sets, so data that needs two sets (control characters and lower case) has none.
#pragma once

#include <optional>
#include <string_view>

namespace quillet::assist {

// Whether every character of the data is in the set 'A', 'B' or 'C'; set C also needs an even
// number of digits, since an odd count would be drawn with a "0" in front.
bool fitsCodeSet(char set, std::u32string_view data) noexcept;

// Set C for an even number of digits (half the symbol characters), else set B for printable
// text, else set A where control characters need it; nothing when no one set holds the data.
std::optional<char> chooseCodeSet(std::u32string_view data) noexcept;

}  // namespace quillet::assist
