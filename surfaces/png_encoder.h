// PNG files from cairo's 24-bit pixels, in the smallest colour type the picture allows: 8-bit
// grey when every pixel is grey (black bars on white, anti-aliased text included), an 8-bit
// palette for up to 256 colours, 24-bit RGB otherwise. Pictures with transparent pixels get a
// palette with its transparency (tRNS) for up to 256 colours, 32-bit RGBA otherwise.
//
// A symbol is rows equal to the row above and, within a row, runs of equal pixels. The encoder
// compresses exactly that, with its own small deflate writer and its fixed codes: a row equal to
// the one above is a single back-reference, found by comparing the rows and never by searching;
// any other row is literals and copies of the pixel before or of the row above, whichever run
// is longer, where one of them runs for three bytes or more. The runs are read from bit masks of
// the bytes equal to their left and upper neighbours, made 16 or 32 bytes at a time in the pass
// that sums the row's Adler-32, so that the strokes of a text row cost a few instructions each
// and its white stretches almost nothing; a copy's length and distance codes come joined from
// one table kept while the row length stays. An opaque picture is written as grey straight
// away, each row that differs from the row above tested as its samples are made; the first
// pixel that is not grey sends it on to a palette or full colour, whose colours are gathered
// first. The Adler-32 is carried over repeated rows in closed form; each chunk's CRC is summed
// once (surfaces/crc32.h), and the chunks before the image data are kept while the picture's
// size stays. That costs microseconds where a general compressor spends tens on searching long
// runs of zeros, and keeps the file within a few hundred bytes of what zlib makes of it. One
// encoder keeps its buffers between pictures, so that a batch allocates nothing per symbol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

class PngEncoder {
  public:
    // Replaces png with the file of the width x height pixels at pixels: cairo's RGB24 layout,
    // one native-endian 0x??RRGGBB word per pixel, rows stride bytes apart, or with hasAlpha
    // its ARGB32 layout, 0xAARRGGBB premultiplied. Throws std::runtime_error when the picture
    // is empty or larger than a PNG holds.
    void encode(const unsigned char* pixels, int width, int height, int stride, std::string& png,
                bool hasAlpha = false);

    // The bytes after a row that the encoder reads (and never uses) when it compresses it.
    static constexpr std::size_t rowRoom = 64;

    // The same for a grey picture of one byte a pixel (opaque, rows stride bytes apart), as a
    // rasteriser that draws in grey makes it: exactly the file encode() writes for the same
    // picture in 24-bit pixels with red, green and blue equal.
    //
    // A rasteriser that knows rows to be copies of the row above says so in repeatsRowAbove
    // (height bytes, not 0 for such a row): those are not compared again, the others still
    // are. With roomAfterRows, every row, the last one included, is followed by rowRoom bytes
    // that may be read: the rows are then compressed where they lie, not copied first.
    void encodeGrey(const unsigned char* pixels, int width, int height, int stride,
                    std::string& png, const std::uint8_t* repeatsRowAbove = nullptr,
                    bool roomAfterRows = false);

    // The resolution the files carry (pHYs, in pixels per metre), so that an image made for
    // print is placed at its true size; 0 (the default) leaves it out.
    void setResolution(double dotsPerInch) noexcept { dotsPerInch_ = dotsPerInch; }

  private:
    enum class ColourType : std::uint8_t { grey = 0, rgb = 2, palette = 3, rgba = 6 };

    ColourType colourTypeBeyondGrey(const unsigned char* pixels, int width, int height, int stride);
    void markRepeatedRows(const unsigned char* pixels, std::size_t rowSize, int height, int stride,
                          const std::uint8_t* known = nullptr);
    int paletteIndex(std::uint32_t colour);
    void makeRowRoom(std::size_t rowBytes);
    void toSamples(const unsigned char* row, int width, ColourType type);
    // The file around the image data; samplesOf(y) gives row y's samples in samples_, and is
    // asked only for rows that compress() does not copy whole from the row above. False, the
    // file unfinished, when samplesOf gives null: the row has no samples of that type.
    template <typename SamplesOf>
    bool write(int width, int height, ColourType type, SamplesOf samplesOf, std::string& png);
    template <typename SamplesOf>
    bool compress(int width, int height, ColourType type, SamplesOf samplesOf, std::string& png);

    std::uint32_t colourAt(const unsigned char* row, int x) const;
    static std::size_t bytesPerPixelOf(ColourType type) noexcept;

    double dotsPerInch_ = 0;
    bool hasAlpha_ = false;
    std::uint32_t noColour_ = 0;  // a value no pixel has
    std::vector<std::uint32_t> palette_;
    std::vector<std::int16_t> paletteSlots_;  // palette index + 1 by hash, 0 when free
    std::vector<std::uint8_t> repeatsRowAbove_;
    std::vector<std::uint8_t> samples_, above_;  // a row and the one before, with room after
    // One bit a byte of the row being compressed: equal to the pixel before, to the row
    // above, and where a copy starts.
    std::vector<std::uint64_t> byteMasks_;
    std::vector<unsigned char> deflated_;  // room for the image data's deflate stream
    // Every match's codes, length and distance joined, from the row above and from the pixel
    // before, kept while the row length and pixel size stay.
    std::vector<std::uint64_t> matchCodes_;
    std::size_t matchCodesRowDistance_ = 0, matchCodesPixelDistance_ = 0;
    // The file's start up to the image data, and the picture it was made for.
    std::string head_;
    int headWidth_ = 0, headHeight_ = 0;
    ColourType headType_ = ColourType::grey;
    double headDotsPerInch_ = 0;
};

}  // namespace quillet
