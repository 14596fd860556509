// Reading our symbols back with zbar: a symbol is drawn through CairoSurface into a PNG in
// memory, the PNG is read again and libzbar decodes it.
//
// zbar runs with its own defaults (what zbarimg reports without options): Full ASCII Code 39
// comes back as its shift pairs, Code 93 is off, ISBN reads as EAN-13, and short Interleaved
// 2 of 5 or Codabar data may be refused for its length. Pass zbarimg-style settings
// ("code93.enable=1", "i25.min-length=2", "isbn13.enable=1") to change that.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "control/quillet.h"
#include "surfaces/cairo/symbol_output.h"

namespace quillet::testing {

struct Decoded {
    std::string symbology;  // zbar's name: "CODE-39", "EAN-13", "I2/5", "CODE-128", ...
    std::string text;
    friend bool operator==(const Decoded&, const Decoded&) = default;
};
std::ostream& operator<<(std::ostream& out, const Decoded& decoded);

// Draws one symbol at the given DPI (twips, default margins of 10 modules, grid fitting on) and
// returns every symbol zbar found. A result other than 0 throws std::runtime_error.
std::vector<Decoded> renderAndDecode(Symbology type, DrawingArguments arguments, double dpi,
                                     const std::vector<std::string>& zbarSettings = {});

// The steps, for tests that need other output settings or look at the pixels.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // row by row, 0 black .. 255 white
    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The PNG file the quillet command would write. A result other than 0 throws.
std::string renderPng(Symbology type, DrawingArguments arguments,
                      const OutputSettings& settings);
GreyImage readPng(const std::string& png);
std::vector<Decoded> decode(const GreyImage& image,
                            const std::vector<std::string>& zbarSettings = {});

// The name of a parameterised round trip over (row, dpi): the row's name and the resolution.
struct RowAtDpiName {
    template <class Info>
    std::string operator()(const Info& info) const {
        return std::string(std::get<0>(info.param).name) + "_" +
               std::to_string(static_cast<int>(std::get<1>(info.param))) + "dpi";
    }
};

}  // namespace quillet::testing
