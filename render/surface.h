// The caller's drawing surface: the only members a drawing method ever touches.
//
// A member that fails throws RuntimeError with its own number (438 for a member the surface
// does not have, 380 for a value it rejects); the method's trap turns it into the result code.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

namespace quillet {

// "Line" flags for a box filled with the line's own colour, both corners given.
inline constexpr std::int16_t boxFlags = 38;
// Spaces are painted in bright white whatever the arguments say.
inline constexpr std::int32_t white = 0x00FFFFFF;

// A position handed to "CurrentX": the running x as a 16-bit integer, pX itself as a
// single-precision float, or a computed position in double precision.
using Coordinate = std::variant<std::int16_t, float, double>;

constexpr double coordinateValue(const Coordinate& position) noexcept {
    return std::visit([](auto value) { return static_cast<double>(value); }, position);
}

class Surface {
  public:
    virtual ~Surface() = default;

    virtual void setFontName(std::string_view name) = 0;   // "FontName"
    virtual void setForeColor(std::int32_t color) = 0;     // "ForeColor"
    virtual void setFontBold(bool bold) = 0;               // "FontBold"
    virtual void setFontSize(std::int16_t size) = 0;       // "FontSize"
    virtual void setCurrentX(Coordinate x) = 0;            // "CurrentX"
    virtual void setCurrentY(float y) = 0;                 // "CurrentY"
    virtual double textWidth(std::string_view text) = 0;   // "TextWidth", in surface units
    virtual double textHeight(std::string_view text) = 0;  // "TextHeight", in surface units

    // "Line": one filled box from (x1, y1) to (x2, y2), both corners inclusive. x1 is the
    // caller's running x itself, passed by reference as the host passes it.
    virtual void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                      std::int32_t color) = 0;

    // "Line" for a bar, whose colour is pLineColor. A host hands the caller's pLineColor variable
    // itself on, by reference, where a space gets the plain value white; a surface that reaches
    // the caller's variables (the COM control's) overrides this, every other draws a bar as any
    // box.
    virtual void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                     std::int32_t color);

    // The surface's print statement: one text at (CurrentX, CurrentY) in the current font and
    // fore colour.
    virtual void print(std::string_view text) = 0;
};

}  // namespace quillet
