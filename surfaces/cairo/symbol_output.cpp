#include "surfaces/cairo/symbol_output.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quillet {
namespace {

constexpr std::array<std::string_view, 4> extensions = {"png", "pdf", "svg", "ps"};
constexpr double pointsPerInch = 72.0;

// cairo numbers the SVG ids of its surfaces with a counter shared by the whole process: they
// are numbered again in the order they appear.
std::string renumberSvgSurfaces(const std::string& svg) {
    constexpr std::string_view name = "surface";
    std::vector<std::string> seen;
    std::string out;
    out.reserve(svg.size());
    std::size_t done = 0;
    for (std::size_t at = svg.find(name); at != std::string::npos; at = svg.find(name, at + 1)) {
        std::size_t end = at + name.size();
        while (end < svg.size() && std::isdigit(static_cast<unsigned char>(svg[end]))) ++end;
        if (at == 0 || (svg[at - 1] != '"' && svg[at - 1] != '#') || end == at + name.size())
            continue;
        const std::string number = svg.substr(at + name.size(), end - at - name.size());
        auto found = std::find(seen.begin(), seen.end(), number);
        if (found == seen.end()) found = seen.insert(seen.end(), number);
        out.append(svg, done, at + name.size() - done);
        out += std::to_string(found - seen.begin() + 1);
        done = end;
    }
    out.append(svg, done, std::string::npos);
    return out;
}

// UTC, as ISO 8601 for cairo's PDF metadata or as PostScript comments write it.
std::string formatTime(std::int64_t seconds, const char* format) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr) return {};
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &parts));
}

constexpr std::string_view psDateComment = "%%CreationDate: ";

void check(cairo_status_t status, const char* doing) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string(doing) + ": " + cairo_status_to_string(status));
}

double devicePerInch(const OutputSettings& settings) noexcept {
    return isRaster(settings.format) ? settings.dpi : pointsPerInch;
}

std::string sizeText(double width, double height) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(0) << width << " x " << height;
    return text.str();
}

// A page's size in whole pixels, at least one each way.
std::pair<int, int> rasterSize(double width, double height) {
    // A coordinate that is not a number (a host may pass NaN for pY) leaves no size to round.
    if (std::isnan(width) || std::isnan(height))
        throw std::runtime_error("the drawing has no size: a coordinate is not a number");
    width = std::ceil(std::max(width, 1.0));
    height = std::ceil(std::max(height, 1.0));
    // cairo images stop at 32767 pixels a side; beyond that it fails without saying why.
    if (width > 32767 || height > 32767 || width * height > maxRasterPixels)
        throw UnusableOutput("the image would be " + sizeText(width, height) +
                             " pixels, more than 32767 a side or 64 million in all: lower "
                             "--dpi or the symbol's size");
    return {static_cast<int>(width), static_cast<int>(height)};
}

// A vector page within what readers show.
void checkPageSize(double width, double height) {
    if (!(width <= maxPagePoints && height <= maxPagePoints))
        throw UnusableOutput("the page would be " + sizeText(width, height) +
                             " points, more than 200 inches (14400 points) a side");
}

// Images keep an alpha channel only where the page is left transparent.
cairo_format_t rasterFormat(const std::optional<std::int32_t>& background) {
    return background ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
}

