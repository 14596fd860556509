// The PNG encoder's bytes: pictures whose files are fixed, so that a change in how the encoder
// finds its runs, rows and checksums cannot change a file; and grey pictures given a byte a
// pixel, which must give the very file their 32-bit copies give.
#ifdef QUILLET_WITH_CAIRO
#include "surfaces/png_encoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "surfaces/crc32.h"

namespace quillet {
namespace {

// Scrambled bits of a number, for pictures that look random and are the same on every run.
std::uint32_t mix(std::uint32_t value) {
    const std::uint64_t product = std::uint64_t{value ^ 0x9E3779B9u} * 0xD6E8FEB86659FD93u;
    return static_cast<std::uint32_t>(product >> 32 ^ product);
}

std::uint32_t grey(std::uint32_t level) {
    return 0xFF000000u | (level & 0xFFu) * 0x010101u;
}

// 0xAARRGGBB as cairo holds it (premultiplied when the picture has alpha).
using Colour = std::uint32_t (*)(int x, int y);

// A symbol's greys: bars of two-pixel modules, then rows of text, most of each the row above
// again, with anti-aliased strokes that change from row to row.
std::uint32_t symbolGreys(int x, int y) {
    if (y < 24) return grey((x / 2) * 7 % 5 < 2 ? 0 : 255);
    if ((mix(static_cast<std::uint32_t>(x / 7 * 64 + y / 6)) & 3) != 0) return grey(255);
    const std::uint32_t stroke = mix(static_cast<std::uint32_t>(x * 131 + (y / 2) * 7));
    return grey(stroke % 3 == 0 ? 255 : stroke % 3 == 1 ? 0 : stroke >> 8);
}
std::uint32_t fewColours(int x, int y) {
    constexpr std::uint32_t colours[] = {0xFFFFFFFFu, 0xFF000000u, 0xFFC00000u, 0xFF2040F0u};
    return colours[mix(static_cast<std::uint32_t>(x / 3 + (y / 4) * 1000)) % 4];
}
std::uint32_t manyColours(int x, int y) {
    return 0xFF000000u | mix(static_cast<std::uint32_t>(x / 2 + (y / 3) * 5000)) % 1000 * 0x4321u;
}
std::uint32_t fewTranslucent(int x, int y) {
    constexpr std::uint32_t colours[] = {0, 0xFF000000u, 0x80400000u, 0x40202020u};
    return colours[mix(static_cast<std::uint32_t>(x / 2 + (y / 3) * 1000)) % 4];
}
std::uint32_t manyTranslucent(int x, int y) {
    const std::uint32_t alpha = (x + y) % 4 == 0 ? 0 : (x * 3 + y) % 5 == 0 ? 0xFF : 0x80;
    const std::uint32_t level = mix(static_cast<std::uint32_t>(x / 3 + y * 977)) % (alpha + 1);
    return alpha << 24 | level << 16 | (level / 2) << 8 | (alpha - level);  // premultiplied
}
// More than 256 colours in pictures one to nine pixels wide, in blocks of two by two pixels.
std::uint32_t narrowColours(int x, int y) {
    return 0xFF000000u | (mix(static_cast<std::uint32_t>(x / 2 + (y / 2) * 16)) & 0xFFFFFFu);
}
std::uint32_t narrowTranslucent(int x, int y) {
    const std::uint32_t alpha = 0x40u + mix(static_cast<std::uint32_t>(y / 2)) % 0xC0u;
    const std::uint32_t level = mix(static_cast<std::uint32_t>(x / 2 + (y / 2) * 16)) % alpha;
    return alpha << 24 | level << 16 | (level / 2) << 8 | (alpha - level);
}
std::uint32_t allWhite(int, int) {
    return grey(255);
}
std::uint32_t barsAndSteps(int x, int y) {
    return y % 3 == 2 ? grey(static_cast<std::uint32_t>(x * 37 + y)) : grey(x % 5 < 2 ? 0 : 255);
}
// The byte beside the colour is cairo's to fill: rows that differ only there.
std::uint32_t unusedByteDiffers(int x, int y) {
    return (static_cast<std::uint32_t>(y) << 24) | (x % 4 < 2 ? 0x000000u : 0xFFFFFFu);
}

struct Picture {
    const char* what;
    int firstWidth, lastWidth;  // one file for each width, their bytes hashed together
    int height;
    Colour colour;
    bool hasAlpha = false;
    int padding = 0;  // bytes after each row
    double dotsPerInch = 0;
};

std::vector<unsigned char> pixelsOf(const Picture& picture, int width, int stride) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * picture.height, 0xA5);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = picture.colour(x, y);
            std::memcpy(pixels.data() + static_cast<std::size_t>(y) * stride + x * 4, &pixel, 4);
        }
    return pixels;
}

std::uint64_t addToHash(std::uint64_t hash, const std::string& bytes) {
    for (const char byte : bytes) hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3u;
    return hash;
}

