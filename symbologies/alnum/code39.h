// What Code 39 and Code 39 Full ASCII share: the character table, the modulo-43 check
// character and the drawing of a symbol string between "*" start and stop characters.
#pragma once

#include <string_view>

#include "render/frame.h"

namespace quillet::code39 {

// The 43 data characters in check-value order, as the published Code 39 table lists them; "*" is
// the start and stop character and has no check value of its own.
inline constexpr std::string_view dataCharacters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

constexpr bool inSet(char32_t character) noexcept {
    return character < 0x80 &&
           dataCharacters.find(static_cast<char>(character)) != std::string_view::npos;
}

// Full ASCII carries every character from 0 to 127 as one or two characters of the set.
constexpr bool inFullAsciiSet(char32_t character) noexcept {
    return character < 0x80;
}

// The check character of a data string: the sum of its check values modulo 43.
char checkCharacter(std::u32string_view data);

// "*", the data characters, "*": nine elements each, a narrow space between characters. A
// character without a pattern is the index error (9) at that character.
void paintSymbol(Frame& frame, std::u32string_view data, const ElementWidths& widths);

}  // namespace quillet::code39
