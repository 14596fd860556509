#include "surfaces/cairo/cairo_surface.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "render/errors.h"
#include "render/text.h"

namespace quillet {
namespace {

struct NamedMode {
    std::string_view name;
    ScaleMode mode;
};
constexpr std::array<NamedMode, 6> modeNames = {{{"twips", ScaleMode::twips},
                                                 {"points", ScaleMode::points},
                                                 {"pixels", ScaleMode::pixels},
                                                 {"millimetres", ScaleMode::millimetres},
                                                 {"mm", ScaleMode::millimetres},
                                                 {"inches", ScaleMode::inches}}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// What cairo takes as a character: it refuses the noncharacters (U+FDD0 .. U+FDEF and the last
// two of every plane) as well as surrogates and malformed UTF-8, and a NUL would end the text.
bool cairoAccepts(char32_t character) noexcept {
    return character != 0 && character <= 0x10FFFF && (character & 0xFFFFF800u) != 0xD800 &&
           (character < 0xFDD0 || character > 0xFDEF) && (character & 0xFFFE) != 0xFFFE;
}

// A context that refuses a text stays in error for good, so the text is made one that cairo
// takes first: what it would refuse shows as a replacement character.
std::string drawableText(std::string_view text) {
    std::u32string characters = decodeUtf8(text);
    std::replace_if(
        characters.begin(), characters.end(), [](char32_t c) { return !cairoAccepts(c); },
        U'\uFFFD');
    return encodeUtf8(characters);
}

// Plain ASCII without NUL is text cairo takes as it is.
bool isPlainAscii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte < 0x80;
    });
}

std::string textForCairo(std::string_view text) {
    return isPlainAscii(text) ? std::string(text) : drawableText(text);
}

// A glyph's coverage as cairo composites it on an image: one byte a pixel, from the glyph's
// origin rounded to whole pixels.
struct Coverage {
    enum class State : std::uint8_t { unknown, made, unusable };
    State state = State::unknown;
    std::uint8_t comparedFormats = 0;  // a bit for each image format found to give cairo's pixels
    int left = 0, top = 0;             // of the first column and row, from the origin
    int width = 0, height = 0;
    std::vector<std::uint8_t> alpha;
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
};

struct KnownFonts {
    std::array<KnownFont, 4> fonts;
    std::size_t next = 0;
    KnownFonts() = default;
    KnownFonts(const KnownFonts&) = delete;
    KnownFonts& operator=(const KnownFonts&) = delete;
    ~KnownFonts() {
        for (auto& known : fonts)
            if (known.font != nullptr) cairo_scaled_font_destroy(known.font);
    }
};

thread_local KnownFonts knownFonts;

// The context's font as kept, nothing while the context or its font is in error.
KnownFont* knownFontOf(cairo_t* context) {
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_scaled_font_t* font = cairo_get_scaled_font(context);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) return nullptr;
    for (auto& known : knownFonts.fonts)
        if (known.font == font) return &known;
    cairo_font_extents_t extents;
    cairo_font_extents(context, &extents);
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS) return nullptr;
    KnownFont& known = knownFonts.fonts[knownFonts.next];
    knownFonts.next = (knownFonts.next + 1) % knownFonts.fonts.size();
    if (known.font != nullptr) cairo_scaled_font_destroy(known.font);
    known.font = cairo_scaled_font_reference(font);
    known.extents = extents;
    known.known.fill(false);
    for (auto& coverage : known.coverage) coverage.state = Coverage::State::unknown;
    return &known;
}

// One ASCII character's extents and glyph, as cairo gives them for the text of that character.
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

// An opaque colour over a pixel through a coverage: cairo's OVER on the premultiplied pixel, the
// alpha byte as well (the colour's is 255). No byte carries into the next: each sum is at most
// 255 * coverage / 255 + 255 * (255 - coverage) / 255, rounded, which is 255.
void compositeOver(unsigned char* pixel, std::uint32_t colour, std::uint32_t coverage) noexcept {
    std::uint32_t value;
    std::memcpy(&value, pixel, sizeof value);
    value = coverage == 255
                ? colour
                : multiplyBytes(colour, coverage) + multiplyBytes(value, 255 - coverage);
    std::memcpy(pixel, &value, sizeof value);
}

// Where cairo puts a glyph's origin given on its fixed-point grid: rounded half up.
int glyphPixel(double position) noexcept {
    return static_cast<int>(std::floor(position + 0.5));
}

