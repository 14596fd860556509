#include "assist/labels.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace quillet::assist {
namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower;
}

template <class Number>
std::optional<Number> numberOf(std::string_view text) noexcept {
    Number value{};
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

constexpr double millimetresPerInch = 25.4;
constexpr PageSize a4{210, 297};
constexpr PageSize letter{8.5 * millimetresPerInch, 11 * millimetresPerInch};

struct Template {
    std::string_view name;
    PageSize page;
    Grid grid;
    double top, left, labelWidth, labelHeight, pitchX, pitchY;  // inches on letter, mm on A4
};

// From the makers' published templates: page, labels across and down, top and side margins,
// label size and pitch.
constexpr std::array<Template, 6> templates = {{
    {"5160", letter, {3, 10}, 0.5, 0.1875, 2.625, 1, 2.75, 1},
    {"5163", letter, {2, 5}, 0.5, 0.15625, 4, 2, 4.1875, 2},
    {"5167", letter, {4, 20}, 0.5, 0.3, 1.75, 0.5, 2.05, 0.5},
    {"l7160", a4, {3, 7}, 15.15, 7.25, 63.5, 38.1, 66.04, 38.1},
    {"l7163", a4, {2, 7}, 15.15, 4.65, 99.1, 38.1, 101.6, 38.1},
    {"l7651", a4, {5, 13}, 10.7, 4.7, 38.1, 21.2, 40.6, 21.2},
}};

// Every template's labels lie within its page.
static_assert([] {
    for (const Template& sheet : templates) {
        const double scale = sheet.page.width == a4.width ? 1 : millimetresPerInch;
        const double right =
            (sheet.left + sheet.pitchX * (sheet.grid.columns - 1) + sheet.labelWidth) * scale;
        const double bottom =
            (sheet.top + sheet.pitchY * (sheet.grid.rows - 1) + sheet.labelHeight) * scale;
        if (right > sheet.page.width || bottom > sheet.page.height) return false;
    }
    return true;
}());

}  // namespace

std::optional<Grid> parseGrid(std::string_view text) noexcept {
    const auto x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const auto columns = numberOf<int>(text.substr(0, x));
    const auto rows = numberOf<int>(text.substr(x + 1));
    constexpr int mostLabels = 200;
    if (!columns || !rows || *columns < 1 || *rows < 1 || *columns > mostLabels ||
        *rows > mostLabels)
        return std::nullopt;
    return Grid{*columns, *rows};
}

std::optional<PageSize> parsePage(std::string_view text) noexcept {
    const std::string lower = lowerCase(text);
    if (lower == "a4") return a4;
    if (lower == "letter") return letter;
    const auto x = lower.find('x');
    if (x == std::string::npos) return std::nullopt;
    const auto width = numberOf<double>(std::string_view(lower).substr(0, x));
    const auto height = numberOf<double>(std::string_view(lower).substr(x + 1));
    const auto within = [](const std::optional<double>& side) {
        return side && *side >= 10 && *side <= 5080;
    };
    if (!within(width) || !within(height)) return std::nullopt;
    return PageSize{*width, *height};
}

std::size_t SheetLayout::perPage() const noexcept {
    return static_cast<std::size_t>(grid.columns) * static_cast<std::size_t>(grid.rows);
}

LabelBox SheetLayout::label(std::size_t placed) const noexcept {
    const std::size_t cell = placed % perPage();
    const auto columns = static_cast<std::size_t>(grid.columns);
    return {left + pitchX * static_cast<double>(cell % columns),
            top + pitchY * static_cast<double>(cell / columns), labelWidth, labelHeight};
}

std::optional<SheetLayout> gridLayout(Grid grid, PageSize page, double marginTop, double marginSide,
                                      double gapX, double gapY) noexcept {
    SheetLayout layout;
    layout.page = page;
    layout.grid = grid;
    layout.top = marginTop;
    layout.left = marginSide;
    layout.labelWidth = (page.width - 2 * marginSide - gapX * (grid.columns - 1)) / grid.columns;
    layout.labelHeight = (page.height - 2 * marginTop - gapY * (grid.rows - 1)) / grid.rows;
    layout.pitchX = layout.labelWidth + gapX;
    layout.pitchY = layout.labelHeight + gapY;
    if (!(layout.labelWidth > 0 && layout.labelHeight > 0 && marginTop >= 0 && marginSide >= 0 &&
          gapX >= 0 && gapY >= 0))
        return std::nullopt;
    return layout;
}

std::optional<SheetLayout> sheetTemplateNamed(std::string_view name) noexcept {
    std::string key = lowerCase(name);
    if (key.starts_with("avery")) key.erase(0, 5);
    while (!key.empty() && (key.front() == ' ' || key.front() == '-' || key.front() == '_'))
        key.erase(0, 1);
    for (const Template& sheet : templates) {
        if (sheet.name != key) continue;
        const double scale = sheet.page.width == a4.width ? 1 : millimetresPerInch;
        SheetLayout layout;
        layout.page = sheet.page;
        layout.grid = sheet.grid;
        layout.top = sheet.top * scale;
        layout.left = sheet.left * scale;
        layout.labelWidth = sheet.labelWidth * scale;
        layout.labelHeight = sheet.labelHeight * scale;
        layout.pitchX = sheet.pitchX * scale;
        layout.pitchY = sheet.pitchY * scale;
        return layout;
    }
    return std::nullopt;
}

std::string_view sheetTemplateList() noexcept {
    return "Avery 5160 (3x10 on letter, 2.625 x 1 in), 5163 (2x5, 4 x 2 in), 5167 (4x20,\n"
           "1.75 x 0.5 in), L7160 (3x7 on A4, 63.5 x 38.1 mm), L7163 (2x7, 99.1 x 38.1 mm),\n"
           "L7651 (5x13, 38.1 x 21.2 mm)";
}

}  // namespace quillet::assist
