#include "surfaces/cairo/raster_surface.h"

#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "surfaces/cairo/glyph_cache.h"

namespace quillet {
namespace {

// A conversion to an integer and back is a few instructions where floor() may be a call: the
// edges of every box are tested.
bool isWhole(double value) {
    constexpr double exactInteger = 1e15;  // well within both a double's and an int64's integers
    if (std::abs(value) < exactInteger)
        return static_cast<double>(static_cast<std::int64_t>(value)) == value;
    return value == std::floor(value);
}
int pixelWithin(double value, int size) {
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size)));
}

// Bars are mostly a few pixels wide, where a call to memset costs more than the bytes: up to 8,
// two stores that may overlap.
inline void fillGrey(unsigned char* row, int width, unsigned char grey) {
    if (width < 4) {
        row[0] = row[static_cast<unsigned>(width) / 2] = row[width - 1] = grey;
    } else if (width <= 8) {
        const std::uint32_t four = grey * 0x01010101u;
        std::memcpy(row, &four, sizeof four);
        std::memcpy(row + width - 4, &four, sizeof four);
    } else {
        std::memset(row, grey, static_cast<std::size_t>(width));
    }
}

// Runs of a few bars are a few dozen bytes, where a call to memcpy costs more than the bytes:
// up to 32, two copies that may overlap (three bytes below 4).
inline void copyBytes(unsigned char* to, const unsigned char* from, std::size_t bytes) {
    const auto twice = [&](auto word) {
        std::memcpy(&word, from, sizeof word);
        std::memcpy(to, &word, sizeof word);
        std::memcpy(&word, from + bytes - sizeof word, sizeof word);
        std::memcpy(to + bytes - sizeof word, &word, sizeof word);
    };
    struct Sixteen {
        std::uint64_t low, high;
    };
    if (bytes >= 16 && bytes <= 32)
        twice(Sixteen{});
    else if (bytes >= 8 && bytes < 16)
        twice(std::uint64_t{});
    else if (bytes >= 4 && bytes < 8)
        twice(std::uint32_t{});
    else if (bytes > 0 && bytes < 4)
        to[0] = from[0], to[bytes / 2] = from[bytes / 2], to[bytes - 1] = from[bytes - 1];
    else
        std::memcpy(to, from, bytes);
}

}  // namespace

void PaintedAreas::addApart(const PixelArea& area) noexcept {
    for (std::size_t i = count_ - (count_ > firstOpen_ ? 1 : 0); i-- > firstOpen_;)
        if (areas_[i].top < area.bottom && area.top < areas_[i].bottom) {
            areas_[i] = around(areas_[i], area);
            return;
        }
    if (count_ == areas_.size()) {
        for (std::size_t i = 1; i < count_; ++i) areas_[0] = around(areas_[0], areas_[i]);
        areas_[0] = around(areas_[0], area);
        count_ = 1;
        firstOpen_ = 0;
        return;
    }
    areas_[count_++] = area;
}

void PaintedAreas::forgetWithin(int width, int height) noexcept {
    const std::size_t count = count_;
    const std::array<PixelArea, capacity> areas = areas_;
    count_ = firstOpen_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const PixelArea& area = areas[i];
        if (area.right > width)
            add({std::max(area.left, width), area.top, area.right, area.bottom});
        if (area.bottom > height && area.left < width)
            add({area.left, std::max(area.top, height), std::min(area.right, width), area.bottom});
    }
    firstOpen_ = count_;
}

std::optional<RasterSurface::Page> RasterSurface::pageOf(cairo_t* context) {
    cairo_surface_t* target = cairo_get_target(context);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        (cairo_image_surface_get_format(target) != CAIRO_FORMAT_RGB24 &&
         cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32))
        return std::nullopt;
    cairo_matrix_t matrix;
    cairo_get_matrix(context, &matrix);
    if (matrix.xx != 1 || matrix.yx != 0 || matrix.xy != 0 || matrix.yy != 1 || matrix.x0 != 0 ||
        matrix.y0 != 0)
        return std::nullopt;
    // cairo lists the clip as rectangles only when they lie on whole pixels.
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(context);
    std::optional<Page> page;
    if (clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles == 1) {
        const cairo_rectangle_t& box = clip->rectangles[0];
        const int width = cairo_image_surface_get_width(target);
        const int height = cairo_image_surface_get_height(target);
        if (isWhole(box.x) && isWhole(box.y) && isWhole(box.width) && isWhole(box.height))
            page = Page{target, pixelWithin(box.x, width), pixelWithin(box.y, height),
                        pixelWithin(box.x + box.width, width),
                        pixelWithin(box.y + box.height, height)};
    }
    cairo_rectangle_list_destroy(clip);
    return page;
}

