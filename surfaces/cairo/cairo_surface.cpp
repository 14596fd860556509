#include "surfaces/cairo/cairo_surface.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "render/errors.h"
#include "render/text.h"
#include "surfaces/cairo/glyph_cache.h"
#include "surfaces/cairo/kept_per_thread.h"

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

std::string textForCairo(std::string_view text) {
    return isPlainAscii(text) ? std::string(text) : drawableText(text);
}

// A text of one plain ASCII character.
bool isOneAscii(std::string_view text) noexcept {
    return text.size() == 1 && isPlainAscii(text);
}

// cairo's advance for a text from the glyphs kept of its font, for a text of printable ASCII
// (one glyph a character) or of any one ASCII character: false, for cairo to measure, for any
// other text or a glyph it would not give alone. cairo places each glyph at the advances before
// it, added one by one to the current point, and takes the text's advance as the end of the
// last less that point: the very same sums here give the very same answer, without the lock
// cairo holds on the font while it measures.
bool keptAdvance(cairo_t* context, KnownFont& known, std::string_view text, bool pathless,
                 double& advance) {
    const bool lone = text.size() == 1;
    // A glyph is learnt only from a text cairo measures from 0, where its advance is exact.
    const bool fromZero = pathless || !cairo_has_current_point(context);
    double start = 0, unused = 0;
    if (!fromZero) cairo_get_current_point(context, &start, &unused);
    double end = start;
    for (const char character : text) {
        const auto slot = static_cast<unsigned char>(character);
        const bool kept = lone ? slot != 0 && slot < 0x80 : slot >= 0x20 && slot < 0x7F;
        if (!kept || !(known.known[slot] || (fromZero && knowGlyph(context, known, character))))
            return false;
        end += known.glyphExtents[slot].x_advance;
    }
    advance = end - start;
    return true;
}

// A device position as cairo keeps it, in 24.8 fixed point: the double rounded to 1/256 as
// adding 1.5 * 2^44 rounds it, its low 32 bits the fixed-point value.
double fixedPoint(double value) noexcept {
    const double shifted = value + 26388279066624.0;  // 1.5 * 2^44
    std::uint64_t bits = 0;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)) / 256.0;
}

// Whether this cairo keeps points as fixedPoint() has them: compared with cairo once, at ties,
// both signs and the ends of the range.
bool cairoKeepsFixedPoints() {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* context = cairo_create(image);
    bool alike = cairo_status(context) == CAIRO_STATUS_SUCCESS;
    for (const double value :
         {0.0, 0.5 / 256, 1.5 / 256, -0.5 / 256, -1.5 / 256, 2.5 / 256, 123.456789, -77.001953125,
          4194303.998046875, -4194303.5, 1e-9, 3.000001953125})
        if (alike) {
            double x = 0, y = 0;
            cairo_move_to(context, value, -value);
            cairo_get_current_point(context, &x, &y);
            cairo_new_path(context);
            alike = x == fixedPoint(value) && y == fixedPoint(-value);
        }
    cairo_destroy(context);
    cairo_surface_destroy(image);
    return alike;
}
// A device point as cairo keeps it; false, for cairo to say, beyond where fixedPoint() holds,
// or should this cairo keep its points otherwise.
inline bool onFixedGrid(double x, double y, double& keptX, double& keptY) noexcept {
    static const bool fixedPointsAlike = cairoKeepsFixedPoints();
    constexpr double within = 4194304;  // 2^22, well inside 24.8 fixed point
    if (!fixedPointsAlike || !(std::abs(x) < within) || !(std::abs(y) < within)) return false;
    keptX = fixedPoint(x);
    keptY = fixedPoint(y);
    return true;
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
    if (fraction >= 0.5) return whole + 1;
    if (fraction <= -0.5) return whole - 1;
    return std::copysign(whole, value);  // -0.4 rounds to -0, as std::round has it
}