TEST(PngEncoder, WritesTheSameBytes) {
    struct Row {
        Picture picture;
        std::uint64_t hash;  // of the files, one after another
    };
    const Row rows[] = {
        {{"symbol greys", 226, 226, 60, symbolGreys}, 0x50cae668cf49827du},
        {{"symbol greys, padded rows, 300 dpi", 226, 226, 60, symbolGreys, false, 12, 300},
         0xc89afc2470cb249du},
        {{"greys 1 to 9 wide", 1, 9, 7, barsAndSteps}, 0x10aa1f0766355e95u},
        {{"greys 60 to 70 wide", 60, 70, 7, barsAndSteps}, 0x5d1be1333106d7ccu},
        {{"greys 28 to 36 wide", 28, 36, 7, barsAndSteps}, 0xd7c46340406a15b2u},
        {{"greys in rows beyond the window", 33000, 33000, 4, barsAndSteps}, 0x3868ac219affbc9fu},
        {{"palette", 300, 300, 20, fewColours}, 0x3f39b83b1234f085u},
        {{"palette 1 to 9 wide", 1, 9, 9, fewColours}, 0x5c343a1187eee9a2u},
        {{"RGB", 300, 300, 20, manyColours}, 0x3b89858ef1b2e3bbu},
        {{"RGB 1 to 9 wide", 1, 9, 600, narrowColours}, 0xb34b106399a633c4u},
        {{"RGB 20 to 23 wide", 20, 23, 600, narrowColours}, 0x7017c556b87059beu},
        {{"RGB in rows beyond the window", 11000, 11000, 3, manyColours}, 0xab2250b3c62388c4u},
        {{"RGB in rows longer than one pass sums", 22000, 22000, 3, manyColours},
         0xd3c39af8f21a22a6u},
        {{"palette with transparency", 300, 300, 20, fewTranslucent, true}, 0x859a5c8f159b6d48u},
        {{"RGBA", 300, 300, 20, manyTranslucent, true}, 0x8c3e028401a27941u},
        {{"RGBA 1 to 9 wide", 1, 9, 600, narrowTranslucent, true}, 0x987c586c482a7749u},
        {{"the unused byte differs between rows", 40, 40, 6, unusedByteDiffers},
         0x35e6865cf1ce72fu},
    };
    PngEncoder encoder;  // one for every picture, as in a batch
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture.what);
        encoder.setResolution(row.picture.dotsPerInch);
        std::uint64_t hash = 0xcbf29ce484222325u;
        for (int width = row.picture.firstWidth; width <= row.picture.lastWidth; ++width) {
            const int stride = width * 4 + row.picture.padding;
            const auto pixels = pixelsOf(row.picture, width, stride);
            std::string png;
            encoder.encode(pixels.data(), width, row.picture.height, stride, png,
                           row.picture.hasAlpha);
            hash = addToHash(hash, png);
        }
        EXPECT_EQ(hash, row.hash) << std::hex << hash;
    }
}

TEST(PngEncoder, GreyBytesGiveTheFileOfTheirColourCopy) {
    const Picture pictures[] = {
        {"symbol greys", 226, 226, 60, symbolGreys},
        {"symbol greys, padded rows, 300 dpi", 226, 226, 60, symbolGreys, false, 12, 300},
        {"1 to 9 wide", 1, 9, 7, barsAndSteps},
        {"60 to 70 wide", 60, 70, 7, barsAndSteps},
        {"every row the same", 100, 100, 9, allWhite},
        {"rows beyond the window", 33000, 33000, 4, barsAndSteps},
    };
    PngEncoder encoder;
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.what);
        encoder.setResolution(picture.dotsPerInch);
        for (int width = picture.firstWidth; width <= picture.lastWidth; ++width) {
            const int stride = width * 4 + picture.padding, greyStride = width + picture.padding;
            const auto pixels = pixelsOf(picture, width, stride);
            std::vector<unsigned char> greys(static_cast<std::size_t>(greyStride) * picture.height);
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < width; ++x)
                    greys[static_cast<std::size_t>(y) * greyStride + x] =
                        static_cast<unsigned char>(picture.colour(x, y));
            std::string fromColour, fromGrey;
            encoder.encode(pixels.data(), width, picture.height, stride, fromColour);
            encoder.encodeGrey(greys.data(), width, picture.height, greyStride, fromGrey);
            EXPECT_TRUE(fromGrey == fromColour) << width << " wide";

            // Rows read where they lie, with room after each, and every other repeat told.
            const int roomyStride = width + static_cast<int>(PngEncoder::rowRoom);
            std::vector<unsigned char> roomy(
                static_cast<std::size_t>(roomyStride) * picture.height + PngEncoder::rowRoom);
            std::vector<std::uint8_t> told(static_cast<std::size_t>(picture.height), 0);
            for (int y = 0; y < picture.height; ++y) {
                const auto* row = greys.data() + static_cast<std::ptrdiff_t>(y) * greyStride;
                std::copy(row, row + width, roomy.begin() + std::ptrdiff_t{y} * roomyStride);
                told[static_cast<std::size_t>(y)] =
                    y % 2 == 1 && std::equal(row, row + width, row - greyStride);
            }
            encoder.encodeGrey(roomy.data(), width, picture.height, roomyStride, fromGrey,
                               told.data(), true);
            EXPECT_TRUE(fromGrey == fromColour) << width << " wide, in place";
        }
    }
    std::string png;
    const unsigned char pixel = 0;
    EXPECT_THROW(encoder.encodeGrey(&pixel, 1, 0, 1, png), std::runtime_error);
}

// The chunk CRC against zlib's over the lengths where the folding starts and stops (64 bytes,
// 16-byte steps, the tail) from every alignment, started fresh and carried on.
TEST(PngEncoder, ChunkCrcIsZlibs) {
    std::vector<unsigned char> bytes(400);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(mix(static_cast<std::uint32_t>(i)));
    for (const std::uint32_t before : {0u, 0xCBF43926u}) {
        for (std::size_t start = 0; start < 16; ++start) {
            for (std::size_t length = 0; length <= 300; ++length) {
                const unsigned char* at = bytes.data() + start;
                const auto zlibs =
                    static_cast<std::uint32_t>(crc32(before, at, static_cast<uInt>(length)));
                ASSERT_EQ(crc32Of(at, length, before), zlibs)
                    << "from " << start << ", " << length << " bytes, after " << before;
            }
        }
    }
}

}  // namespace
}  // namespace quillet
#endif