RasterSurface::RasterSurface(cairo_t* context, const DevicePlacement& placement, const Page& page,
                             PaintedAreas* painted, const Grey* grey)
    : CairoSurface(context, placement),
      page_(page),
      image_(cairo_image_surface_get_data(page.image)),
      imageStride_(cairo_image_surface_get_stride(page.image)),
      alpha_(cairo_image_surface_get_format(page.image) == CAIRO_FORMAT_ARGB32),
      grey_(grey),
      data_(grey != nullptr ? grey->data : image_),
      stride_(grey != nullptr ? grey->stride : imageStride_),
      bytes_(grey != nullptr ? 1 : 4),
      painted_(painted) {
    keepNoExtents();
    if (grey != nullptr) paintOffContext();
}

PixelArea RasterSurface::withinPage(const PixelArea& area) const noexcept {
    return {std::max(area.left, page_.left), std::max(area.top, page_.top),
            std::min(area.right, page_.right), std::min(area.bottom, page_.bottom)};
}

inline bool RasterSurface::compositeGrey(std::string_view text, double x, double baseline,
                                         PixelArea& touched) {
    const ImageTarget target{data_,       stride_,      false, page_.left, page_.top,
                             page_.right, page_.bottom, true,  true};
    return compositeText(text, x, baseline, target, touched);
}

namespace {

// Sets count row bytes from rows on. The rows of a text are mostly 8 to 16: two stores that
// may overlap rather than a call.
inline void markRows(std::uint8_t* rows, std::size_t count) noexcept {
    if (count >= 8 && count <= 16) {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        std::memcpy(rows, &ones, sizeof ones);
        std::memcpy(rows + count - 8, &ones, sizeof ones);
    } else {
        std::memset(rows, 1, count);
    }
}

}  // namespace

inline void RasterSurface::greyTextWritten(const PixelArea& touched) noexcept {
    if (touched.top <= touched.bottom)
        markRows(grey_->rowsChange + touched.top,
                 static_cast<std::size_t>(touched.bottom - touched.top) + 1);
    if (painted_ != nullptr) painted_->add(touched);
    addInked(touched);
}

void RasterSurface::print(std::string_view text) {
    LoneGlyph glyph;
    if (grey_ == nullptr || declined_ || text.size() != 1 || !placeLone(text, glyph)) {
        CairoSurface::print(text);
        return;
    }
    const Coverage& coverage = *glyph.coverage;
    const PixelArea touched{glyph.x + coverage.left, glyph.y + coverage.top,
                            glyph.x + coverage.left + coverage.width,
                            glyph.y + coverage.top + coverage.height};
    const bool plainUnder = compositing(touched);
    const GreyTarget target{data_,       stride_,      page_.left, page_.top,
                            page_.right, page_.bottom, plainUnder};
    if (!plainUnder || !copyKeptBlock(coverage, glyph.x, glyph.y, glyph.pixel, target)) {
        PlacedText placed;
        placed.x[0] = glyph.x;
        placed.y = glyph.y;
        placed.inked = touched;
        quillet::compositeText(*glyph.known, text, placed, glyph.pixel, target);
        greyTextWritten(withinPage(touched));
    } else {
        greyTextWritten(touched);  // the block lies within the page
    }
    written_ = true;
    advance(glyph.width);
}

void RasterSurface::showText(std::string_view text, double x, double baseline) {
    if (declined_) return;
    PixelArea touched{};
    if (grey_ != nullptr) {
        declined_ = !compositeGrey(text, x, baseline, touched);
        if (!declined_) greyTextWritten(withinPage(touched));
        written_ = true;
        return;
    }
    takeFromCairo();
    const ImageTarget target{image_,    imageStride_, alpha_,      page_.left,
                             page_.top, page_.right,  page_.bottom};
    if (compositeText(text, x, baseline, target, touched)) {
        if (painted_ != nullptr) painted_->add(withinPage(touched));
        written_ = true;
        return;
    }
    handToCairo();
    paintedWhole();
    if (!showGlyph(text, x, baseline)) CairoSurface::showText(text, x, baseline);
    cairoDrew_ = true;
}

