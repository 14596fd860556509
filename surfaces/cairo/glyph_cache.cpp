#include "surfaces/cairo/glyph_cache.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "surfaces/cairo/kept_per_thread.h"

namespace quillet {
namespace {

thread_local KeptPerThread<KnownFont, &KnownFont::font, cairo_scaled_font_destroy> knownFonts;
thread_local std::uint64_t fillings = 0;

// x * y / 255 for bytes, rounded as pixman rounds it.
constexpr std::uint32_t multiply(std::uint32_t x, std::uint32_t y) noexcept {
    const std::uint32_t product = x * y + 0x80;
    return (product + (product >> 8)) >> 8;
}

// multiply() for each byte of a pixel, two bytes at a time as pixman does it.
constexpr std::uint32_t multiplyBytes(std::uint32_t pixel, std::uint32_t y) noexcept {
    std::uint32_t even = (pixel & 0xFF00FFu) * y + 0x800080u;
    even = (even + (even >> 8 & 0xFF00FFu)) >> 8 & 0xFF00FFu;
    std::uint32_t odd = (pixel >> 8 & 0xFF00FFu) * y + 0x800080u;
    odd = (odd + (odd >> 8 & 0xFF00FFu)) & 0xFF00FF00u;
    return even | odd;
}
static_assert(multiplyBytes(0xFF804001u, 0x80) ==
              (multiply(0xFF, 0x80) << 24 | multiply(0x80, 0x80) << 16 | multiply(0x40, 0x80) << 8 |
               multiply(0x01, 0x80)));

// An opaque colour over a pixel through a coverage below 255: cairo's OVER on the premultiplied
// pixel, the alpha byte as well (the colour's is 255). No byte carries into the next: each sum is
// at most 255 * coverage / 255 + 255 * (255 - coverage) / 255, rounded, which is 255.
constexpr std::uint32_t over(std::uint32_t colour, std::uint32_t pixel,
                             std::uint32_t coverage) noexcept {
    return multiplyBytes(colour, coverage) + multiplyBytes(pixel, 255 - coverage);
}

// An opaque grey: every colour byte the same.
constexpr bool isOpaqueGrey(std::uint32_t pixel) noexcept {
    return pixel >> 24 == 0xFF && (pixel & 0xFFFFu) == (pixel >> 8 & 0xFFFFu);
}

// over() of a grey on a grey, one byte worked out for all three: 255 * coverage / 255 is the
// coverage itself, so the alpha byte stays 255.
constexpr std::uint32_t greyOver(std::uint32_t colour, std::uint32_t pixel,
                                 std::uint32_t coverage) noexcept {
    const std::uint32_t grey =
        multiply(colour & 0xFFu, coverage) + multiply(pixel & 0xFFu, 255 - coverage);
    return 0xFF000000u | grey * 0x010101u;
}
static_assert(greyOver(0xFF404040u, 0xFFE0E0E0u, 77) == over(0xFF404040u, 0xFFE0E0E0u, 77));

// over() of one colour on one pixel for every coverage, worked out as coverages come: text is
// mostly one colour on the paper, whose edge pixels then cost a look-up.
struct OverOnePixel {
    std::uint32_t colour = 0, pixel = 0;
    bool chosen = false;
    std::array<std::uint64_t, 4> known{};  // a bit for each coverage worked out
    std::array<std::uint32_t, 256> result{};

    void choose(std::uint32_t newColour, std::uint32_t newPixel) noexcept {
        colour = newColour;
        pixel = newPixel;
        chosen = true;
        known.fill(0);
    }
    std::uint32_t of(std::uint32_t coverage) noexcept {
        std::uint64_t& bits = known[coverage >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (coverage & 63);
        if ((bits & bit) == 0) {
            result[coverage] = over(colour, pixel, coverage);
            bits |= bit;
        }
        return result[coverage];
    }
};

thread_local OverOnePixel overPaper;

// Coverage is kept for glyphs up to this many pixels a side, 28 KB each at the most; larger
// ones are rare enough to leave to cairo, and a thread's fonts stay within a few megabytes.
constexpr int maxCoverageSide = 160;

// An image to compare cairo's drawing with ours on: its pixels opaque and, with alpha,
// translucent and clear, their premultiplied colours varied, and a copy of them for ours. cairo
// draws in one colour with the font given.
class Comparison {
  public:
    static constexpr std::uint32_t colour = 0x2A6FC3;  // 0xRRGGBB, as an opaque pixel holds it

