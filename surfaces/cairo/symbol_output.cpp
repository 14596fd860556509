#include "surfaces/cairo/symbol_output.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "render/errors.h"
#include "surfaces/cairo/pages.h"
#include "surfaces/cairo/raster_surface.h"

namespace quillet {
namespace {

// A background as cairo stores it in a pixel: 0xAARRGGBB, premultiplied, in native order.
std::uint32_t pixelOf(const std::optional<std::int32_t>& background) {
    if (!background) return 0;
    const auto colour = static_cast<std::uint32_t>(*background);
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

// Measuring needs the extents of what is drawn (advances and line heights), not its pixels.
// It records the calls as well, when given a record, to draw them without running the method
// again.
class MeasuringSurface final : public CairoSurface {
  public:
    MeasuringSurface(cairo_t* context, const DevicePlacement& placement, CallRecord* record)
        : CairoSurface(context, placement),
          record_(record),
          placed_(record != nullptr ? record->boxCount() : 0) {
        measureOnly();
    }

    void setFontName(std::string_view name) override {
        if (record_ != nullptr) record_->setFontName(name);
        CairoSurface::setFontName(name);
    }
    void setForeColor(std::int32_t color) override {
        if (record_ != nullptr) record_->setForeColor(color);
        CairoSurface::setForeColor(color);
    }
    void setFontBold(bool bold) override {
        if (record_ != nullptr) record_->setFontBold(bold);
        CairoSurface::setFontBold(bold);
    }
    void setFontSize(std::int16_t size) override {
        if (record_ != nullptr) record_->setFontSize(size);
        CairoSurface::setFontSize(size);
    }
    void setCurrentX(Coordinate x) override {
        if (record_ != nullptr) record_->setCurrentX(x);
        CairoSurface::setCurrentX(x);
    }
    void setCurrentY(float y) override {
        if (record_ != nullptr) record_->setCurrentY(y);
        CairoSurface::setCurrentY(y);
    }
    // With a record, boxes are only recorded, and placed from it together before a text
    // (whose place follows the boxes before it) and at the end.
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        if (record_ == nullptr || !CairoSurface::isBox(flags, color) ||
            !record_->lineInRoom(flags, x1, y1, x2, y2, color))
            lineAside(flags, x1, y1, x2, y2, color);
    }
    // A bar is any box here: drawn as line() draws it, without going through Surface::bar().
    void bar(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
             std::int32_t color) override {
        MeasuringSurface::line(flags, x1, y1, x2, y2, color);
    }
    void print(std::string_view text) override {
        if (record_ != nullptr) {
            placeRecorded();
            record_->print(text);
        }
        CairoSurface::print(text);
    }

    void placeRecorded() noexcept {
        if (record_ != nullptr) placeRecorded(record_->boxCount());
    }

  private:
    // line() but for a box recorded in the room there is.
    [[gnu::noinline]] void lineAside(std::int16_t flags, std::int16_t& x1, float y1,
                                     std::int16_t x2, float y2, std::int32_t color) {
        if (record_ == nullptr) {
            CairoSurface::line(flags, x1, y1, x2, y2, color);
            return;
        }
        record_->line(flags, x1, y1, x2, y2, color);
        try {
            checkBox(flags, color);
        } catch (...) {
            // The box refused, which line() would not have placed, is passed over.
            placeRecorded(record_->boxCount() - 1);
            placed_ = record_->boxCount();
            throw;
        }
    }

    // Places the recorded boxes not placed yet up to the one at upTo.
    void placeRecorded(std::size_t upTo) noexcept {
        if (upTo <= placed_) return;
        placeBoxes(record_->boxes() + placed_, upTo - placed_, record_->placedBoxes() + placed_);
        placed_ = upTo;
    }

    CallRecord* record_;
    std::size_t placed_ = 0;  // of the record's boxes
};

// Whether two contexts answer every text measure alike: cairo scales a font by the context's
// transformation (its translation aside) and by the font options of the context and its
// target, and by nothing else the surfaces do not set themselves.
bool measureAlike(cairo_t* one, cairo_t* other) {
    cairo_matrix_t a, b;
    cairo_get_matrix(one, &a);
    cairo_get_matrix(other, &b);
    if (a.xx != b.xx || a.yx != b.yx || a.xy != b.xy || a.yy != b.yy) return false;
    std::array<cairo_font_options_t*, 4> options{};
    for (auto& option : options) option = cairo_font_options_create();
    cairo_get_font_options(one, options[0]);
    cairo_get_font_options(other, options[1]);
    cairo_surface_get_font_options(cairo_get_target(one), options[2]);
    cairo_surface_get_font_options(cairo_get_target(other), options[3]);
    const bool alike = cairo_font_options_status(options[0]) == CAIRO_STATUS_SUCCESS &&
                       cairo_font_options_equal(options[0], options[1]) &&
                       cairo_font_options_status(options[2]) == CAIRO_STATUS_SUCCESS &&
                       cairo_font_options_equal(options[2], options[3]);
    for (auto* option : options) cairo_font_options_destroy(option);
    return alike;
}

// Text metrics differ between targets (raster output rounds advances to pixels), so the scratch
// target is of the same kind as the real one.
cairo_t* createScratch(const OutputSettings& settings) {
    cairo_surface_t* target =
        isRaster(settings.format)
            ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)
            : cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* context = cairo_create(target);
    cairo_surface_destroy(target);  // the context keeps it
    return context;
}

// Bars reduced by their width or more would vanish.
void checkBarReduction(const DevicePlacement& placement, std::int16_t moduleWidth,
                       const OutputSettings& settings) {
    const double module = std::abs(static_cast<double>(moduleWidth)) * placement.devicePerUnit;
    if (placement.barReduction == 0 || placement.barReduction < module) return;
    const char* unit = isRaster(settings.format) ? " pixels" : " points";
    std::ostringstream text;
    text.precision(4);
    text << "--bar-reduction takes " << placement.barReduction << unit
         << " off every bar, and the narrowest are " << module << unit
         << " wide: make it less than the module width (--width)";
    throw UnusableOutput(text.str());
}

SymbolDrawing measureOn(cairo_t* scratch, Symbology type, DrawingArguments arguments,
                        const OutputSettings& settings, CallRecord* record = nullptr) {
    const DevicePlacement placement = settings.placement(0, 0);
    checkBarReduction(placement, arguments.pWidth, settings);
    MeasuringSurface surface(scratch, placement, record);
    SymbolDrawing measured;
    Quillet control;
    measured.result = control.Draw(type, &surface, arguments);
    surface.placeRecorded();
    if (record != nullptr) record->keepPlaced(placement, surface.placedMovably());

    measured.code = arguments.pCode;
    measured.drawn = surface.drawn();
    measured.drawnOnDevice = surface.drawnOnDevice();
    measured.margin = settings.marginModules * std::abs(static_cast<int>(arguments.pWidth));
    const double margin = measured.margin * settings.devicePerUnit();
    // Left, top, right, bottom of the unturned page around what was drawn.
    std::array<double, 4> pads = {margin, margin, margin, margin};
    const Extents& all = measured.drawnOnDevice;
    const Extents& bars = surface.boxesOnDevice();
    if (settings.quietZones && !bars.empty && type.index() < settings.quietZones->size()) {
        const QuietZone zone = (*settings.quietZones)[type.index()];
        const double module =
            std::abs(static_cast<int>(arguments.pWidth)) * settings.devicePerUnit();
        pads[0] = std::max(0.0, all.left - (bars.left - zone.left * module));
        pads[2] = std::max(0.0, bars.right + zone.right * module - all.right);
    }
    // A quarter turn clockwise takes the bottom to the left, the left to the top.
    const std::size_t turns = static_cast<std::size_t>(settings.rotation / 90);
    const auto turned = [&](std::size_t side) { return pads[(side + 4 - turns) % 4]; };
    measured.padLeft = turned(0);
    measured.padTop = turned(1);
    measured.pageWidth = all.width() + pads[0] + pads[2];
    measured.pageHeight = all.height() + pads[1] + pads[3];
    if (settings.rotation == 90 || settings.rotation == 270)
        std::swap(measured.pageWidth, measured.pageHeight);
    if (isRaster(settings.format)) {
        measured.pageWidth = std::ceil(measured.pageWidth);
        measured.pageHeight = std::ceil(measured.pageHeight);
        if (measured.result == 0) rasterSize(measured.pageWidth, measured.pageHeight);
    } else if (measured.result == 0) {
        checkPageSize(measured.pageWidth, measured.pageHeight);
    }
    return measured;
}

// Where the unturned symbol measured lands with the top left of what it covers at a device
// position.
DevicePlacement unturnedPlacement(const OutputSettings& settings, const SymbolDrawing& measured,
                                  double left, double top) {
    return settings.placement(left - measured.drawnOnDevice.left, top - measured.drawnOnDevice.top);
}

// The rows that repeat the row above, a byte each, from the rows that change (each byte 0 or
// 1, readable up to a word past the rows): eight at a time.
void repeatsOf(const std::vector<std::uint8_t>& changes, std::size_t rows,
               std::vector<std::uint8_t>& repeats) {
    constexpr std::uint64_t ones = 0x0101010101010101u;
    repeats.resize(rows + sizeof ones);
    for (std::size_t y = 0; y < rows; y += sizeof ones) {
        std::uint64_t changed = 0;
        std::memcpy(&changed, changes.data() + y, sizeof changed);
        const std::uint64_t repeated = ~changed & ones;
        std::memcpy(repeats.data() + y, &repeated, sizeof repeated);
    }
    if (rows > 0) repeats[0] = 0;
}

// A context that failed stays failed: it is replaced before the next symbol.
void dropIfFailed(cairo_t*& context) {
    if (context == nullptr || cairo_status(context) == CAIRO_STATUS_SUCCESS) return;
    cairo_destroy(context);
    context = nullptr;
}

}  // namespace

