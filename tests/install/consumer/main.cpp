// Uses the installed package as a program would: a symbol traced on the recording surface, and
// one drawn through the cairo surface into a PNG file (argv[1]) by the PNG encoder, which cairo
// then reads back. Prints the result and code, what the checks say of a wrong check digit, then
// what the file holds.
#include <cairo.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "assist/checks.h"
#include "control/quillet.h"
#include "surfaces/cairo/cairo_surface.h"
#include "surfaces/png_encoder.h"
#include "surfaces/recording_surface.h"

namespace {

using Image = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

int drawPng(const char* path) {
    constexpr int width = 240, height = 120;
    const Image image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                      cairo_surface_destroy);
    {
        const Context context(cairo_create(image.get()), cairo_destroy);
        cairo_set_source_rgb(context.get(), 1, 1, 1);
        cairo_paint(context.get());
        quillet::DevicePlacement placement;
        placement.devicePerUnit = 96.0 / 1440;  // twips to pixels at 96 dpi
        placement.devicePerPoint = 96.0 / 72;
        placement.originX = placement.originY = 10;
        placement.gridFit = true;
        quillet::CairoSurface surface(context.get(), placement);
        quillet::Quillet control;
        std::string code = "CODE39";
        const auto result =
            control.BarCODE39(&surface, 0, 0, code, 15, 1200, 1, false, "Arial", 0, 0, "3:1", true);
        if (result != 0 || cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return 1;
    }
    cairo_surface_flush(image.get());
    const unsigned char* pixels = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    std::string png;
    quillet::PngEncoder().encode(pixels, width, height, stride, png);
    std::ofstream(path, std::ios::binary)
        .write(png.data(), static_cast<std::streamsize>(png.size()));

    const Image read(cairo_image_surface_create_from_png(path), cairo_surface_destroy);
    if (cairo_surface_status(read.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_width(read.get()) != width ||
        cairo_image_surface_get_height(read.get()) != height)
        return 1;
    const unsigned char* back = cairo_image_surface_get_data(read.get());
    const int backStride = cairo_image_surface_get_stride(read.get());
    int dark = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t drawn, decoded;
            std::memcpy(&drawn, pixels + y * stride + x * 4, 4);
            std::memcpy(&decoded, back + y * backStride + x * 4, 4);
            if ((drawn & 0xFFFFFF) != (decoded & 0xFFFFFF)) return 1;
            dark += (drawn & 0xFF) < 128;
        }
    }
    std::cout << "png " << width << "x" << height << (dark > 0 ? " with bars" : " blank") << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    quillet::Quillet control;
    quillet::RecordingSurface surface;
    std::string code = "CODE39";
    const auto result =
        control.BarCODE39(&surface, 0, 0, code, 15, 1200, 1, false, "Arial", 0, 0, "3:1", true);
    std::cout << result << " " << code << "\n";
    // The checks a program makes before it draws what a person typed.
    std::cout << quillet::assist::checkData(quillet::EAN_13, "4006381333930").refusals() << "\n";
    if (argc < 2 || drawPng(argv[1]) != 0) {
        std::cout << "drawing the PNG failed\n";
        return 1;
    }
}