// roundHalfAway(), noting whether the value rounds as it does moved by a whole number up to
// 2^20 with the rounding error of that move: where it lies within 2^20 itself, and not within
// 2^-28 of a half (that error is below 2^-31 there).
double roundNotingMove(double value, bool& movable) noexcept {
    constexpr double far = 1 << 20, hair = 1.0 / (1 << 28);
    if (!(std::abs(value) < far)) {
        movable = false;
        return roundHalfAway(value);
    }
    const double fraction = value - static_cast<double>(static_cast<std::int64_t>(value));
    movable = movable && std::abs(std::abs(fraction) - 0.5) > hair;
    return roundHalfAway(value);
}

// Below a pixel and a half to the em, what cairo draws of a glyph depends on where between pixels
// it starts (it clips the glyph to extents at that very position): text smaller than this many
// device units to the em is left to cairo, with some room to spare.
constexpr double smallestComposited = 4;

// Faces by name and weight, kept per thread. A surface shares the thread's own count of its
// references rather than taking one of cairo's: cairo counts them on the face itself, which every
// thread drawing in that face would otherwise write for each surface.
using SharedFace = std::shared_ptr<cairo_font_face_t>;
struct KeptFace {
    std::string name;
    bool bold = false;
    SharedFace face;
};
void releaseFace(SharedFace& face) noexcept {
    face.reset();
}
thread_local KeptPerThread<KeptFace, &KeptFace::face, releaseFace> keptFaces;

// The face, as cairo_toy_font_face_create() gives it.
SharedFace faceOf(const std::string& name, bool bold) {
    if (const KeptFace* kept = keptFaces.find(
            [&](const KeptFace& face) { return face.bold == bold && face.name == name; }))
        return kept->face;
    SharedFace face(
        cairo_toy_font_face_create(name.c_str(), CAIRO_FONT_SLANT_NORMAL,
                                   bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL),
        cairo_font_face_destroy);
    if (cairo_font_face_status(face.get()) != CAIRO_STATUS_SUCCESS) return face;
    keptFaces.reuse() = {name, bold, face};
    return face;
}

void setColor(cairo_t* context, std::int32_t color) {
    const auto channel = [color](int shift) { return ((color >> shift) & 0xFF) / 255.0; };
    cairo_set_source_rgb(context, channel(0), channel(8), channel(16));
}

}  // namespace

void findFontAhead(const std::string& name, bool bold) {
    const SharedFace face = faceOf(name, bold);
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, 10, 10);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_scaled_font_destroy(cairo_scaled_font_create(face.get(), &size, &identity, options));
    cairo_font_options_destroy(options);
}

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

void checkColor(std::int32_t color) {
    // The high byte marks system colours and palette indexes, which have no fixed RGB value.
    if ((static_cast<std::uint32_t>(color) & 0xFF000000u) != 0) raise(error::invalidPropertyValue);
}

CairoSurface::CairoSurface(cairo_t* context, const DevicePlacement& placement)
    : context_(context), placement_(placement) {
    // What bar reduction takes off each side of a bar, worked out once for every box: on a pixel
    // grid whole pixels, the odd one on the right.
    reducesBars_ = placement.barReduction > 0;
    if (!reducesBars_) return;
    const double reduction =
        placement.gridFit ? roundHalfAway(placement.barReduction) : placement.barReduction;
    reductionLeft_ = placement.gridFit ? std::floor(reduction / 2) : reduction / 2;
    reductionRight_ = reduction - reductionLeft_;
}

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

// The face remembered and selected go with it: its address may come again for another face.
void CairoSurface::dropFace() noexcept {
    face_.reset();
    remembered_ = {};
    selectedFace_ = nullptr;
    fontStands_ = false;
    lone_.known = nullptr;
}

void CairoSurface::haveContextAlone() noexcept {
    ownsContext_ = true;
    pathless_ = !cairo_has_current_point(context_);
}

void CairoSurface::setFontName(std::string_view name) {
    if (name == fontName_) return;
    std::string drawable = textForCairo(name);
    if (drawable != fontName_) dropFace();
    fontName_ = std::move(drawable);
}

void CairoSurface::setForeColor(std::int32_t color) {
    checkColor(color);
    foreColor_ = color;
    lone_.known = nullptr;
}

