#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/table_reader.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <utility>

#include "cli/command_line.h"
#include "cli/output_commands.h"

namespace quillet::cli {
namespace {

// One record's fields; a field in double quotes may hold the separator, "" stands for a quote.
// The fields' strings are reused from the row before, which keeps their room.
void splitFields(std::string_view line, char separator, std::vector<std::string>& fields) {
    std::size_t count = 0;
    const auto nextField = [&]() -> std::string& {
        if (count == fields.size()) fields.emplace_back();
        std::string& field = fields[count++];
        field.clear();
        return field;
    };
    std::string* field = &nextField();
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field->push_back('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field->push_back(c);
            }
        } else if (c == '"' && field->empty()) {
            quoted = true;
        } else if (c == separator) {
            field = &nextField();
        } else {
            field->push_back(c);
        }
    }
    fields.resize(count);
}

std::vector<std::string> splitFields(std::string_view line, char separator) {
    std::vector<std::string> fields;
    splitFields(line, separator, fields);
    return fields;
}

// The bytes that end a record, quote, begin a comment or part fields (the separator is a comma
// or a tab); any other byte is kept as it is and ends a field's start.
constexpr std::array<bool, 256> marksRecord = [] {
    std::array<bool, 256> marks{};
    for (const unsigned char c : {'\n', '\r', '"', '#', ',', '\t'}) marks[c] = true;
    return marks;
}();

bool isSkipped(std::string_view line) {
    return line.empty() || line.front() == '#';
}

// Tabs when a tab parts the fields, not when tabs stand only inside quoted fields.
char separatorOf(std::string_view line) {
    bool quoted = false, fieldStart = true;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                ++i;
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '\t') return '\t';
        quoted = c == '"' && fieldStart;
        fieldStart = c == ',';
    }
    return ',';
}

bool isHeader(const std::vector<std::string>& fields) {
    return lowered(fields[0]) == "symbology";
}

}  // namespace

int RecordReader::take() {
    if (!ahead_.empty()) {
        const auto c = static_cast<unsigned char>(ahead_.front());
        ahead_.erase(0, 1);
        return c;
    }
    const int c = in_.rdbuf()->sbumpc();
    if (c == std::char_traits<char>::eof()) in_.setstate(std::ios::eofbit);
    return c;
}

int RecordReader::peek() {
    if (!ahead_.empty()) return static_cast<unsigned char>(ahead_.front());
    return in_.rdbuf()->sgetc();
}

// From the first bytes, not the first line: a byte-order mark, or ASCII letters with zero bytes
// between them, which text in UTF-16 or UTF-32 has.
void RecordReader::checkEncoding() {
    while (ahead_.size() < 4) {
        const int c = in_.rdbuf()->sbumpc();
        if (c == std::char_traits<char>::eof()) break;
        ahead_.push_back(static_cast<char>(c));
    }
    const std::string_view lead = ahead_;
    const auto zero = [&](std::size_t i) { return i < lead.size() && lead[i] == '\0'; };
    const auto other = [&](std::size_t i) { return i < lead.size() && lead[i] != '\0'; };
    const auto refuse = [](std::string_view encoding) {
        throw UsageError("the table is " + std::string(encoding) +
                         " text: save it as UTF-8 (\"CSV UTF-8\" in a spreadsheet)");
    };
    if (lead.starts_with("\xEF\xBB\xBF")) {
        ahead_.erase(0, 3);
        return;
    }
    if (lead.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
        lead.starts_with(std::string_view("\0\0\xFE\xFF", 4)) ||
        (other(0) && zero(1) && zero(2) && zero(3)) || (zero(0) && zero(1) && zero(2) && other(3)))
        refuse("UTF-32");
    if (lead.starts_with("\xFF\xFE") || lead.starts_with("\xFE\xFF") ||
        (other(0) && zero(1) && (lead.size() == 2 || (other(2) && zero(3)))) ||
        (zero(0) && other(1) && (lead.size() == 2 || (zero(2) && other(3)))))
        refuse("UTF-16");
}

bool RecordReader::read(Record& record, char separator) {
    record.text.clear();  // keeping its room for the next record
    record.tooLong = record.unterminated = false;
    if (in_.rdbuf() == nullptr || (!in_.good() && ahead_.empty())) return false;
    bool any = false, quoted = false, fieldStart = true, comment = false;
    const auto keep = [&](int c) {
        if (record.text.size() < maxRowBytes)
            record.text.push_back(static_cast<char>(c));
        else
            record.tooLong = true;
    };
    try {
        if (std::exchange(first_, false)) checkEncoding();
        for (;;) {
            const int c = take();
            if (c == std::char_traits<char>::eof()) break;
            any = true;
            if (!marksRecord[static_cast<unsigned char>(c)]) {
                fieldStart = false;
                keep(c);
                continue;
            }
            if (!quoted && (c == '\n' || c == '\r')) {
                if (c == '\r' && peek() == '\n') take();
                break;
            }
            if (!comment && !quoted && fieldStart && c == '"') {
                quoted = true;
            } else if (quoted && c == '"') {
                // "" inside quotes stands for a quote: both are kept for the field splitting.
                if (peek() == '"') {
                    if (record.text.size() < maxRowBytes) record.text.push_back('"');
                    take();
                } else {
                    quoted = false;
                }
            }
            comment = comment || (c == '#' && record.text.empty() && !record.tooLong);
            fieldStart = !quoted && (separator != 0 ? c == separator : c == ',' || c == '\t');
            keep(c);
        }
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception&) {  // a file that cannot be read, such as a folder
        in_.setstate(std::ios::badbit);
        return false;
    }
    record.unterminated = quoted;
    return any;
}