SymbolDrawing measureSymbol(Symbology type, DrawingArguments arguments,
                            const OutputSettings& settings) {
    const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> scratch(createScratch(settings),
                                                                     cairo_destroy);
    return measureOn(scratch.get(), type, std::move(arguments), settings);
}

std::int16_t drawSymbolAt(cairo_t* context, Symbology type, DrawingArguments arguments,
                          const OutputSettings& settings, const SymbolDrawing& measured,
                          double left, double top) {
    Quillet control;
    if (settings.rotation != 0) {
        // The symbol is drawn unturned from (0, 0) through a turn that takes what it covers,
        // width x height, to a box of its own from (left, top). Whole numbers in the matrix keep
        // edges on whole pixels where the placement puts them there.
        const double width = measured.drawnOnDevice.width();
        const double height = measured.drawnOnDevice.height();
        cairo_matrix_t turn;
        switch (settings.rotation) {
            case 90:
                cairo_matrix_init(&turn, 0, 1, -1, 0, left + height, top);
                break;
            case 180:
                cairo_matrix_init(&turn, -1, 0, 0, -1, left + width, top + height);
                break;
            case 270:
                cairo_matrix_init(&turn, 0, -1, 1, 0, left, top + width);
                break;
            default:
                throw std::invalid_argument("a rotation is 0, 90, 180 or 270 degrees");
        }
        if (settings.fitsGrid()) {
            turn.x0 = std::round(turn.x0);
            turn.y0 = std::round(turn.y0);
        }
        cairo_save(context);
        cairo_transform(context, &turn);
        CairoSurface surface(
            context, settings.placement(-measured.drawnOnDevice.left, -measured.drawnOnDevice.top));
        const std::int16_t result = control.Draw(type, &surface, arguments);
        cairo_restore(context);
        return result;
    }
    const DevicePlacement placement = unturnedPlacement(settings, measured, left, top);
    if (auto page = RasterSurface::pageOf(context)) {
        RasterSurface surface(context, placement, *page);
        return control.Draw(type, &surface, arguments);
    }
    CairoSurface surface(context, placement);
    return control.Draw(type, &surface, arguments);
}