void RasterSurface::paintBox(double left, double top, double right, double bottom,
                             std::int32_t color) {
    if (declined_) return;
    // Mostly whole pixels well within an int, told and turned into ints at once.
    constexpr double near = 1 << 30;
    if (std::abs(left) < near && std::abs(top) < near && std::abs(right) < near &&
        std::abs(bottom) < near) {
        const int l = static_cast<int>(left), t = static_cast<int>(top);
        const int r = static_cast<int>(right), b = static_cast<int>(bottom);
        if (l == left && t == top && r == right && b == bottom) {
            paintPixels(std::max(page_.left, std::clamp(l, 0, page_.right)),
                        std::max(page_.top, std::clamp(t, 0, page_.bottom)),
                        std::min(page_.right, std::clamp(r, 0, page_.right)),
                        std::min(page_.bottom, std::clamp(b, 0, page_.bottom)), color);
            return;
        }
    }
    if (!isWhole(left) || !isWhole(top) || !isWhole(right) || !isWhole(bottom)) {
        if (grey_ != nullptr) {
            declined_ = true;
            return;
        }
        handToCairo();
        paintedWhole();
        CairoSurface::paintBox(left, top, right, bottom, color);
        cairoDrew_ = true;
        return;
    }
    paintPixels(std::max(page_.left, pixelWithin(left, page_.right)),
                std::max(page_.top, pixelWithin(top, page_.bottom)),
                std::min(page_.right, pixelWithin(right, page_.right)),
                std::min(page_.bottom, pixelWithin(bottom, page_.bottom)), color);
}

void RasterSurface::lines(const BoxCall* boxes, std::size_t count, const PlacedBoxes* placed) {
    const BoxCall* next = boxes;
    const BoxCall* const end = boxes + count;
    std::array<PixelBox, 64> ready;
    int dx = 0, dy = 0;
    if (grey_ != nullptr && placed != nullptr && !declined_ && movedFrom(*placed, dx, dy)) {
        // Where measuring placed them, moved: a box that line() refuses is left to it.
        const PlacedBox* at = placed->boxes;
        next = paintPlaced(next, end, at, dx, dy);
        if (next != boxes) continueRun(next[-1], at[-1], dx);
    } else if (grey_ != nullptr && placesOnPixels()) {
        while (next != end && !declined_) {
            std::optional<DeviceBox> odd;
            const std::size_t taken = placeOnPixels(next, end, ready.data(), ready.size(), odd);
            const std::uint32_t paper = painted_ != nullptr ? painted_->paper() : 0;
            for (std::size_t i = 0; i < taken; ++i) paintGrey(ready[i], paper);
            if (odd)
                paintBox(odd->left, odd->top, odd->right, odd->bottom, next[-1].color);
            else if (taken < ready.size())
                break;  // a box line() refuses, and raises for
        }
    }
    if (next != end) CairoSurface::lines(next, static_cast<std::size_t>(end - next), nullptr);
}

