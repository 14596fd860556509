// Symbols drawn through CairoSurface into real files: PNG, PDF, SVG and PostScript documents,
// pages sized to what was drawn, and symbols placed on a page of their own or at a position.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "control/quillet.h"
#include "surfaces/cairo/cairo_surface.h"
#include "surfaces/png_encoder.h"

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

struct SymbolDrawing {
    std::int16_t result = 0;
    std::string code;       // the caller's variable afterwards
    Extents drawn;          // surface units
    Extents drawnOnDevice;  // device units, drawn with the origin at (0, 0)
    double margin = 0;      // surface units
    // Where the top left of what was drawn lies on the page, in device units, turned as the
    // page is.
    double padLeft = 0;
    double padTop = 0;
    // The page: what was drawn plus the margin all round, in device units, turned as the
    // settings' rotation turns the symbol (a quarter turn swaps width and height).
    double pageWidth = 0;
    double pageHeight = 0;
};

// Draws the symbol on a scratch target to find out what it covers. A failure towards the caller
// (quillet::RuntimeError) propagates.
SymbolDrawing measureSymbol(Symbology type, DrawingArguments arguments,
                            const OutputSettings& settings);

// Draws the symbol, turned by the settings' rotation, with the top left of what it covers (as
// measured and turned) at a device position.
std::int16_t drawSymbolAt(cairo_t* context, Symbology type, DrawingArguments arguments,
                          const OutputSettings& settings, const SymbolDrawing& measured,
                          double left, double top);

// Measures, then draws the symbol on a page of its own sized to it. Nothing is drawn when the
// result is not 0 (the returned drawing tells why).
SymbolDrawing drawSymbolPage(Document& document, Symbology type,
                             const DrawingArguments& arguments, const OutputSettings& settings);

// Symbols one after another, each a file of its own: a PNG image, or a one-page PDF, SVG or
// PostScript document. The raster and the PNG encoder are kept from one symbol to the next (the
// raster grows to the largest page so far and each image is taken from its top left corner),
// so that a long batch allocates nothing per symbol and its memory stays flat.
//
// One SymbolFiles serves one thread: threads that make files side by side each keep their own.
class SymbolFiles {
  public:
    explicit SymbolFiles(const OutputSettings& settings);
    ~SymbolFiles();
    SymbolFiles(const SymbolFiles&) = delete;
    SymbolFiles& operator=(const SymbolFiles&) = delete;

    // Measures and draws the symbol; when the result is 0, encode() makes its file.
    SymbolDrawing draw(Symbology type, const DrawingArguments& arguments);
    // Replaces file with the file of the symbol drawn last.
    void encode(std::string& file);

  private:
    OutputSettings settings_;
    cairo_t* scratch_ = nullptr;  // to measure on
    cairo_surface_t* raster_ = nullptr;
    cairo_t* context_ = nullptr;  // to draw on the raster
    int rasterWidth_ = 0;
    int rasterHeight_ = 0;
    int pageWidth_ = 0;
    int pageHeight_ = 0;
    std::string document_;  // a vector format's file, as cairo wrote it
    PngEncoder encoder_;
};

}  // namespace quillet