SymbolDrawing drawSymbolPage(Document& document, Symbology type, const DrawingArguments& arguments,
                             const OutputSettings& settings) {
    SymbolDrawing measured = measureSymbol(type, arguments, settings);
    if (measured.result != 0) return measured;
    cairo_t* context = document.beginPage(measured.pageWidth, measured.pageHeight);
    measured.result = drawSymbolAt(context, type, arguments, settings, measured, measured.padLeft,
                                   measured.padTop);
    document.endPage();
    return measured;
}

SymbolFiles::SymbolFiles(const OutputSettings& settings)
    : settings_(settings),
      paper_(pixelOf(settings.background)),
      greyPaper_(pixelOf(settings.background) & 0xFFu) {
    encoder_.setResolution(settings.dpi);
}

SymbolFiles::~SymbolFiles() {
    if (scratch_ != nullptr) cairo_destroy(scratch_);
    if (context_ != nullptr) cairo_destroy(context_);
    if (raster_ != nullptr) cairo_surface_destroy(raster_);
}

SymbolDrawing SymbolFiles::draw(Symbology type, const DrawingArguments& arguments) {
    pageWidth_ = pageHeight_ = 0;
    document_.clear();
    if (!isRaster(settings_.format)) {
        std::ostringstream out;
        Document document(out, settings_);
        SymbolDrawing drawn = drawSymbolPage(document, type, arguments, settings_);
        if (drawn.result != 0) return drawn;
        document.finish();
        document_ = std::move(out).str();
        return drawn;
    }

    // The contexts are kept as well: each keeps the font it used last, which cairo would
    // otherwise look up again for every new context.
    dropIfFailed(scratch_);
    if (scratch_ == nullptr) {
        scratch_ = createScratch(settings_);
        contextsAlike_.reset();
    }
    record_.clear();
    SymbolDrawing measured = measureOn(scratch_, type, arguments, settings_, &record_);
    if (measured.result != 0) return measured;
    const auto [width, height] = rasterSize(measured.pageWidth, measured.pageHeight);
    dropIfFailed(context_);
    if (width > rasterWidth_ || height > rasterHeight_) {
        if (context_ != nullptr) cairo_destroy(context_);
        if (raster_ != nullptr) cairo_surface_destroy(raster_);
        context_ = nullptr;
        rasterWidth_ = std::max(width, rasterWidth_);
        rasterHeight_ = std::max(height, rasterHeight_);
        // A wide page after a high one must not make a raster larger than either.
        if (static_cast<double>(rasterWidth_) * rasterHeight_ > maxRasterPixels) {
            rasterWidth_ = width;
            rasterHeight_ = height;
        }
        raster_ = cairo_image_surface_create(rasterFormat(settings_.background), rasterWidth_,
                                             rasterHeight_);
        checkCairo(cairo_surface_status(raster_), "creating the image");
        forgetRaster();
    }
    if (context_ == nullptr) {
        context_ = cairo_create(raster_);
        contextsAlike_.reset();
    }
    drewGrey_ = false;
    if (paintsGrey() && contextsAlike()) {
        // The page of the image as the clip below makes it; a symbol in greys is painted into
        // the grey raster alone, and the image and its context are made ready only for a symbol
        // drawn there.
        const RasterSurface::Page target{raster_, 0, 0, width, height};
        const DevicePlacement placement =
            unturnedPlacement(settings_, measured, measured.padLeft, measured.padTop);
        if (drawGrey(placement, target)) {
            drewGrey_ = true;
            pageWidth_ = width;
            pageHeight_ = height;
            return measured;
        }
    }
    // Only the page is painted and drawn on, as on a target of its own size; what lies beyond
    // it is left from larger pages and never encoded.
    restorePaper(width, height);
    cairo_reset_clip(context_);
    cairo_rectangle(context_, 0, 0, width, height);
    cairo_clip(context_);
    const PixelArea page{0, 0, width, height};
    try {
        measured.result = drawMeasured(type, arguments, measured, page);
    } catch (...) {
        paper_.painted.add(page);
        throw;
    }
    cairo_surface_flush(raster_);
    if (measured.result != 0) return measured;
    pageWidth_ = width;
    pageHeight_ = height;
    return measured;
}

