// What Code 93 carries: every character from 0 to 127, the 43 of its direct set as themselves
// and the others as a shift character and a letter.
#pragma once

namespace quillet::code93 {

constexpr bool inSet(char32_t character) noexcept {
    return character < 0x80;
}

}  // namespace quillet::code93
