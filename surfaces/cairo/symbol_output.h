// Symbols drawn through CairoSurface into real files: PNG, PDF, SVG and PostScript documents,
// pages sized to what was drawn, and symbols placed on a page of their own or at a position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/quillet.h"
#include "surfaces/cairo/cairo_surface.h"
#include "surfaces/cairo/call_record.h"
#include "surfaces/cairo/document.h"
#include "surfaces/cairo/raster_surface.h"
#include "surfaces/png_encoder.h"

typedef struct _cairo_surface cairo_surface_t;

namespace quillet {

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
SymbolDrawing drawSymbolPage(Document& document, Symbology type, const DrawingArguments& arguments,
                             const OutputSettings& settings);

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
    // Where a kept raster may differ from paper, and what paper is there.
    struct Paper {
        explicit Paper(std::uint32_t pixel) : painted(pixel) {}
        PaintedAreas painted;  // where the raster may differ from paper ...
        int knownWidth = 0;    // ... within its top left part known otherwise
        int knownHeight = 0;
        std::vector<unsigned char> row;  // the raster's width of paper
        void forget() noexcept;
        // Paper where the symbol before painted and where the page reaches beyond the part of
        // the raster that was ever filled: the rest of the page is paper still. Given the rows
        // written since paper was last restored, only those of them where it painted.
        void restore(unsigned char* data, int stride, int pixelBytes, int width, int height,
                     const std::uint8_t* rowsWritten = nullptr);
    };

    // Paper again on the image where the last symbol painted, within width x height.
    void restorePaper(int width, int height);
    void forgetRaster() noexcept;
    // Whether the symbol recorded last may be painted in greys, a byte a pixel.
    bool paintsGrey() const noexcept;
    // Whether the image's context is unturned and measures text as the scratch context does.
    bool contextsAlike();
    // Paints the symbol recorded last into the grey raster: false where it did not.
    bool drawGrey(const DevicePlacement& placement, const RasterSurface::Page& page);
    // The symbol measured last onto the page: its recorded calls made again where they are
    // what the method would make there, else the method once more.
    std::int16_t drawMeasured(Symbology type, const DrawingArguments& arguments,
                              const SymbolDrawing& measured, const PixelArea& page);

    OutputSettings settings_;
    cairo_t* scratch_ = nullptr;  // to measure on
    cairo_surface_t* raster_ = nullptr;
    cairo_t* context_ = nullptr;         // to draw on the raster
    std::optional<bool> contextsAlike_;  // measureAlike() of the two, while they are kept
    int rasterWidth_ = 0;
    int rasterHeight_ = 0;
    int pageWidth_ = 0;
    int pageHeight_ = 0;
    CallRecord record_;  // of the symbol measured last
    Paper paper_;        // of the raster
    // The grey raster, as large as the raster, with room after each row for the encoder; made
    // when a symbol first paints in greys.
    std::vector<unsigned char> grey_;
    int greyStride_ = 0;
    Paper greyPaper_;
    std::vector<std::uint8_t> rowsChange_, rowsRepeat_;  // of the grey page
    std::vector<std::uint8_t> rowsWritten_;  // of the grey raster, since paper was restored
    bool drewGrey_ = false;                  // the page is in the grey raster
    std::string document_;                   // a vector format's file, as cairo wrote it
    PngEncoder encoder_;
};

}  // namespace quillet