// Coverage is kept for glyphs up to this many pixels a side, 28 KB each at the most; larger
// ones are rare enough to leave to cairo, and a thread's fonts stay within a few megabytes.
constexpr int maxCoverageSide = 160;

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
        const unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        coverage.alpha.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
            std::memcpy(coverage.alpha.data() + static_cast<std::size_t>(y) * width, row,
                        static_cast<std::size_t>(width));
            for (int x = 0; x < width; ++x)
                if (row[x] != 0 &&
                    (x < margin || y < margin || x >= width - margin || y >= height - margin))
                    made = false;
        }
        coverage.left = left;
        coverage.top = top;
        coverage.width = width;
        coverage.height = height;
    }
    cairo_destroy(context);
    cairo_surface_destroy(image);
    return made;
}

// Composites a coverage at an origin in whole pixels, within a clip.
void compositeCoverage(const Coverage& coverage, int originX, int originY, std::uint32_t colour,
                       const ImageTarget& target) {
    const int x1 = std::max(target.left, originX + coverage.left);
    const int y1 = std::max(target.top, originY + coverage.top);
    const int x2 = std::min(target.right, originX + coverage.left + coverage.width);
    const int y2 = std::min(target.bottom, originY + coverage.top + coverage.height);
    for (int y = y1; y < y2; ++y) {
        const std::uint8_t* alpha =
            coverage.alpha.data() +
            static_cast<std::size_t>(y - originY - coverage.top) * coverage.width +
            (x1 - originX - coverage.left);
        unsigned char* pixel =
            target.data + static_cast<std::ptrdiff_t>(y) * target.stride + x1 * 4;
        for (int x = x1; x < x2; ++x, ++alpha, pixel += 4)
            if (*alpha != 0) compositeOver(pixel, colour, *alpha);
    }
}

// Whether compositing the coverage gives the very pixels cairo gives, on an image of the
// format over pixels of all kinds and at an origin that cairo rounds: compared once for each
// glyph and format, so that a cairo that draws otherwise is never imitated wrongly.
bool matchesCairo(cairo_scaled_font_t* font, unsigned long index, const Coverage& coverage,
                  bool alpha) {
    constexpr int margin = 2;
    const int width = coverage.width + 2 * margin, height = coverage.height + 2 * margin;
    cairo_surface_t* image =
        cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return false;
    }
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    // Pixels opaque and, with alpha, translucent and clear, their premultiplied colours varied.
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
            std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, &pixel, 4);
        }
    cairo_surface_mark_dirty(image);
    std::vector<unsigned char> ours(data, data + static_cast<std::ptrdiff_t>(height) * stride);
    constexpr std::uint32_t colour = 0x2A6FC3;  // 0xRRGGBB, as an opaque pixel holds it
    cairo_t* context = cairo_create(image);
    cairo_set_scaled_font(context, font);
    cairo_set_source_rgb(context, (colour >> 16) / 255.0, (colour >> 8 & 0xFF) / 255.0,
                         (colour & 0xFF) / 255.0);
    // Half a pixel to the left in x and a quarter below in y round to the same origin.
    const int originX = margin - coverage.left, originY = margin - coverage.top;
    const cairo_glyph_t glyph{index, originX - 0.5, originY + 0.25};
    cairo_show_glyphs(context, &glyph, 1);
    cairo_surface_flush(image);
    bool same = cairo_status(context) == CAIRO_STATUS_SUCCESS && glyphPixel(glyph.x) == originX &&
                glyphPixel(glyph.y) == originY;
    if (same) {
        const ImageTarget target{ours.data(), stride, alpha, 0, 0, width, height};
        compositeCoverage(coverage, originX, originY, 0xFF000000u | colour, target);
        for (int y = 0; y < height && same; ++y)
            for (int x = 0; x < width && same; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * stride + x * 4;
                std::uint32_t drawn, made;
                std::memcpy(&drawn, data + at, 4);
                std::memcpy(&made, ours.data() + at, 4);
                const std::uint32_t compared = alpha ? 0xFFFFFFFFu : 0x00FFFFFFu;
                same = ((drawn ^ made) & compared) == 0;
            }
    }
    cairo_destroy(context);
    cairo_surface_destroy(image);
    return same;
}

// A text of one plain ASCII character.
bool isOneAscii(std::string_view text) noexcept {
    return text.size() == 1 && isPlainAscii(text);
}

// A failure of cairo itself ends the drawing as a surface failure does.
void raiseFor(cairo_status_t status) {
    if (status == CAIRO_STATUS_SUCCESS) return;
    raise(status == CAIRO_STATUS_NO_MEMORY ? error::outOfMemory : error::invalidArgument);
}

