#include "surfaces/cairo/cairo_surface.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <utility>

#include "render/errors.h"
#include "render/text.h"
#include "surfaces/cairo/glyph_cache.h"

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
    if (keepsExtents_) drawn_.add(x1, y1, rightX, bottomY);

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
    if (keepsExtents_) {
        drawnOnDevice_.add(left, top, right, bottom);
        boxesOnDevice_.add(left, top, right, bottom);
    }
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

bool CairoSurface::compositeText(std::string_view text, double x, double baseline,
                                 const ImageTarget& target, PixelArea& touched) {
    // Below a pixel and a half to the em, what cairo draws of a glyph depends on where between
    // pixels it starts (it clips the glyph to extents at that very position): text that small
    // is left to cairo, with some room to spare.
    constexpr double smallestSize = 4;
    if (text.empty() || text.size() > PlacedText::longest || !isPlainAscii(text) ||
        !(fontSize_ * placement_.devicePerPoint >= smallestSize))
        return false;
    KnownFont* known = knownFontOf(context_);
    if (known == nullptr) return false;
    const std::uint8_t format = target.alpha ? 2 : 1;
    for (const char character : text) {
        if (!knowGlyph(context_, *known, character)) return false;
        const auto slot = static_cast<unsigned char>(character);
        Coverage& coverage = known->coverage[slot];
        const unsigned long index = known->glyphIndex[slot];
        if (coverage.state == Coverage::State::unknown) {
            coverage.comparedFormats = 0;
            coverage.state = makeCoverage(known->font, index, known->glyphExtents[slot], coverage)
                                 ? Coverage::State::made
                                 : Coverage::State::unusable;
        }
        if (coverage.state != Coverage::State::made) return false;
        if ((coverage.comparedFormats & format) == 0) {
            if (!matchesCairo(known->font, index, coverage, target.alpha)) {
                coverage.state = Coverage::State::unusable;
                return false;
            }
            coverage.comparedFormats |= format;
        }
    }
    // cairo starts text at the current point, which it keeps on its fixed-point grid.
    double glyphX = 0, glyphY = 0;
    cairo_move_to(context_, x, baseline);
    cairo_get_current_point(context_, &glyphX, &glyphY);
    cairo_new_path(context_);
    PlacedText placed;
    if (!placeText(*known, text, glyphX, glyphY, placed)) return false;
    // Texts of several characters are compared with cairo once, with their glyphs apart and
    // once overlapping.
    const auto kind = static_cast<std::uint8_t>(placed.overlapping ? format << 2 : format);
    if (text.size() > 1 && (known->textsCompared & kind) == 0) {
        if ((known->textsDiffer & kind) != 0) return false;
        bool overlapping = false;
        const bool same = textMatchesCairo(*known, text, target.alpha, overlapping);
        const auto compared = static_cast<std::uint8_t>(overlapping ? format << 2 : format);
        (same ? known->textsCompared : known->textsDiffer) |= compared;
        if ((known->textsCompared & kind) == 0) return false;
    }
    touched = placed.inked;
    compositing(touched);
    const auto colour = static_cast<std::uint32_t>(foreColor_);
    quillet::compositeText(
        *known, text, placed,
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
    if (keepsExtents_) {
        drawn_.add(currentX_, currentY_, currentX_ + width,
                   currentY_ + font.height / placement_.devicePerUnit);
        drawnOnDevice_.add(deviceX, deviceY, deviceX + extents.x_advance, deviceY + font.height);
    }
    currentX_ += width;
}

}  // namespace quillet