    Comparison(cairo_scaled_font_t* font, int width, int height, bool alpha)
        : image_(cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width,
                                            height)),
          width_(width),
          height_(height),
          alpha_(alpha) {
        if (cairo_surface_status(image_) != CAIRO_STATUS_SUCCESS) return;
        unsigned char* data = cairo_image_surface_get_data(image_);
        stride_ = cairo_image_surface_get_stride(image_);
        std::uint32_t seed = 0x9E3779B9u;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const std::uint32_t a = !alpha || (seed >> 30) == 0 ? 255
                                        : (seed >> 30) == 1         ? 0
                                                                    : seed >> 24;
                std::uint32_t pixel = a << 24;
                for (int shift = 0; shift < 24; shift += 8)
                    pixel |= multiply(seed >> (shift + 2) & 0xFFu, a) << shift;
                std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride_ + x * 4, &pixel, 4);
            }
        cairo_surface_mark_dirty(image_);
        ours_.assign(data, data + static_cast<std::ptrdiff_t>(height) * stride_);
        context_ = cairo_create(image_);
        cairo_set_scaled_font(context_, font);
        cairo_set_source_rgb(context_, (colour >> 16) / 255.0, (colour >> 8 & 0xFF) / 255.0,
                             (colour & 0xFF) / 255.0);
    }
    ~Comparison() {
        if (context_ != nullptr) cairo_destroy(context_);
        cairo_surface_destroy(image_);
    }
    Comparison(const Comparison&) = delete;
    Comparison& operator=(const Comparison&) = delete;

    bool ready() const { return context_ != nullptr; }
    cairo_t* context() const { return context_; }
    // The copy, for ours to be drawn on.
    ImageTarget ours() { return {ours_.data(), stride_, alpha_, 0, 0, width_, height_}; }

    // Whether what cairo drew is ours, the unused byte of a 24-bit pixel aside.
    bool same() const {
        cairo_surface_flush(image_);
        if (cairo_status(context_) != CAIRO_STATUS_SUCCESS) return false;
        const unsigned char* data = cairo_image_surface_get_data(image_);
        const std::uint32_t compared = alpha_ ? 0xFFFFFFFFu : 0x00FFFFFFu;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * stride_ + x * 4;
                std::uint32_t drawn, made;
                std::memcpy(&drawn, data + at, 4);
                std::memcpy(&made, ours_.data() + at, 4);
                if (((drawn ^ made) & compared) != 0) return false;
            }
        return true;
    }

  private:
    cairo_surface_t* image_;
    cairo_t* context_ = nullptr;
    std::vector<unsigned char> ours_;
    int width_, height_, stride_ = 0;
    bool alpha_;
};

}  // namespace

KnownFont* knownFontOf(cairo_t* context) {
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_scaled_font_t* font = cairo_get_scaled_font(context);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) return nullptr;
    if (KnownFont* known =
            knownFonts.find([&](const KnownFont& kept) { return kept.font == font; }))
        return known;
    cairo_font_extents_t extents;
    cairo_font_extents(context, &extents);
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS) return nullptr;
    KnownFont& known = knownFonts.reuse();
    known.font = cairo_scaled_font_reference(font);
    known.extents = extents;
    known.known.fill(false);
    known.textsCompared = known.textsDiffer = 0;
    known.filling = ++fillings;
    known.meets.fill(0);
    for (auto& coverage : known.coverage) coverage.state = Coverage::State::unknown;
    return &known;
}

bool knowGlyph(cairo_t* context, KnownFont& known, char character) {
    const auto slot = static_cast<unsigned char>(character);
    if (known.known[slot]) return true;
    const char text[2] = {character, '\0'};
    cairo_text_extents_t extents;
    cairo_text_extents(context, text, &extents);
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS) return false;
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    const cairo_status_t status = cairo_scaled_font_text_to_glyphs(
        known.font, 0, 0, text, 1, &glyphs, &count, nullptr, nullptr, nullptr);
    const bool one = status == CAIRO_STATUS_SUCCESS && count == 1;
    if (one) {
        known.glyphExtents[slot] = extents;
        known.glyphIndex[slot] = glyphs[0].index;
        known.known[slot] = true;
    }
    cairo_glyph_free(glyphs);
    return one;
}

