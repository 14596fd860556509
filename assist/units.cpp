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
    double scale;  // to the unit: centimetres are kept as millimetres, mils as inches
};
// Longer names first, so that "mils" is not read as "mil" with an "s" left over.
constexpr std::array<UnitName, 7> unitNames = {{{"mils", LengthUnit::inches, 0.001},
                                                {"mil", LengthUnit::inches, 0.001},
                                                {"mm", LengthUnit::millimetres, 1},
                                                {"cm", LengthUnit::millimetres, 10},
                                                {"in", LengthUnit::inches, 1},
                                                {"pt", LengthUnit::points, 1},
                                                {"px", LengthUnit::pixels, 1}}};

}  // namespace

std::optional<Length> parseLength(std::string_view text) noexcept {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    Length length;
    double scale = 1;
    for (const UnitName& unit : unitNames) {
        if (text.size() > unit.name.size() && text.ends_with(unit.name)) {
            text.remove_suffix(unit.name.size());
            length.unit = unit.unit;
            scale = unit.scale;
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
