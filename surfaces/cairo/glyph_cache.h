// What cairo measures of fonts and glyphs, kept per thread, and glyphs composited straight into
// image pixels from their coverage with the very results cairo (pixman) gives.
#pragma once

#include <cairo.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "surfaces/cairo/cairo_surface.h"

namespace quillet {

// A glyph's coverage as cairo composites it on an image: one byte a pixel, from the glyph's
// origin rounded to whole pixels.
struct Coverage {
    enum class State : std::uint8_t { unknown, made, unusable };
    State state = State::unknown;
    std::uint8_t comparedFormats = 0;  // a bit for each image format found to give cairo's pixels
    int left = 0, top = 0;             // of the first column and row, from the origin
    int width = 0, height = 0;
    std::vector<std::uint8_t> alpha;
    // The glyph composited once over pixels all of one value, as text lands on its paper again
    // and again: copied then rather than composited. Kept for glyphs of a few thousand pixels.
    mutable std::vector<std::uint32_t> block;
    mutable std::vector<std::uint8_t> greyBlock;  // the same for a grey target: each one's grey
    mutable std::uint32_t blockColour = 0, blockUnder = 0;
    mutable bool blockMade = false;
    bool keepsBlock = true;  // false for coverage made anew every time

    // Found by usableGlyph() to be composited as cairo draws it on images of the format (1
    // without alpha, 2 with): its coverage made and compared.
    bool usableOn(std::uint8_t format) const noexcept {
        return state == State::made && (comparedFormats & format) != 0;
    }
};

// What cairo measures of one scaled font and of its ASCII characters, kept per thread: symbols
// that print one character at a time (under every bar character) would otherwise have cairo
// look up the same glyphs again for every text of every symbol. A font is held referenced while
// it is kept, so its address names it alone.
struct KnownFont {
    cairo_scaled_font_t* font = nullptr;
    cairo_font_extents_t extents{};
    std::array<cairo_text_extents_t, 128> glyphExtents{};
    std::array<unsigned long, 128> glyphIndex{};
    std::array<bool, 128> known{};
    std::array<Coverage, 128> coverage{};
    // A bit for each image format where compositeText() was found to give what cairo gives for
    // a text, and where it was found not to; shifted by two for texts whose glyphs overlap.
    std::uint8_t textsCompared = 0, textsDiffer = 0;
    // Changes whenever the entry is filled again, for another font or the same one.
    std::uint64_t filling = 0;
    // Whether the ink of two characters meets, the second a few pixels after the first, as
    // placeText() has found it: entries of 1 << 31 | (first << 16 | second << 9 | 256 + pixels)
    // << 1 | meets, in a slot of their own; 0 where nothing was found.
    mutable std::array<std::uint32_t, 512> meets{};
};

// The context's font as kept, nothing while the context or its font is in error.
KnownFont* knownFontOf(cairo_t* context);

// One ASCII character's extents and glyph, as cairo gives them for the text of that character.
bool knowGlyph(cairo_t* context, KnownFont& known, char character);

// Whether the glyph of a character known to the font is composited as cairo draws it on an
// image with alpha or without: its coverage is made once, and compared with what cairo draws
// once for each of the two; a glyph that differs is left to cairo for good.
bool usableGlyph(KnownFont& known, char character, bool alpha);

// Where the glyphs of a text land, in pixels, shown from a point on cairo's fixed-point grid.
struct PlacedText {
    static constexpr std::size_t longest = 64;
    // A glyph this far out lies beyond any image: left to cairo, its pixel needs no int.
    static constexpr double farOff = 1e9;
    std::array<int, longest> x;  // each glyph's origin, for the text's glyphs alone
    int y = 0;
    PixelArea inked{};         // around the ink of them all
    bool overlapping = false;  // two glyphs cover a pixel both
};

// placeText() of a text of several glyphs.
bool placeGlyphs(const KnownFont& known, std::string_view text, double x, double y,
                 PlacedText& placed);

// Where cairo puts a glyph's origin given on its fixed-point grid: rounded half up. For
// positions well within an int, as every caller has made sure: floor() without the call.
inline int glyphPixel(double position) noexcept {
    const double shifted = position + 0.5;
    const int truncated = static_cast<int>(shifted);
    return truncated - static_cast<int>(truncated > shifted);
}

// Places a text of ASCII characters whose glyphs and coverage are all known as cairo places
// them: each glyph at the sum of the advances before it. false for a longer text or one that
// lies too far out. Inline for a text of one glyph, as most are, which overlaps nothing.
inline bool placeText(const KnownFont& known, std::string_view text, double x, double y,
                      PlacedText& placed) {
    if (text.size() != 1) return placeGlyphs(known, text, x, y, placed);
    const auto slot = static_cast<unsigned char>(text[0]);
    if (!(std::abs(x) < PlacedText::farOff) || !(std::abs(y) < PlacedText::farOff) ||
        known.glyphExtents[slot].y_advance != 0)
        return false;
    placed.x[0] = glyphPixel(x);
    placed.y = glyphPixel(y);
    placed.overlapping = false;
    const Coverage& coverage = known.coverage[slot];
    placed.inked = coverage.width == 0
                       ? PixelArea{}
                       : PixelArea{placed.x[0] + coverage.left, placed.y + coverage.top,
                                   placed.x[0] + coverage.left + coverage.width,
                                   placed.y + coverage.top + coverage.height};
    return true;
}

// A raster of greys, a byte a pixel, and the clip, in pixels, within it: each byte stands for
// the opaque pixel with it in red, green and blue alike.
struct GreyTarget {
    unsigned char* data = nullptr;
    int stride = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    // Known to hold one grey throughout where the text lands (its paper): a glyph that meets no
    // glyph before it is then composited without looking at the pixels first.
    bool plainUnder = false;
};

// Composites the glyphs of a placed text as cairo does: one after another, or, where two cover
// a pixel both, their coverage added first (up to 255) and composited once. On a grey target
// the colour is an opaque grey: what the 24-bit image would hold, in one byte.
void compositeText(const KnownFont& known, std::string_view text, const PlacedText& placed,
                   std::uint32_t colour, const ImageTarget& target);
void compositeText(const KnownFont& known, std::string_view text, const PlacedText& placed,
                   std::uint32_t colour, const GreyTarget& target);

// compositeText() of one glyph whose box lies within a grey target that is known to be plain
// under it, where the glyph's block is kept for the colour and that paper and its rows are 4 to
// 16 pixels wide: the block's rows copied, with nothing else to work out. false, writing
// nothing, where compositeText() is to do it.
// Inline: every lone text of a symbol comes here.
inline bool copyKeptBlock(const Coverage& coverage, int originX, int originY, std::uint32_t colour,
                          const GreyTarget& target) noexcept {
    const int left = originX + coverage.left, top = originY + coverage.top;
    const auto width = static_cast<std::size_t>(coverage.width);
    if (!coverage.blockMade || coverage.blockColour != colour || width < 4 || width > 16 ||
        left < target.left || top < target.top || left + coverage.width > target.right ||
        top + coverage.height > target.bottom)
        return false;
    unsigned char* to = target.data + static_cast<std::ptrdiff_t>(top) * target.stride + left;
    // The pixel under, as an opaque grey, is the paper the block was composited over.
    if ((0xFF000000u | *to * 0x010101u) != coverage.blockUnder) return false;
    const std::uint8_t* from = coverage.greyBlock.data();
    const std::uint8_t* end = from + coverage.greyBlock.size();
    // Each row as two copies that may overlap.
    if (width >= 8) {
        for (; from != end; from += width, to += target.stride) {
            std::memcpy(to, from, 8);
            std::memcpy(to + width - 8, from + width - 8, 8);
        }
    } else {
        for (; from != end; from += width, to += target.stride) {
            std::memcpy(to, from, 4);
            std::memcpy(to + width - 4, from + width - 4, 4);
        }
    }
    return true;
}

// Whether compositeText() gives the very pixels cairo gives for the text, as matchesCairo() asks
// of one glyph; overlapping tells whether the text compared had glyphs that overlap.
bool textMatchesCairo(const KnownFont& known, std::string_view text, bool alpha, bool& overlapping);

}  // namespace quillet
