// The pixel fast path of raster output: boxes on whole pixels and texts of one character written
// straight into a cairo image, the very pixels cairo would give.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "surfaces/cairo/cairo_surface.h"

typedef struct _cairo_surface cairo_surface_t;

namespace quillet {

// Writes the pixels of boxes on whole pixels (grid-fitted output) straight into an image
// target, exactly the pixels cairo would fill for them: cairo's path filling costs many times
// the few rows of a bar. Texts of one character are composited here as well, from their glyphs'
// coverage. Boxes off the pixel grid, and other text, are left to cairo.
//
// A symbol's boxes come in bands of one height, mostly side by side. A band is painted on its
// top row only, box after box, and that row is then copied down over each run of adjacent boxes:
// a few long copies instead of a short fill per box and row.
class RasterSurface final : public CairoSurface {
  public:
    struct Page {
        cairo_surface_t* image;
        int left, top, right, bottom;  // the clip, in pixels
    };
    // The page of a context that draws unscaled on a 24- or 32-bit image within a clip on whole
    // pixels; nothing for any other context.
    static std::optional<Page> pageOf(cairo_t* context);

    RasterSurface(cairo_t* context, const DevicePlacement& placement, const Page& page);
    ~RasterSurface() override { handToCairo(); }
    RasterSurface(const RasterSurface&) = delete;
    RasterSurface& operator=(const RasterSurface&) = delete;

  protected:
    // A character is composited here from its glyph's coverage, as cairo would composite it;
    // other text is shown by cairo, a character as its glyph (cairo keeps text with its glyphs
    // only in documents) without cairo looking the glyph up again.
    void showText(const std::string& text, double x, double baseline) override;
    void paintBox(double left, double top, double right, double bottom,
                  std::int32_t color) override;

  private:
    unsigned char* rowAt(int y) const { return data_ + static_cast<std::ptrdiff_t>(y) * stride_; }

    void copyBandDown();
    // What cairo drew must be in the pixels before they are written here.
    void takeFromCairo();
    // cairo must know before it draws again that the pixels changed under it.
    void handToCairo();

    struct Run {
        int left, right;
    };

    Page page_;
    unsigned char* data_;
    int stride_;
    bool alpha_;
    int bandTop_ = 0, bandBottom_ = 0;
    std::array<Run, 32> runs_{};  // of the band painted on its top row only
    std::size_t runCount_ = 0;
    bool written_ = false;    // pixels changed since cairo last knew
    bool cairoDrew_ = false;  // cairo drew since the pixels were last written
};

}  // namespace quillet