void SymbolFiles::encode(std::string& file) {
    if (!isRaster(settings_.format)) {
        file = document_;
        return;
    }
    if (pageWidth_ == 0) throw std::logic_error("no symbol was drawn");
    if (drewGrey_) {
        repeatsOf(rowsChange_, static_cast<std::size_t>(pageHeight_), rowsRepeat_);
        encoder_.encodeGrey(grey_.data(), pageWidth_, pageHeight_, greyStride_, file,
                            rowsRepeat_.data(), true);
    } else {
        encoder_.encode(cairo_image_surface_get_data(raster_), pageWidth_, pageHeight_,
                        cairo_image_surface_get_stride(raster_), file, !settings_.background);
    }
    // A raster is kept for the next symbol only while it is small: a batch draws several
    // symbols ahead, and each holding the largest image allowed would add up to gigabytes.
    constexpr double keptPixels = 4.0 * 1024 * 1024;
    if (static_cast<double>(rasterWidth_) * rasterHeight_ > keptPixels) {
        cairo_destroy(context_);
        cairo_surface_destroy(raster_);
        context_ = nullptr;
        raster_ = nullptr;
        rasterWidth_ = rasterHeight_ = pageWidth_ = pageHeight_ = 0;
        forgetRaster();
    }
}

void SymbolFiles::forgetRaster() noexcept {
    paper_.forget();
    paper_.row.clear();
    greyPaper_.forget();
    grey_.clear();
    grey_.shrink_to_fit();
}