// A background as cairo stores it in a pixel: 0xAARRGGBB, premultiplied, in native order.
std::uint32_t pixelOf(const std::optional<std::int32_t>& background) {
    if (!background) return 0;
    const auto colour = static_cast<std::uint32_t>(*background);
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

// An image target as a PNG file.
void encodePng(cairo_surface_t* image, double dotsPerInch, std::string& png) {
    cairo_surface_flush(image);
    check(cairo_surface_status(image), "drawing");
    PngEncoder encoder;
    encoder.setResolution(dotsPerInch);
    encoder.encode(cairo_image_surface_get_data(image), cairo_image_surface_get_width(image),
                   cairo_image_surface_get_height(image), cairo_image_surface_get_stride(image),
                   png, cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32);
}

// Measuring needs the extents of what is drawn (advances and line heights), not its pixels.
class MeasuringSurface final : public CairoSurface {
  public:
    using CairoSurface::CairoSurface;

  protected:
    void paintBox(double, double, double, double, std::int32_t) override {}
    void showText(const std::string&, double, double) override {}
};

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
    static std::optional<Page> pageOf(cairo_t* context) {
        cairo_surface_t* target = cairo_get_target(context);
        if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
            (cairo_image_surface_get_format(target) != CAIRO_FORMAT_RGB24 &&
             cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32))
            return std::nullopt;
        cairo_matrix_t matrix;
        cairo_get_matrix(context, &matrix);
        if (matrix.xx != 1 || matrix.yx != 0 || matrix.xy != 0 || matrix.yy != 1 ||
            matrix.x0 != 0 || matrix.y0 != 0)
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

    RasterSurface(cairo_t* context, const DevicePlacement& placement, const Page& page)
        : CairoSurface(context, placement),
          page_(page),
          data_(cairo_image_surface_get_data(page.image)),
          stride_(cairo_image_surface_get_stride(page.image)),
          alpha_(cairo_image_surface_get_format(page.image) == CAIRO_FORMAT_ARGB32) {}
    ~RasterSurface() override { handToCairo(); }
    RasterSurface(const RasterSurface&) = delete;
    RasterSurface& operator=(const RasterSurface&) = delete;

  protected:
    // A character is composited here from its glyph's coverage, as cairo would composite it;
    // other text is shown by cairo, a character as its glyph (cairo keeps text with its glyphs
    // only in documents) without cairo looking the glyph up again.
    void showText(const std::string& text, double x, double baseline) override {
        takeFromCairo();
        copyBandDown();
        const ImageTarget target{data_,     stride_,     alpha_,      page_.left,
                                 page_.top, page_.right, page_.bottom};
        if (compositeGlyph(text, x, baseline, target)) {
            written_ = true;
            return;
        }
        handToCairo();
        if (!showGlyph(text, x, baseline)) CairoSurface::showText(text, x, baseline);
        cairoDrew_ = true;
    }

    void paintBox(double left, double top, double right, double bottom,
                  std::int32_t color) override {
        if (!isWhole(left) || !isWhole(top) || !isWhole(right) || !isWhole(bottom)) {
            handToCairo();
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
        if (runCount_ > 0 && runs_[runCount_ - 1].right == x1)
            runs_[runCount_ - 1].right = x2;
        else
            runs_[runCount_++] = {x1, x2};
        written_ = true;
    }

  private:
    static bool isWhole(double value) { return value == std::floor(value); }
    static int pixelWithin(double value, int size) {
        return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size)));
    }
    unsigned char* rowAt(int y) const { return data_ + static_cast<std::ptrdiff_t>(y) * stride_; }

    void copyBandDown() {
        for (std::size_t i = 0; i < runCount_; ++i) {
            const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(runs_[i].left) * 4;
            const auto bytes = static_cast<std::size_t>(runs_[i].right - runs_[i].left) * 4;
            for (int y = bandTop_ + 1; y < bandBottom_; ++y)
                std::memcpy(rowAt(y) + offset, rowAt(bandTop_) + offset, bytes);
        }
        runCount_ = 0;
    }

    // What cairo drew must be in the pixels before they are written here.
    void takeFromCairo() {
        if (!cairoDrew_) return;
        cairo_surface_flush(page_.image);
        cairoDrew_ = false;
    }

    // cairo must know before it draws again that the pixels changed under it.
    void handToCairo() {
        if (!written_) return;
        copyBandDown();
        cairo_surface_mark_dirty(page_.image);
        written_ = false;
    }

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

}  // namespace

std::optional<OutputFormat> outputFormatNamed(std::string_view name) noexcept {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::size_t i = 0; i < extensions.size(); ++i)
        if (extensions[i] == lower) return static_cast<OutputFormat>(i);
    return std::nullopt;
}

std::optional<OutputFormat> outputFormatOfPath(std::string_view path) noexcept {
    const auto dot = path.rfind('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot))
        return std::nullopt;
    return outputFormatNamed(path.substr(dot + 1));
}

std::string_view extensionOf(OutputFormat format) noexcept {
    return extensions[static_cast<std::size_t>(format)];
}

double OutputSettings::devicePerUnit() const noexcept {
    return devicePerInch(*this) / unitsPerInch.value_or(quillet::unitsPerInch(units, dpi));
}

double OutputSettings::devicePerPoint() const noexcept {
    return devicePerInch(*this) / pointsPerInch;
}

DevicePlacement OutputSettings::placement(double originX, double originY) const noexcept {
    DevicePlacement placement;
    placement.devicePerUnit = devicePerUnit();
    placement.devicePerPoint = devicePerPoint();
    placement.fontPoints = fontPoints;
    placement.gridFit = fitsGrid();
    // A whole-pixel origin keeps the symbol's edges where they would be on a page of its own.
    placement.originX = placement.gridFit ? std::round(originX) : originX;
    placement.originY = placement.gridFit ? std::round(originY) : originY;
    placement.barReduction = barReductionInUnits ? barReduction * placement.devicePerUnit
                                                 : barReduction * devicePerInch(*this) / dpi;
    return placement;
}

Document::Document(std::ostream& out, const OutputSettings& settings)
    : format_(settings.format),
      out_(out),
      creationTime_(settings.creationTime),
      dotsPerInch_(settings.dpi),
      background_(settings.background),
      holding_(format_ == OutputFormat::svg || format_ == OutputFormat::ps) {}

// SVG is held whole and PostScript until its header's creation date, which cairo writes from
// the clock, has been replaced.
struct DocumentStream {
    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length);
};

