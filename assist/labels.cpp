#include "assist/labels.h"

#include <string>

#include "cli/command_line.h"

namespace quillet::cli {

Grid parseGrid(std::string_view text) {
    const auto x = text.find_first_of("xX");
    Grid grid;
    if (x != std::string_view::npos) {
        grid.columns = parseInt16("--grid", text.substr(0, x));
        grid.rows = parseInt16("--grid", text.substr(x + 1));
    }
    // More labels than this to a page leave each too small to hold a symbol.
    constexpr int mostLabels = 200;
    if (grid.columns < 1 || grid.rows < 1 || grid.columns > mostLabels || grid.rows > mostLabels)
        throw UsageError("invalid value '" + std::string(text) +
                         "' for --grid: expected COLUMNSxROWS, such as 3x8, each from 1 to 200");
    return grid;
}

PageSize parsePage(std::string_view text) {
    const std::string lower = lowered(text);
    if (lower == "a4") return {210, 297};
    if (lower == "letter") return {215.9, 279.4};
    const auto x = lower.find('x');
    if (x != std::string::npos) {
        const PageSize size{parseFloat("--page", std::string_view(lower).substr(0, x)),
                            parseFloat("--page", std::string_view(lower).substr(x + 1))};
        // From a small label to the largest page PDF readers show (200 inches).
        const auto within = [](double side) { return side >= 10 && side <= 5080; };
        if (within(size.width) && within(size.height)) return size;
    }
    throw UsageError("invalid value '" + std::string(text) +
                     "' for --page: expected a4, letter or WIDTHxHEIGHT in millimetres, each "
                     "from 10 to 5080");
}

namespace {
constexpr double pointsPerMillimetre = 72 / 25.4;
}

LabelSheet::LabelSheet(Grid grid, PageSize page) noexcept
    : grid_(grid),
      pageWidth_(page.width * pointsPerMillimetre),
      pageHeight_(page.height * pointsPerMillimetre),
      cellWidth_(pageWidth_ / grid.columns),
      cellHeight_(pageHeight_ / grid.rows) {}

std::size_t LabelSheet::perPage() const noexcept {
    return static_cast<std::size_t>(grid_.columns * grid_.rows);
}

LabelSheet::Point LabelSheet::place(std::size_t placed, double width,
                                    double height) const noexcept {
    const std::size_t cell = placed % perPage();
    const auto columns = static_cast<std::size_t>(grid_.columns);
    return {cellWidth_ * static_cast<double>(cell % columns) + (cellWidth_ - width) / 2,
            cellHeight_ * static_cast<double>(cell / columns) + (cellHeight_ - height) / 2};
}

bool LabelSheet::holds(double width, double height) const noexcept {
    return width <= cellWidth_ && height <= cellHeight_;
}

}  // namespace quillet::cli
