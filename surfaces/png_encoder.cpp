#include "surfaces/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace quillet {
namespace {

constexpr std::string_view signature{"\x89PNG\r\n\x1a\n", 8};
constexpr std::size_t maxPaletteSize = 256;
// Open addressing for the palette: twice as many slots as colours keeps the probes short.
constexpr std::size_t paletteSlotCount = 512;
static_assert((paletteSlotCount & (paletteSlotCount - 1)) == 0 &&
              paletteSlotCount >= 2 * maxPaletteSize);

// ---- Deflate (RFC 1951) with its fixed Huffman codes ----

constexpr unsigned reversed(unsigned code, int length) {
    unsigned result = 0;
    for (int i = 0; i < length; ++i) result |= ((code >> i) & 1u) << (length - 1 - i);
    return result;
}

// A code as it goes into the stream, least significant bit first.
struct Code {
    std::uint32_t bits;
    int length;
};

constexpr std::array<Code, 288> literalCodes = [] {
    std::array<Code, 288> codes{};
    for (unsigned symbol = 0; symbol < codes.size(); ++symbol) {
        const auto [code, length] = symbol < 144   ? std::pair{0x30 + symbol, 8}
                                    : symbol < 256 ? std::pair{0x190 + symbol - 144, 9}
                                    : symbol < 280 ? std::pair{symbol - 256, 7}
                                                   : std::pair{0xC0 + symbol - 280, 8};
        codes[symbol] = {reversed(code, length), length};
    }
    return codes;
}();
constexpr unsigned endOfBlock = 256;
constexpr unsigned firstLengthSymbol = 257;

constexpr std::array<std::uint16_t, 29> lengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> distanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> distanceExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                            4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                            9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::size_t maxMatch = 258;
constexpr std::size_t maxDistance = 32768;

constexpr bool rangesFollowOneAnother() {
    // Each symbol's range ends where the next begins (length 258 has a symbol of its own).
    for (std::size_t i = 0; i + 2 < lengthBase.size(); ++i)
        if (lengthBase[i] + (1u << lengthExtraBits[i]) != lengthBase[i + 1]) return false;
    for (std::size_t i = 0; i + 1 < distanceBase.size(); ++i)
        if (distanceBase[i] + (1u << distanceExtraBits[i]) != distanceBase[i + 1]) return false;
    return distanceBase.back() + (1u << distanceExtraBits.back()) == maxDistance + 1 &&
           lengthBase.back() == maxMatch;
}
static_assert(rangesFollowOneAnother());

// The length symbol of every match length 3 .. 258.
constexpr std::array<std::uint8_t, maxMatch + 1> lengthSymbols = [] {
    std::array<std::uint8_t, maxMatch + 1> symbols{};
    std::size_t symbol = 0;
    for (std::size_t length = 3; length <= maxMatch; ++length) {
        while (symbol + 1 < lengthBase.size() && lengthBase[symbol + 1] <= length) ++symbol;
        symbols[length] = static_cast<std::uint8_t>(symbol);
    }
    return symbols;
}();

Code distanceCode(std::size_t distance) {
    std::size_t symbol = 0;
    while (symbol + 1 < distanceBase.size() && distanceBase[symbol + 1] <= distance) ++symbol;
    return {reversed(static_cast<unsigned>(symbol), 5) |
                static_cast<std::uint32_t>(distance - distanceBase[symbol]) << 5,
            5 + distanceExtraBits[symbol]};
}

// Writes into room made beforehand for the most the stream can take: no literal or match costs
// more than nine bits a byte, so every put is a shift and, now and then, a four-byte store.
class BitWriter {
  public:
    explicit BitWriter(unsigned char* room) : start_(room), at_(room) {}

    void put(std::uint32_t bits, int count) {
        buffer_ |= static_cast<std::uint64_t>(bits) << count_;
        count_ += count;
        if (count_ >= 32) {
            for (int i = 0; i < 4; ++i) at_[i] = static_cast<unsigned char>(buffer_ >> (8 * i));
            at_ += 4;
            buffer_ >>= 32;
            count_ -= 32;
        }
    }
    void put(Code code) { put(code.bits, code.length); }

