#include "render/text.h"

#include <algorithm>

namespace quillet {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; 0 where the byte maps to the C1 control of the same value.
constexpr std::array<char32_t, 32> windows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::size_t encode(char32_t c, char* out) noexcept {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = replacementCharacter;
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Says whether every byte was ASCII.
template <class Out>
bool decodeInto(std::string_view text, Out& out) {
    // Data is mostly ASCII, one character a byte: it is widened in one pass that also notes
    // whether any byte was not ASCII, and only then decoded again from the first such byte.
    const std::size_t size = text.size();
    if constexpr (requires { out.resizeForOverwrite(size); }) {
        out.resizeForOverwrite(size);
    } else {
        out.resize(size, 0);
    }
    unsigned char seen = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        out[k] = byte;
        seen |= byte;
    }
    if (seen < 0x80) return true;
    std::size_t i = 0;
    while (static_cast<unsigned char>(text[i]) < 0x80) ++i;
    out.resize(i, 0);
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        out.push_back(valid ? c : replacementCharacter);
        i += valid ? length : 1;
    }
    return false;
}

}  // namespace

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    decodeInto(text, out);
    return out;
}

bool decodeUtf8(std::string_view text, Characters& out) {
    return decodeInto(text, out);
}

void decodeTrimmed(std::string& code, Characters& out, std::size_t length) {
    const std::string_view trimmed = trimSpaces(code);
    const bool ascii = decodeInto(trimmed, out);
    const bool fits = length == keepLength || out.size() == length;
    if (length != keepLength) out.resize(length, U'0');
    // Plain ASCII with nothing trimmed, added or cut is the variable as it stands.
    if (!ascii || !fits || trimmed.size() != code.size()) assignUtf8(code, out);
}

void appendUtf8(std::string& out, char32_t character) {
    char bytes[4];
    out.append(bytes, encode(character, bytes));
}

void assignUtf8(std::string& out, std::u32string_view text) {
    // A byte above 127 widens to a value no character has, so only ASCII compares equal.
    const auto sameAt = [&](std::size_t k) {
        return text[k] == static_cast<char32_t>(static_cast<signed char>(out[k]));
    };
    // Data written back unchanged is the usual case and leaves the variable as it is.
    if (out.size() == text.size()) {
        char32_t difference = 0;
        for (std::size_t k = 0; k < text.size(); ++k)
            difference |= text[k] ^ static_cast<char32_t>(static_cast<signed char>(out[k]));
        if (difference == 0) return;
    }
    // Otherwise the ASCII start it shares with the variable (data with a check character added
    // or taken off) stays in place, and only the rest is written.
    std::size_t kept = 0;
    const std::size_t shorter = std::min(out.size(), text.size());
    while (kept < shorter && sameAt(kept)) ++kept;
    std::size_t ascii = kept;
    while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
    out.resize(ascii);
    for (std::size_t k = kept; k < ascii; ++k) out[k] = static_cast<char>(text[k]);
    for (char32_t c : text.substr(ascii)) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            appendUtf8(out, c);
        }
    }
}

std::string encodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) appendUtf8(out, c);
    return out;
}

std::int32_t singleByteCodeAbove127(char32_t character) noexcept {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<std::int32_t>(character);
    }
    for (std::size_t i = 0; i < windows1252High.size(); ++i) {
        const char32_t mapped = windows1252High[i] != 0 ? windows1252High[i] : 0x80 + i;
        if (mapped == character) return static_cast<std::int32_t>(0x80 + i);
    }
    return unmappedCode;
}

std::u32string_view trimSpaces(std::u32string_view text) noexcept {
    const auto first = text.find_first_not_of(U' ');
    if (first == std::u32string_view::npos) return {};
    const auto last = text.find_last_not_of(U' ');
    return text.substr(first, last - first + 1);
}

std::string_view trimSpaces(std::string_view text) noexcept {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::size_t CharacterText::encodeAbove127(char32_t character, char* out) noexcept {
    return encode(character, out);
}

}  // namespace quillet
