// Documents written through cairo: PNG, PDF, SVG and PostScript, their settings, the pages they
// hold and the sizes those may have.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "control/quillet.h"
#include "surfaces/cairo/cairo_surface.h"

typedef struct _cairo_surface cairo_surface_t;

namespace quillet {

enum class OutputFormat { png, pdf, svg, ps };

// "png", "pdf", "svg", "ps", case-insensitive.
std::optional<OutputFormat> outputFormatNamed(std::string_view name) noexcept;
// The format a file name's extension names, if any.
std::optional<OutputFormat> outputFormatOfPath(std::string_view path) noexcept;
std::string_view extensionOf(OutputFormat format) noexcept;
constexpr bool isRaster(OutputFormat format) noexcept {
    return format == OutputFormat::png;
}
constexpr bool hasPages(OutputFormat format) noexcept {
    return format == OutputFormat::pdf || format == OutputFormat::ps;
}

// Output the settings make useless or larger than its format holds: an image of more pixels than
// maxRasterPixels, a page beyond maxPagePoints a side, bars reduced to nothing. Raised before
// anything is drawn; the quillet command reports it as a usage error.
struct UnusableOutput : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// 256 MiB of cairo's four bytes a pixel: an A4 page at 800 dpi, or 8000 pixels square.
inline constexpr double maxRasterPixels = 64.0 * 1024 * 1024;
// 200 inches, the largest page PDF readers show.
inline constexpr double maxPagePoints = 14400;

inline constexpr std::int32_t whitePaper = 0xFFFFFF;

// The clear space a symbology's standard asks for left and right of its bars, in modules.
struct QuietZone {
    double left = 10;
    double right = 10;
};

struct OutputSettings {
    OutputFormat format = OutputFormat::png;
    ScaleMode units = ScaleMode::twips;
    // Surface units per inch where no scale mode has the precision a size asks for (a module
    // of 0.33 mm as a whole number of units); it stands for the units' own.
    std::optional<double> unitsPerInch;
    // The text's size in points, instead of the FontSize each method derives from pWidth.
    std::optional<double> fontPoints;
    double dpi = 96;                   // raster resolution; pixels of the pixel scale mode
    std::optional<bool> gridFit;       // by default on for raster output, off for vector output
    double barReduction = 0;           // taken off every bar ...
    bool barReductionInUnits = false;  // ... in pixels at dpi, or in surface units
    double marginModules = 10;         // quiet zone around the symbol, in modules (pWidth)
    // Quiet zones by symbology (indexed by tBarcodeType), measured from the bars: the page then
    // holds the bars with these zones and everything drawn, and marginModules above and below.
    std::optional<std::array<QuietZone, symbologyCount>> quietZones;
    int rotation = 0;  // the symbol turned clockwise: 0, 90, 180 or 270 degrees
    // The creation date that PDF and PostScript documents carry, in seconds since 1970 (UTC).
    // None by default, so that the same drawing always gives the same bytes.
    std::optional<std::int64_t> creationTime;
    // The page's colour, 0x00BBGGRR; nothing leaves it transparent (PNG with alpha, PDF and SVG
    // without a page fill).
    std::optional<std::int32_t> background = whitePaper;

    double devicePerUnit() const noexcept;
    double devicePerPoint() const noexcept;
    bool fitsGrid() const noexcept { return gridFit.value_or(isRaster(format)); }
    // Surface units to device units at a position: whole device units when fitting the grid.
    DevicePlacement placement(double originX, double originY) const noexcept;
};

// The output can no longer be written (the stream failed, or cairo's target did): nothing more
// that goes into this document can reach it.
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A document written as cairo produces it: one page for PNG and SVG, any number for PDF and
// PostScript, each page sized on its own. Pages are filled with the background colour, or left
// transparent without one. Sizes are in device units (pixels for PNG, points otherwise). The
// same drawing gives the same bytes: the document carries the creation time given, or none,
// and SVG ids are numbered within the document.
class Document {
  public:
    // The document takes its format, creation time and background from the settings.
    Document(std::ostream& out, const OutputSettings& settings);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    OutputFormat format() const noexcept { return format_; }
    cairo_t* beginPage(double width, double height);
    // The open page's context, a new one when the one before failed: a drawing that failed
    // leaves what it drew and nothing else wrong on the page.
    cairo_t* page();
    void endPage();
    // Writes what is left. Every step throws WriteError once the output cannot be written.
    void finish();

  private:
    void checkTarget() const;
    friend struct DocumentStream;  // what cairo writes goes through it
    void release();

    OutputFormat format_;
    std::ostream& out_;
    std::optional<std::int64_t> creationTime_;
    double dotsPerInch_;  // PNG files carry it
    std::optional<std::int32_t> background_;
    std::string held_;  // what cairo wrote that still needs rewriting (SVG, PostScript header)
    bool holding_ = false;
    cairo_surface_t* target_ = nullptr;
    cairo_t* context_ = nullptr;
    int pages_ = 0;
};

}  // namespace quillet