    void literal(std::uint8_t byte) { put(literalCodes[byte]); }

    // The length bytes again from distance back; length is at least 3.
    void match(std::size_t length, Code distance) {
        while (length > 0) {
            std::size_t part = std::min(length, maxMatch);
            // A rest shorter than 3 has no code: leave 3 for the last match.
            if (length > part && length - part < 3) part = length - 3;
            const std::size_t symbol = lengthSymbols[part];
            put(literalCodes[firstLengthSymbol + symbol]);
            put(static_cast<std::uint32_t>(part - lengthBase[symbol]), lengthExtraBits[symbol]);
            put(distance);
            length -= part;
        }
    }

    // Ends the block and pads it to a whole byte: the bytes written.
    std::size_t finish() {
        put(literalCodes[endOfBlock]);
        while (count_ > 0) {
            *at_++ = static_cast<unsigned char>(buffer_);
            buffer_ >>= 8;
            count_ -= 8;
        }
        return static_cast<std::size_t>(at_ - start_);
    }

  private:
    unsigned char* start_;
    unsigned char* at_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// ---- Pixels ----

std::uint32_t opaqueColourAt(const unsigned char* row, int x) {
    std::uint32_t word;
    std::memcpy(&word, row + static_cast<std::size_t>(x) * 4, sizeof word);
    return word & 0xFFFFFFu;
}

bool rowIsGrey(const unsigned char* row, int width) {
    std::uint32_t differences = 0;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t colour = opaqueColourAt(row, x);
        differences |= (colour ^ (colour >> 8)) & 0xFFFFu;  // blue ^ green, green ^ red
    }
    return differences == 0;
}

// ---- Chunks ----

void appendBigEndian(std::string& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

// A chunk's length, type and CRC around the data that fill() appends.
template <typename Fill>
void appendChunk(std::string& out, std::string_view type, Fill fill) {
    const std::size_t start = out.size();
    out.append(4, '\0');
    out.append(type);
    fill();
    const std::size_t length = out.size() - start - 8;
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<char>(static_cast<std::uint32_t>(length) >> (24 - 8 * i));
    const auto* typeAndData = reinterpret_cast<const Bytef*>(out.data() + start + 4);
    appendBigEndian(
        out, static_cast<std::uint32_t>(crc32(0L, typeAndData, static_cast<uInt>(length + 4))));
}

}  // namespace

// 0xRRGGBB, or with alpha 0xAARRGGBB as PNG stores it: not premultiplied, so that every
// transparent pixel is the one colour 0.
std::uint32_t PngEncoder::colourAt(const unsigned char* row, int x) const {
    if (!hasAlpha_) return opaqueColourAt(row, x);
    std::uint32_t word;
    std::memcpy(&word, row + static_cast<std::size_t>(x) * 4, sizeof word);
    const std::uint32_t alpha = word >> 24;
    if (alpha == 0xFF || alpha == 0) return alpha == 0 ? 0 : word;
    const auto channel = [&](int shift) {
        return ((word >> shift & 0xFFu) * 255 + alpha / 2) / alpha;
    };
    return alpha << 24 | channel(16) << 16 | channel(8) << 8 | channel(0);
}

std::size_t PngEncoder::bytesPerPixelOf(ColourType type) noexcept {
    return type == ColourType::rgba ? 4 : type == ColourType::rgb ? 3 : 1;
}

int PngEncoder::paletteIndex(std::uint32_t colour) {
    std::size_t slot = (colour * 2654435761u) >> 20 & (paletteSlotCount - 1);
    while (paletteSlots_[slot] != 0) {
        const auto index = static_cast<std::size_t>(paletteSlots_[slot] - 1);
        if (palette_[index] == colour) return static_cast<int>(index);
        slot = (slot + 1) & (paletteSlotCount - 1);
    }
    if (palette_.size() == maxPaletteSize) return -1;
    palette_.push_back(colour);
    paletteSlots_[slot] = static_cast<std::int16_t>(palette_.size());
    return static_cast<int>(palette_.size()) - 1;
}

// Marks the rows equal to the row above, which need no further look, and picks the colour type
// from the others.
PngEncoder::ColourType PngEncoder::analyse(const unsigned char* pixels, int width, int height,
                                           int stride) {
    const auto rowAt = [&](int y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; };
    const std::size_t rowSize = static_cast<std::size_t>(width) * 4;
    repeatsRowAbove_.assign(static_cast<std::size_t>(height), false);
    bool grey = !hasAlpha_;
    for (int y = 0; y < height; ++y) {
        if (y > 0 && std::memcmp(rowAt(y), rowAt(y - 1), rowSize) == 0) {
            repeatsRowAbove_[static_cast<std::size_t>(y)] = true;
            continue;
        }
        grey = grey && rowIsGrey(rowAt(y), width);
    }
    if (grey) return ColourType::grey;

    palette_.clear();
    paletteSlots_.assign(paletteSlotCount, 0);
    for (int y = 0; y < height; ++y) {
        if (repeatsRowAbove_[static_cast<std::size_t>(y)]) continue;
        std::uint32_t last = noColour_;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t colour = colourAt(rowAt(y), x);
            if (colour == last) continue;
            last = colour;
            if (paletteIndex(colour) < 0) return hasAlpha_ ? ColourType::rgba : ColourType::rgb;
        }
    }
    return ColourType::palette;
}