void CairoSurface::setFontBold(bool bold) {
    if (bold != bold_) dropFace();
    bold_ = bold;
}

void CairoSurface::setFontSize(std::int16_t size) {
    // Hosts draw anything smaller than a point at one point rather than failing. A size the
    // placement fixes stands for whatever the method asks.
    const double points = placement_.fontPoints.value_or(std::max<double>(size, 1.0));
    if (points != fontSize_) fontStands_ = false;
    fontSize_ = points;
    lone_.known = nullptr;
}

void CairoSurface::setCurrentX(Coordinate x) {
    currentX_ = coordinateValue(x);
}

void CairoSurface::setCurrentY(float y) {
    currentY_ = y;
}

// Selected again before every use: several surfaces may share one context (a sheet, a grid).
// The face comes from those the thread keeps, and the context's face and size are set only
// when they differ: cairo drops the context's scaled font whenever the size is set, even to the
// size it has, and finding it again costs more than the text.
// Inline, being asked for every text: a font that stands is only checked. print() checks the
// context itself before it shows anything, and tells so.
inline void CairoSurface::selectFont(bool contextChecked) {
    if (!contextChecked) checkContext();
    if (fontStands_)
        raiseFor(cairo_font_face_status(face_.get()));
    else
        findFont();
}

void CairoSurface::findFont() {
    checkContext();
    if (!face_) face_ = faceOf(fontName_, bold_);
    // A face or a size that cairo cannot use would put the context in error. FreeType takes at
    // most 65535 pixels to the em; beyond that cairo's face fails, and after a small size it
    // stays failed for every later context in the process. No text needs more than this anyway
    // (27 inches at 600 dpi).
    raiseFor(cairo_font_face_status(face_.get()));
    constexpr double maxDeviceSize = 16384;
    const double size = std::min(fontSize_ * placement_.devicePerPoint, maxDeviceSize);
    if (!std::isfinite(size) || size <= 0) raise(error::invalidPropertyValue);
    deviceSize_ = size;
    // On a context the surface has alone, what it set there stays.
    fontStands_ = ownsContext_;
    if (ownsContext_ && selectedFace_ == face_.get() && selectedSize_ == size) return;
    if (cairo_get_font_face(context_) != face_.get()) cairo_set_font_face(context_, face_.get());
    cairo_matrix_t matrix;
    cairo_get_font_matrix(context_, &matrix);
    if (matrix.xx != size || matrix.yy != size || matrix.xy != 0 || matrix.yx != 0)
        cairo_set_font_size(context_, size);
    selectedFace_ = face_.get();
    selectedSize_ = size;
}

// Inline, being asked once or twice for every text: the font remembered stands as long as its
// entry holds it, for the face and size selected.
inline KnownFont* CairoSurface::knownFont() {
    const Remembered& kept = remembered_;
    const bool sameFont = kept.known != nullptr && kept.known->filling == kept.filling &&
                          kept.face == face_.get() && kept.size == deviceSize_;
    // So does the transformation of a context the surface has alone.
    if (sameFont && ownsContext_) return kept.known;
    return findKnownFont(sameFont);
}

KnownFont* CairoSurface::findKnownFont(bool sameFont) {
    Remembered& kept = remembered_;
    cairo_matrix_t matrix;
    cairo_get_matrix(context_, &matrix);
    if (sameFont && kept.xx == matrix.xx && kept.yx == matrix.yx && kept.xy == matrix.xy &&
        kept.yy == matrix.yy)
        return kept.known;
    KnownFont* known = knownFontOf(context_);
    kept = {known,       known != nullptr ? known->filling : 0,
            face_.get(), deviceSize_,
            matrix.xx,   matrix.yx,
            matrix.xy,   matrix.yy};
    return known;
}

double CairoSurface::textWidth(std::string_view text) {
    selectFont();
    double advance = 0;
    KnownFont* known = knownFont();
    if (known == nullptr || !keptAdvance(context_, *known, text, pathless_, advance)) {
        const std::string drawable = textForCairo(text);
        cairo_text_extents_t extents;
        cairo_text_extents(context_, drawable.c_str(), &extents);
        checkContext();
        advance = extents.x_advance;
    }
    return advance / placement_.devicePerUnit;
}

