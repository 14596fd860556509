// A surface that draws with cairo, behaving like the drawing surfaces hosts pass in.
//
// Coordinates arrive in the surface's own units (twips by default) and are turned into device
// units here (pixels for raster output, points for PDF, SVG and PostScript), so that pixel-grid
// fitting can work on the device grid itself. The surface also keeps the box, in its own units,
// of everything it drew, text included, from which a caller sizes a page.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "render/surface.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_font_face cairo_font_face_t;

namespace quillet {

struct Coverage;
struct KnownFont;

enum class ScaleMode { twips, points, pixels, millimetres, inches };

// "twips", "points", "pixels", "millimetres" (or "mm"), "inches"; case-insensitive.
std::optional<ScaleMode> scaleModeNamed(std::string_view name) noexcept;
std::string_view nameOf(ScaleMode mode) noexcept;

// Surface units in one inch; pixels are those of the given resolution.
double unitsPerInch(ScaleMode mode, double dpi) noexcept;

// Where the surface's units land on the cairo context and how boxes are drawn.
struct DevicePlacement {
    double devicePerUnit = 1.0;  // device units per surface unit
    double originX = 0.0;        // device position of the surface's (0, 0)
    double originY = 0.0;
    double devicePerPoint = 1.0;       // for font sizes, which are in points whatever the units
    std::optional<double> fontPoints;  // the text's size, whatever FontSize the method sets
    bool gridFit = false;              // box edges on whole device units
    double barReduction = 0.0;         // device units taken off every bar, half on each side
};

// A rectangle in surface units; empty until something is added.
struct Extents {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool empty = true;

