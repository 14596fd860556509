// Sizes as people write them ("0.33mm", "15 mm", "0.5in", "13mil", "12pt", "3px") and the surface
// unit that carries them: the methods take whole 16-bit numbers, so a module of 0.33 mm needs a
// unit a fraction of it, not twips or millimetres.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet::assist {

enum class LengthUnit { surface, millimetres, inches, points, pixels };

struct Length {
    double value = 0;
    LengthUnit unit = LengthUnit::surface;  // a bare number: the surface's own units
};

// A number with an optional unit (mm, cm, in, mil, pt, px); nothing when it is not one.
std::optional<Length> parseLength(std::string_view text) noexcept;

// Inches in a length of a physical unit, pixels at the given resolution; surfaceUnitsPerInch
// for a bare number.
double inchesOf(const Length& length, double dotsPerInch, double surfaceUnitsPerInch) noexcept;

// Every module is this many surface units: enough that a module is exact where the unit is
// chosen for it, the wide elements of the two-width symbologies three modules exactly (the
// ratio's wide extra is seven times a whole number), and a symbol of 1,500 modules still within
// the methods' 16 bits.
inline constexpr std::int16_t unitsPerModule = 21;

// The pRatio that makes the narrow elements exactly one module and the wide ones three.
inline constexpr std::string_view threeToOne = "6:0";

// Surface units per inch for a module of the given width: in raster output the module is first
// made a whole number of pixels (at least one), since bars of unequal pixel counts read worse
// than bars a little wider or narrower than asked.
double unitsPerInchForModule(double moduleInches, std::optional<double> rasterDotsPerInch) noexcept;

}  // namespace quillet::assist
