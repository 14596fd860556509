// The UPC-A symbol, shared by UPC-A and its flat layout, UPC-A Plus.
#pragma once

#include <cstddef>
#include <string_view>

#include "render/frame.h"

namespace quillet::upca {

inline constexpr std::size_t dataLength = 11;

enum class Bars {
    lengthened,  // guards and the outer digits reach down beside the outer texts
    flat,        // every bar pHeight high
};

// Start guard, entries 0 to 5 in L, centre guard, entries 6 to 11 in R, end guard. Entries 1 to
// 5 and 6 to 10 are written under their fields; where the outer two go is each layout's own.
void paintSymbol(Frame& frame, std::u32string_view digits, Bars bars);

// UPC-A's own layout: the number-system digit written at pX with a 10-unit gap before the start
// guard, the lengthened symbol, and the check digit written right after the end guard.
void paintWithOuterTexts(Frame& frame, std::u32string_view digits);

}  // namespace quillet::upca
