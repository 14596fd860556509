// The rows of a batch table, read a line at a time so that a table of any length holds one row
// in memory.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "control/quillet.h"

namespace quillet::cli {

struct Row {
    std::size_t number = 0;  // counting data rows from 1
    std::vector<std::string> fields;
    bool tooLong = false;       // longer than maxRowBytes: refused, its fields not kept
    bool unterminated = false;  // a quoted field still open at the end of the table
};

// A row holds a symbol's data and a few options; a longer line is refused rather than held, so
// that a line without an end cannot take the memory.
inline constexpr std::size_t maxRowBytes = std::size_t{1} << 20;

// The records of a table as people save it: lines ended by "\n", "\r\n" or "\r" alone, a
// quoted field holding line breaks of its own (a record then spans lines), and the byte-order
// mark some programs put before UTF-8 text skipped. Text in UTF-16 or UTF-32, told by its
// leading bytes, is refused as a whole.
class RecordReader {
  public:
    struct Record {
        std::string text;  // without its line ending
        bool tooLong = false;
        bool unterminated = false;
    };
    explicit RecordReader(std::istream& in) : in_(in) {}

    // The next record. separator: the table's, or 0 while it is not known (a comma and a tab
    // then both start a field). False at the end or when reading failed; throws UsageError when
    // the text is not UTF-8 or ASCII.
    bool read(Record& record, char separator);

  private:
    int take();
    int peek();
    void checkEncoding();

    std::istream& in_;
    std::string ahead_;  // bytes read to tell the encoding, not yet taken
    bool first_ = true;
};

class TableReader {
  public:
    // Reads up to the first data row, taking the option names from a header row. Throws
    // UsageError when the table is refused as a whole.
    explicit TableReader(std::istream& in);

    // The option each column after the code names, "" for a column of the label's text.
    const std::vector<std::string>& optionNames() const noexcept { return optionNames_; }
    std::size_t rowsRead() const noexcept { return rowCount_; }
    // The next data row into row, whose strings keep their room from the row before; false at
    // the end of the table.
    bool next(Row& row);

  private:
    bool readRecord() { return records_.read(record_, separator_); }
    void fillRow(Row& row);

    RecordReader records_;
    RecordReader::Record record_;
    char separator_ = 0;
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
    bool hasSymbol = true;           // false when the symbology and the code are both empty
    std::vector<std::string> lines;  // the label's text: the columns that name no option
};

// The symbology, the code and the row's options over the command line's, the code checked
// unless the choice is --as-is. Throws UsageError, or DataError for data the checks refuse.
RowDrawing parseRow(const Row& row, const std::vector<std::string>& optionNames,
                    const DrawingArguments& defaults, DataChoice choice);

}  // namespace quillet::cli