void SymbolFiles::Paper::forget() noexcept {
    knownWidth = knownHeight = 0;
    painted.clear();
}

void SymbolFiles::Paper::restore(unsigned char* data, int stride, int pixelBytes, int width,
                                 int height, const std::uint8_t* rowsWritten) {
    const auto fill = [&](int left, int top, int right, int bottom, const std::uint8_t* rows) {
        left = std::max(left, 0);
        right = std::min(right, width);
        if (left >= right) return;
        const auto bytes = static_cast<std::size_t>(right - left) * pixelBytes;
        for (int y = std::max(top, 0); y < std::min(bottom, height); ++y)
            if (rows == nullptr || rows[y] != 0)
                std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride + left * pixelBytes,
                            row.data(), bytes);
    };
    for (const PixelArea& area : painted)
        fill(area.left, area.top, area.right, area.bottom, rowsWritten);
    if (width <= knownWidth && height <= knownHeight) {
        painted.forgetWithin(width, height);
        return;
    }
    fill(knownWidth, 0, width, knownHeight, nullptr);
    fill(0, knownHeight, width, height, nullptr);
    painted.clear();
    knownWidth = width;
    knownHeight = height;
}

void SymbolFiles::restorePaper(int width, int height) {
    if (paper_.row.empty()) {
        const std::uint32_t pixel = paper_.painted.paper();
        paper_.row.resize(static_cast<std::size_t>(rasterWidth_) * sizeof pixel);
        for (std::size_t at = 0; at < paper_.row.size(); at += sizeof pixel)
            std::memcpy(paper_.row.data() + at, &pixel, sizeof pixel);
    }
    cairo_surface_flush(raster_);
    paper_.restore(cairo_image_surface_get_data(raster_), cairo_image_surface_get_stride(raster_),
                   4, width, height);
    cairo_surface_mark_dirty(raster_);
}

