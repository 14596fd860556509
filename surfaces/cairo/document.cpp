#include "surfaces/cairo/document.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "surfaces/cairo/pages.h"
#include "surfaces/png_encoder.h"

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

double devicePerInch(const OutputSettings& settings) noexcept {
    return isRaster(settings.format) ? settings.dpi : pointsPerInch;
}

std::string sizeText(double width, double height) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(0) << width << " x " << height;
    return text.str();
}

// An image target as a PNG file.
void encodePng(cairo_surface_t* image, double dotsPerInch, std::string& png) {
    cairo_surface_flush(image);
    checkCairo(cairo_surface_status(image), "drawing");
    PngEncoder encoder;
    encoder.setResolution(dotsPerInch);
    encoder.encode(cairo_image_surface_get_data(image), cairo_image_surface_get_width(image),
                   cairo_image_surface_get_height(image), cairo_image_surface_get_stride(image),
                   png, cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32);
}

}  // namespace

void checkCairo(cairo_status_t status, const char* doing) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string(doing) + ": " + cairo_status_to_string(status));
}

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

void checkPageSize(double width, double height) {
    if (!(width <= maxPagePoints && height <= maxPagePoints))
        throw UnusableOutput("the page would be " + sizeText(width, height) +
                             " points, more than 200 inches (14400 points) a side");
}

cairo_format_t rasterFormat(const std::optional<std::int32_t>& background) {
    return background ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
}

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
        // Only PostScript is looked into as it comes: SVG waits for its end whole.
        const bool ps = document.format_ == OutputFormat::ps;
        const std::size_t comment = ps ? document.held_.find(psDateComment) : std::string::npos;
        const std::size_t lineEnd = ps ? document.held_.find('\n', comment) : std::string::npos;
        if (ps && (lineEnd != std::string::npos || document.held_.size() > 4096)) {
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

}  // namespace quillet