namespace {

// Draws the glyph once with cairo on a clear one-byte image, where OVER leaves its coverage as
// it is, with a margin that must stay clear: else the glyph spreads further than its extents say
// and is left to cairo.
bool makeCoverage(cairo_scaled_font_t* font, unsigned long index,
                  const cairo_text_extents_t& extents, Coverage& coverage) {
    constexpr int margin = 2;
    if (!(extents.width >= 0 && extents.height >= 0 && extents.width < maxCoverageSide &&
          extents.height < maxCoverageSide && std::abs(extents.x_bearing) < maxCoverageSide &&
          std::abs(extents.y_bearing) < maxCoverageSide))
        return false;
    const int left = static_cast<int>(std::floor(extents.x_bearing)) - margin;
    const int top = static_cast<int>(std::floor(extents.y_bearing)) - margin;
    const int width = static_cast<int>(std::ceil(extents.width)) + 2 * margin + 1;
    const int height = static_cast<int>(std::ceil(extents.height)) + 2 * margin + 1;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    cairo_t* context = cairo_create(image);
    cairo_set_scaled_font(context, font);
    const cairo_glyph_t glyph{index, -static_cast<double>(left), -static_cast<double>(top)};
    cairo_show_glyphs(context, &glyph, 1);
    cairo_surface_flush(image);
    bool made = cairo_status(context) == CAIRO_STATUS_SUCCESS;
    if (made) {
        // Kept is only the part with ink in it: the pixels around it would be passed over.
        const unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        int inkLeft = width, inkTop = height, inkRight = 0, inkBottom = 0;
        for (int y = 0; y < height; ++y) {
            const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = 0; x < width; ++x) {
                if (row[x] == 0) continue;
                if (x < margin || y < margin || x >= width - margin || y >= height - margin)
                    made = false;
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x + 1);
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y + 1);
            }
        }
        if (inkLeft >= inkRight) inkLeft = inkRight = inkTop = inkBottom = 0;
        coverage.left = left + inkLeft;
        coverage.top = top + inkTop;
        coverage.width = inkRight - inkLeft;
        coverage.height = inkBottom - inkTop;
        coverage.blockMade = false;
        coverage.alpha.resize(static_cast<std::size_t>(coverage.width) *
                              static_cast<std::size_t>(coverage.height));
        for (int y = inkTop; y < inkBottom; ++y)
            std::memcpy(
                coverage.alpha.data() + static_cast<std::size_t>(y - inkTop) * coverage.width,
                data + static_cast<std::ptrdiff_t>(y) * stride + inkLeft,
                static_cast<std::size_t>(coverage.width));
    }
    cairo_destroy(context);
    cairo_surface_destroy(image);
    return made;
}

// A pixel of a target as a word in cairo's order, 0xAARRGGBB, and back: a grey byte stands for
// the opaque pixel with that byte in red, green and blue alike.
std::uint32_t loadPixel(const ImageTarget&, const unsigned char* at) noexcept {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}
std::uint32_t loadPixel(const GreyTarget&, const unsigned char* at) noexcept {
    return 0xFF000000u | *at * 0x010101u;
}
void storePixel(const ImageTarget&, unsigned char* at, std::uint32_t value) noexcept {
    std::memcpy(at, &value, sizeof value);
}
void storePixel(const GreyTarget&, unsigned char* at, std::uint32_t value) noexcept {
    *at = static_cast<unsigned char>(value);
}