// std::round without the library call, which cost more than the rest of a box's arithmetic.
// Below 2^52 the fraction left after truncating is exact.
double roundHalfAway(double value) noexcept {
    if (!(std::abs(value) < 4503599627370496.0)) return std::round(value);
    const double whole = static_cast<double>(static_cast<std::int64_t>(value));
    const double fraction = value - whole;
    const double rounded = fraction >= 0.5 ? whole + 1 : fraction <= -0.5 ? whole - 1 : whole;
    return std::copysign(rounded, value);  // -0.4 rounds to -0, as std::round has it
}

void setColor(cairo_t* context, std::int32_t color) {
    const auto channel = [color](int shift) { return ((color >> shift) & 0xFF) / 255.0; };
    cairo_set_source_rgb(context, channel(0), channel(8), channel(16));
}

}  // namespace

std::optional<ScaleMode> scaleModeNamed(std::string_view name) noexcept {
    for (const auto& entry : modeNames)
        if (equalsIgnoringCase(entry.name, name)) return entry.mode;
    return std::nullopt;
}

std::string_view nameOf(ScaleMode mode) noexcept {
    for (const auto& entry : modeNames)
        if (entry.mode == mode) return entry.name;
    return {};
}

double unitsPerInch(ScaleMode mode, double dpi) noexcept {
    switch (mode) {
        case ScaleMode::twips:
            return 1440.0;
        case ScaleMode::points:
            return 72.0;
        case ScaleMode::pixels:
            return dpi;
        case ScaleMode::millimetres:
            return 25.4;
        case ScaleMode::inches:
            return 1.0;
    }
    return 1440.0;
}

void Extents::add(double x1, double y1, double x2, double y2) noexcept {
    const double minX = std::min(x1, x2), maxX = std::max(x1, x2);
    const double minY = std::min(y1, y2), maxY = std::max(y1, y2);
    if (empty) {
        *this = {minX, minY, maxX, maxY, false};
        return;
    }
    left = std::min(left, minX);
    top = std::min(top, minY);
    right = std::max(right, maxX);
    bottom = std::max(bottom, maxY);
}

void Extents::add(const Extents& other) noexcept {
    if (!other.empty) add(other.left, other.top, other.right, other.bottom);
}

void checkColor(std::int32_t color) {
    // The high byte marks system colours and palette indexes, which have no fixed RGB value.
    if ((static_cast<std::uint32_t>(color) & 0xFF000000u) != 0) raise(error::invalidPropertyValue);
}

CairoSurface::CairoSurface(cairo_t* context, const DevicePlacement& placement)
    : context_(context), placement_(placement) {}

double CairoSurface::toDeviceX(double x) const noexcept {
    return placement_.originX + x * placement_.devicePerUnit;
}

double CairoSurface::toDeviceY(double y) const noexcept {
    return placement_.originY + y * placement_.devicePerUnit;
}

// A text keeps its place among the boxes that grid fitting moved: its x is shifted as much as
// the run of boxes is shifted at that x.
double CairoSurface::textDeviceX(double x) const noexcept {
    if (!run_.started) return toDeviceX(x);
    const double startShift = run_.deviceLeft - toDeviceX(run_.unitLeft);
    const double endShift = run_.deviceRight - toDeviceX(run_.unitRight);
    const double span = run_.unitRight - run_.unitLeft;
    const double along = span > 0 ? std::clamp((x - run_.unitLeft) / span, 0.0, 1.0)
                                  : (x >= run_.unitRight ? 1.0 : 0.0);
    return toDeviceX(x) + startShift + along * (endShift - startShift);
}

void CairoSurface::checkContext() const {
    raiseFor(cairo_status(context_));
}

void CairoSurface::FaceRelease::operator()(cairo_font_face_t* face) const noexcept {
    cairo_font_face_destroy(face);
}

void CairoSurface::setFontName(std::string_view name) {
    std::string drawable = drawableText(name);
    if (drawable != fontName_) face_.reset();
    fontName_ = std::move(drawable);
}

void CairoSurface::setForeColor(std::int32_t color) {
    checkColor(color);
    foreColor_ = color;
}

void CairoSurface::setFontBold(bool bold) {
    if (bold != bold_) face_.reset();
    bold_ = bold;
}

void CairoSurface::setFontSize(std::int16_t size) {
    // Hosts draw anything smaller than a point at one point rather than failing. A size the
    // placement fixes stands for whatever the method asks.
    fontSize_ = placement_.fontPoints.value_or(std::max<double>(size, 1.0));
}

