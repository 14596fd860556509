// Encodes arbitrary pictures as PNG files and reads them back: every chunk's CRC, the zlib
// stream (inflated by zlib, Adler-32 included) and the pixels as cairo decodes them must match
// the picture; the colour type is the smallest the picture allows (opaque: grey when every pixel
// is grey, a palette up to 256 colours, RGB beyond; with alpha: a palette with its transparency
// up to 256 colours, RGBA beyond); an encoder that keeps its buffers from picture to picture
// writes the same bytes as a fresh one; and a grey picture of a byte a pixel gives the file of
// its 32-bit copy, also read in place with the rows that repeat told.
//
// Input layout: width - 1 (2 bytes, 0..511), height - 1 (1 byte, 0..63), padding words at the end
// of each row (1 byte, 0..3), the number of colours - 1 (2 bytes, 0..599), a seed for the
// colours and the unused top byte of each pixel (1 byte: bit 0 makes every colour grey, bit 1
// gives the pixels premultiplied alpha, as cairo's 32-bit images have it); then,
// row after row, one byte (odd: the row above again) and pairs of bytes (a colour, a run length
// 1..64) until the row is full. Missing bytes read as zero.
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "surfaces/png_encoder.h"

namespace {

using quillet::fuzz::fail;
using quillet::fuzz::Reader;

std::uint32_t mix(std::uint32_t value) {
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    return value ^ (value >> 16);
}

struct Picture {
    int width = 0, height = 0, stride = 0;
    bool hasAlpha = false;
    std::vector<unsigned char> pixels;

    // The pixel as cairo holds it: 0xRRGGBB, or 0xAARRGGBB premultiplied with alpha.
    std::uint32_t colour(int x, int y) const {
        std::uint32_t word;
        std::memcpy(&word, pixels.data() + static_cast<std::size_t>(y) * stride + x * 4, 4);
        return hasAlpha ? word : word & 0xFFFFFFu;
    }
};

// A premultiplied colour: every channel at most the alpha; transparent and opaque often.
std::uint32_t withAlpha(std::uint32_t value) {
    const std::uint32_t pick = value >> 24;
    const std::uint32_t alpha = pick < 64 ? 0 : pick < 160 ? 0xFF : pick;
    const auto channel = [&](int shift) { return ((value >> shift) & 0xFFu) * alpha / 255; };
    return alpha << 24 | channel(16) << 16 | channel(8) << 8 | channel(0);
}

Picture readPicture(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Picture picture;
    picture.width = 1 + static_cast<int>((in.byte() | in.byte() << 8) % 512);
    picture.height = 1 + static_cast<int>(in.byte() % 64);
    picture.stride = (picture.width + static_cast<int>(in.byte() % 4)) * 4;
    const unsigned colourCount = 1 + (in.byte() | in.byte() << 8) % 600;
    const unsigned seed = in.byte();
    picture.hasAlpha = (seed & 2) != 0;
    std::vector<std::uint32_t> colours(colourCount);
    for (unsigned i = 0; i < colourCount; ++i) {
        const std::uint32_t value = mix(seed << 16 | i);
        colours[i] = (seed & 1) != 0 ? (value & 0xFFu) * 0x010101u | (value & 0xFF000000u) : value;
        if (picture.hasAlpha) colours[i] = withAlpha(colours[i]);
    }
    const std::size_t used = picture.hasAlpha ? 4 : 3;  // bytes of a pixel the encoder reads
    // Every byte a pixel does not use, padding included, is garbage the encoder must not read.
    picture.pixels.resize(static_cast<std::size_t>(picture.stride) * picture.height);
    for (std::size_t i = 0; i + 4 <= picture.pixels.size(); i += 4) {
        const std::uint32_t garbage = mix(static_cast<std::uint32_t>(i) ^ seed);
        std::memcpy(picture.pixels.data() + i, &garbage, 4);
    }
    for (int y = 0; y < picture.height; ++y) {
        unsigned char* row = picture.pixels.data() + static_cast<std::size_t>(y) * picture.stride;
        if (y > 0 && (in.byte() & 1) != 0) {
            for (int x = 0; x < picture.width; ++x)
                std::memcpy(row + x * 4, row - picture.stride + x * 4, used);
            continue;
        }
        for (int x = 0; x < picture.width;) {
            const std::uint32_t colour = colours[in.byte() % colourCount];
            const int run = std::min(1 + static_cast<int>(in.byte() % 64), picture.width - x);
            for (int end = x + run; x < end; ++x) std::memcpy(row + x * 4, &colour, used);
        }
    }
    return picture;
}

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

// The chunks in order, each CRC checked; the IDAT data joined.
struct Chunks {
    std::vector<std::string> types;
    std::string header, palette, transparency, data;
};

Chunks readChunks(std::string_view png) {
    if (png.substr(0, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8))
        fail("PNG signature", std::string(png.substr(0, 8)));
    Chunks chunks;
    for (std::size_t at = 8; at < png.size();) {
        if (png.size() - at < 12) fail("whole chunks", std::to_string(at));
        const std::uint32_t length = bigEndian(png, at);
        if (length > png.size() - at - 12) fail("chunk length", std::to_string(length));
        const std::string_view typeAndData = png.substr(at + 4, 4 + length);
        const auto crc = static_cast<std::uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(typeAndData.data()), 4 + length));
        if (crc != bigEndian(png, at + 8 + length))
            fail("chunk CRC", std::string(typeAndData.substr(0, 4)));
        const std::string type(typeAndData.substr(0, 4));
        const std::string_view content = typeAndData.substr(4);
        chunks.types.push_back(type);
        if (type == "IHDR") chunks.header = content;
        if (type == "PLTE") chunks.palette = content;
        if (type == "tRNS") chunks.transparency = content;
        if (type == "IDAT") chunks.data += content;
        at += 12 + length;
    }
    return chunks;
}