// paintGrey() for each box from next on, in short while a box continues the band's last run
// (and so lies within the page, but for its right edge) away from the bands waiting: the band
// kept in locals meanwhile, which the bytes written into the raster would otherwise have read
// again after every store.
const BoxCall* RasterSurface::paintPlaced(const BoxCall* next, const BoxCall* end,
                                          const PlacedBox*& at, int dx, int dy) {
    const std::uint32_t paper = painted_ != nullptr ? painted_->paper() : 0;
    const bool keepsInk = painted_ != nullptr;
    const int pageRight = page_.right;
    const BoxCall* box = next;
    const PlacedBox* place = at;
    while (box != end) {
        if (band_.count > 0 && band_.count < band_.runs.size()) {
            // The band as joinBand() leaves it: its rows and its last run's end.
            const int top = band_.top, bottom = band_.bottom;
            const int runRight = band_.runs[band_.count - 1].right;
            bool inked = band_.inked;
            int inkLeft = band_.ink.left, inkRight = band_.ink.right;
            const PixelArea reach = waitingReach_;
            const bool reachesRows = waitingCount_ > 0 && reach.top < bottom && top < reach.bottom;
            unsigned char* const row = rowAt(top);
            // A box placed where the run ends, on the band's rows, has its left and top as
            // one word.
            const auto word = [](int first, int second) {
                const std::array<int, 2> pair{first, second};
                std::uint64_t both = 0;
                std::memcpy(&both, pair.data(), sizeof both);
                return both;
            };
            static_assert(offsetof(PlacedBox, left) == 0 &&
                          offsetof(PlacedBox, top) == sizeof(int));
            const int placedTop = top - dy, placedBottom = bottom - dy;
            // The run grows rightwards, where measuring placed it, up to the page's right edge
            // or, while it has not passed them, to where the bands waiting begin.
            int placedRight = runRight - dx;
            int limit = pageRight;
            if (reachesRows && runRight < reach.right) limit = std::min(limit, reach.left);
            const int placedLimit = limit - dx;
            // Boxes of one grey side by side, mostly a module each, are filled as one span,
            // and taken into the ink as one.
            int spanLeft = placedRight;
            unsigned char spanGrey = 0;
            // Without painted areas to keep, no grey is taken for paper: the ink is not kept.
            const std::uint32_t plain = keepsInk ? paper : 0x100;
            int spanInkLeft = std::numeric_limits<int>::max();
            int spanInkRight = std::numeric_limits<int>::min();
            const auto fillSpan = [&] {
                if (spanLeft == placedRight) return;
                const int x1 = spanLeft + dx, x2 = placedRight + dx;
                fillGrey(row + x1, x2 - x1, spanGrey);
                if (std::uint32_t{spanGrey} != plain) {
                    spanInkLeft = std::min(spanInkLeft, x1);
                    spanInkRight = std::max(spanInkRight, x2);
                }
            };
            for (; box != end; ++box, ++place) {
                if (!isBox(box->flags, box->color)) break;
                std::uint64_t leftTop = 0;
                std::memcpy(&leftTop, reinterpret_cast<const unsigned char*>(place),
                            sizeof leftTop);
                const int right = place->right;
                if (leftTop != word(placedRight, placedTop) || place->bottom != placedBottom ||
                    right <= placedRight || right > placedLimit)
                    break;
                const auto grey = static_cast<unsigned char>(box->color >> 16);
                if (grey != spanGrey) {
                    fillSpan();
                    spanLeft = placedRight;
                    spanGrey = grey;
                }
                placedRight = right;
            }
            fillSpan();
            if (keepsInk && spanInkLeft < spanInkRight) {
                inkLeft = inked ? std::min(inkLeft, spanInkLeft) : spanInkLeft;
                inkRight = inked ? std::max(inkRight, spanInkRight) : spanInkRight;
                inked = true;
            }
            band_.runs[band_.count - 1].right = placedRight + dx;
            if (inked) band_.ink = {inkLeft, top, inkRight, bottom};
            band_.inked = inked;
            if (box == end) break;
        }
        if (!isBox(box->flags, box->color)) break;
        if (place->right > place->left && place->bottom > place->top)
            paintGrey({place->left + dx, place->top + dy, place->right + dx, place->bottom + dy,
                       box->color},
                      paper);
        ++box;
        ++place;
    }
    at = place;
    return box;
}

// A box joins the band painted last, or the band is done and the box starts the next.
inline void RasterSurface::joinBand(int x1, int y1, int x2, int y2) {
    if (band_.count > 0 &&
        (y1 != band_.top || y2 != band_.bottom || band_.count == band_.runs.size()))
        closeBand();
    if (waitingCount_ > 0 && meets(waitingReach_, {x1, y1, x2, y2}))
        copyWaitingUnder({x1, y1, x2, y2});
    if (band_.count == 0) {
        band_.top = y1;
        band_.bottom = y2;
        if (bytes_ == 1) {
            grey_->rowsChange[y1] = grey_->rowsChange[y2] = 1;
            if (grey_->rowsWritten != nullptr) grey_->rowsWritten[y1] = 1;
        }
        band_.runs[band_.count++] = {x1, x2};
    } else if (band_.runs[band_.count - 1].right == x1) {
        band_.runs[band_.count - 1].right = x2;
    } else {
        band_.runs[band_.count++] = {x1, x2};
    }
}

inline void RasterSurface::inkBand(int x1, int y1, int x2, int y2) noexcept {
    band_.ink = band_.inked
                    ? PixelArea{std::min(band_.ink.left, x1), y1, std::max(band_.ink.right, x2), y2}
                    : PixelArea{x1, y1, x2, y2};
    band_.inked = true;
}

