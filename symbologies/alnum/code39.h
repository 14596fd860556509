// What Code 39 and Code 39 Full ASCII share: the character table, the modulo-43 check
// character and the drawing of a symbol string between "*" start and stop characters.
#pragma once

#include <string_view>

#include "render/frame.h"

namespace quillet::code39 {

// The check character of a data string: the sum of its check values modulo 43.
char checkCharacter(std::u32string_view data);

// "*", the data characters, "*": nine elements each, a narrow space between characters. A
// character without a pattern is the index error (9) at that character.
void paintSymbol(Frame& frame, std::u32string_view data, const ElementWidths& widths);

}  // namespace quillet::code39