void checkFile(const Picture& picture, const std::string& png) {
    const Chunks chunks = readChunks(png);
    const bool hasPalette = !chunks.palette.empty();
    std::vector<std::string> expected = {"IHDR", "IDAT", "IEND"};
    if (hasPalette) expected.insert(expected.begin() + 1, "PLTE");
    if (hasPalette && picture.hasAlpha) expected.insert(expected.begin() + 2, "tRNS");
    if (chunks.types != expected) fail("chunks IHDR, PLTE and tRNS for a palette, IDAT, IEND", "");
    if (chunks.header.size() != 13 || bigEndian(chunks.header, 0) != unsigned(picture.width) ||
        bigEndian(chunks.header, 4) != unsigned(picture.height) || chunks.header[8] != 8 ||
        chunks.header.substr(10) != std::string(3, '\0'))
        fail("IHDR of the picture", "");

    std::vector<std::uint32_t> colours;
    colours.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) colours.push_back(picture.colour(x, y));
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    const bool grey =
        !picture.hasAlpha && std::all_of(colours.begin(), colours.end(), [](std::uint32_t colour) {
            return colour == (colour & 0xFFu) * 0x010101u;
        });
    const int type = chunks.header[9];
    const int smallest = grey ? 0 : colours.size() <= 256 ? 3 : picture.hasAlpha ? 6 : 2;
    if (type != smallest)
        fail("the smallest colour type", std::to_string(type) + " for " +
                                             std::to_string(colours.size()) + " colours" +
                                             (grey ? ", all grey" : ""));
    if (hasPalette != (type == 3) || chunks.palette.size() > 3 * 256 ||
        (hasPalette && chunks.palette.size() != 3 * colours.size()) ||
        (picture.hasAlpha && chunks.transparency.size() != chunks.palette.size() / 3))
        fail("a palette of the picture's colours", std::to_string(chunks.palette.size()));

    // zlib checks the stream and its Adler-32; the rows must be unfiltered or validly filtered.
    const std::size_t rowLength = 1 + static_cast<std::size_t>(picture.width) * (type == 6   ? 4
                                                                                 : type == 2 ? 3
                                                                                             : 1);
    std::string raw(rowLength * picture.height + 1, '\0');
    uLongf rawLength = raw.size();
    const int status =
        uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLength,
                   reinterpret_cast<const Bytef*>(chunks.data.data()), chunks.data.size());
    if (status != Z_OK || rawLength != rowLength * picture.height)
        fail("a zlib stream of the rows", "status " + std::to_string(status) + ", " +
                                              std::to_string(rawLength) + " bytes for " +
                                              std::to_string(rowLength * picture.height));
}

