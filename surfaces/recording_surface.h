// A surface that records every call, for tests and for `quillet trace`.
//
// Text metrics are fixed so that traces are the same everywhere: a text is FontSize x 12 units
// wide per character and FontSize x 24 units high. The trace has one call per line, tab-separated:
// the member, then its arguments as received (integers in decimal, floats in shortest round-trip
// form, booleans True/False, texts with tab, newline and backslash escaped); "TextWidth" and
// "TextHeight" lines end with the value returned; the text output is "Print<TAB>text".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/surface.h"

namespace quillet {

struct RecordedBox {
    std::int16_t x1;
    float y1;
    std::int16_t x2;
    float y2;
    std::int32_t color;
};

class RecordingSurface : public Surface {
public:
    // The member named (as in the trace: "FontName", "Line", "Print", ...) fails with the given
    // number on its nth call, counting from 1; 438 stands for a member the surface lacks.
    void failAt(std::string_view member, std::int32_t number, int call = 1);

    const std::vector<std::string>& lines() const noexcept { return lines_; }
    const std::vector<RecordedBox>& boxes() const noexcept { return boxes_; }
    std::string trace() const;  // every line followed by "\n"

    void setFontName(std::string_view name) override;
    void setForeColor(std::int32_t color) override;
    void setFontBold(bool bold) override;
    void setFontSize(std::int16_t size) override;
    void setCurrentX(Coordinate x) override;
    void setCurrentY(float y) override;
    double textWidth(std::string_view text) override;
    double textHeight(std::string_view text) override;
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override;
    void print(std::string_view text) override;

private:
    void enter(std::string_view member);

    std::vector<std::string> lines_;
    std::vector<RecordedBox> boxes_;
    std::int16_t fontSize_ = 0;
    std::string failingMember_;
    std::int32_t failingNumber_ = 0;
    int callsUntilFailure_ = 0;
};

// Shortest round-trip decimal forms, as the trace writes numbers.
std::string formatNumber(double value);
std::string formatNumber(float value);
std::string formatCoordinate(const Coordinate& value);
std::string escapeText(std::string_view text);

}  // namespace quillet
