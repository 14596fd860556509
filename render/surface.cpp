#include "render/surface.h"

namespace quillet {

// Kept out of line: a body the drawing loops could see would be guessed as the target of every
// bar() call and checked for before each one.
void Surface::bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                  std::int32_t color) {
    line(flags, x1, y1, x2, y2, color);
}

}  // namespace quillet