struct Source {
    std::string_view bytes;
    std::size_t at = 0;
};

cairo_status_t readFrom(void* closure, unsigned char* data, unsigned int length) {
    auto& source = *static_cast<Source*>(closure);
    if (source.bytes.size() - source.at < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, source.bytes.data() + source.at, length);
    source.at += length;
    return CAIRO_STATUS_SUCCESS;
}

void checkPixels(const Picture& picture, const std::string& png) {
    Source source{png};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(readFrom, &source);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS)
        fail("cairo reads the file", cairo_status_to_string(cairo_surface_status(image)));
    if (cairo_image_surface_get_width(image) != picture.width ||
        cairo_image_surface_get_height(image) != picture.height)
        fail("cairo reads the picture's size", "");
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t decoded;
            std::memcpy(&decoded, data + static_cast<std::size_t>(y) * stride + x * 4, 4);
            if ((picture.hasAlpha ? decoded : decoded & 0xFFFFFFu) != picture.colour(x, y))
                fail("the pixels read back", std::to_string(x) + "," + std::to_string(y));
        }
    cairo_surface_destroy(image);
}

// A grey picture given a byte a pixel writes the file of its 32-bit copy, whose unused bytes
// are all the same (as cairo and the raster leave them).
void checkGrey(const Picture& picture, quillet::PngEncoder& encoder) {
    if (picture.hasAlpha) return;
    const auto size = static_cast<std::size_t>(picture.width) * picture.height;
    std::vector<unsigned char> greys(size), words(size * 4);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t colour = picture.colour(x, y);
            if (colour != (colour & 0xFFu) * 0x010101u) return;
            const std::uint32_t word = 0xFF000000u | colour;
            const std::size_t at = static_cast<std::size_t>(y) * picture.width + x;
            greys[at] = static_cast<unsigned char>(colour);
            std::memcpy(words.data() + at * 4, &word, 4);
        }
    std::string fromGrey, fromWords;
    encoder.encodeGrey(greys.data(), picture.width, picture.height, picture.width, fromGrey);
    encoder.encode(words.data(), picture.width, picture.height, picture.width * 4, fromWords);
    if (fromGrey != fromWords) fail("a grey picture of bytes writes the file of its words", "");

    // The same bytes read where they lie, with room after every row, and the repeats told.
    const auto width = static_cast<std::size_t>(picture.width);
    const std::size_t stride = width + quillet::PngEncoder::rowRoom;
    std::vector<unsigned char> roomy(stride * picture.height + quillet::PngEncoder::rowRoom);
    std::vector<std::uint8_t> repeats(static_cast<std::size_t>(picture.height));
    for (std::size_t y = 0; y < repeats.size(); ++y) {
        const unsigned char* row = greys.data() + y * width;
        std::copy(row, row + width, roomy.begin() + static_cast<std::ptrdiff_t>(y * stride));
        repeats[y] = y > 0 && std::equal(row, row + width, row - width);
    }
    encoder.encodeGrey(roomy.data(), picture.width, picture.height, static_cast<int>(stride),
                       fromGrey, repeats.data(), true);
    if (fromGrey != fromWords) fail("grey rows read in place, repeats told", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillet::PngEncoder kept;  // its buffers hold the pictures before
    const Picture picture = readPicture(data, size);
    std::string png, again;
    kept.encode(picture.pixels.data(), picture.width, picture.height, picture.stride, png,
                picture.hasAlpha);
    checkFile(picture, png);
    checkPixels(picture, png);
    quillet::PngEncoder().encode(picture.pixels.data(), picture.width, picture.height,
                                 picture.stride, again, picture.hasAlpha);
    if (png != again) fail("a kept encoder writes what a fresh one writes", "");
    checkGrey(picture, kept);
    try {
        kept.encode(picture.pixels.data(), picture.width, 0, picture.stride, again);
        fail("an empty picture is refused", "");
    } catch (const std::runtime_error&) {
    }
    return 0;
}