double CairoSurface::textHeight(std::string_view) {
    selectFont();
    if (const KnownFont* known = knownFont())
        return known->extents.height / placement_.devicePerUnit;
    cairo_font_extents_t extents;
    cairo_font_extents(context_, &extents);
    checkContext();
    return extents.height / placement_.devicePerUnit;
}

// A symbol's boxes share a few heights: the rows of the last one are kept, for the very same
// y1 and y2 (to the bit: -0 and 0 may land apart).
inline const CairoSurface::Rows& CairoSurface::rowsOf(float y1, float y2) noexcept {
    std::uint32_t y1Bits = 0, y2Bits = 0;
    std::memcpy(&y1Bits, &y1, sizeof y1Bits);
    std::memcpy(&y2Bits, &y2, sizeof y2Bits);
    if (rows_.y1 != y1Bits || rows_.y2 != y2Bits || !rows_.known) findRows(y1, y2);
    return rows_;
}

void CairoSurface::findRows(float y1, float y2) noexcept {
    const double y1Device = toDeviceY(y1), y2Device = toDeviceY(static_cast<double>(y2) + 1.0);
    otherRows_ = rows_;
    rows_ = {true, 0, 0, std::min(y1Device, y2Device), std::max(y1Device, y2Device)};
    std::memcpy(&rows_.y1, &y1, sizeof rows_.y1);
    std::memcpy(&rows_.y2, &y2, sizeof rows_.y2);
    if (placement_.gridFit) {
        rows_.top = roundNotingMove(rows_.top, rows_.movable);
        rows_.bottom = roundNotingMove(rows_.bottom, rows_.movable);
        rows_.pixelTop = rows_.movable ? static_cast<int>(rows_.top) : 0;
        rows_.pixelBottom = rows_.movable ? static_cast<int>(rows_.bottom) : 0;
    }
}

void CairoSurface::refuseBox() {
    raise(error::invalidPropertyValue);
}

inline void CairoSurface::placeBox(std::int16_t x1, float y1, std::int16_t x2, float y2,
                                   DeviceBox& box, PlacedBox* placed) noexcept {
    // Both corners are inclusive: the box covers x1 .. x2 + 1, so x .. x + w - 1 is w wide.
    const double rightX = x2 + 1.0;
    if (keepsExtents_) drawn_.add(x1, y1, rightX, static_cast<double>(y2) + 1.0);

    const double unitLeft = std::min<double>(x1, rightX), unitRight = std::max<double>(x1, rightX);
    double left = toDeviceX(unitLeft);
    double right = toDeviceX(unitRight);
    const Rows& rows = rowsOf(y1, y2);
    if (placement_.gridFit) {
        // Every box gets a whole number of pixels, the same for the same width, and a box that
        // continues a run starts where the one before it ended: equal bars stay equal, as a
        // reader needs, at the cost of the symbol growing or shrinking a little with the DPI.
        const double width = placed != nullptr ? roundNotingMove(right - left, movable_)
                                               : roundHalfAway(right - left);
        if (run_.started && unitLeft == run_.unitRight) {
            left = run_.deviceRight;
        } else {
            left = placed != nullptr ? roundNotingMove(left, movable_) : roundHalfAway(left);
            run_ = {true, unitLeft, unitRight, left, left};
            if (placed != nullptr && movable_) {
                runPixelLeft_ = static_cast<int>(left);
                runUnitLeft_ = static_cast<int>(unitLeft);
            }
        }
        right = left + width;
        run_.unitRight = unitRight;
        run_.deviceRight = right;
    }
    if (placed != nullptr) {
        constexpr double near = 1 << 30;
        movable_ = movable_ && placement_.gridFit && rows.movable && std::abs(left) < near &&
                   std::abs(right) < near;
        if (movable_)
            *placed = {static_cast<int>(left), rows.pixelTop, static_cast<int>(right),
                       rows.pixelBottom,       runPixelLeft_, runUnitLeft_};
    }
    if (keepsExtents_) boxesOnDevice_.add(left, rows.top, right, rows.bottom);
    box = {left, rows.top, right, rows.bottom};
}