cairo_status_t DocumentStream::write(void* closure, const unsigned char* data,
                                     unsigned int length) {
    auto& document = *static_cast<Document*>(closure);
    const std::string_view bytes(reinterpret_cast<const char*>(data), length);
    if (!document.holding_) {
        document.out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
        document.held_ += bytes;
        const std::size_t comment = document.held_.find(psDateComment);
        const std::size_t lineEnd = document.held_.find('\n', comment);
        if (document.format_ == OutputFormat::ps &&
            (lineEnd != std::string::npos || document.held_.size() > 4096)) {
            if (lineEnd != std::string::npos) {
                const std::string date =
                    document.creationTime_
                        ? std::string(psDateComment) +
                              formatTime(*document.creationTime_, "%a %b %e %H:%M:%S %Y") + "\n"
                        : "";
                document.held_.replace(comment, lineEnd + 1 - comment, date);
            }
            document.release();
        }
    }
    return document.out_ ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

void Document::release() {
    if (format_ == OutputFormat::svg) held_ = renumberSvgSurfaces(held_);
    out_.write(held_.data(), static_cast<std::streamsize>(held_.size()));
    held_.clear();
    holding_ = false;
}

Document::~Document() {
    if (context_ != nullptr) cairo_destroy(context_);
    if (target_ != nullptr) cairo_surface_destroy(target_);
}

cairo_t* Document::beginPage(double width, double height) {
    if (context_ != nullptr) throw std::logic_error("a page is still open");
    if (pages_ > 0 && !hasPages(format_)) throw std::logic_error("this format holds one page only");
    width = std::max(width, 1.0);
    height = std::max(height, 1.0);
    switch (format_) {
        case OutputFormat::png: {
            const auto [pixelsWide, pixelsHigh] = rasterSize(width, height);
            target_ = cairo_image_surface_create(rasterFormat(background_), pixelsWide, pixelsHigh);
            break;
        }
        case OutputFormat::svg:
            checkPageSize(width, height);
            target_ =
                cairo_svg_surface_create_for_stream(DocumentStream::write, this, width, height);
            break;
        case OutputFormat::pdf:
            checkPageSize(width, height);
            if (target_ == nullptr) {
                target_ =
                    cairo_pdf_surface_create_for_stream(DocumentStream::write, this, width, height);
                // cairo dates the document from the clock unless told otherwise; an empty
                // date leaves it out.
                cairo_pdf_surface_set_metadata(
                    target_, CAIRO_PDF_METADATA_CREATE_DATE,
                    creationTime_ ? formatTime(*creationTime_, "%Y-%m-%dT%H:%M:%SZ").c_str() : "");
            } else
                cairo_pdf_surface_set_size(target_, width, height);
            break;
        case OutputFormat::ps:
            checkPageSize(width, height);
            if (target_ == nullptr)
                target_ =
                    cairo_ps_surface_create_for_stream(DocumentStream::write, this, width, height);
            else
                cairo_ps_surface_set_size(target_, width, height);
            break;
    }
    checkTarget();
    context_ = cairo_create(target_);
    if (background_) {
        const auto channel = [&](int shift) { return (*background_ >> shift & 0xFF) / 255.0; };
        cairo_set_source_rgb(context_, channel(0), channel(8), channel(16));
        cairo_paint(context_);
    }
    ++pages_;
    return page();
}

cairo_t* Document::page() {
    if (context_ == nullptr) throw std::logic_error("no page is open");
    // A context that failed stays failed, but what it drew before is on the page: the page
    // goes on with a new one.
    if (cairo_status(context_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(context_);
        context_ = cairo_create(target_);
    }
    checkTarget();
    return context_;
}

void Document::checkTarget() const {
    const cairo_status_t status = cairo_surface_status(target_);
    if (status == CAIRO_STATUS_SUCCESS && out_) return;
    throw WriteError(std::string("writing the output failed: ") +
                     (!out_ ? "the file cannot be written" : cairo_status_to_string(status)));
}

void Document::endPage() {
    if (context_ == nullptr) return;
    cairo_destroy(context_);
    context_ = nullptr;
    if (hasPages(format_)) cairo_surface_show_page(target_);
    checkTarget();
    if (format_ == OutputFormat::png) {
        std::string png;
        encodePng(target_, dotsPerInch_, png);
        out_.write(png.data(), static_cast<std::streamsize>(png.size()));
        checkTarget();
    }
}

void Document::finish() {
    endPage();
    if (target_ == nullptr) return;
    cairo_surface_finish(target_);
    checkTarget();
    cairo_surface_destroy(target_);
    target_ = nullptr;
    if (holding_) release();
    out_.flush();
    if (!out_) throw WriteError("writing the output failed: the file cannot be written");
}

namespace {

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
                        const OutputSettings& settings) {
    const DevicePlacement placement = settings.placement(0, 0);
    checkBarReduction(placement, arguments.pWidth, settings);
    MeasuringSurface surface(scratch, placement);
    SymbolDrawing measured;
    Quillet control;
    measured.result = control.Draw(type, &surface, arguments);

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
    const DevicePlacement placement =
        settings.placement(left - measured.drawnOnDevice.left, top - measured.drawnOnDevice.top);
    if (auto page = RasterSurface::pageOf(context)) {
        RasterSurface surface(context, placement, *page);
        return control.Draw(type, &surface, arguments);
    }
    CairoSurface surface(context, placement);
    return control.Draw(type, &surface, arguments);
}

SymbolDrawing drawSymbolPage(Document& document, Symbology type,
                             const DrawingArguments& arguments, const OutputSettings& settings) {
    SymbolDrawing measured = measureSymbol(type, arguments, settings);
    if (measured.result != 0) return measured;
    cairo_t* context = document.beginPage(measured.pageWidth, measured.pageHeight);
    measured.result = drawSymbolAt(context, type, arguments, settings, measured, measured.padLeft,
                                   measured.padTop);
    document.endPage();
    return measured;
}

SymbolFiles::SymbolFiles(const OutputSettings& settings) : settings_(settings) {
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
    if (scratch_ == nullptr) scratch_ = createScratch(settings_);
    SymbolDrawing measured = measureOn(scratch_, type, arguments, settings_);
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
        check(cairo_surface_status(raster_), "creating the image");
    }
    if (context_ == nullptr) context_ = cairo_create(raster_);
    // Only the page is painted and drawn on, as on a target of its own size; what lies beyond
    // it is left from larger pages and never encoded. The first row is filled pixel by pixel,
    // the others copied from it.
    cairo_surface_flush(raster_);
    unsigned char* data = cairo_image_surface_get_data(raster_);
    const int stride = cairo_image_surface_get_stride(raster_);
    const std::uint32_t paper = pixelOf(settings_.background);
    const auto rowBytes = static_cast<std::size_t>(width) * 4;
    for (std::size_t x = 0; x < rowBytes; x += 4) std::memcpy(data + x, &paper, 4);
    for (int y = 1; y < height; ++y)
        std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride, data, rowBytes);
    cairo_surface_mark_dirty(raster_);
    cairo_reset_clip(context_);
    cairo_rectangle(context_, 0, 0, width, height);
    cairo_clip(context_);
    measured.result = drawSymbolAt(context_, type, arguments, settings_, measured, measured.padLeft,
                                   measured.padTop);
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
    encoder_.encode(cairo_image_surface_get_data(raster_), pageWidth_, pageHeight_,
                    cairo_image_surface_get_stride(raster_), file, !settings_.background);
    // A raster is kept for the next symbol only while it is small: a batch draws several
    // symbols ahead, and each holding the largest image allowed would add up to gigabytes.
    constexpr double keptPixels = 4.0 * 1024 * 1024;
    if (static_cast<double>(rasterWidth_) * rasterHeight_ > keptPixels) {
        cairo_destroy(context_);
        cairo_surface_destroy(raster_);
        context_ = nullptr;
        raster_ = nullptr;
        rasterWidth_ = rasterHeight_ = pageWidth_ = pageHeight_ = 0;
    }
}

}  // namespace quillet
