// The commands that write real output through the cairo surface: draw, sheet and batch.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "surfaces/cairo_output.h"

namespace quillet::cli {

// --format --dpi --units --no-gridfit --gridfit --bar-reduction --margin, shared by the three.
extern const std::vector<std::string_view> outputOptionNames;
extern const std::vector<std::string_view> outputFlagNames;
// Applies one of them; false when the name is not an output option.
bool applyOutputOption(std::string_view name, std::string_view value, OutputSettings& settings);
std::string_view outputOptionsHelp();

// The format named by --format, else by the file's extension; a usage error when neither says.
OutputFormat formatFor(std::string_view path, const std::optional<OutputFormat>& named);

// A usage error for PNG or PDF bytes to standard output ("-") when it is a terminal, which they
// would scramble; SVG and PostScript are text and may go there.
void refuseBinaryOnTerminal(std::string_view path, OutputFormat format, bool outIsTerminal);

// Writes bytes to the file, or to out when the path is "-". Throws std::runtime_error.
void writeOutput(std::string_view path, const std::string& bytes, std::ostream& out);

// `quillet draw SYMBOLOGY CODE -o FILE [options]`: 0 drawn, 1 a non-zero result or an output
// failure, 2 a failure towards the caller, 64 bad usage. outIsTerminal: whether out is one.
int runDraw(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
            bool outIsTerminal = false);
std::string_view drawHelp();

// `quillet sheet -o FILE [options]`: every symbology drawn so far, captioned.
int runSheet(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
             bool outIsTerminal = false);
std::string_view sheetHelp();

// `quillet batch FILE -o OUT [options]`: one symbol per row. showProgress draws a progress bar
// on err (the command passes whether err is a terminal). 0 when every row was drawn, 1 when a
// row failed, 64 bad usage.
int runBatch(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err, bool showProgress);
std::string_view batchHelp();

// A table read as batch reads it, for tests and fuzzing: the data rows counted beforehand
// (nothing when the stream cannot be rewound), then each data row with its drawing, or why it
// has none. Throws UsageError when batch refuses the table as a whole.
struct TableRow {
    std::size_t number = 0;  // counting data rows from 1
    std::vector<std::string> fields;
    tBarcodeType type{};
    DrawingArguments arguments;
    std::optional<std::string> failure;
};
struct Table {
    std::optional<std::size_t> counted;
    std::vector<TableRow> rows;
};
Table readTable(std::istream& in, const DrawingArguments& defaults);

}  // namespace quillet::cli
