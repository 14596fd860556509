#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/label_content.h"

#include <algorithm>
#include <cstdio>

#include "cli/messages.h"

namespace quillet::cli {
namespace {

constexpr double pointsPerMillimetre = 72 / 25.4;

std::string millimetres(double points) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", points / pointsPerMillimetre);
    return text;
}

}  // namespace

std::optional<std::string> drawLabel(cairo_t* page, const assist::LabelBox& box,
                                     const RowDrawing& row, const OutputSettings& settings) {
    // The text is laid out in points, the page's own units in every format with pages.
    DevicePlacement placement;
    placement.devicePerUnit = settings.devicePerPoint();
    placement.devicePerPoint = settings.devicePerPoint();
    placement.fontPoints = settings.fontPoints.value_or(labelTextPoints);
    CairoSurface text(page, placement);
    text.setFontName(row.arguments.pFont);
    text.setFontBold(row.arguments.pBold);
    text.setFontSize(1);  // the placement's size stands
    text.setForeColor(row.arguments.pForeColor);
    double textWidth = 0;
    for (const std::string& line : row.lines) textWidth = std::max(textWidth, text.textWidth(line));
    const double lineHeight = row.lines.empty() ? 0 : text.textHeight("Ag");
    const double textHeight = lineHeight * static_cast<double>(row.lines.size());

    SymbolDrawing symbol;
    if (row.hasSymbol) {
        symbol = measureSymbol(row.type, row.arguments, settings);
        if (symbol.result != 0) return resultMessage(symbol.result);
    }
    const double devicePerPoint = settings.devicePerPoint();
    const double symbolWidth = symbol.pageWidth / devicePerPoint;
    const double symbolHeight = symbol.pageHeight / devicePerPoint;
    const bool both = row.hasSymbol && !row.lines.empty();
    const double gap = both ? *placement.fontPoints / 2 : 0;

    const double padding = labelPadding * pointsPerMillimetre;
    const double left = box.left * pointsPerMillimetre + padding;
    const double top = box.top * pointsPerMillimetre + padding;
    const double width = box.width * pointsPerMillimetre - 2 * padding;
    const double height = box.height * pointsPerMillimetre - 2 * padding;
    // The lines below the symbol; beside it where the label is too low for that.
    bool below = true;
    double contentWidth = std::max(textWidth, symbolWidth);
    double contentHeight = textHeight + gap + symbolHeight;
    if (contentWidth > width || contentHeight > height) {
        below = false;
        contentWidth = textWidth + gap + symbolWidth;
        contentHeight = std::max(textHeight, symbolHeight);
    }
    if (contentWidth > width || contentHeight > height)
        return "the label's contents (" + millimetres(std::max(textWidth, symbolWidth)) + " x " +
               millimetres(textHeight + gap + symbolHeight) + " mm) do not fit its label (" +
               millimetres(width) + " x " + millimetres(height) + " mm inside its " +
               millimetres(padding) + " mm edge): make the module, the height or the font smaller";

    const double contentLeft = left + (width - contentWidth) / 2;
    const double contentTop = top + (height - contentHeight) / 2;
    // The symbol first, its lines below it or to its right.
    const double textLeft = below ? contentLeft : contentLeft + symbolWidth + gap;
    const double textTop = below ? contentTop + symbolHeight + gap : contentTop;
    for (std::size_t i = 0; i < row.lines.size(); ++i) {
        text.setCurrentX(textLeft);
        text.setCurrentY(static_cast<float>(textTop + lineHeight * static_cast<double>(i)));
        text.print(row.lines[i]);
    }
    if (!row.hasSymbol) return std::nullopt;
    const std::int16_t result = drawSymbolAt(page, row.type, row.arguments, settings, symbol,
                                             contentLeft * devicePerPoint + symbol.padLeft,
                                             contentTop * devicePerPoint + symbol.padTop);
    if (result != 0) return resultMessage(result);
    return std::nullopt;
}

}  // namespace quillet::cli
#endif