// What every box of a symbol shares: how many whole device units wide it lands for its width
// in surface units, where that is the same wherever the box lies.
struct CairoSurface::SettledWidths {
    double devicePerUnit = 0, originX = 0;   // the placement they are of
    std::array<std::int32_t, 256> widths{};  // -1 where it may differ
    std::int32_t widest = 0;                 // of the widths

    // Those of a placement grid fitted, or none (where boxes may land too far off), kept per
    // thread for the last placement asked for.
    static const SettledWidths* of(const DevicePlacement& placement) noexcept;
};

const CairoSurface::SettledWidths* CairoSurface::SettledWidths::of(
    const DevicePlacement& placement) noexcept {
    thread_local SettledWidths settled;
    const double perUnit = placement.devicePerUnit, origin = placement.originX;
    if (settled.devicePerUnit == perUnit && settled.originX == origin) return &settled;
    // Every edge of an int16 position then lies within 2^20, where placeBox() works out a width
    // (the difference of two edges) within 2^-30 of the width times devicePerUnit: a width that
    // is far more than that from a half rounds as it does, anywhere, and is movable.
    constexpr double far = 1 << 20, margin = 1.0 / (1 << 20);
    if (!(perUnit > 0 && std::abs(origin) + 32768 * perUnit < far)) return nullptr;
    for (std::size_t width = 0; width < settled.widths.size(); ++width) {
        const double device = static_cast<double>(width) * perUnit;
        const double whole = std::floor(device);
        settled.widths[width] = std::abs(device - whole - 0.5) > margin
                                    ? static_cast<std::int32_t>(roundHalfAway(device))
                                    : -1;
    }
    settled.widest = *std::max_element(settled.widths.begin(), settled.widths.end());
    settled.devicePerUnit = perUnit;
    settled.originX = origin;
    return &settled;
}

[[gnu::always_inline]] inline void CairoSurface::extendRun(const SettledWidths& settled,
                                                           const BoxCall*& next, const BoxCall* end,
                                                           PlacedBox*& placed) noexcept {
    // The run's end on the device, as an int where it is one (and not -0).
    constexpr double near = 1 << 30;
    const double runEnd = run_.deviceRight;
    if (next == end || !run_.started || !rows_.known || !(std::abs(runEnd) < near)) return;
    int right = static_cast<int>(runEnd);
    if (right != runEnd || (right == 0 && std::signbit(runEnd))) return;
    // Edges stay within an int, near as placeBox() has them, however many boxes follow.
    if (right + (end - next) * std::ptrdiff_t{settled.widest} >= std::ptrdiff_t{1} << 30) return;
    int unitRight = static_cast<int>(run_.unitRight);
    // A box continues the run from its left, a whole number of units wide, on the same rows
    // (to the bit, as rowsOf() finds them): edges, rows and extents follow without arithmetic.
    // The extents grow only to the right, to the run's new end.
    const auto bitsOf = [](const Rows& rows) { return std::uint64_t{rows.y2} << 32 | rows.y1; };
    std::uint64_t rows = bitsOf(rows_);
    int top = rows_.pixelTop, bottom = rows_.pixelBottom;
    const int runLeft = runPixelLeft_, runUnitLeft = runUnitLeft_;
    const BoxCall* box = next;
    PlacedBox* at = placed;
    for (; box != end; ++box, ++at) {
        const int x1 = box->x1, x2 = box->x2 + 1;
        const auto units = static_cast<std::uint32_t>(x2 - x1);
        if (x1 != unitRight || units >= settled.widths.size()) break;
        const std::int32_t width = settled.widths[units];
        std::uint32_t y1Bits = 0, y2Bits = 0;
        std::memcpy(&y1Bits, &box->y1, sizeof y1Bits);
        std::memcpy(&y2Bits, &box->y2, sizeof y2Bits);
        const std::uint64_t boxRows = std::uint64_t{y2Bits} << 32 | y1Bits;
        if (width < 0) break;
        if (boxRows != rows) {
            // Back on the rows before: a box placed there already took them into the extents
            // and into whether boxes are movable.
            if (!otherRows_.known || boxRows != bitsOf(otherRows_)) break;
            std::swap(rows_, otherRows_);
            movable_ = movable_ && rows_.movable;
            rows = boxRows;
            top = rows_.pixelTop;
            bottom = rows_.pixelBottom;
        }
        *at = {right, top, right + width, bottom, runLeft, runUnitLeft};
        right += width;
        unitRight = x2;
    }
    if (box == next) return;
    next = box;
    placed = at;
    run_.unitRight = unitRight;
    run_.deviceRight = right;
    drawn_.right = std::max(drawn_.right, static_cast<double>(unitRight));
    boxesOnDevice_.right = std::max(boxesOnDevice_.right, static_cast<double>(right));
}

