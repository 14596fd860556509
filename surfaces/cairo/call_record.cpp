#include "surfaces/cairo/call_record.h"

#include <algorithm>

namespace quillet {
void CallRecord::clear() noexcept {
    calls_.clear();
    boxes_.clear();
    texts_.clear();
    greyAndAscii_ = true;
    notGrey_ = 0;
    placedCount_ = 0;
    movable_ = false;
}

void CallRecord::keep(Kind kind, std::string_view text) {
    Call& call = add(kind);
    call.value = static_cast<std::int32_t>(texts_.size());
    call.length = static_cast<std::uint32_t>(text.size());
    // Mostly one character, under a bar character: appended without a copy.
    if (text.size() == 1)
        texts_.push_back(text[0]);
    else
        texts_.append(text);
}

std::string_view CallRecord::textOf(const Call& call) const noexcept {
    return std::string_view(texts_).substr(static_cast<std::size_t>(call.value), call.length);
}

void CallRecord::setFontName(std::string_view name) {
    keep(Kind::fontName, name);
}

void CallRecord::setForeColor(std::int32_t color) {
    add(Kind::foreColor).value = color;
    greyAndAscii_ = greyAndAscii_ && isGrey(color);
}

void CallRecord::setFontBold(bool bold) {
    add(Kind::fontBold).value = bold ? 1 : 0;
}

void CallRecord::setFontSize(std::int16_t size) {
    add(Kind::fontSize).value = size;
}

void CallRecord::replay(CairoSurface& target) const {
    std::size_t drawn = 0;  // of the boxes
    const auto drawBoxes = [&](std::size_t upTo) {
        if (upTo == drawn) return;
        PlacedBoxes placed = placedAt_;
        if (movable_) placed.boxes += drawn;
        target.lines(boxes_.data() + drawn, upTo - drawn, movable_ ? &placed : nullptr);
        drawn = upTo;
    };
    for (const Call& call : calls_) {
        drawBoxes(call.boxes);
        switch (call.kind) {
            case Kind::fontName:
                target.setFontName(textOf(call));
                break;
            case Kind::foreColor:
                target.setForeColor(call.value);
                break;
            case Kind::fontBold:
                target.setFontBold(call.value != 0);
                break;
            case Kind::fontSize:
                target.setFontSize(static_cast<std::int16_t>(call.value));
                break;
            case Kind::currentX:
                target.setCurrentX(call.x);
                break;
            case Kind::currentY:
                target.setCurrentY(call.y);
                break;
            case Kind::print:
                target.print(textOf(call));
                break;
        }
    }
    drawBoxes(boxes_.size());
}

}  // namespace quillet