void TableReader::fillRow(Row& row) {
    row.number = ++rowCount_;
    row.tooLong = record_.tooLong;
    row.unterminated = record_.unterminated;
    if (row.tooLong)
        row.fields.clear();
    else
        splitFields(record_.text, separator_, row.fields);
}

TableReader::TableReader(std::istream& in) : records_(in) {
    while (readRecord()) {
        if (isSkipped(record_.text)) continue;
        if (record_.tooLong) {
            fillRow(pending_.emplace());
            return;
        }
        separator_ = separatorOf(record_.text);
        const auto fields = splitFields(record_.text, separator_);
        if (!isHeader(fields) || record_.unterminated) {
            fillRow(pending_.emplace());
            return;
        }
        // A column that names no option holds a line of the label's text.
        for (std::size_t i = 2; i < fields.size(); ++i) {
            std::string name = lowered(fields[i]);
            if (!name.starts_with("--")) name = "--" + name;
            const bool option = std::find(drawingOptionNames.begin(), drawingOptionNames.end(),
                                          name) != drawingOptionNames.end();
            optionNames_.push_back(option ? name : std::string());
        }
        return;
    }
}

bool TableReader::next(Row& row) {
    if (pending_) {
        row = std::move(*pending_);
        pending_.reset();
        return true;
    }
    while (readRecord()) {
        if (isSkipped(record_.text)) continue;
        if (separator_ == 0 && !record_.tooLong) separator_ = separatorOf(record_.text);
        fillRow(row);
        return true;
    }
    return false;
}

// The data rows of a table that can be read twice (a file, not a pipe), by a quick pass that
// leaves the stream where it was; nothing when it cannot be rewound.
std::optional<std::size_t> countRows(std::istream& in) {
    const auto start = in.tellg();
    if (start == std::istream::pos_type(-1)) return std::nullopt;
    std::size_t rows = 0;
    bool first = true;
    char separator = 0;
    RecordReader::Record record;
    RecordReader records(in);
    while (records.read(record, separator)) {
        if (isSkipped(record.text)) continue;
        if (separator == 0 && !record.tooLong) separator = separatorOf(record.text);
        if (!first || record.tooLong || record.unterminated ||
            !isHeader(splitFields(record.text, separator)))
            ++rows;
        first = false;
    }
    if (in.bad()) return std::nullopt;
    in.clear();
    in.seekg(start);
    if (!in) return std::nullopt;
    return rows;
}

RowDrawing parseRow(const Row& row, const std::vector<std::string>& optionNames,
                    const DrawingArguments& defaults, DataChoice choice) {
    if (row.tooLong)
        throw UsageError("the row is longer than " + std::to_string(maxRowBytes) + " bytes");
    if (row.unterminated)
        throw UsageError(
            "a field opened with a double quote is not closed before the end of "
            "the table");
    for (const std::string& field : row.fields)
        if (field.find('\0') != std::string::npos)
            throw UsageError("the row holds a zero byte: is the table saved as text?");
    if (row.fields.size() < 2 || row.fields.size() > 2 + optionNames.size())
        throw UsageError("expected the symbology, the code" +
                         std::string(optionNames.empty() ? "" : " and options") + ", found " +
                         std::to_string(row.fields.size()) + " fields");
    RowDrawing drawing;
    drawing.arguments = defaults;
    drawing.hasSymbol = !row.fields[0].empty() || !row.fields[1].empty();
    if (drawing.hasSymbol) drawing.type = parseSymbology(row.fields[0]);
    drawing.arguments.pCode = row.fields[1];
    for (std::size_t i = 2; i < row.fields.size(); ++i) {
        const std::string& name = optionNames[i - 2];
        if (name.empty()) {
            drawing.lines.push_back(row.fields[i]);
        } else if (!row.fields[i].empty()) {
            applyDrawingOption(name, row.fields[i], drawing.arguments);
            if (name == "--chk") choice.check = drawing.arguments.pChk;
        }
    }
    // Trailing empty lines take no room on the label.
    while (!drawing.lines.empty() && drawing.lines.back().empty()) drawing.lines.pop_back();
    if (!drawing.hasSymbol) {
        if (drawing.lines.empty()) throw UsageError("the row has no symbol and no text");
        return drawing;
    }
    checkPositions(drawing.arguments);
    // A row is drawn or fails; how is not reported. A stream without a buffer drops the notes,
    // and one a thread spares making a stream for every row.
    thread_local std::ostream notes(nullptr);
    checkTypedData(drawing.type, drawing.arguments, choice, notes);
    return drawing;
}

Table readTable(std::istream& in, const DrawingArguments& defaults) {
    Table read;
    read.counted = countRows(in);
    TableReader table(in);
    DataChoice asGiven;  // the table as the methods get it, as readTable's users want it
    asGiven.asIs = true;
    Row row;
    while (table.next(row)) {
        TableRow& entry = read.rows.emplace_back();
        entry.number = row.number;
        entry.fields = row.fields;
        try {
            RowDrawing drawing = parseRow(row, table.optionNames(), defaults, asGiven);
            entry.type = drawing.type;
            entry.arguments = std::move(drawing.arguments);
        } catch (const UsageError& usage) {
            entry.failure = usage.what();
        }
    }
    return read;
}

}  // namespace quillet::cli
#endif