void CairoSurface::placeBoxes(const BoxCall* boxes, std::size_t count, PlacedBox* placed) noexcept {
    DeviceBox box;
    const BoxCall* const end = boxes + count;
    if (placed == nullptr) {
        for (; boxes != end; ++boxes) placeBox(boxes->x1, boxes->y1, boxes->x2, boxes->y2, box);
        return;
    }
    // The thread's widths are of the last placement asked for, which may be another surface's.
    if (settled_ == nullptr || settled_->devicePerUnit != placement_.devicePerUnit ||
        settled_->originX != placement_.originX)
        settled_ = placement_.gridFit && keepsExtents_ ? SettledWidths::of(placement_) : nullptr;
    // Boxes that continue the run so far are placed in short; a box that starts a run, changes
    // rows or is of an odd width, in full.
    while (true) {
        if (settled_ != nullptr) extendRun(*settled_, boxes, end, placed);
        if (boxes == end) return;
        placeBox(boxes->x1, boxes->y1, boxes->x2, boxes->y2, box, placed);
        ++boxes;
        ++placed;
    }
}

bool CairoSurface::movedFrom(const PlacedBoxes& placed, int& dx, int& dy) const noexcept {
    constexpr double far = 1 << 20;
    const double x = placement_.originX, y = placement_.originY;
    if (!placesOnPixels() || placed.devicePerUnit != placement_.devicePerUnit ||
        !(std::abs(x) < far && std::abs(y) < far && std::abs(placed.originX) < far &&
          std::abs(placed.originY) < far))
        return false;
    const double moveX = x - placed.originX, moveY = y - placed.originY;
    dx = static_cast<int>(moveX);
    dy = static_cast<int>(moveY);
    return dx == moveX && dy == moveY;
}

void CairoSurface::continueRun(const BoxCall& box, const PlacedBox& placed, int dx) noexcept {
    run_ = {true, static_cast<double>(placed.runUnitLeft), std::max<double>(box.x1, box.x2 + 1.0),
            static_cast<double>(placed.runLeft + dx), static_cast<double>(placed.right + dx)};
}

void CairoSurface::line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
                        std::int32_t color) {
    checkBox(flags, color);
    DeviceBox box;
    placeBox(x1, y1, x2, y2, box);
    if (color != white && reducesBars_) {
        box.left += reductionLeft_;
        box.right = std::max(box.left, box.right - reductionRight_);
    }
    if (box.right <= box.left || box.bottom <= box.top || measuresOnly_) return;
    if (!paintsOffContext_) checkContext();
    paintBox(box.left, box.top, box.right, box.bottom, color);
    if (!paintsOffContext_) checkContext();
}

void CairoSurface::lines(const BoxCall* boxes, std::size_t count, const PlacedBoxes*) {
    for (const BoxCall* end = boxes + count; boxes != end; ++boxes) {
        std::int16_t x1 = boxes->x1;
        line(boxes->flags, x1, boxes->y1, boxes->x2, boxes->y2, boxes->color);
    }
}

