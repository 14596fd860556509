#include "render/frame.h"

namespace quillet {

void Frame::setUpFont() const {
    Surface& target = surface();
    target.setFontName(args_.pFont);
    target.setForeColor(args_.pForeColor);
    target.setFontBold(args_.pBold);
    target.setFontSize(divide16(args_.pWidth, 2));
}

void Frame::advancePastText(std::string_view text, std::int16_t gap) {
    moveTo(roundToInt16(runningX_ + surface().textWidth(text) + gap));
}

void Frame::centreText(std::string_view text) const {
    placeCentred(surface().textWidth(text), text, false);
}

void Frame::centreText(std::string_view compared, std::string_view printed) const {
    placeCentred(surface().textWidth(compared), printed, true);
}

void Frame::centreText(std::string_view text, float rowOffset) const {
    placeCentred(surface().textWidth(text), text, false, rowOffset);
}

void Frame::placeCentred(double comparedWidth, std::string_view printed, bool measurePrinted,
                         float rowOffset) const {
    Surface& target = surface();
    if (comparedWidth > runningX_) {
        target.setCurrentX(std::int16_t{10});
    } else {
        const double printedWidth = measurePrinted ? target.textWidth(printed) : comparedWidth;
        target.setCurrentX((runningX_ - printedWidth + 10 + static_cast<double>(args_.pX)) / 2);
    }
    target.setCurrentY(textRow(rowOffset));
    target.print(printed);
}

}  // namespace quillet
