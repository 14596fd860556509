#include "surfaces/cairo/raster_surface.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "surfaces/cairo/glyph_cache.h"

namespace quillet {
namespace {

bool isWhole(double value) {
    return value == std::floor(value);
}
int pixelWithin(double value, int size) {
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size)));
}

}  // namespace

void PaintedAreas::add(const PixelArea& area) noexcept {
    if (area.left >= area.right || area.top >= area.bottom) return;
    const auto merge = [](PixelArea& into, const PixelArea& other) {
        into = {std::min(into.left, other.left), std::min(into.top, other.top),
                std::max(into.right, other.right), std::max(into.bottom, other.bottom)};
    };
    for (std::size_t i = count_; i-- > firstOpen_;)
        if (areas_[i].top < area.bottom && area.top < areas_[i].bottom) {
            merge(areas_[i], area);
            return;
        }
    if (count_ == areas_.size()) {
        for (std::size_t i = 1; i < count_; ++i) merge(areas_[0], areas_[i]);
        merge(areas_[0], area);
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
                             PaintedAreas* painted)
    : CairoSurface(context, placement),
      page_(page),
      data_(cairo_image_surface_get_data(page.image)),
      stride_(cairo_image_surface_get_stride(page.image)),
      alpha_(cairo_image_surface_get_format(page.image) == CAIRO_FORMAT_ARGB32),
      painted_(painted) {
    keepNoExtents();
}

void RasterSurface::showText(const std::string& text, double x, double baseline) {
    takeFromCairo();
    const ImageTarget target{data_,     stride_,     alpha_,      page_.left,
                             page_.top, page_.right, page_.bottom};
    PixelArea touched{};
    if (compositeText(text, x, baseline, target, touched)) {
        if (painted_ != nullptr)
            painted_->add({std::max(touched.left, page_.left), std::max(touched.top, page_.top),
                           std::min(touched.right, page_.right),
                           std::min(touched.bottom, page_.bottom)});
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
    if (!isWhole(left) || !isWhole(top) || !isWhole(right) || !isWhole(bottom)) {
        handToCairo();
        paintedWhole();
        CairoSurface::paintBox(left, top, right, bottom, color);
        cairoDrew_ = true;
        return;
    }
    const int x1 = std::max(page_.left, pixelWithin(left, page_.right));
    const int x2 = std::min(page_.right, pixelWithin(right, page_.right));
    const int y1 = std::max(page_.top, pixelWithin(top, page_.bottom));
    const int y2 = std::min(page_.bottom, pixelWithin(bottom, page_.bottom));
    if (x1 >= x2 || y1 >= y2) return;
    takeFromCairo();
    if (runCount_ > 0 && (y1 != bandTop_ || y2 != bandBottom_ || runCount_ == runs_.size()))
        copyBandDown();
    bandTop_ = y1;
    bandBottom_ = y2;

    // 0x00BBGGRR as cairo stores an opaque colour: 0xFFRRGGBB in native order.
    const std::uint32_t pixel =
        0xFF000000u | (color & 0xFFu) << 16 | (color & 0xFF00u) | (color >> 16 & 0xFFu);
    unsigned char* at = rowAt(y1) + static_cast<std::ptrdiff_t>(x1) * 4;
    for (int x = x1; x < x2; ++x, at += 4) std::memcpy(at, &pixel, sizeof pixel);
    if (painted_ != nullptr && pixel != painted_->paper()) painted_->add({x1, y1, x2, y2});
    if (runCount_ > 0 && runs_[runCount_ - 1].right == x1)
        runs_[runCount_ - 1].right = x2;
    else
        runs_[runCount_++] = {x1, x2};
    written_ = true;
}

void RasterSurface::compositing(const PixelArea& area) {
    if (runCount_ == 0 || area.bottom <= bandTop_ + 1 || area.top >= bandBottom_) return;
    for (std::size_t i = 0; i < runCount_; ++i)
        if (area.left < runs_[i].right && runs_[i].left < area.right) {
            copyBandDown();
            return;
        }
}

void RasterSurface::copyBandDown() {
    for (std::size_t i = 0; i < runCount_; ++i) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(runs_[i].left) * 4;
        const auto bytes = static_cast<std::size_t>(runs_[i].right - runs_[i].left) * 4;
        for (int y = bandTop_ + 1; y < bandBottom_; ++y)
            std::memcpy(rowAt(y) + offset, rowAt(bandTop_) + offset, bytes);
    }
    runCount_ = 0;
}

void RasterSurface::takeFromCairo() {
    if (!cairoDrew_) return;
    cairo_surface_flush(page_.image);
    cairoDrew_ = false;
}

void RasterSurface::handToCairo() {
    if (!written_) return;
    copyBandDown();
    cairo_surface_mark_dirty(page_.image);
    written_ = false;
}

void RasterSurface::paintedWhole() {
    if (painted_ != nullptr) painted_->add({page_.left, page_.top, page_.right, page_.bottom});
}

}  // namespace quillet
