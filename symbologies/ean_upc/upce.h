// The UPC-E symbol, shared by UPC-E and UPC-E with an add-on.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "render/frame.h"

namespace quillet::upce {

inline constexpr std::size_t bodyLength = 6;

// The number-system digit's text, the start guard, the six body digits in the parity the check
// digit chooses (number system 1 takes the other parity of each), the end guard and the check
// digit's text after it.
void paintSymbol(Frame& frame, char32_t numberSystem, std::u32string_view body, char32_t check);

}  // namespace quillet::upce