std::size_t CairoSurface::placeOnPixels(const BoxCall*& next, const BoxCall* end, PixelBox* out,
                                        std::size_t room, std::optional<DeviceBox>& odd) noexcept {
    // Grid fitted edges are whole: within an int they are ints as they are.
    constexpr double near = 1 << 30;
    std::size_t placed = 0;
    while (next != end && placed < room) {
        const BoxCall& call = *next;
        if (!isBox(call.flags, call.color)) break;
        ++next;
        DeviceBox box;
        placeBox(call.x1, call.y1, call.x2, call.y2, box);
        if (box.right <= box.left || box.bottom <= box.top) continue;
        if (!(std::abs(box.left) < near && std::abs(box.right) < near && std::abs(box.top) < near &&
              std::abs(box.bottom) < near)) {
            odd = box;
            break;
        }
        out[placed++] = {static_cast<int>(box.left), static_cast<int>(box.top),
                         static_cast<int>(box.right), static_cast<int>(box.bottom), call.color};
    }
    return placed;
}

void CairoSurface::paintBox(double left, double top, double right, double bottom,
                            std::int32_t color) {
    setColor(context_, color);
    cairo_rectangle(context_, left, top, right - left, bottom - top);
    cairo_fill(context_);
}

void CairoSurface::showText(std::string_view text, double x, double baseline) {
    setColor(context_, foreColor_);
    cairo_move_to(context_, x, baseline);
    // cairo takes a terminated string: print() hands most texts over in drawable_ already.
    if (text.data() != drawable_.data()) drawable_.assign(text);
    cairo_show_text(context_, drawable_.c_str());
    cairo_new_path(context_);
}