template <typename Target>
void compositeOnto(const Coverage& coverage, int originX, int originY, std::uint32_t colour,
                   const Target& target) {
    constexpr int bytes = std::is_same_v<Target, GreyTarget> ? 1 : 4;
    const int x1 = std::max(target.left, originX + coverage.left);
    const int y1 = std::max(target.top, originY + coverage.top);
    const int x2 = std::min(target.right, originX + coverage.left + coverage.width);
    const int y2 = std::min(target.bottom, originY + coverage.top + coverage.height);
    const auto rowAt = [&target](int y) {
        return target.data + static_cast<std::ptrdiff_t>(y) * target.stride;
    };
    constexpr int largestBlock = 4096;  // pixels
    if (x1 == originX + coverage.left && y1 == originY + coverage.top &&
        x2 - x1 == coverage.width && y2 - y1 == coverage.height && x1 < x2 && y1 < y2 &&
        coverage.keepsBlock && coverage.width * coverage.height <= largestBlock) {
        const std::uint32_t under = loadPixel(target, rowAt(y1) + x1 * bytes);
        // Pixels all alike, compared as they are stored: a row is its first pixel throughout
        // where it equals itself a pixel further on, and rows are alike where their first are.
        const auto rest = static_cast<std::size_t>(x2 - x1 - 1) * bytes;
        bool alike = true;
        bool known = false;
        if constexpr (std::is_same_v<Target, GreyTarget>) known = target.plainUnder;
        for (int y = y1; y < y2 && alike && !known; ++y) {
            const unsigned char* pixel = rowAt(y) + x1 * bytes;
            alike = std::memcmp(pixel, rowAt(y1) + x1 * bytes, bytes) == 0 &&
                    std::memcmp(pixel, pixel + bytes, rest) == 0;
        }
        if (alike) {
            if (!coverage.blockMade || coverage.blockColour != colour ||
                coverage.blockUnder != under) {
                coverage.block.resize(coverage.alpha.size());
                coverage.greyBlock.resize(coverage.alpha.size());
                for (std::size_t i = 0; i < coverage.alpha.size(); ++i) {
                    const std::uint32_t amount = coverage.alpha[i];
                    coverage.block[i] = amount == 0     ? under
                                        : amount == 255 ? colour
                                                        : over(colour, under, amount);
                    coverage.greyBlock[i] = static_cast<std::uint8_t>(coverage.block[i]);
                }
                coverage.blockColour = colour;
                coverage.blockUnder = under;
                coverage.blockMade = true;
            }
            const void* block = bytes == 4 ? static_cast<const void*>(coverage.block.data())
                                           : coverage.greyBlock.data();
            const auto rowBytes = static_cast<std::size_t>(coverage.width) * bytes;
            const auto* from = static_cast<const unsigned char*>(block);
            const unsigned char* end = from + rowBytes * static_cast<std::size_t>(y2 - y1);
            unsigned char* to = rowAt(y1) + x1 * bytes;
            // Short rows as two copies that may overlap, rather than a call for each row.
            if (rowBytes >= 8 && rowBytes <= 16) {
                for (; from != end; from += rowBytes, to += target.stride) {
                    std::memcpy(to, from, 8);
                    std::memcpy(to + rowBytes - 8, from + rowBytes - 8, 8);
                }
                return;
            }
            if (rowBytes >= 4 && rowBytes < 8) {
                for (; from != end; from += rowBytes, to += target.stride) {
                    std::memcpy(to, from, 4);
                    std::memcpy(to + rowBytes - 4, from + rowBytes - 4, 4);
                }
                return;
            }
            for (; from != end; from += rowBytes, to += target.stride)
                std::memcpy(to, from, rowBytes);
            return;
        }
    }
    OverOnePixel& table = overPaper;
    if (table.colour != colour) table.chosen = false;
    const bool greyColour = isOpaqueGrey(colour);
    for (int y = y1; y < y2; ++y) {
        const std::uint8_t* alpha =
            coverage.alpha.data() +
            static_cast<std::size_t>(y - originY - coverage.top) * coverage.width +
            (x1 - originX - coverage.left);
        unsigned char* pixel = rowAt(y) + x1 * bytes;
        for (int x = x1; x < x2; ++x, ++alpha, pixel += bytes) {
            const std::uint32_t amount = *alpha;
            if (amount == 0) continue;
            std::uint32_t value = colour;
            if (amount != 255) {
                value = loadPixel(target, pixel);
                if (!table.chosen) table.choose(colour, value);
                value = value == table.pixel                ? table.of(amount)
                        : greyColour && isOpaqueGrey(value) ? greyOver(colour, value, amount)
                                                            : over(colour, value, amount);
            }
            storePixel(target, pixel, value);
        }
    }
}

// Whether compositing the coverage gives the very pixels cairo gives, on an image of the
// format over pixels of all kinds and at an origin that cairo rounds: compared once for each
// glyph and format, so that a cairo that draws otherwise is never imitated wrongly.
bool matchesCairo(cairo_scaled_font_t* font, unsigned long index, const Coverage& coverage,
                  bool alpha) {
    constexpr int margin = 2;
    const int width = coverage.width + 2 * margin, height = coverage.height + 2 * margin;
    Comparison comparison(font, width, height, alpha);
    if (!comparison.ready()) return false;
    // Half a pixel to the left in x and a quarter below in y round to the same origin.
    const int originX = margin - coverage.left, originY = margin - coverage.top;
    const cairo_glyph_t glyph{index, originX - 0.5, originY + 0.25};
    cairo_show_glyphs(comparison.context(), &glyph, 1);
    if (glyphPixel(glyph.x) != originX || glyphPixel(glyph.y) != originY) return false;
    compositeOnto(coverage, originX, originY, 0xFF000000u | Comparison::colour, comparison.ours());
    return comparison.same();
}

