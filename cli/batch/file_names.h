// The names of the files a batch writes into a folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "surfaces/cairo/symbol_output.h"

namespace quillet::cli {

// A folder named like an image or a document is most likely a mistake for a file.
bool isNamedLikeAFile(std::string_view path);

// "0042-CODE39W.png": the row number, padded to the width of the last row's number so that the
// files sort in row order, and the code with everything but letters, digits, "-" and "." made
// "_". Made in name, which keeps its room from one file to the next.
void fileNameOf(std::size_t number, std::size_t numberWidth, std::string_view code,
                OutputFormat format, std::string& name);

// Rows from a pipe cannot be counted before they are drawn: their numbers take six digits.
inline constexpr std::size_t uncountedNumberWidth = 6;

}  // namespace quillet::cli
