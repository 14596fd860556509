// The EAN-13 symbol, shared by EAN-13 and ISBN (which writes a caption above it).
#pragma once

#include <cstddef>
#include <string_view>

#include "render/frame.h"

namespace quillet::ean13 {

inline constexpr std::size_t dataLength = 12;

// The thirteen digits (data and check digit) from leadingTextX, every y moved down by offset:
// the leading digit's text, then the 95 modules with the other twelve digits under them.
void paintSymbol(Frame& frame, std::u32string_view digits, Coordinate leadingTextX,
                 float offset = 0.0f);

}  // namespace quillet::ean13
