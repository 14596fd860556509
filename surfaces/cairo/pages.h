// What a document and a batch of symbol files share: the sizes a page may have and the image
// format a background asks for.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <utility>

namespace quillet {

// Raises std::runtime_error, saying what was being done, for a cairo status that is a failure.
void checkCairo(cairo_status_t status, const char* doing);

// A page's size in whole pixels, at least one each way.
std::pair<int, int> rasterSize(double width, double height);

// A vector page within what readers show.
void checkPageSize(double width, double height);

// Images keep an alpha channel only where the page is left transparent.
cairo_format_t rasterFormat(const std::optional<std::int32_t>& background);

}  // namespace quillet
