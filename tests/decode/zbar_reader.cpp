#include "tests/decode/zbar_reader.h"

#include <cairo.h>
#include <zbar.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace quillet::testing {
namespace {

using namespace zbar;

struct PngReader {
    const std::string& png;
    std::size_t offset = 0;
};

cairo_status_t readFromString(void* closure, unsigned char* data, unsigned int length) {
    auto& reader = *static_cast<PngReader*>(closure);
    if (reader.png.size() - reader.offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader.png.data() + reader.offset, length);
    reader.offset += length;
    return CAIRO_STATUS_SUCCESS;
}

constexpr unsigned long fourcc(char a, char b, char c, char d) {
    return static_cast<unsigned long>(static_cast<unsigned char>(a)) |
           static_cast<unsigned long>(static_cast<unsigned char>(b)) << 8 |
           static_cast<unsigned long>(static_cast<unsigned char>(c)) << 16 |
           static_cast<unsigned long>(static_cast<unsigned char>(d)) << 24;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Decoded& decoded) {
    return out << decoded.symbology << " \"" << decoded.text << "\"";
}

std::string renderPng(Symbology type, DrawingArguments arguments,
                      const OutputSettings& settings) {
    std::ostringstream out;
    Document document(out, settings);
    const SymbolDrawing drawing = drawSymbolPage(document, type, arguments, settings);
    if (drawing.result != 0)
        throw std::runtime_error("the symbol was not drawn: result " +
                                 std::to_string(drawing.result));
    document.finish();
    return out.str();
}

GreyImage readPng(const std::string& png) {
    PngReader reader{png};
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create_from_png_stream(readFromString, &reader), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("not a PNG cairo can read");
    cairo_surface_flush(surface.get());
    GreyImage image;
    image.width = cairo_image_surface_get_width(surface.get());
    image.height = cairo_image_surface_get_height(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    // Transparent pixels are seen over white paper: cairo's colours are premultiplied.
    const bool hasAlpha = cairo_image_surface_get_format(surface.get()) == CAIRO_FORMAT_ARGB32;
    image.pixels.reserve(static_cast<std::size_t>(image.width) *
                         static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
            const std::uint32_t paper = hasAlpha ? 255 - (pixel >> 24) : 0;
            const std::uint32_t red = ((pixel >> 16) & 0xFF) + paper,
                                green = ((pixel >> 8) & 0xFF) + paper,
                                blue = (pixel & 0xFF) + paper;
            image.pixels.push_back(
                static_cast<std::uint8_t>((red * 299 + green * 587 + blue * 114) / 1000));
        }
    }
    return image;
}

std::vector<Decoded> decode(const GreyImage& image, const std::vector<std::string>& zbarSettings) {
    std::unique_ptr<zbar_image_scanner_t, decltype(&zbar_image_scanner_destroy)> scanner(
        zbar_image_scanner_create(), zbar_image_scanner_destroy);
    for (const auto& setting : zbarSettings) {
        if (zbar_image_scanner_parse_config(scanner.get(), setting.c_str()) != 0)
            throw std::invalid_argument("zbar does not know the setting " + setting);
    }
    std::unique_ptr<zbar_image_t, decltype(&zbar_image_destroy)> zbarImage(zbar_image_create(),
                                                                           zbar_image_destroy);
    zbar_image_set_format(zbarImage.get(), fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(zbarImage.get(), static_cast<unsigned>(image.width),
                        static_cast<unsigned>(image.height));
    zbar_image_set_data(zbarImage.get(), image.pixels.data(), image.pixels.size(), nullptr);
    if (zbar_scan_image(scanner.get(), zbarImage.get()) < 0)
        throw std::runtime_error("zbar could not scan the image");

    std::vector<Decoded> found;
    for (const zbar_symbol_t* symbol = zbar_image_first_symbol(zbarImage.get()); symbol != nullptr;
         symbol = zbar_symbol_next(symbol)) {
        found.push_back(
            {zbar_get_symbol_name(zbar_symbol_get_type(symbol)),
             std::string(zbar_symbol_get_data(symbol), zbar_symbol_get_data_length(symbol))});
    }
    return found;
}

std::vector<Decoded> renderAndDecode(Symbology type, DrawingArguments arguments, double dpi,
                                     const std::vector<std::string>& zbarSettings) {
    OutputSettings settings;
    settings.dpi = dpi;
    return decode(readPng(renderPng(type, std::move(arguments), settings)), zbarSettings);
}

}  // namespace quillet::testing
