#ifdef QUILLET_WITH_CAIRO
#include "cli/batch/table_reader.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "cli/command_line.h"
#include "cli/output_commands.h"

namespace quillet::cli {
namespace {

void checkEncoding(std::string& line) {
    constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
    if (line.starts_with(utf8Mark)) line.erase(0, utf8Mark.size());
    // UTF-16 starts with its mark, FF FE or FE FF; without one, ASCII letters are
    // followed or led by zero bytes.
    if (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF") ||
        line.find('\0') != std::string::npos)
        throw UsageError(
            "the table is UTF-16 text: save it as UTF-8 (\"CSV UTF-8\" in a spreadsheet)");
}

// One line of fields; a field in double quotes may hold the separator, "" stands for a quote.
std::vector<std::string> splitFields(std::string_view line, char separator) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back().push_back('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back().push_back(c);
            }
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else if (c == separator) {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

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

bool LineReader::read(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* bytes = in_.rdbuf();
    if (bytes == nullptr || !in_.good()) return false;
    bool any = false;
    try {
        for (;;) {
            const int c = bytes->sbumpc();
            if (c == std::char_traits<char>::eof()) {
                in_.setstate(std::ios::eofbit);
                break;
            }
            any = true;
            if (c == '\n') break;
            if (line.size() < maxRowBytes)
                line.push_back(static_cast<char>(c));
            else
                tooLong = true;
        }
    } catch (const std::exception&) {  // a file that cannot be read, such as a folder
        in_.setstate(std::ios::badbit);
        return false;
    }
    if (!any) return false;
    if (!tooLong && !line.empty() && line.back() == '\r') line.pop_back();
    if (std::exchange(first_, false)) checkEncoding(line);
    return true;
}

TableReader::TableReader(std::istream& in) : lines_(in) {
    while (readLine()) {
        if (isSkipped(line_)) continue;
        if (tooLong_) {
            pending_ = Row{++rowCount_, {}, true};
            return;
        }
        separator_ = separatorOf(line_);
        auto fields = splitFields(line_, separator_);
        if (!isHeader(fields)) {
            pending_ = Row{++rowCount_, std::move(fields)};
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

std::optional<Row> TableReader::next() {
    if (pending_) return std::exchange(pending_, std::nullopt);
    while (readLine()) {
        if (isSkipped(line_)) continue;
        if (tooLong_) return Row{++rowCount_, {}, true};
        return Row{++rowCount_, splitFields(line_, separator_)};
    }
    return std::nullopt;
}

// The data rows of a table that can be read twice (a file, not a pipe), by a quick pass that
// leaves the stream where it was; nothing when it cannot be rewound.
std::optional<std::size_t> countRows(std::istream& in) {
    const auto start = in.tellg();
    if (start == std::istream::pos_type(-1)) return std::nullopt;
    std::size_t rows = 0;
    bool first = true, tooLong = false;
    std::string line;
    LineReader lines(in);
    while (lines.read(line, tooLong)) {
        if (isSkipped(line)) continue;
        if (!first || tooLong || !isHeader(splitFields(line, separatorOf(line)))) ++rows;
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
    std::ostringstream notes;  // a row is drawn or fails; how is not reported
    checkTypedData(drawing.type, drawing.arguments, choice, notes);
    return drawing;
}

Table readTable(std::istream& in, const DrawingArguments& defaults) {
    Table read;
    read.counted = countRows(in);
    TableReader table(in);
    DataChoice asGiven;  // the table as the methods get it, as readTable's users want it
    asGiven.asIs = true;
    while (std::optional<Row> row = table.next()) {
        TableRow& entry = read.rows.emplace_back();
        entry.number = row->number;
        entry.fields = row->fields;
        try {
            RowDrawing drawing = parseRow(*row, table.optionNames(), defaults, asGiven);
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
