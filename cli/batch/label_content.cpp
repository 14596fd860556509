#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/label_content.h"

#include <cairo.h>

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
                                     const RowDrawing& row, const OutputSettings& settings,
                                     bool fit) {
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
    // Scaled down, the contents keep the layout below the symbol, which reads best.
    double scale = 1;
    if (fit && (contentWidth > width || contentHeight > height)) {
        below = true;
        contentWidth = std::max(textWidth, symbolWidth);
        contentHeight = textHeight + gap + symbolHeight;
        scale = std::min(width / contentWidth, height / contentHeight);
    }
    if (scale == 1 && (contentWidth > width || contentHeight > height))
        return "the label's contents (" + millimetres(std::max(textWidth, symbolWidth)) + " x " +
               millimetres(textHeight + gap + symbolHeight) + " mm) do not fit its label (" +
               millimetres(width) + " x " + millimetres(height) + " mm inside its " +
               millimetres(padding) + " mm edge): make the module, the height or the font smaller";

    const double contentLeft = (width - contentWidth * scale) / 2;
    const double contentTop = (height - contentHeight * scale) / 2;
    cairo_save(page);
    cairo_translate(page, (left + contentLeft) * devicePerPoint,
                    (top + contentTop) * devicePerPoint);
    cairo_scale(page, scale, scale);
    // The symbol first, its lines below it or to its right.
    const double textLeft = below ? 0 : symbolWidth + gap;
    const double textTop = below ? symbolHeight + gap : 0;
    for (std::size_t i = 0; i < row.lines.size(); ++i) {
        text.setCurrentX(textLeft);
        text.setCurrentY(static_cast<float>(textTop + lineHeight * static_cast<double>(i)));
        text.print(row.lines[i]);
    }
    std::int16_t result = 0;
    if (row.hasSymbol)
        result = drawSymbolAt(page, row.type, row.arguments, settings, symbol, symbol.padLeft,
                              symbol.padTop);
    cairo_restore(page);
    if (result != 0) return resultMessage(result);
    return std::nullopt;
}

}  // namespace quillet::cli
#endif
