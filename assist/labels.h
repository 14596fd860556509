// Label sheets: the page, the grid of labels on it and where each label lies, in millimetres.
// Sheets sold by their common names come with their published dimensions; any other sheet is a
// grid with page margins and gaps.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quillet::assist {

struct Grid {
    int columns = 0;
    int rows = 0;
};

// "3x8": columns and rows, each from 1 to 200 (more leave a label too small for a symbol).
std::optional<Grid> parseGrid(std::string_view text) noexcept;

struct PageSize {
    double width;
    double height;
};

// "a4", "letter" or "WIDTHxHEIGHT" in millimetres, each from 10 to 5080 (the largest page PDF
// readers show).
std::optional<PageSize> parsePage(std::string_view text) noexcept;

// A label's place on its page.
struct LabelBox {
    double left, top, width, height;
};

struct SheetLayout {
    PageSize page{210, 297};
    Grid grid;
    double top = 0, left = 0;  // the page's margins above and left of the labels
    double labelWidth = 0, labelHeight = 0;
    double pitchX = 0, pitchY = 0;  // from a label's edge to the next one's

    std::size_t perPage() const noexcept;
    // The label that follows `placed` others on their pages, row by row.
    LabelBox label(std::size_t placed) const noexcept;
};

// A grid on a page, its labels filling what page margins (top and bottom, left and right) and
// gaps between labels leave; nothing when that is no room at all.
std::optional<SheetLayout> gridLayout(Grid grid, PageSize page, double marginTop, double marginSide,
                                      double gapX, double gapY) noexcept;

// Avery 5160, 5163, 5167 (US letter) and L7160, L7163, L7651 (A4), by their number with or
// without "avery" in front, in any case.
std::optional<SheetLayout> sheetTemplateNamed(std::string_view name) noexcept;
// The names, for help texts: "5160 (3x10 on letter, 66.7 x 25.4 mm), ...".
std::string_view sheetTemplateList() noexcept;

}  // namespace quillet::assist