bool SymbolFiles::paintsGrey() const noexcept {
    if (!settings_.background || settings_.rotation != 0 || !settings_.fitsGrid()) return false;
    return CallRecord::isGrey(*settings_.background) && record_.greyAndAscii();
}

bool SymbolFiles::contextsAlike() {
    // The image's context draws unturned, as pageOf() asks, and measures as the scratch does.
    cairo_matrix_t matrix;
    cairo_get_matrix(context_, &matrix);
    if (matrix.xx != 1 || matrix.yx != 0 || matrix.xy != 0 || matrix.yy != 1 || matrix.x0 != 0 ||
        matrix.y0 != 0)
        return false;
    // Font options are the contexts' and their targets', which nothing here changes.
    if (!contextsAlike_) contextsAlike_ = measureAlike(scratch_, context_);
    return *contextsAlike_;
}

bool SymbolFiles::drawGrey(const DevicePlacement& placement, const RasterSurface::Page& page) {
    if (grey_.empty()) {
        greyStride_ = rasterWidth_ + static_cast<int>(PngEncoder::rowRoom);
        grey_.resize(static_cast<std::size_t>(greyStride_) * rasterHeight_ + PngEncoder::rowRoom);
        greyPaper_.row.assign(static_cast<std::size_t>(rasterWidth_),
                              static_cast<unsigned char>(greyPaper_.painted.paper()));
        greyPaper_.forget();
        rowsWritten_.assign(static_cast<std::size_t>(rasterHeight_), 0);
    }
    // Rows never written since paper was restored there hold paper still. The rows are known
    // afresh once nothing is left to restore beyond this page.
    greyPaper_.restore(grey_.data(), greyStride_, 1, page.right, page.bottom, rowsWritten_.data());
    if (greyPaper_.painted.begin() == greyPaper_.painted.end())
        std::fill(rowsWritten_.begin(), rowsWritten_.end(), 0);
    // A word more than the rows, for repeatsOf() to read whole words.
    rowsChange_.assign(static_cast<std::size_t>(page.bottom) + 1 + sizeof(std::uint64_t), 0);
    const RasterSurface::Grey grey{grey_.data(), greyStride_, rowsChange_.data(),
                                   rowsWritten_.data()};
    const PixelArea whole{page.left, page.top, page.right, page.bottom};
    try {
        RasterSurface surface(context_, placement, page, &greyPaper_.painted, &grey);
        surface.haveContextAlone();
        record_.replay(surface);
        if (!surface.declined()) return true;
    } catch (const RuntimeError&) {
        // Left to the image, which says what cairo makes of it.
    } catch (...) {
        greyPaper_.painted.add(whole);
        throw;
    }
    greyPaper_.painted.add(whole);
    return false;
}

std::int16_t SymbolFiles::drawMeasured(Symbology type, const DrawingArguments& arguments,
                                       const SymbolDrawing& measured, const PixelArea& page) {
    if (settings_.rotation == 0 && contextsAlike())
        if (const auto target = RasterSurface::pageOf(context_)) {
            const DevicePlacement placement =
                unturnedPlacement(settings_, measured, measured.padLeft, measured.padTop);
            try {
                RasterSurface surface(context_, placement, *target, &paper_.painted);
                surface.haveContextAlone();
                record_.replay(surface);
                return measured.result;
            } catch (const RuntimeError&) {
                // cairo failed where measuring did not: what the method makes of that is its
                // own to say, on a clean page.
                paper_.painted.add(page);
                restorePaper(page.right, page.bottom);
            }
        }
    paper_.painted.add(page);
    return drawSymbolAt(context_, type, arguments, settings_, measured, measured.padLeft,
                        measured.padTop);
}

}  // namespace quillet
