#include "render/frame.h"

namespace quillet {

void Frame::setUpFont() const {
    Surface& target = surface();
    target.setFontName(args_.pFont);
    target.setForeColor(args_.pForeColor);
    target.setFontBold(args_.pBold);
    target.setFontSize(divide16(args_.pWidth, 2));
}

void Frame::paintBox(std::int16_t width, Band band, bool bar) {
    // The right edge is summed left to right, as x + width - 1, each step checked.
    const std::int16_t right = subtract16(add16(runningX_, width), 1);
    if (bar)
        surface().bar(boxFlags, runningX_, band.top, right, band.bottom, args_.pLineColor);
    else
        surface().line(boxFlags, runningX_, band.top, right, band.bottom, white);
    advance(width);
}

void Frame::paintModules(std::string_view pattern, Band band) {
    for (const char module : pattern) paintBox(args_.pWidth, band, module != '0');
}

void Frame::paintElements(std::string_view pattern, const ElementWidths& widths, Band band,
                          bool firstIsBar) {
    bool bar = firstIsBar;
    for (const char element : pattern) {
        paintBox(element == '0' ? widths.narrow() : widths.wide(), band, bar);
        bar = !bar;
    }
}

void Frame::writeText(Coordinate x, float y, std::string_view text) const {
    Surface& target = surface();
    target.setCurrentX(x);
    target.setCurrentY(y);
    target.print(text);
}

void Frame::advancePastText(std::string_view text, std::int16_t gap) {
    runningX_ = roundToInt16(runningX_ + surface().textWidth(text) + gap);
}

void Frame::centreText(std::string_view text) const {
    placeCentred(surface().textWidth(text), text, false);
}

void Frame::centreText(std::string_view compared, std::string_view printed) const {
    placeCentred(surface().textWidth(compared), printed, true);
}

void Frame::placeCentred(double comparedWidth, std::string_view printed,
                         bool measurePrinted) const {
    Surface& target = surface();
    if (comparedWidth > runningX_) {
        target.setCurrentX(std::int16_t{10});
    } else {
        const double printedWidth = measurePrinted ? target.textWidth(printed) : comparedWidth;
        target.setCurrentX((runningX_ - printedWidth + 10 + static_cast<double>(args_.pX)) / 2);
    }
    target.setCurrentY(textRow());
    target.print(printed);
}

}  // namespace quillet