// Whether two glyphs on one baseline, from their origins' columns, cover a pixel both.
bool inkMeets(const Coverage& one, int oneX, const Coverage& other, int otherX) noexcept {
    const int left = std::max(oneX + one.left, otherX + other.left);
    const int right = std::min(oneX + one.left + one.width, otherX + other.left + other.width);
    const int top = std::max(one.top, other.top);
    const int bottom = std::min(one.top + one.height, other.top + other.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const auto at = [y, x](const Coverage& coverage, int originX) {
                return coverage.alpha[static_cast<std::size_t>(y - coverage.top) * coverage.width +
                                      static_cast<std::size_t>(x - originX - coverage.left)];
            };
            if (at(one, oneX) != 0 && at(other, otherX) != 0) return true;
        }
    return false;
}

// inkMeets() of two characters, as found before for the same distance apart.
bool inkMeets(const KnownFont& known, unsigned char one, int oneX, unsigned char other,
              int otherX) noexcept {
    const Coverage& first = known.coverage[one];
    const Coverage& second = known.coverage[other];
    const int apart = otherX - oneX;
    if (apart < -256 || apart > 255) return inkMeets(first, oneX, second, otherX);
    const std::uint32_t key = std::uint32_t{one} << 16 | std::uint32_t{other} << 9 |
                              static_cast<std::uint32_t>(apart + 256);
    std::uint32_t& slot = known.meets[(key * 2654435761u) >> 23];
    if (slot >> 1 == (1u << 30 | key)) return (slot & 1u) != 0;
    const bool meets = inkMeets(first, oneX, second, otherX);
    slot = 1u << 31 | key << 1 | static_cast<std::uint32_t>(meets);
    return meets;
}

}  // namespace

bool usableGlyph(KnownFont& known, char character, bool alpha) {
    const auto slot = static_cast<unsigned char>(character);
    Coverage& coverage = known.coverage[slot];
    const unsigned long index = known.glyphIndex[slot];
    const std::uint8_t format = alpha ? 2 : 1;
    if (coverage.state == Coverage::State::unknown) {
        coverage.comparedFormats = 0;
        coverage.state = makeCoverage(known.font, index, known.glyphExtents[slot], coverage)
                             ? Coverage::State::made
                             : Coverage::State::unusable;
    }
    if (coverage.state != Coverage::State::made) return false;
    if ((coverage.comparedFormats & format) == 0) {
        if (!matchesCairo(known.font, index, coverage, alpha)) {
            coverage.state = Coverage::State::unusable;
            return false;
        }
        coverage.comparedFormats |= format;
    }
    return true;
}

bool placeGlyphs(const KnownFont& known, std::string_view text, double x, double y,
                 PlacedText& placed) {
    constexpr double farOff = PlacedText::farOff;
    if (text.size() > PlacedText::longest || !(std::abs(y) < farOff)) return false;
    placed.y = glyphPixel(y);
    placed.overlapping = false;
    bool inked = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto slot = static_cast<unsigned char>(text[i]);
        if (!(std::abs(x) < farOff) || known.glyphExtents[slot].y_advance != 0) return false;
        placed.x[i] = glyphPixel(x);
        x += known.glyphExtents[slot].x_advance;
        const Coverage& coverage = known.coverage[slot];
        if (coverage.width == 0) continue;
        const PixelArea ink{placed.x[i] + coverage.left, placed.y + coverage.top,
                            placed.x[i] + coverage.left + coverage.width,
                            placed.y + coverage.top + coverage.height};
        // Only a glyph whose columns reach into this one's may share a pixel with it.
        if (inked && ink.left < placed.inked.right)
            for (std::size_t j = 0; j < i && !placed.overlapping; ++j) {
                const auto before = static_cast<unsigned char>(text[j]);
                const Coverage& other = known.coverage[before];
                const int otherLeft = placed.x[j] + other.left;
                if (otherLeft < ink.right && ink.left < otherLeft + other.width)
                    placed.overlapping = inkMeets(known, before, placed.x[j], slot, placed.x[i]);
            }
        placed.inked = !inked ? ink : around(placed.inked, ink);
        inked = true;
    }
    if (!inked) placed.inked = {};
    return true;
}

