// Text as the drawing methods see it.
//
// pCode and every text handed to a surface are UTF-8. Lengths, trimming and positions count
// characters (code points), so a method decodes its data once into a u32string. A character's
// single-byte code is what the tables are indexed by: its own code for 0..127, its Windows-1252
// byte where it has one, and otherwise unmappedCode, which lies above every table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "render/small_buffer.h"

namespace quillet {

inline constexpr std::int32_t unmappedCode = 256;

// A method's working copy of its data: on the stack up to 256 characters.
using Characters = SmallBuffer<char32_t, 256>;

// Malformed UTF-8 decodes to U+FFFD, one replacement per byte that cannot start a character.
// The second form says whether the text was plain ASCII, each byte one character.
std::u32string decodeUtf8(std::string_view text);
bool decodeUtf8(std::string_view text, Characters& out);
std::string encodeUtf8(std::u32string_view text);
void appendUtf8(std::string& out, char32_t character);
// Replaces the caller's variable with the text, in the storage it already has.
void assignUtf8(std::string& out, std::u32string_view text);
// The caller's variable decoded without its leading and trailing spaces, filled up with "0" on
// the right or cut to `length` characters unless that is keepLength, and written back.
inline constexpr std::size_t keepLength = static_cast<std::size_t>(-1);
void decodeTrimmed(std::string& code, Characters& out, std::size_t length = keepLength);

std::int32_t singleByteCodeAbove127(char32_t character) noexcept;
inline std::int32_t singleByteCode(char32_t character) noexcept {
    return character < 0x80 ? static_cast<std::int32_t>(character)
                            : singleByteCodeAbove127(character);
}

// Only spaces are trimmed, never tabs or other blanks. A space is one byte of UTF-8 and never
// part of another character, so trimming the bytes trims the characters.
std::u32string_view trimSpaces(std::u32string_view text) noexcept;
std::string_view trimSpaces(std::string_view text) noexcept;

// One character as UTF-8 without touching the heap, for per-character text output.
class CharacterText {
  public:
    explicit CharacterText(char32_t character) noexcept {
        if (character < 0x80) {
            bytes_[0] = static_cast<char>(character);
            length_ = 1;
        } else {
            length_ = encodeAbove127(character, bytes_.data());
        }
    }
    std::string_view view() const noexcept { return {bytes_.data(), length_}; }
    operator std::string_view() const noexcept { return view(); }

  private:
    static std::size_t encodeAbove127(char32_t character, char* out) noexcept;

    std::array<char, 4> bytes_{};
    std::size_t length_ = 0;
};

}  // namespace quillet
