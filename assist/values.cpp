#include "assist/values.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace quillet::assist {
namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return lower;
}

struct NamedColour {
    std::string_view name;
    std::uint32_t rgb;  // 0xRRGGBB, as CSS writes it
};
// The CSS basic colours and the names people reach for on labels.
constexpr std::array<NamedColour, 26> namedColours = {{
    {"black", 0x000000},     {"white", 0xFFFFFF},   {"red", 0xFF0000},     {"lime", 0x00FF00},
    {"green", 0x008000},     {"blue", 0x0000FF},    {"yellow", 0xFFFF00},  {"cyan", 0x00FFFF},
    {"aqua", 0x00FFFF},      {"magenta", 0xFF00FF}, {"fuchsia", 0xFF00FF}, {"gray", 0x808080},
    {"grey", 0x808080},      {"silver", 0xC0C0C0},  {"maroon", 0x800000},  {"olive", 0x808000},
    {"navy", 0x000080},      {"purple", 0x800080},  {"teal", 0x008080},    {"orange", 0xFFA500},
    {"brown", 0xA52A2A},     {"pink", 0xFFC0CB},    {"gold", 0xFFD700},    {"darkblue", 0x00008B},
    {"darkgreen", 0x006400}, {"darkred", 0x8B0000},
}};

constexpr std::int32_t fromRgb(std::uint32_t rgb) noexcept {
    return static_cast<std::int32_t>((rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16);
}

std::optional<std::uint32_t> hexadecimal(std::string_view digits) noexcept {
    std::uint32_t value = 0;
    const auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int32_t> parseColour(std::string_view text) noexcept {
    const std::string lower = lowerCase(text);
    const std::string_view colour = lower;
    if (colour.starts_with('#')) {
        const auto rgb = hexadecimal(colour.substr(1));
        if (!rgb) return std::nullopt;
        if (colour.size() == 7) return fromRgb(*rgb);
        if (colour.size() == 4) {
            // #RGB: each digit doubled, as CSS reads it.
            const std::uint32_t r = *rgb >> 8 & 0xF, g = *rgb >> 4 & 0xF, b = *rgb & 0xF;
            return fromRgb((r * 0x11) << 16 | (g * 0x11) << 8 | b * 0x11);
        }
        return std::nullopt;
    }
    for (const NamedColour& named : namedColours)
        if (named.name == colour) return fromRgb(named.rgb);
    std::optional<std::uint32_t> number;
    if (colour.starts_with("0x") || colour.starts_with("&h")) {
        number = hexadecimal(colour.substr(2));
    } else {
        std::uint32_t value = 0;
        const auto [end, status] =
            std::from_chars(colour.data(), colour.data() + colour.size(), value);
        if (!colour.empty() && status == std::errc() && end == colour.data() + colour.size())
            number = value;
    }
    if (!number || *number > 0xFFFFFF) return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

std::optional<bool> parseYesNo(std::string_view text) noexcept {
    const std::string lower = lowerCase(text);
    for (const std::string_view yes : {"1", "-1", "true", "yes", "on"})
        if (lower == yes) return true;
    for (const std::string_view no : {"0", "false", "no", "off"})
        if (lower == no) return false;
    return std::nullopt;
}

}  // namespace quillet::assist
