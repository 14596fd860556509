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

// Where a raster may differ from its paper, as a few rectangles of pixels: what a symbol painted,
// so that only that is restored before the next. Areas of one page that share rows are kept as
// one rectangle around both (restoring whole rows costs less than many short pieces of them);
// what is left beyond a page is kept apart from the next; past a dozen rectangles they are kept
// as one.
class PaintedAreas {
  public:
    explicit PaintedAreas(std::uint32_t paper = 0) noexcept : paper_(paper) {}

    // The pixel, in cairo's order, that needs no restoring.
    std::uint32_t paper() const noexcept { return paper_; }
    // Inline where the area shares rows with the one added last, as texts along a line do.
    void add(const PixelArea& area) noexcept {
        if (area.left >= area.right || area.top >= area.bottom) return;
        if (count_ > firstOpen_) {
            PixelArea& last = areas_[count_ - 1];
            if (last.top < area.bottom && area.top < last.bottom) {
                last = around(last, area);
                return;
            }
        }
        addApart(area);
    }
    // Forgets what lies within the top left width x height pixels, which were restored.
    void forgetWithin(int width, int height) noexcept;
    void clear() noexcept { count_ = firstOpen_ = 0; }
    const PixelArea* begin() const noexcept { return areas_.data(); }
    const PixelArea* end() const noexcept { return areas_.data() + count_; }

  private:
    void addApart(const PixelArea& area) noexcept;  // add() of an area the last does not take

    static constexpr std::size_t capacity = 16;
    std::uint32_t paper_;
    std::array<PixelArea, capacity> areas_{};
    std::size_t count_ = 0;
    std::size_t firstOpen_ = 0;  // areas before it lie beyond the page and take in nothing
};

// Writes the pixels of boxes on whole pixels (grid-fitted output) straight into an image
// target, exactly the pixels cairo would fill for them: cairo's path filling costs many times
// the few rows of a bar. Texts of ASCII characters are composited here as well, from their glyphs'
// coverage. Boxes off the pixel grid, and other text, are left to cairo.
//
// A symbol's boxes come in bands of one height, mostly side by side. A band is painted on its
// top row only, box after box, and that row is then copied down over each run of adjacent boxes:
// a few long copies instead of a short fill per box and row.
//
// A symbol drawn in greys alone on a grey page may be painted into a grey raster instead, a byte
// a pixel, with the same boxes, bands and texts: the grey of each pixel is what the cairo image
// would hold in each of red, green and blue. A call the grey raster cannot paint itself leaves
// the symbol unfinished and declined(), for the caller to draw otherwise.
class RasterSurface final : public CairoSurface {
  public:
    struct Page {
        cairo_surface_t* image;
        int left, top, right, bottom;  // the clip, in pixels
    };
    // The page of a context that draws unscaled on a 24- or 32-bit image within a clip on whole
    // pixels; nothing for any other context.
    static std::optional<Page> pageOf(cairo_t* context);

    // A raster of one byte a pixel, as large as the page's image or larger, in its place.
    struct Grey {
        unsigned char* data;
        int stride;
        // A byte for each row of the page and one more, set where a row may differ from the
        // one above: where something painted begins or ends, and throughout a text.
        std::uint8_t* rowsChange;
        // A byte for each row of the page, set where anything was written into the row; rows
        // left unset hold what they held before.
        std::uint8_t* rowsWritten = nullptr;
    };

    // What the surface paints other than paper goes into painted, when given (with grey, its
    // paper a byte); with grey, the surface paints that raster, and never the page's image.
    RasterSurface(cairo_t* context, const DevicePlacement& placement, const Page& page,
                  PaintedAreas* painted = nullptr, const Grey* grey = nullptr);
    ~RasterSurface() override { handToCairo(); }
    RasterSurface(const RasterSurface&) = delete;
    RasterSurface& operator=(const RasterSurface&) = delete;

    // Whether a call came that the grey raster does not paint: what came after was left out.
    bool declined() const noexcept { return declined_; }

    // On a grey raster, boxes on whole pixels are placed a few dozen at a time and painted
    // together, settled once for all of them: grid fitted, unreduced, off the context.
    // Where measuring placed them, moved as the placement moved, is taken where it may be.
    void lines(const BoxCall* boxes, std::size_t count, const PlacedBoxes* placed) override;
    // On a grey raster, a text of one character whose glyph is kept goes from the call straight
    // to its pixels, as showText() would composite it.
    void print(std::string_view text) override;

