// Label sheets: page sizes, grids of labels, and where each label goes.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillet::cli {

struct Grid {
    int columns = 0;
    int rows = 0;
};

// "3x8": columns and rows. Throws UsageError.
Grid parseGrid(std::string_view text);

// Page sizes in millimetres.
struct PageSize {
    double width;
    double height;
};

// "a4", "letter" or "WIDTHxHEIGHT" in millimetres. Throws UsageError.
PageSize parsePage(std::string_view text);

// The cells of a grid on pages of a size, in points, filled row by row, page after page.
class LabelSheet {
  public:
    LabelSheet(Grid grid, PageSize page) noexcept;

    double pageWidth() const noexcept { return pageWidth_; }
    double pageHeight() const noexcept { return pageHeight_; }
    std::size_t perPage() const noexcept;

    struct Point {
        double x, y;
    };
    // The top left corner of a label of width x height centred in the cell of the label that
    // follows `placed` others.
    Point place(std::size_t placed, double width, double height) const noexcept;
    bool holds(double width, double height) const noexcept;

  private:
    Grid grid_;
    double pageWidth_, pageHeight_, cellWidth_, cellHeight_;
};

}  // namespace quillet::cli
