#include "surfaces/cairo_output.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

namespace quillet {
namespace {

constexpr std::array<std::string_view, 4> extensions = {"png", "pdf", "svg", "ps"};
constexpr double pointsPerInch = 72.0;

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) {
    auto& out = *static_cast<std::ostream*>(closure);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
    return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

void check(cairo_status_t status, const char* doing) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string(doing) + ": " + cairo_status_to_string(status));
}

double devicePerInch(const OutputSettings& settings) noexcept {
    return isRaster(settings.format) ? settings.dpi : pointsPerInch;
}

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
    return devicePerInch(*this) / unitsPerInch(units, dpi);
}

double OutputSettings::devicePerPoint() const noexcept {
    return devicePerInch(*this) / pointsPerInch;
}

DevicePlacement OutputSettings::placement(double originX, double originY) const noexcept {
    DevicePlacement placement;
    placement.devicePerUnit = devicePerUnit();
    placement.devicePerPoint = devicePerPoint();
    placement.gridFit = fitsGrid();
    // A whole-pixel origin keeps the symbol's edges where they would be on a page of its own.
    placement.originX = placement.gridFit ? std::round(originX) : originX;
    placement.originY = placement.gridFit ? std::round(originY) : originY;
    placement.barReduction = barReductionInUnits ? barReduction * placement.devicePerUnit
                                                 : barReduction * devicePerInch(*this) / dpi;
    return placement;
}

Document::Document(OutputFormat format, std::ostream& out) : format_(format), out_(out) {}

Document::~Document() {
    if (context_ != nullptr) cairo_destroy(context_);
    if (target_ != nullptr) cairo_surface_destroy(target_);
}

cairo_t* Document::beginPage(double width, double height) {
    if (context_ != nullptr) throw std::logic_error("a page is still open");
    if (pages_ > 0 && !hasPages(format_)) throw std::logic_error("this format holds one page only");
    width = std::max(width, 1.0);
    height = std::max(height, 1.0);
    // cairo images stop at 32767 pixels a side; beyond that it fails without saying why.
    if (isRaster(format_) && (width > 32767 || height > 32767))
        throw std::runtime_error("the image would be wider or higher than 32767 pixels");
    switch (format_) {
        case OutputFormat::png:
            target_ =
                cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(width)),
                                           static_cast<int>(std::ceil(height)));
            break;
        case OutputFormat::svg:
            target_ = cairo_svg_surface_create_for_stream(writeToStream, &out_, width, height);
            break;
        case OutputFormat::pdf:
            if (target_ == nullptr)
                target_ = cairo_pdf_surface_create_for_stream(writeToStream, &out_, width, height);
            else
                cairo_pdf_surface_set_size(target_, width, height);
            break;
        case OutputFormat::ps:
            if (target_ == nullptr)
                target_ = cairo_ps_surface_create_for_stream(writeToStream, &out_, width, height);
            else
                cairo_ps_surface_set_size(target_, width, height);
            break;
    }
    check(cairo_surface_status(target_), "creating the output");
    context_ = cairo_create(target_);
    cairo_set_source_rgb(context_, 1, 1, 1);
    cairo_paint(context_);
    ++pages_;
    return context_;
}

void Document::endPage() {
    if (context_ == nullptr) return;
    check(cairo_status(context_), "drawing");
    if (hasPages(format_)) cairo_show_page(context_);
    cairo_destroy(context_);
    context_ = nullptr;
    if (format_ == OutputFormat::png)
        check(cairo_surface_write_to_png_stream(target_, writeToStream, &out_), "writing PNG");
}

void Document::finish() {
    endPage();
    if (target_ == nullptr) return;
    cairo_surface_finish(target_);
    check(cairo_surface_status(target_), "writing the output");
    cairo_surface_destroy(target_);
    target_ = nullptr;
    out_.flush();
    if (!out_) throw std::runtime_error("writing the output failed");
}

SymbolDrawing measureSymbol(tBarcodeType type, DrawingArguments arguments,
                            const OutputSettings& settings) {
    // Text metrics differ between targets (raster output rounds advances to pixels), so the
    // scratch target is of the same kind as the real one.
    cairo_surface_t* scratch =
        isRaster(settings.format)
            ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)
            : cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* context = cairo_create(scratch);
    CairoSurface surface(context, settings.placement(0, 0));
    SymbolDrawing measured;
    try {
        Quillet control;
        measured.result = control.Draw(type, &surface, arguments);
    } catch (...) {
        cairo_destroy(context);
        cairo_surface_destroy(scratch);
        throw;
    }
    cairo_destroy(context);
    cairo_surface_destroy(scratch);

    measured.code = arguments.pCode;
    measured.drawn = surface.drawn();
    measured.drawnOnDevice = surface.drawnOnDevice();
    measured.margin = settings.marginModules * std::abs(static_cast<int>(arguments.pWidth));
    const double margins = 2 * measured.margin * settings.devicePerUnit();
    measured.pageWidth = measured.drawnOnDevice.width() + margins;
    measured.pageHeight = measured.drawnOnDevice.height() + margins;
    if (isRaster(settings.format)) {
        measured.pageWidth = std::ceil(measured.pageWidth);
        measured.pageHeight = std::ceil(measured.pageHeight);
    }
    return measured;
}

std::int16_t drawSymbolAt(cairo_t* context, tBarcodeType type, DrawingArguments arguments,
                          const OutputSettings& settings, const SymbolDrawing& measured,
                          double left, double top) {
    CairoSurface surface(context, settings.placement(left - measured.drawnOnDevice.left,
                                                     top - measured.drawnOnDevice.top));
    Quillet control;
    return control.Draw(type, &surface, arguments);
}

SymbolDrawing drawSymbolPage(Document& document, tBarcodeType type,
                             const DrawingArguments& arguments, const OutputSettings& settings) {
    SymbolDrawing measured = measureSymbol(type, arguments, settings);
    if (measured.result != 0) return measured;
    cairo_t* context = document.beginPage(measured.pageWidth, measured.pageHeight);
    const double margin = measured.margin * settings.devicePerUnit();
    drawSymbolAt(context, type, arguments, settings, measured, margin, margin);
    document.endPage();
    return measured;
}

}  // namespace quillet
