// What Codabar carries: digits and six punctuation characters between a start and a stop
// character, each one of "A" to "D" (the published Codabar table).
#pragma once

#include <string_view>

namespace quillet::codabar {

inline constexpr std::string_view dataCharacters = "0123456789-$:/.+";

constexpr bool inSet(char32_t character) noexcept {
    return character < 0x80 &&
           dataCharacters.find(static_cast<char>(character)) != std::string_view::npos;
}

constexpr bool isStartOrStop(char32_t character) noexcept {
    return character >= U'A' && character <= U'D';
}

}  // namespace quillet::codabar