// paintPixels() for a box in greys on the grey raster, without what holds for them all: no
// cairo drawing to take, a byte a pixel, and the grey the low byte of the colour.
inline void RasterSurface::paintGrey(const PixelBox& box, std::uint32_t paper) {
    int x1 = box.left, y1 = box.top, x2 = box.right, y2 = box.bottom;
    if (!(x1 >= page_.left && x2 <= page_.right && y1 >= page_.top && y2 <= page_.bottom)) {
        x1 = std::max(page_.left, std::clamp(x1, 0, page_.right));
        y1 = std::max(page_.top, std::clamp(y1, 0, page_.bottom));
        x2 = std::min(page_.right, std::clamp(x2, 0, page_.right));
        y2 = std::min(page_.bottom, std::clamp(y2, 0, page_.bottom));
    }
    if (x1 >= x2 || y1 >= y2) return;
    joinBand(x1, y1, x2, y2);
    const auto grey = static_cast<unsigned char>(box.color >> 16);
    fillGrey(rowAt(y1) + x1, x2 - x1, grey);
    if (painted_ != nullptr && std::uint32_t{grey} != paper) inkBand(x1, y1, x2, y2);
    written_ = true;
}

void RasterSurface::paintPixels(int x1, int y1, int x2, int y2, std::int32_t color) {
    if (x1 >= x2 || y1 >= y2) return;
    takeFromCairo();
    joinBand(x1, y1, x2, y2);

    // 0x00BBGGRR as cairo stores an opaque colour: 0xFFRRGGBB in native order; a grey pixel is
    // its blue byte.
    const std::uint32_t pixel =
        0xFF000000u | (color & 0xFFu) << 16 | (color & 0xFF00u) | (color >> 16 & 0xFFu);
    unsigned char* row = at(x1, y1);
    if (bytes_ == 1) {
        fillGrey(row, x2 - x1, static_cast<unsigned char>(pixel));
    } else {
        for (int x = x1; x < x2; ++x, row += 4) std::memcpy(row, &pixel, sizeof pixel);
    }
    const std::uint32_t painted = bytes_ == 1 ? pixel & 0xFFu : pixel;
    if (painted_ != nullptr && painted != painted_->paper()) inkBand(x1, y1, x2, y2);
    written_ = true;
}

bool RasterSurface::Band::reaches(const PixelArea& area) const noexcept {
    if (count == 0 || area.bottom <= top || area.top >= bottom) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (area.left < runs[i].right && runs[i].left < area.right) return true;
    return false;
}

bool RasterSurface::compositing(const PixelArea& area) {
    if (grey_ != nullptr && grey_->rowsWritten != nullptr) {
        const int top = std::max(area.top, page_.top), bottom = std::min(area.bottom, page_.bottom);
        if (top < bottom)
            markRows(grey_->rowsWritten + top, static_cast<std::size_t>(bottom - top));
    }
    if (waitingCount_ > 0) copyWaitingUnder(area);
    // The glyph reads the band's rows below its top, or writes into the top row that the rows
    // below are still to be copied from: either way the band is copied down first.
    if (band_.reaches(area)) copyBandDown();
    return grey_ != nullptr && inkedKnown_ && !meetsInked(area);
}

inline void RasterSurface::addInked(const PixelArea& area) noexcept {
    if (!inkedKnown_ || area.left >= area.right || area.top >= area.bottom) return;
    if (inkedCount_ == inked_.size()) {
        inkedKnown_ = false;
        return;
    }
    inkedAround_ = inkedCount_ == 0 ? area : around(inkedAround_, area);
    inked_[inkedCount_++] = area;
}

inline bool RasterSurface::meetsInked(const PixelArea& area) const noexcept {
    if (band_.count > 0 && area.top < band_.bottom && band_.top < area.bottom)
        for (std::size_t i = 0; i < band_.count; ++i)
            if (area.left < band_.runs[i].right && band_.runs[i].left < area.right) return true;
    if (inkedCount_ == 0 || !meets(area, inkedAround_)) return false;
    for (std::size_t i = 0; i < inkedCount_; ++i)
        if (meets(area, inked_[i])) return true;
    return false;
}