    // Inline: every box adds to two or three of these.
    void add(double x1, double y1, double x2, double y2) noexcept {
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
    void add(const Extents& other) noexcept {
        if (!other.empty) add(other.left, other.top, other.right, other.bottom);
    }
    double width() const noexcept { return empty ? 0 : right - left; }
    double height() const noexcept { return empty ? 0 : bottom - top; }
};

// A box as a method asks for it, kept to be placed later.
struct BoxCall {
    std::int16_t flags, x1, x2;
    float y1, y2;
    std::int32_t color;
};

// Where a box landed on the device when it was measured, on whole device units, and where the
// run of boxes it continues began there.
struct PlacedBox {
    int left, top, right, bottom;
    int runLeft;      // on the device
    int runUnitLeft;  // in surface units
};

// Boxes as measuring placed them, one for each box, and the placement it placed them at.
struct PlacedBoxes {
    const PlacedBox* boxes;
    double devicePerUnit, originX, originY;
};

// A rectangle of pixels, right and bottom excluded.
struct PixelArea {
    int left, top, right, bottom;
};

// Whether two areas share a pixel.
constexpr bool meets(const PixelArea& a, const PixelArea& b) noexcept {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The least area around both.
constexpr PixelArea around(const PixelArea& a, const PixelArea& b) noexcept {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// The pixels of an unscaled 24- or 32-bit cairo image, or of a raster of greys a byte a pixel,
// and the clip, in pixels, within them.
struct ImageTarget {
    unsigned char* data;
    int stride;
    bool alpha;  // 32-bit, with alpha
    int left, top, right, bottom;
    bool grey = false;  // a byte a pixel, every colour drawn on it a grey
    // The context draws on it unturned, from the image's origin, and holds no path: the point a
    // text starts from is worked out as cairo would keep it, without asking cairo.
    bool plainContext = false;
};

// cairo is handed only what it accepts (text it would refuse shows as replacement characters),
// and its status is checked after every call: should cairo fail all the same, the drawing call
// ends with a run-time error (7 out of memory, 5 for anything else) and its result says so.
class CairoSurface : public Surface {
  public:
    // Draws on context, which the caller owns and keeps alive. A context of a scratch target is
    // enough to measure: nothing needs to be visible.
    CairoSurface(cairo_t* context, const DevicePlacement& placement);
    CairoSurface(const CairoSurface&) = delete;
    CairoSurface& operator=(const CairoSurface&) = delete;
    // Used on the thread that made it: the fonts it knows are that thread's.
    CairoSurface(CairoSurface&&) = default;
    CairoSurface& operator=(CairoSurface&&) = default;

    // Everything drawn so far, boxes as filled and texts as their advance times their line
    // height: in surface units, and where it landed in device units (grid fitting moves it).
    const Extents& drawn() const noexcept { return drawn_; }
    Extents drawnOnDevice() const noexcept {
        Extents all = boxesOnDevice_;
        all.add(textsOnDevice_);
        return all;
    }
    // The boxes alone, without the texts: where the bars are, for quiet zones.
    const Extents& boxesOnDevice() const noexcept { return boxesOnDevice_; }

    void setFontName(std::string_view name) override;
    void setForeColor(std::int32_t color) override;
    void setFontBold(bool bold) override;
    void setFontSize(std::int16_t size) override;
    void setCurrentX(Coordinate x) override;
    void setCurrentY(float y) override;
    double textWidth(std::string_view text) override;
    double textHeight(std::string_view text) override;
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override;
    void print(std::string_view text) override;
    // Boxes one after another, each drawn as line() draws it; placed, when given, is where
    // measuring placed them, which a surface may take instead of placing them again.
    virtual void lines(const BoxCall* boxes, std::size_t count, const PlacedBoxes* placed);

    // Whether every box placed so far lands at whole device units and would land there moved
    // by as many whole units, and no more, at a placement moved by whole units: its edges were
    // not within a hair of half a unit, and not far off.
    bool placedMovably() const noexcept { return movable_; }

    // Told that no other surface uses the context, nor changes its transformation, while this
    // one lives: the font it set there is not asked for again.
    // A context that holds no path then holds none between calls: texts are measured from 0.
    void haveContextAlone() noexcept;

  protected:
    // Fills a box, in device units, after grid fitting and bar reduction: a surface that owns
    // its pixels may write them itself, and one that only measures may paint nothing.
    virtual void paintBox(double left, double top, double right, double bottom, std::int32_t color);
    // Shows well-formed text in the fore colour from a device position on its baseline.
    virtual void showText(std::string_view text, double x, double baseline);

    // Shows a text of one ASCII character as showText() does, by its glyph in the selected
    // font; false, showing nothing, for any other text. Only for targets that keep no text.
    bool showGlyph(std::string_view text, double x, double baseline);

    // Composites a text of ASCII characters straight into the pixels of target, exactly as
    // cairo would show it, without cairo: false, drawing nothing, where that cannot be done
    // (other text, a glyph too large, glyphs whose ink overlaps where cairo draws them
    // otherwise, a cairo that draws it otherwise). touched is set to the pixels it may have
    // changed.
    bool compositeText(std::string_view text, double x, double baseline, const ImageTarget& target,
                       PixelArea& touched);

    // A text of one ASCII character placed for compositing into a grey target, as print()
    // and compositeText() place it.
    struct LoneGlyph {
        const KnownFont* known;
        const Coverage* coverage;
        int x, y;             // the glyph's origin, in pixels
        std::uint32_t pixel;  // the fore colour as an opaque pixel
        double width;         // what print() adds to CurrentX
    };
    // Where print() would composite a text of one character with ink, from its kept coverage,
    // into a target without alpha that the context draws on plainly: false, with nothing done,
    // where print() would do more than that or otherwise. Raises what print() raises before it
    // shows anything. The caller composites it and then moves on by its width (advance()).
    bool placeLone(std::string_view text, LoneGlyph& glyph);
    void advance(double width) noexcept { currentX_ += width; }

    // Told by compositeText() of the pixels it is about to read and change, before it does:
    // true where they are known to be paper throughout (on a grey target).
    virtual bool compositing(const PixelArea&) { return false; }

    // For a surface whose caller never asks what was drawn: the extents are left empty.
    void keepNoExtents() noexcept { keepsExtents_ = false; }
    // For a surface that paints boxes into pixels of its own, never through the context: the
    // context is not asked after each box whether cairo failed (the texts, which use it, still
    // ask).
    void paintOffContext() noexcept { paintsOffContext_ = true; }
    // For a surface that only measures, whose context no other surface uses while it lives
    // and which holds no path: boxes and texts are placed and kept in the extents, and nothing
    // is painted or shown.
    void measureOnly() noexcept { measuresOnly_ = ownsContext_ = pathless_ = true; }

    // Raises what line() raises for the flags and colour of a box: other flags than a box's,
    // or a colour that checkColor() refuses.
    static void checkBox(std::int16_t flags, std::int32_t color) {
        if (!isBox(flags, color)) refuseBox();
    }
    // Whether line() takes these flags and colour for a box.
    static bool isBox(std::int16_t flags, std::int32_t color) noexcept {
        return flags == boxFlags && (static_cast<std::uint32_t>(color) & 0xFF000000u) == 0;
    }
    // Boxes that line() was not told of, placed as it places them, in order, after the calls
    // made so far: kept in the extents and drawn nowhere. Only for a surface that measures.
    // With placed, where each box landed is kept there, at its index.
    void placeBoxes(const BoxCall* boxes, std::size_t count, PlacedBox* placed = nullptr) noexcept;

    // Raises the run-time error for a context that cairo has put in error.
    void checkContext() const;

    // Where line() puts a box on the device, before bar reduction, kept in the extents.
    struct DeviceBox {
        double left, top, right, bottom;
    };
    // A box that line() paints, on whole pixels.
    struct PixelBox {
        int left, top, right, bottom;
        std::int32_t color;
    };
    // Whether placeOnPixels() may stand for line(): boxes grid fitted, bars kept whole, painted
    // off the context and never measured only.
    bool placesOnPixels() const noexcept {
        return placement_.gridFit && !reducesBars_ && paintsOffContext_ && !measuresOnly_;
    }
    // The whole device units by which boxes placed as given land moved here, where
    // placesOnPixels() and they are movable so far: false where they may land otherwise.
    bool movedFrom(const PlacedBoxes& placed, int& dx, int& dy) const noexcept;
    // The run of boxes as placing the box last taken from placed would have left it, moved.
    void continueRun(const BoxCall& box, const PlacedBox& placed, int dx) noexcept;
    // Places boxes from next on as line() places them, until end or until room of them are to
    // be painted: each box that line() would paint goes into out, on whole pixels. It stops
    // before a box that line() refuses, and after one whose edges are beyond an int (or not
    // numbers at all), which is given in odd for paintBox(). Returns the boxes put into out.
    std::size_t placeOnPixels(const BoxCall*& next, const BoxCall* end, PixelBox* out,
                              std::size_t room, std::optional<DeviceBox>& odd) noexcept;

  private:
    [[noreturn]] static void refuseBox();
    // print() of a text measured: shown unless only measured, kept in the extents, and
    // CurrentX moved on by its advance.
    // The font's ascent and line height as cairo gives them, in device units.
    void printMeasured(std::string_view shown, double advance, double ascent, double height);
    // What placeLone() and print() take for the texts after this one, in this font.
    void settleLone(const KnownFont& known) noexcept;
    // The font settled for lone characters, where it still holds.
    const KnownFont* settledLone() const noexcept;
    void selectFont(bool contextChecked = false);
    void findFont();  // selectFont() of a font that does not stand
    // The context's font as kept (knownFontOf()), remembered for the face, size and
    // transformation it was found for: texts after the first ask cairo nothing. cairo's font
    // options are the context's and its target's, which no surface sets: taken to stay as they
    // were while the surface lives.
    KnownFont* knownFont();
    KnownFont* findKnownFont(bool sameFont);  // knownFont() where cairo must be asked
    void dropFace() noexcept;
    double toDeviceX(double x) const noexcept;
    double toDeviceY(double y) const noexcept;
    double textDeviceX(double x) const noexcept;

    // The device rows of a box from y1 to y2, grid fitted where boxes are.
    struct Rows {
        bool known = false;
        std::uint32_t y1 = 0, y2 = 0;  // the bits of the floats they were worked out from
        double top = 0, bottom = 0;
        bool movable = true;                // see placedMovably()
        int pixelTop = 0, pixelBottom = 0;  // top and bottom, where movable
    };
    const Rows& rowsOf(float y1, float y2) noexcept;

    void placeBox(std::int16_t x1, float y1, std::int16_t x2, float y2, DeviceBox& box,
                  PlacedBox* placed = nullptr) noexcept;
    struct SettledWidths;
    // placeBox() for the boxes from next on that continue the run on the rows of the box
    // before, each of a width that lands as wide wherever it lies: without its arithmetic.
    void extendRun(const SettledWidths& settled, const BoxCall*& next, const BoxCall* end,
                   PlacedBox*& placed) noexcept;
    void findRows(float y1, float y2) noexcept;

    // Boxes that follow one another without a gap, as grid fitting has placed them.
    struct Run {
        bool started = false;
        double unitLeft = 0, unitRight = 0;
        double deviceLeft = 0, deviceRight = 0;
    };

    cairo_t* context_;
    DevicePlacement placement_;
    std::string fontName_ = "Arial";
    bool bold_ = false;
    std::shared_ptr<cairo_font_face_t> face_;  // of fontName_ and bold_
    double fontSize_ = 8;                      // points
    double deviceSize_ = 0;                    // as selected last, in device units
    struct Remembered {
        KnownFont* known = nullptr;
        std::uint64_t filling = 0;
        cairo_font_face_t* face = nullptr;
        double size = 0;
        double xx = 0, yx = 0, xy = 0, yy = 0;  // the context's transformation
    };
    Remembered remembered_;
    // What placeLone() or print() settled for the lone characters after the first: it holds
    // while known is set (setting the font or the colour clears it) and known's entry is not
    // filled anew.
    struct LoneFont {
        const KnownFont* known = nullptr;
        std::uint64_t filling = 0;  // of known's entry, when settled
        bool sizeUsable = false;    // large enough to composite
        std::uint32_t pixel = 0;    // the fore colour as an opaque pixel
    };
    LoneFont lone_;
    std::string drawable_;  // a text print() leaves to cairo, as cairo takes it
    std::int32_t foreColor_ = 0;
    double currentX_ = 0;
    double currentY_ = 0;
    Extents drawn_;
    Extents boxesOnDevice_;
    Extents textsOnDevice_;
    bool keepsExtents_ = true;
    bool paintsOffContext_ = false;
    bool measuresOnly_ = false;
    bool ownsContext_ = false;
    bool pathless_ = false;  // the context holds no path between calls
    // The face and size selected last stand on the context the surface has alone: until either
    // changes, selectFont() has nothing to find.
    bool fontStands_ = false;
    // What selectFont() last set on the context, for a surface that has it alone.
    const cairo_font_face_t* selectedFace_ = nullptr;
    double selectedSize_ = 0;
    bool reducesBars_ = false;
    double reductionLeft_ = 0, reductionRight_ = 0;  // device units off each side of a bar
    Rows rows_;
    Rows otherRows_;  // those rows_ held before, of a box placed as well
    Run run_;
    bool movable_ = true;
    int runPixelLeft_ = 0, runUnitLeft_ = 0;  // run_'s deviceLeft and unitLeft, where movable
    const SettledWidths* settled_ = nullptr;  // of the placement, as found last
};

// Plain ASCII without NUL: text cairo takes as it is.
inline bool isPlainAscii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte < 0x80;
    });
}

// Raises the invalid-property-value error (380) for anything but a plain 0x00BBGGRR colour.
void checkColor(std::int32_t color);

// Finds the font a surface would select by that name, so that the font system's start-up (which
// reads its configuration the first time) is paid on the calling thread, ahead of any drawing.
void findFontAhead(const std::string& name, bool bold);

}  // namespace quillet
