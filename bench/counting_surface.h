// A surface that only counts what it is asked to paint, so that a benchmark measures the drawing
// methods and not a renderer. Text metrics are those of the recording surface (FontSize x 12
// units per character, FontSize x 24 high), counted per byte to stay free of decoding.
#pragma once

#include <cstdint>
#include <string_view>

#include "render/surface.h"

namespace quillet::bench {

class CountingSurface final : public Surface {
  public:
    std::int64_t boxes = 0;
    std::int64_t texts = 0;
    std::int64_t properties = 0;
    std::int64_t positions = 0;
    // Summed so that no call can be dropped as having no effect.
    std::int64_t checksum = 0;

    void setFontName(std::string_view) override { ++properties; }
    void setForeColor(std::int32_t) override { ++properties; }
    void setFontBold(bool) override { ++properties; }
    void setFontSize(std::int16_t size) override {
        ++properties;
        fontSize_ = size;
    }
    void setCurrentX(Coordinate) override { ++positions; }
    void setCurrentY(float) override { ++positions; }
    double textWidth(std::string_view text) override {
        return static_cast<double>(fontSize_) * 12 * static_cast<double>(text.size());
    }
    double textHeight(std::string_view) override { return static_cast<double>(fontSize_) * 24; }
    void line(std::int16_t, std::int16_t& x1, float, std::int16_t x2, float,
              std::int32_t color) override {
        ++boxes;
        checksum += x2 - x1 + color;
    }
    void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
             std::int32_t color) override {
        line(flags, x1, y1, x2, y2, color);
    }
    void print(std::string_view text) override {
        ++texts;
        checksum += static_cast<std::int64_t>(text.size());
    }

  private:
    std::int16_t fontSize_ = 0;
};

}  // namespace quillet::bench