void RasterSurface::copyDown(const Band& band, bool readRowsOnly) {
    std::uint8_t* written = grey_ != nullptr ? grey_->rowsWritten : nullptr;
    if (!readRowsOnly) {
        // Every row: run after run, down the rows, each run's bytes the same in every row.
        if (band.bottom - band.top < 2) return;
        if (written != nullptr)
            std::memset(written + band.top + 1, 1,
                        static_cast<std::size_t>(band.bottom - band.top - 1));
        for (std::size_t i = 0; i < band.count; ++i) {
            const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(band.runs[i].left) * bytes_;
            const auto bytes =
                static_cast<std::size_t>(band.runs[i].right - band.runs[i].left) * bytes_;
            const unsigned char* from = rowAt(band.top) + offset;
            for (int y = band.top + 1; y < band.bottom; ++y)
                copyBytes(rowAt(y) + offset, from, bytes);
        }
        return;
    }
    const std::uint8_t* changes = grey_->rowsChange;
    for (int y = band.top + 1; y < band.bottom; ++y) {
        // Eight rows at a time while none of them, nor the row after them, changes; then
        // straight to the first that does or comes before one that does.
        while (y + 8 < band.bottom) {
            std::uint64_t here = 0, below = 0;
            std::memcpy(&here, changes + y, sizeof here);
            std::memcpy(&below, changes + y + 1, sizeof below);
            if ((here | below) != 0) {
                if constexpr (std::endian::native == std::endian::little)
                    y += std::countr_zero(here | below) / 8;
                break;
            }
            y += 8;
        }
        if (changes[y] == 0 && changes[y + 1] == 0) continue;
        if (written != nullptr) written[y] = 1;
        for (std::size_t i = 0; i < band.count; ++i) {
            const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(band.runs[i].left) * bytes_;
            const auto bytes =
                static_cast<std::size_t>(band.runs[i].right - band.runs[i].left) * bytes_;
            copyBytes(rowAt(y) + offset, rowAt(band.top) + offset, bytes);
        }
    }
}

void RasterSurface::keepInk() noexcept {
    if (band_.inked) painted_->add(band_.ink);
    band_.inked = false;
    if (grey_ != nullptr && band_.count > 0) addInked(band_.reach());
}

PixelArea RasterSurface::Band::reach() const noexcept {
    PixelArea around{runs[0].left, top, runs[0].right, bottom};
    for (std::size_t i = 1; i < count; ++i) {
        around.left = std::min(around.left, runs[i].left);
        around.right = std::max(around.right, runs[i].right);
    }
    return around;
}

void RasterSurface::copyBandDown() {
    copyDown(band_, false);
    keepInk();
    band_.count = 0;
}

void RasterSurface::closeBand() {
    if (grey_ == nullptr || band_.count == 0) {
        copyBandDown();
        return;
    }
    if (waitingCount_ == waiting_.size()) copyWaiting(false);
    keepInk();
    const PixelArea reach = band_.reach();
    waitingReach_ = waitingCount_ == 0 ? reach : around(waitingReach_, reach);
    // Its runs in use alone: a band holds room for many more than most have.
    Band& waiting = waiting_[waitingCount_++];
    waiting.top = band_.top;
    waiting.bottom = band_.bottom;
    std::copy_n(band_.runs.begin(), band_.count, waiting.runs.begin());
    waiting.count = band_.count;
    waiting.ink = band_.ink;
    waiting.inked = band_.inked;
    band_.count = 0;
}

void RasterSurface::copyWaiting(bool readRowsOnly) {
    for (std::size_t i = 0; i < waitingCount_; ++i) copyDown(waiting_[i], readRowsOnly);
    waitingCount_ = 0;
}

void RasterSurface::copyWaitingUnder(const PixelArea& area) {
    if (!meets(area, waitingReach_)) return;
    for (std::size_t i = 0; i < waitingCount_; ++i)
        if (waiting_[i].reaches(area)) {
            copyWaiting(false);
            return;
        }
}

void RasterSurface::takeFromCairo() {
    if (!cairoDrew_) return;
    cairo_surface_flush(page_.image);
    cairoDrew_ = false;
}

void RasterSurface::handToCairo() {
    if (!written_) return;
    if (grey_ != nullptr) {
        closeBand();
        copyWaiting(true);
    } else {
        copyBandDown();
        cairo_surface_mark_dirty(page_.image);
    }
    written_ = false;
}

void RasterSurface::paintedWhole() {
    if (painted_ != nullptr) painted_->add({page_.left, page_.top, page_.right, page_.bottom});
}

}  // namespace quillet