bool CairoSurface::showGlyph(std::string_view text, double x, double baseline) {
    if (!isOneAscii(text)) return false;
    KnownFont* known = knownFont();
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

// 0x00BBGGRR as an opaque pixel holds it, 0xFFRRGGBB; a grey raster takes its low byte.
inline std::uint32_t opaquePixel(std::int32_t color) noexcept {
    const auto colour = static_cast<std::uint32_t>(color);
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

bool CairoSurface::compositeText(std::string_view text, double x, double baseline,
                                 const ImageTarget& target, PixelArea& touched) {
    if (text.empty() || text.size() > PlacedText::longest || !isPlainAscii(text) ||
        !(fontSize_ * placement_.devicePerPoint >= smallestComposited))
        return false;
    KnownFont* known = knownFont();
    if (known == nullptr) return false;
    const std::uint8_t format = target.alpha ? 2 : 1;
    for (const char character : text)
        if (!known->coverage[static_cast<unsigned char>(character)].usableOn(format) &&
            (!knowGlyph(context_, *known, character) ||
             !usableGlyph(*known, character, target.alpha)))
            return false;
    // cairo starts text at the current point, which it keeps on its fixed-point grid.
    double glyphX = 0, glyphY = 0;
    if (!target.plainContext || !onFixedGrid(x, baseline, glyphX, glyphY)) {
        cairo_move_to(context_, x, baseline);
        cairo_get_current_point(context_, &glyphX, &glyphY);
        cairo_new_path(context_);
    }
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
    const bool plainUnder = compositing(touched);
    const std::uint32_t pixel = opaquePixel(foreColor_);
    if (target.grey) {
        const GreyTarget grey{target.data,  target.stride, target.left, target.top,
                              target.right, target.bottom, plainUnder};
        // A lone glyph on paper is copied from its kept block at once, where that serves.
        if (!plainUnder || text.size() != 1 ||
            !copyKeptBlock(known->coverage[static_cast<unsigned char>(text[0])], placed.x[0],
                           placed.y, pixel, grey))
            quillet::compositeText(*known, text, placed, pixel, grey);
    } else {
        quillet::compositeText(*known, text, placed, pixel, target);
    }
    return true;
}

inline const KnownFont* CairoSurface::settledLone() const noexcept {
    return fontStands_ && pathless_ && lone_.known != nullptr &&
                   lone_.known->filling == lone_.filling
               ? lone_.known
               : nullptr;
}

// print() and compositeText() for the one case, their checks in the order they make them.
bool CairoSurface::placeLone(std::string_view text, LoneGlyph& glyph) {
    if (text.size() != 1 || !pathless_ || measuresOnly_ || keepsExtents_) return false;
    const auto lone = static_cast<unsigned char>(text[0]);
    if (lone == 0 || lone >= 0x80) return false;
    // On a context the surface has alone, the font, the context and the colour are settled
    // once for the texts that follow, until the font or the colour is set again or the font's
    // entry is filled anew: what cairo answered for them stays, since a call to cairo that
    // failed would have ended the drawing.
    const KnownFont* known = settledLone();
    if (known == nullptr) {
        lone_.known = nullptr;
        selectFont(true);
        known = knownFont();
        if (known == nullptr) return false;
        checkContext();
        settleLone(*known);
    }
    if (!known->known[lone]) return false;
    const Coverage& coverage = known->coverage[lone];
    if (coverage.width == 0 || !coverage.usableOn(1) || !lone_.sizeUsable) return false;
    const double baseline = toDeviceY(currentY_) + known->extents.ascent;
    double glyphX = 0, glyphY = 0;
    if (!onFixedGrid(textDeviceX(currentX_), baseline, glyphX, glyphY) ||
        !(std::abs(glyphX) < PlacedText::farOff) || !(std::abs(glyphY) < PlacedText::farOff) ||
        known->glyphExtents[lone].y_advance != 0)
        return false;
    glyph = {known,
             &coverage,
             glyphPixel(glyphX),
             glyphPixel(glyphY),
             lone_.pixel,
             known->glyphExtents[lone].x_advance / placement_.devicePerUnit};
    return true;
}

void CairoSurface::print(std::string_view text) {
    const auto lone = text.size() == 1 ? static_cast<unsigned char>(text[0]) : 0;
    // A lone character known to the font settled by an earlier text, measured from 0: as
    // below, without asking cairo again.
    if (const KnownFont* settled = settledLone();
        settled != nullptr && lone != 0 && lone < 0x80 && settled->known[lone]) {
        printMeasured(text, settled->glyphExtents[lone].x_advance, settled->extents.ascent,
                      settled->extents.height);
        return;
    }
    selectFont(true);
    double advance = 0;
    KnownFont* known = knownFont();
    bool kept = false;
    if (known != nullptr) {
        if (pathless_ && lone != 0 && lone < 0x80 && known->known[lone]) {
            // A lone character known to the font, measured from 0: keptAdvance()'s sum.
            advance = known->glyphExtents[lone].x_advance;
            kept = true;
        } else {
            kept = keptAdvance(context_, *known, text, pathless_, advance);
        }
    }
    if (kept) {
        checkContext();
        if (text.size() == 1 && pathless_) settleLone(*known);
        printMeasured(text, advance, known->extents.ascent, known->extents.height);
        return;
    }
    drawable_ = textForCairo(text);
    cairo_font_extents_t font;
    cairo_text_extents_t textExtents;
    cairo_font_extents(context_, &font);
    cairo_text_extents(context_, drawable_.c_str(), &textExtents);
    checkContext();
    printMeasured(drawable_, textExtents.x_advance, font.ascent, font.height);
}

// A text measured kept glyphs come from is plain ASCII, which cairo takes as it is.
void CairoSurface::printMeasured(std::string_view shown, double advance, double ascent,
                                 double height) {
    // CurrentY is the top of the text line; cairo places text by its baseline.
    const double deviceX = textDeviceX(currentX_), deviceY = toDeviceY(currentY_);
    if (!measuresOnly_) {
        showText(shown, deviceX, deviceY + ascent);
        checkContext();
    }

    const double width = advance / placement_.devicePerUnit;
    if (keepsExtents_) {
        drawn_.add(currentX_, currentY_, currentX_ + width,
                   currentY_ + height / placement_.devicePerUnit);
        textsOnDevice_.add(deviceX, deviceY, deviceX + advance, deviceY + height);
    }
    currentX_ += width;
}

inline void CairoSurface::settleLone(const KnownFont& known) noexcept {
    lone_ = {&known, known.filling, fontSize_ * placement_.devicePerPoint >= smallestComposited,
             opaquePixel(foreColor_)};
}

}  // namespace quillet