void CairoSurface::setCurrentX(Coordinate x) {
    currentX_ = coordinateValue(x);
}

void CairoSurface::setCurrentY(float y) {
    currentY_ = y;
}

// Selected again before every use: several surfaces may share one context (a sheet, a grid).
// The face is looked up once per name and weight, and the context's face and size are set only
// when they differ: cairo drops the context's scaled font whenever the size is set, even to the
// size it has, and finding it again costs more than the text.
void CairoSurface::selectFont() {
    checkContext();
    if (!face_)
        face_.reset(
            cairo_toy_font_face_create(fontName_.c_str(), CAIRO_FONT_SLANT_NORMAL,
                                       bold_ ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL));
    // A face or a size that cairo cannot use would put the context in error. FreeType takes at
    // most 65535 pixels to the em; beyond that cairo's face fails, and after a small size it
    // stays failed for every later context in the process. No text needs more than this anyway
    // (27 inches at 600 dpi).
    raiseFor(cairo_font_face_status(face_.get()));
    constexpr double maxDeviceSize = 16384;
    const double size = std::min(fontSize_ * placement_.devicePerPoint, maxDeviceSize);
    if (!std::isfinite(size) || size <= 0) raise(error::invalidPropertyValue);
    if (cairo_get_font_face(context_) != face_.get()) cairo_set_font_face(context_, face_.get());
    cairo_matrix_t matrix;
    cairo_get_font_matrix(context_, &matrix);
    if (matrix.xx != size || matrix.yy != size || matrix.xy != 0 || matrix.yx != 0)
        cairo_set_font_size(context_, size);
}

double CairoSurface::textWidth(std::string_view text) {
    selectFont();
    if (isOneAscii(text))
        if (KnownFont* known = knownFontOf(context_); known && knowGlyph(context_, *known, text[0]))
            return known->glyphExtents[static_cast<unsigned char>(text[0])].x_advance /
                   placement_.devicePerUnit;
    const std::string drawable = textForCairo(text);
    cairo_text_extents_t extents;
    cairo_text_extents(context_, drawable.c_str(), &extents);
    checkContext();
    return extents.x_advance / placement_.devicePerUnit;
}

double CairoSurface::textHeight(std::string_view) {
    selectFont();
    cairo_font_extents_t extents;
    cairo_font_extents(context_, &extents);
    checkContext();
    return extents.height / placement_.devicePerUnit;
}

void CairoSurface::line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                        std::int32_t color) {
    if (flags != boxFlags) raise(error::invalidPropertyValue);
    checkColor(color);

    // Both corners are inclusive: the box covers x1 .. x2 + 1, so x .. x + w - 1 is w wide.
    const double rightX = x2 + 1.0;
    const double bottomY = static_cast<double>(y2) + 1.0;
    drawn_.add(x1, y1, rightX, bottomY);

    const double unitLeft = std::min<double>(x1, rightX), unitRight = std::max<double>(x1, rightX);
    double left = toDeviceX(unitLeft);
    double right = toDeviceX(unitRight);
    double top = std::min(toDeviceY(y1), toDeviceY(bottomY));
    double bottom = std::max(toDeviceY(y1), toDeviceY(bottomY));
    if (placement_.gridFit) {
        // Every box gets a whole number of pixels, the same for the same width, and a box that
        // continues a run starts where the one before it ended: equal bars stay equal, as a
        // reader needs, at the cost of the symbol growing or shrinking a little with the DPI.
        const double width = roundHalfAway(right - left);
        if (run_.started && unitLeft == run_.unitRight) {
            left = run_.deviceRight;
        } else {
            left = roundHalfAway(left);
            run_ = {true, unitLeft, unitRight, left, left};
        }
        right = left + width;
        run_.unitRight = unitRight;
        run_.deviceRight = right;
        top = roundHalfAway(top);
        bottom = roundHalfAway(bottom);
    }
    drawnOnDevice_.add(left, top, right, bottom);
    boxesOnDevice_.add(left, top, right, bottom);
    if (color != white && placement_.barReduction > 0) {
        const double reduction =
            placement_.gridFit ? roundHalfAway(placement_.barReduction) : placement_.barReduction;
        const double leftPart = placement_.gridFit ? std::floor(reduction / 2) : reduction / 2;
        left += leftPart;
        right = std::max(left, right - (reduction - leftPart));
    }
    if (right <= left || bottom <= top) return;
    checkContext();
    paintBox(left, top, right, bottom, color);
    checkContext();
}

