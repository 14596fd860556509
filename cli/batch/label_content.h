// What one label of a sheet holds: its symbol and the row's text lines below it or, where that
// does not fit, beside it, centred within the label's padding.
#pragma once

#include <optional>
#include <string>

#include "assist/labels.h"
#include "cli/batch/table_reader.h"
#include "surfaces/cairo/symbol_output.h"

namespace quillet::cli {

// The text's size when --font-size gives none, in points.
inline constexpr double labelTextPoints = 9;
// Clear space inside every label's edge, in millimetres: label printers and sheets are not
// exact to the millimetre.
inline constexpr double labelPadding = 1.5;

// Draws the row's label into its box (millimetres on the page); nothing when it was drawn, else
// why not: a result other than 0, or contents larger than the label, in which case nothing is
// drawn. With `fit`, contents larger than the label are scaled down to it instead. Throws what
// measuring and drawing throw.
std::optional<std::string> drawLabel(cairo_t* page, const assist::LabelBox& box,
                                     const RowDrawing& row, const OutputSettings& settings,
                                     bool fit = false);

}  // namespace quillet::cli