  protected:
    // ASCII text is composited here from its glyphs' coverage, as cairo would composite it;
    // other text is shown by cairo, a character as its glyph (cairo keeps text with its glyphs
    // only in documents) without cairo looking the glyph up again.
    void showText(std::string_view text, double x, double baseline) override;
    void paintBox(double left, double top, double right, double bottom,
                  std::int32_t color) override;
    // The band is copied down first where the glyph would read rows it has not reached yet.
    // On a grey raster, where nothing was painted yet is paper.
    bool compositing(const PixelArea& area) override;

  private:
    unsigned char* rowAt(int y) const { return data_ + static_cast<std::ptrdiff_t>(y) * stride_; }
    unsigned char* at(int x, int y) const {
        return rowAt(y) + static_cast<std::ptrdiff_t>(x) * bytes_;
    }
    // Composites the text into the grey raster where compositeText() would composite it into
    // the image: false where it would not.
    bool compositeGrey(std::string_view text, double x, double baseline, PixelArea& touched);
    // A text composited into the grey raster over touched, within the page: its rows marked as
    // changed, the area kept as painted and inked.
    void greyTextWritten(const PixelArea& touched) noexcept;
    PixelArea withinPage(const PixelArea& area) const noexcept;
    // Paints a box of whole pixels, already within the page.
    void paintPixels(int x1, int y1, int x2, int y2, std::int32_t color);
    // Paints a box in greys into the grey raster as paintPixels() does within the page, where
    // paper is the painted areas' paper.
    void paintGrey(const PixelBox& box, std::uint32_t paper);
    const BoxCall* paintPlaced(const BoxCall* next, const BoxCall* end, const PlacedBox*& at,
                               int dx, int dy);
    void joinBand(int x1, int y1, int x2, int y2);
    void inkBand(int x1, int y1, int x2, int y2) noexcept;

    struct Run {
        int left, right;
    };
    // Boxes of one height side by side, painted on their top row only.
    struct Band {
        int top = 0, bottom = 0;
        std::array<Run, 32> runs;  // the first count of them
        std::size_t count = 0;
        PixelArea ink{};  // around the boxes of it that are not paper, where inked
        bool inked = false;
        bool reaches(const PixelArea& area) const noexcept;
        PixelArea reach() const noexcept;  // around its runs, of which it has one at least
    };

    // The band's top row copied down over its runs: into every row, or into the rows the
    // encoder reads (those that do not repeat the row above, and those above them).
    void copyDown(const Band& band, bool readRowsOnly);
    void copyBandDown();
    // What the band painted other than paper goes into the painted areas, once for the band.
    void keepInk() noexcept;
    // The band painted last is done: copied down at once, or on a grey raster left waiting.
    void closeBand();
    void copyWaiting(bool readRowsOnly);
    // The bands left waiting are copied down before anything is painted where they reach.
    void copyWaitingUnder(const PixelArea& area);
    // What cairo drew must be in the pixels before they are written here.
    void takeFromCairo();
    // cairo must know before it draws again that the pixels changed under it.
    void handToCairo();
    void paintedWhole();

    Page page_;
    unsigned char* image_;  // the page's image
    int imageStride_;
    bool alpha_;
    const Grey* grey_;
    // The pixels painted: the page's image or the grey raster, bytes_ a pixel.
    unsigned char* data_;
    int stride_;
    int bytes_;
    PaintedAreas* painted_;
    bool declined_ = false;
    Band band_;  // painted last
    // On a grey raster, bands done and not yet copied down: that waits until something is painted
    // where they reach, and at the end is done only for the rows that are read (a row repeated
    // below is never read again by the encoder, nor compared).
    std::array<Band, 8> waiting_;
    std::size_t waitingCount_ = 0;
    PixelArea waitingReach_{};  // around the bands waiting
    // On a grey raster, all paper when the surface is made: around each band and text painted
    // since, as long as there are not too many of them to tell.
    std::array<PixelArea, 16> inked_;  // the first inkedCount_ of them
    std::size_t inkedCount_ = 0;
    PixelArea inkedAround_{};  // around them all
    bool inkedKnown_ = true;
    void addInked(const PixelArea& area) noexcept;
    bool meetsInked(const PixelArea& area) const noexcept;
    bool written_ = false;    // pixels changed since cairo last knew
    bool cairoDrew_ = false;  // cairo drew since the pixels were last written
};

}  // namespace quillet
