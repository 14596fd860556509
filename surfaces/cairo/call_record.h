// The calls one drawing made on its surface, in order, to be made again on another surface.
//
// A drawing method's calls depend only on what the surface answered to TextWidth and TextHeight:
// made again on a surface that would answer the same, they are the calls the method would make
// there, without running it again. The measures themselves are not made again: what they
// answered is already in the calls that follow them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/surface.h"
#include "surfaces/cairo/cairo_surface.h"

namespace quillet {

class CallRecord {
  public:
    // Forgets the calls, keeping the room they took for the next drawing.
    void clear() noexcept;

    void setFontName(std::string_view name);
    void setForeColor(std::int32_t color);
    void setFontBold(bool bold);
    void setFontSize(std::int16_t size);
    // Inline, as print() is: every text of a symbol comes with them.
    void setCurrentX(Coordinate x) { add(Kind::currentX).x = x; }
    void setCurrentY(float y) { add(Kind::currentY).y = y; }
    // Inline: a symbol's most calls. A box only joins the boxes: the other calls keep how many
    // came before them.
    void line(std::int16_t flags, std::int16_t x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) {
        boxes_.push_back({flags, x1, x2, y1, y2, color});
        const auto value = static_cast<std::uint32_t>(color);
        notGrey_ |= (value & 0xFFFFu) ^ (value >> 8);  // 0 for every grey (isGrey())
    }
    // line() where the boxes have room for one more as they are: false, recording nothing,
    // where they have not.
    bool lineInRoom(std::int16_t flags, std::int16_t x1, float y1, std::int16_t x2, float y2,
                    std::int32_t color) noexcept {
        if (boxes_.size() == boxes_.capacity()) return false;
        line(flags, x1, y1, x2, y2, color);
        return true;
    }
    void print(std::string_view text) {
        keep(Kind::print, text);
        greyAndAscii_ = greyAndAscii_ && isPlainAscii(text);
    }

    // The boxes recorded so far, in their order.
    const BoxCall* boxes() const noexcept { return boxes_.data(); }
    std::size_t boxCount() const noexcept { return boxes_.size(); }
    // Room for where each box recorded so far landed when measured, at its index.
    PlacedBox* placedBoxes() {
        // Grown only: what it held is written over, box by box, before it is read.
        if (placed_.size() < boxes_.size()) placed_.resize(boxes_.size());
        placedCount_ = boxes_.size();
        return placed_.data();
    }
    // Where the boxes landed is kept for the replay, and the placement they landed at, when
    // they land there moved as the placement moves.
    void keepPlaced(const DevicePlacement& placement, bool movable) noexcept {
        placedAt_ = {placed_.data(), placement.devicePerUnit, placement.originX, placement.originY};
        movable_ = movable && placedCount_ == boxes_.size();
    }

    // The calls again, in their order; a failing call stops it as it stopped the drawing.
    void replay(CairoSurface& target) const;

    // Whether a colour (0x00BBGGRR) is a grey: red, green and blue alike.
    static bool isGrey(std::int32_t color) noexcept {
        const auto value = static_cast<std::uint32_t>(color);
        return value <= 0xFFFFFFu && (value & 0xFFFFu) == (value >> 8);
    }

    // Whether every colour set or painted is a grey (red, green and blue alike) and every text
    // printed is plain ASCII, as a raster of greys paints them.
    bool greyAndAscii() const noexcept { return greyAndAscii_ && notGrey_ == 0; }

  private:
    enum class Kind : std::uint8_t {
        fontName,
        foreColor,
        fontBold,
        fontSize,
        currentX,
        currentY,
        print
    };
    struct Call {
        Kind kind = Kind::fontName;
        float y = 0;
        std::int32_t value = 0;    // a colour, a size, a weight; where a text starts
        std::uint32_t length = 0;  // of a text
        std::uint32_t boxes = 0;   // how many were recorded before it
        Coordinate x;
    };
    // Inline: a text comes with two or three calls around it.
    Call& add(Kind kind) {
        Call& call = calls_.emplace_back();
        call.kind = kind;
        call.boxes = static_cast<std::uint32_t>(boxes_.size());
        return call;
    }
    void keep(Kind kind, std::string_view text);
    std::string_view textOf(const Call& call) const noexcept;

    std::vector<Call> calls_;
    // Boxes, a symbol's most calls, are kept apart, flat, between the others.
    std::vector<BoxCall> boxes_;
    std::string texts_;
    bool greyAndAscii_ = true;   // of the calls so far but the boxes
    std::uint32_t notGrey_ = 0;  // of the boxes' colours, 0 while every one is a grey
    std::vector<PlacedBox> placed_;
    std::size_t placedCount_ = 0;  // of the boxes, those placed_ was given room for
    PlacedBoxes placedAt_{};
    bool movable_ = false;
};

}  // namespace quillet