void CairoSurface::paintBox(double left, double top, double right, double bottom,
                            std::int32_t color) {
    setColor(context_, color);
    cairo_rectangle(context_, left, top, right - left, bottom - top);
    cairo_fill(context_);
}

void CairoSurface::showText(const std::string& text, double x, double baseline) {
    setColor(context_, foreColor_);
    cairo_move_to(context_, x, baseline);
    cairo_show_text(context_, text.c_str());
    cairo_new_path(context_);
}

bool CairoSurface::showGlyph(std::string_view text, double x, double baseline) {
    if (!isOneAscii(text)) return false;
    KnownFont* known = knownFontOf(context_);
    if (known == nullptr || !knowGlyph(context_, *known, text[0])) return false;
    setColor(context_, foreColor_);
    // cairo starts text at the current point, which it keeps on its fixed-point grid.
    cairo_move_to(context_, x, baseline);
    cairo_glyph_t glyph{known->glyphIndex[static_cast<unsigned char>(text[0])], 0, 0};
    cairo_get_current_point(context_, &glyph.x, &glyph.y);
    cairo_show_glyphs(context_, &glyph, 1);
    cairo_new_path(context_);
    return true;
}

bool CairoSurface::compositeGlyph(std::string_view text, double x, double baseline,
                                  const ImageTarget& target) {
    // Below a pixel and a half to the em, what cairo draws of a glyph depends on where between
    // pixels it starts (it clips the glyph to extents at that very position): text that small
    // is left to cairo, with some room to spare.
    constexpr double smallestSize = 4;
    if (!isOneAscii(text) || !(fontSize_ * placement_.devicePerPoint >= smallestSize)) return false;
    KnownFont* known = knownFontOf(context_);
    if (known == nullptr || !knowGlyph(context_, *known, text[0])) return false;
    const auto slot = static_cast<unsigned char>(text[0]);
    Coverage& coverage = known->coverage[slot];
    const unsigned long index = known->glyphIndex[slot];
    if (coverage.state == Coverage::State::unknown) {
        coverage.comparedFormats = 0;
        coverage.state = makeCoverage(known->font, index, known->glyphExtents[slot], coverage)
                             ? Coverage::State::made
                             : Coverage::State::unusable;
    }
    if (coverage.state != Coverage::State::made) return false;
    const std::uint8_t format = target.alpha ? 2 : 1;
    if ((coverage.comparedFormats & format) == 0) {
        if (!matchesCairo(known->font, index, coverage, target.alpha)) {
            coverage.state = Coverage::State::unusable;
            return false;
        }
        coverage.comparedFormats |= format;
    }
    // cairo starts text at the current point, which it keeps on its fixed-point grid.
    double glyphX = 0, glyphY = 0;
    cairo_move_to(context_, x, baseline);
    cairo_get_current_point(context_, &glyphX, &glyphY);
    cairo_new_path(context_);
    // A glyph this far out lies beyond any image: left to cairo, its pixel needs no int.
    constexpr double farOff = 1e9;
    if (!(std::abs(glyphX) < farOff && std::abs(glyphY) < farOff)) return false;
    const auto colour = static_cast<std::uint32_t>(foreColor_);
    compositeCoverage(
        coverage, glyphPixel(glyphX), glyphPixel(glyphY),
        0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu), target);
    return true;
}

void CairoSurface::print(std::string_view text) {
    selectFont();
    const std::string drawable = textForCairo(text);
    cairo_font_extents_t font;
    cairo_text_extents_t extents;
    KnownFont* known = isOneAscii(text) ? knownFontOf(context_) : nullptr;
    if (known != nullptr && knowGlyph(context_, *known, text[0])) {
        font = known->extents;
        extents = known->glyphExtents[static_cast<unsigned char>(text[0])];
    } else {
        cairo_font_extents(context_, &font);
        cairo_text_extents(context_, drawable.c_str(), &extents);
    }
    checkContext();

    // CurrentY is the top of the text line; cairo places text by its baseline.
    const double deviceX = textDeviceX(currentX_), deviceY = toDeviceY(currentY_);
    showText(drawable, deviceX, deviceY + font.ascent);
    checkContext();

    const double width = extents.x_advance / placement_.devicePerUnit;
    drawn_.add(currentX_, currentY_, currentX_ + width,
               currentY_ + font.height / placement_.devicePerUnit);
    drawnOnDevice_.add(deviceX, deviceY, deviceX + extents.x_advance, deviceY + font.height);
    currentX_ += width;
}

}  // namespace quillet
