#include "assist/units.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace quillet::assist {
namespace {

struct UnitName {
    std::string_view name;
    LengthUnit unit;
    double perInch;  // of a physical unit; pixels are counted at the resolution
};
constexpr std::array<UnitName, 5> unitNames = {{{"mm", LengthUnit::millimetres, 25.4},
                                                {"cm", LengthUnit::millimetres, 2.54},
                                                {"in", LengthUnit::inches, 1},
                                                {"pt", LengthUnit::points, 72},
                                                {"px", LengthUnit::pixels, 0}}};

}  // namespace

std::optional<Length> parseLength(std::string_view text) noexcept {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    Length length;
    double scale = 1;
    for (const UnitName& unit : unitNames) {
        if (text.size() > unit.name.size() && text.ends_with(unit.name)) {
            text.remove_suffix(unit.name.size());
            length.unit = unit.unit;
            // Centimetres are kept as millimetres.
            if (unit.name == "cm") scale = 10;
            break;
        }
    }
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const auto [end, status] =
        std::from_chars(text.data(), text.data() + text.size(), length.value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(length.value))
        return std::nullopt;
    length.value *= scale;
    return length;
}

double inchesOf(const Length& length, double dotsPerInch, double surfaceUnitsPerInch) noexcept {
    switch (length.unit) {
        case LengthUnit::surface:
            return length.value / surfaceUnitsPerInch;
        case LengthUnit::millimetres:
            return length.value / 25.4;
        case LengthUnit::inches:
            return length.value;
        case LengthUnit::points:
            return length.value / 72;
        case LengthUnit::pixels:
            return length.value / dotsPerInch;
    }
    return length.value;
}

double unitsPerInchForModule(double moduleInches,
                             std::optional<double> rasterDotsPerInch) noexcept {
    if (rasterDotsPerInch) {
        const double pixels = std::max(1.0, std::round(moduleInches * *rasterDotsPerInch));
        moduleInches = pixels / *rasterDotsPerInch;
    }
    return unitsPerModule / moduleInches;
}

}  // namespace quillet::assist