namespace {

template <typename Target>
void compositeTextOnto(const KnownFont& known, std::string_view text, const PlacedText& placed,
                       std::uint32_t colour, const Target& target) {
    if (!placed.overlapping) {
        if constexpr (std::is_same_v<Target, GreyTarget>) {
            if (target.plainUnder) {
                // Plain under a glyph that lies beyond the glyphs before it: the rows of a
                // glyph's box are its own where they hold none of its ink.
                GreyTarget plain = target;
                int reached = std::numeric_limits<int>::min();
                for (std::size_t i = 0; i < text.size(); ++i) {
                    const Coverage& glyph = known.coverage[static_cast<unsigned char>(text[i])];
                    const int left = placed.x[i] + glyph.left;
                    plain.plainUnder = left >= reached;
                    if (glyph.width > 0) reached = std::max(reached, left + glyph.width);
                    if (!plain.plainUnder ||
                        !copyKeptBlock(glyph, placed.x[i], placed.y, colour, plain))
                        compositeOnto(glyph, placed.x[i], placed.y, colour, plain);
                }
                return;
            }
        }
        for (std::size_t i = 0; i < text.size(); ++i)
            compositeOnto(known.coverage[static_cast<unsigned char>(text[i])], placed.x[i],
                          placed.y, colour, target);
        return;
    }
    // The text's coverage as one, from the origin (0, 0); kept per thread for its room.
    thread_local Coverage added;
    added.left = placed.inked.left;
    added.top = placed.inked.top;
    added.width = placed.inked.right - placed.inked.left;
    added.height = placed.inked.bottom - placed.inked.top;
    added.keepsBlock = false;
    added.alpha.assign(
        static_cast<std::size_t>(added.width) * static_cast<std::size_t>(added.height), 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Coverage& glyph = known.coverage[static_cast<unsigned char>(text[i])];
        for (int y = 0; y < glyph.height; ++y) {
            const std::uint8_t* from =
                glyph.alpha.data() + static_cast<std::size_t>(y) * glyph.width;
            std::uint8_t* to =
                added.alpha.data() +
                static_cast<std::size_t>(placed.y + glyph.top + y - added.top) * added.width +
                static_cast<std::size_t>(placed.x[i] + glyph.left - added.left);
            for (int x = 0; x < glyph.width; ++x)
                to[x] = static_cast<std::uint8_t>(std::min(255, to[x] + from[x]));
        }
    }
    compositeOnto(added, 0, 0, colour, target);
}

}  // namespace

void compositeText(const KnownFont& known, std::string_view text, const PlacedText& placed,
                   std::uint32_t colour, const ImageTarget& target) {
    compositeTextOnto(known, text, placed, colour, target);
}

void compositeText(const KnownFont& known, std::string_view text, const PlacedText& placed,
                   std::uint32_t colour, const GreyTarget& target) {
    compositeTextOnto(known, text, placed, colour, target);
}

bool textMatchesCairo(const KnownFont& known, std::string_view text, bool alpha,
                      bool& overlapping) {
    // Placed first from the origin, to size the image, then within it from half a pixel to the
    // left and a quarter below a whole pixel, as matchesCairo() places one glyph.
    PlacedText placed;
    if (!placeText(known, text, 0.5, 0.25, placed)) return false;
    constexpr int margin = 2;
    const int left = margin - placed.inked.left, top = margin - placed.inked.top;
    Comparison comparison(known.font, placed.inked.right - placed.inked.left + 2 * margin,
                          placed.inked.bottom - placed.inked.top + 2 * margin, alpha);
    if (!comparison.ready() || !placeText(known, text, left + 0.5, top + 0.25, placed))
        return false;
    const std::string characters(text);
    cairo_move_to(comparison.context(), left + 0.5, top + 0.25);
    cairo_show_text(comparison.context(), characters.c_str());
    compositeText(known, text, placed, 0xFF000000u | Comparison::colour, comparison.ours());
    overlapping = placed.overlapping;
    return comparison.same();
}

}  // namespace quillet