void PngEncoder::toSamples(const unsigned char* row, int width, ColourType type) {
    std::uint8_t* sample = samples_.data() + 1;
    switch (type) {
        case ColourType::grey:  // only ever opaque
            for (int x = 0; x < width; ++x)
                *sample++ = static_cast<std::uint8_t>(opaqueColourAt(row, x));
            break;
        case ColourType::palette: {
            std::uint32_t last = noColour_;
            std::uint8_t index = 0;
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = colourAt(row, x);
                if (colour != last) {
                    last = colour;
                    index = static_cast<std::uint8_t>(paletteIndex(colour));
                }
                *sample++ = index;
            }
            break;
        }
        case ColourType::rgb:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = colourAt(row, x);
                *sample++ = static_cast<std::uint8_t>(colour >> 16);
                *sample++ = static_cast<std::uint8_t>(colour >> 8);
                *sample++ = static_cast<std::uint8_t>(colour);
            }
            break;
        case ColourType::rgba:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = colourAt(row, x);
                *sample++ = static_cast<std::uint8_t>(colour >> 16);
                *sample++ = static_cast<std::uint8_t>(colour >> 8);
                *sample++ = static_cast<std::uint8_t>(colour);
                *sample++ = static_cast<std::uint8_t>(colour >> 24);
            }
            break;
    }
}

