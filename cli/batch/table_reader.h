// The rows of a batch table, read a line at a time so that a table of any length holds one row
// in memory.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/quillet.h"

namespace quillet::cli {

struct Row {
    std::size_t number;  // counting data rows from 1
    std::vector<std::string> fields;
    bool tooLong = false;  // longer than maxRowBytes: refused, its fields not kept
};

// A row holds a symbol's data and a few options; a longer line is refused rather than held, so
// that a line without an end cannot take the memory.
inline constexpr std::size_t maxRowBytes = std::size_t{1} << 20;

// The lines of a table as people save it: "\n" or "\r\n" endings, and the byte-order mark
// some programs put before UTF-8 text skipped. Text in UTF-16 is refused as a whole.
class LineReader {
  public:
    explicit LineReader(std::istream& in) : in_(in) {}

    // The next line without its ending; a line longer than maxRowBytes is read to its end and
    // kept only in part, and tooLong says so. False at the end or when reading failed.
    bool read(std::string& line, bool& tooLong);

  private:
    std::istream& in_;
    bool first_ = true;
};

class TableReader {
  public:
    // Reads up to the first data row, taking the option names from a header row. Throws
    // UsageError when the table is refused as a whole.
    explicit TableReader(std::istream& in);

    const std::vector<std::string>& optionNames() const noexcept { return optionNames_; }
    std::size_t rowsRead() const noexcept { return rowCount_; }
    std::optional<Row> next();

  private:
    bool readLine() { return lines_.read(line_, tooLong_); }

    LineReader lines_;
    std::string line_;
    bool tooLong_ = false;
    char separator_ = ',';
    std::vector<std::string> optionNames_;
    std::optional<Row> pending_;
    std::size_t rowCount_ = 0;
};

// The data rows of a table that can be read twice (a file, not a pipe), by a quick pass that
// leaves the stream where it was; nothing when it cannot be rewound.
std::optional<std::size_t> countRows(std::istream& in);

struct RowDrawing {
    Symbology type;
    DrawingArguments arguments;
};

// The symbology, the code and the row's options over the command line's. Throws UsageError.
RowDrawing parseRow(const Row& row, const std::vector<std::string>& optionNames,
                    const DrawingArguments& defaults);

}  // namespace quillet::cli