// The zlib stream of the image data: every row unfiltered (filter byte 0), so that a row equal
// to the one above is the same bytes again, and runs of pixels equal to the pixel before or to
// the pixel above (the strokes of a glyph) can be copied from there.
void PngEncoder::compress(const unsigned char* pixels, int width, int height, int stride,
                          ColourType type, std::string& png) {
    const std::size_t bytesPerPixel = bytesPerPixelOf(type);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    const std::size_t rowLength = rowBytes + 1;  // with the filter byte
    samples_.assign(rowLength, 0);
    above_.assign(rowLength, 0);
    const bool rowsRepeat = rowLength >= 3 && rowLength <= maxDistance;
    const Code rowBack = distanceCode(std::min(rowLength, maxDistance));
    const Code pixelBack = distanceCode(bytesPerPixel);

    png.append("\x78\x01", 2);  // deflate with a 32 KiB window, fastest compression
    // The room is kept from picture to picture: made anew, it would be cleared each time.
    const std::size_t room = rowLength * static_cast<std::size_t>(height) / 8 * 9 + 24;
    if (deflated_.size() < room) deflated_.resize(room);
    BitWriter bits(deflated_.data());
    bits.put(1, 1);  // the last block ...
    bits.put(1, 2);  // ... with the fixed codes
    uLong checksum = adler32(0L, nullptr, 0);
    uLong rowChecksum = checksum;
    for (int y = 0; y < height; ++y) {
        if (rowsRepeat && repeatsRowAbove_[static_cast<std::size_t>(y)]) {
            bits.match(rowLength, rowBack);
            checksum = adler32_combine(checksum, rowChecksum, static_cast<z_off_t>(rowLength));
            continue;
        }
        toSamples(pixels + static_cast<std::ptrdiff_t>(y) * stride, width, type);
        const std::uint8_t* row = samples_.data() + 1;
        const std::uint8_t* above = above_.data() + 1;
        const bool hasAbove = rowsRepeat && y > 0;
        bits.literal(0);
        for (std::size_t i = 0; i < rowBytes;) {
            std::size_t left = i, up = i;
            if (i >= bytesPerPixel)
                while (left < rowBytes && row[left] == row[left - bytesPerPixel]) ++left;
            if (hasAbove)
                while (up < rowBytes && row[up] == above[up]) ++up;
            if (std::max(left, up) - i < 3) {
                bits.literal(row[i++]);
            } else if (left >= up) {
                bits.match(left - i, pixelBack);
                i = left;
            } else {
                bits.match(up - i, rowBack);
                i = up;
            }
        }
        rowChecksum =
            adler32(adler32(0L, nullptr, 0), samples_.data(), static_cast<uInt>(rowLength));
        checksum = adler32_combine(checksum, rowChecksum, static_cast<z_off_t>(rowLength));
        samples_.swap(above_);
    }
    png.append(reinterpret_cast<const char*>(deflated_.data()), bits.finish());
    appendBigEndian(png, static_cast<std::uint32_t>(checksum));
}

void PngEncoder::encode(const unsigned char* pixels, int width, int height, int stride,
                        std::string& png, bool hasAlpha) {
    if (width <= 0 || height <= 0) throw std::runtime_error("the picture is empty");
    hasAlpha_ = hasAlpha;
    // Opaque colours never reach 2^24; with alpha, a transparent pixel is always 0.
    noColour_ = hasAlpha ? 0x00FFFFFFu : 0x1000000u;
    const ColourType type = analyse(pixels, width, height, stride);
    // The image data goes into one chunk, whose length must stay below 2^31; at worst every
    // byte is a literal of nine bits.
    const std::size_t bytesPerPixel = bytesPerPixelOf(type);
    const std::size_t rowLength = static_cast<std::size_t>(width) * bytesPerPixel + 1;
    if (rowLength * static_cast<std::size_t>(height) / 8 * 9 + 1024 > 0x7FFFFFFFu)
        throw std::runtime_error("the picture is too large for a PNG file");
    png.assign(signature);
    appendChunk(png, "IHDR", [&] {
        appendBigEndian(png, static_cast<std::uint32_t>(width));
        appendBigEndian(png, static_cast<std::uint32_t>(height));
        // 8 bits a sample, deflate, adaptive filtering, no interlacing
        const char rest[5] = {8, static_cast<char>(type), 0, 0, 0};
        png.append(rest, 5);
    });
    if (dotsPerInch_ > 0) {
        appendChunk(png, "pHYs", [&] {
            const auto perMetre = static_cast<std::uint32_t>(std::lround(dotsPerInch_ / 0.0254));
            appendBigEndian(png, perMetre);
            appendBigEndian(png, perMetre);
            png.push_back(1);  // the unit is the metre
        });
    }
    if (type == ColourType::palette) {
        appendChunk(png, "PLTE", [&] {
            for (const std::uint32_t colour : palette_) {
                const char rgb[3] = {static_cast<char>(colour >> 16),
                                     static_cast<char>(colour >> 8), static_cast<char>(colour)};
                png.append(rgb, 3);
            }
        });
        if (hasAlpha) {
            appendChunk(png, "tRNS", [&] {
                for (const std::uint32_t colour : palette_)
                    png.push_back(static_cast<char>(colour >> 24));
            });
        }
    }
    appendChunk(png, "IDAT", [&] { compress(pixels, width, height, stride, type, png); });
    appendChunk(png, "IEND", [] {});
}

}  // namespace quillet
