#ifdef QUILLET_WITH_CAIRO
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

#include "cli/command_line.h"
#include "cli/output_commands.h"

namespace quillet::cli {
namespace {

namespace fs = std::filesystem;

struct Row {
    std::size_t number;  // counting data rows from 1
    std::vector<std::string> fields;
    bool tooLong = false;  // longer than maxRowBytes: refused, its fields not kept
};

// A row holds a symbol's data and a few options; a longer line is refused rather than held, so
// that a line without an end cannot take the memory.
constexpr std::size_t maxRowBytes = std::size_t{1} << 20;

// The lines of a table as people save it: "\n" or "\r\n" endings, and the byte-order mark
// some programs put before UTF-8 text skipped. Text in UTF-16 is refused as a whole.
class LineReader {
  public:
    explicit LineReader(std::istream& in) : in_(in) {}

    // The next line without its ending; a line longer than maxRowBytes is read to its end and
    // kept only in part, and tooLong says so. False at the end or when reading failed.
    bool read(std::string& line, bool& tooLong) {
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

  private:
    static void checkEncoding(std::string& line) {
        constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
        if (line.starts_with(utf8Mark)) line.erase(0, utf8Mark.size());
        // UTF-16 starts with its mark, FF FE or FE FF; without one, ASCII letters are
        // followed or led by zero bytes.
        if (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF") ||
            line.find('\0') != std::string::npos)
            throw UsageError(
                "the table is UTF-16 text: save it as UTF-8 (\"CSV UTF-8\" in a spreadsheet)");
    }

    std::istream& in_;
    bool first_ = true;
};

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

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
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

// Reads the table a line at a time, so that a batch of any length holds one row in memory.
class TableReader {
  public:
    // Reads up to the first data row, taking the option names from a header row.
    explicit TableReader(std::istream& in) : lines_(in) {
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
            for (std::size_t i = 2; i < fields.size(); ++i) {
                std::string name = lowered(fields[i]);
                if (!name.starts_with("--")) name = "--" + name;
                if (std::find(drawingOptionNames.begin(), drawingOptionNames.end(), name) ==
                    drawingOptionNames.end())
                    throw UsageError("the header names an unknown option '" + fields[i] + "'");
                optionNames_.push_back(name);
            }
            return;
        }
    }

    const std::vector<std::string>& optionNames() const noexcept { return optionNames_; }
    std::size_t rowsRead() const noexcept { return rowCount_; }

    std::optional<Row> next() {
        if (pending_) return std::exchange(pending_, std::nullopt);
        while (readLine()) {
            if (isSkipped(line_)) continue;
            if (tooLong_) return Row{++rowCount_, {}, true};
            return Row{++rowCount_, splitFields(line_, separator_)};
        }
        return std::nullopt;
    }

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

// A folder named like an image or a document is most likely a mistake for a file.
bool isNamedLikeAFile(std::string_view path) {
    constexpr std::array<std::string_view, 21> fileExtensions = {
        "png", "svg", "jpg", "jpeg", "gif", "bmp",  "tif", "tiff", "webp", "eps", "emf",
        "txt", "csv", "tsv", "html", "xls", "xlsx", "ods", "doc",  "docx", "odt"};
    const std::string name = lowered(fs::path(path).filename().string());
    const auto dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 &&
           std::find(fileExtensions.begin(), fileExtensions.end(),
                     std::string_view(name).substr(dot + 1)) != fileExtensions.end();
}

// "0042-CODE39W.png": the row number, padded to the width of the last row's number so that the
// files sort in row order, and the code with everything but letters, digits, "-" and "." made
// "_".
std::string fileNameOf(std::size_t number, std::size_t numberWidth, std::string_view code,
                       OutputFormat format) {
    std::string name = std::to_string(number);
    if (name.size() < numberWidth) name.insert(0, numberWidth - name.size(), '0');
    name += '-';
    std::string safe;
    for (unsigned char c : code.substr(0, 48))
        safe.push_back(std::isalnum(c) || c == '-' || c == '.' ? static_cast<char>(c) : '_');
    name += safe.empty() ? "_" : safe;
    return name + "." + std::string(extensionOf(format));
}

// Rows from a pipe cannot be counted before they are drawn: their numbers take six digits.
constexpr std::size_t uncountedNumberWidth = 6;

// A bar towards the total when it is known, else a running count.
class Progress {
  public:
    Progress(std::ostream& err, bool shown, std::optional<std::size_t> total)
        : err_(err), shown_(shown && total != std::size_t{0}), total_(total) {}

    void update(std::size_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done != total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        if (!total_) {
            err_ << "\r" << done << " rows" << std::flush;
            return;
        }
        constexpr std::size_t barWidth = 40;
        const std::size_t filled = std::min(done, *total_) * barWidth / *total_;
        err_ << "\r[" << std::string(filled, '#') << std::string(barWidth - filled, '.') << "] "
             << done << "/" << *total_ << std::flush;
    }
    void clear() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }

  private:
    std::ostream& err_;
    bool shown_;
    std::optional<std::size_t> total_;
    std::chrono::steady_clock::time_point last_{};
};

struct Grid {
    int columns = 0;
    int rows = 0;
};

Grid parseGrid(std::string_view text) {
    const auto x = text.find_first_of("xX");
    Grid grid;
    if (x != std::string_view::npos) {
        grid.columns = parseInt16("--grid", text.substr(0, x));
        grid.rows = parseInt16("--grid", text.substr(x + 1));
    }
    // More labels than this to a page leave each too small to hold a symbol.
    constexpr int mostLabels = 200;
    if (grid.columns < 1 || grid.rows < 1 || grid.columns > mostLabels || grid.rows > mostLabels)
        throw UsageError("invalid value '" + std::string(text) +
                         "' for --grid: expected COLUMNSxROWS, such as 3x8, each from 1 to 200");
    return grid;
}

// Page sizes in millimetres.
struct PageSize {
    double width;
    double height;
};

PageSize parsePage(std::string_view text) {
    const std::string lower = lowered(text);
    if (lower == "a4") return {210, 297};
    if (lower == "letter") return {215.9, 279.4};
    const auto x = lower.find('x');
    if (x != std::string::npos) {
        const PageSize size{parseFloat("--page", std::string_view(lower).substr(0, x)),
                            parseFloat("--page", std::string_view(lower).substr(x + 1))};
        // From a small label to the largest page PDF readers show (200 inches).
        const auto within = [](double side) { return side >= 10 && side <= 5080; };
        if (within(size.width) && within(size.height)) return size;
    }
    throw UsageError("invalid value '" + std::string(text) +
                     "' for --page: expected a4, letter or WIDTHxHEIGHT in millimetres, each "
                     "from 10 to 5080");
}

struct RowDrawing {
    tBarcodeType type{};
    DrawingArguments arguments;
};

// The symbology, the code and the row's options over the command line's. Throws UsageError.
RowDrawing parseRow(const Row& row, const std::vector<std::string>& optionNames,
                    const DrawingArguments& defaults) {
    if (row.tooLong)
        throw UsageError("the row is longer than " + std::to_string(maxRowBytes) + " bytes");
    if (row.fields.size() < 2 || row.fields.size() > 2 + optionNames.size())
        throw UsageError("expected the symbology, the code" +
                         std::string(optionNames.empty() ? "" : " and options") + ", found " +
                         std::to_string(row.fields.size()) + " fields");
    RowDrawing drawing{parseSymbology(row.fields[0]), defaults};
    drawing.arguments.pCode = row.fields[1];
    for (std::size_t i = 2; i < row.fields.size(); ++i)
        if (!row.fields[i].empty())
            applyDrawingOption(optionNames[i - 2], row.fields[i], drawing.arguments);
    return drawing;
}

std::string resultMessage(std::int16_t result) {
    return "result " + std::to_string(result) + " (" + describeError(result) + ")";
}

std::string errorMessage(std::int32_t number) {
    return "error " + std::to_string(number) + " (" + describeError(number) + ") before drawing";
}

// What became of the rows of a folder batch, reported in row order although the workers finish
// them out of turn: a row done early waits here until the rows before it are in.
class RowReports {
  public:
    // Called with each row's number (counting from 1) and its failure, in row order.
    using Report = std::function<void(std::size_t, const std::optional<std::string>&)>;
    explicit RowReports(Report report) : report_(std::move(report)) {}

    void done(std::size_t number, std::optional<std::string> failure) {
        std::lock_guard lock(mutex_);
        waiting_.emplace(number, std::move(failure));
        for (auto next = waiting_.begin(); next != waiting_.end() && next->first == reported_ + 1;
             next = waiting_.erase(next))
            report_(++reported_, next->second);
    }

  private:
    Report report_;
    std::mutex mutex_;
    std::map<std::size_t, std::optional<std::string>> waiting_;  // at most one a worker
    std::size_t reported_ = 0;
};

// Threads when --threads does not say: one for each core, up to a few, since each holds its own
// raster and the disk is shared.
int defaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

}  // namespace

std::string_view batchHelp() {
    return "usage: quillet batch FILE -o OUT [options]\n"
           "\n"
           "Draws one symbol per row of FILE (- reads standard input). A row holds the\n"
           "symbology and the code, separated by tabs or commas (fields in double quotes may hold\n"
           "the separator; the symbology named as quillet draw --help lists), and then the\n"
           "values of the options a header row names:\n"
           "\n"
           "    symbology,code,chk,width\n"
           "    Code_39,CODE39,1,\n"
           "    EAN_13,590123412345,,30\n"
           "\n"
           "An empty field keeps the option's value from the command line. Without a header a\n"
           "row has just the two fields. Lines starting with # and empty lines are skipped.\n"
           "Rows are read, drawn and written one at a time, so a table of any length fits.\n"
           "\n"
           "OUT is a folder, which gets one file per row named from the row number and the code\n"
           "(0001-CODE39W.png; --format picks the format, PNG by default; the number has as many\n"
           "digits as the last row's, six when the rows come through a pipe), or a .pdf, which\n"
           "gets one symbol per page, or with --grid a label grid, or /dev/null, which draws\n"
           "and encodes every row in the --format and writes nothing (to time a batch without\n"
           "the disk). A row that fails is reported with its number and result, and the other\n"
           "rows are still drawn. A summary line ends the run; on a terminal a progress bar shows\n"
           "how far it is (a running count for a pipe). Exits 0 when every row was drawn, 1 when\n"
           "one failed.\n"
           "\n"
           "Every file is written under a temporary name and takes its own name only when it is\n"
           "complete. A .pdf or .ps OUT replaces an existing file only when at least one row was\n"
           "drawn and the whole document was written; if writing fails the batch stops there.\n"
           "\n"
           "Example: quillet batch labels.csv -o labels.pdf --grid 3x8\n"
           "\n"
           "  --grid CxR         C columns and R rows of labels per page (PDF output)\n"
           "  --page P           the grid's page: a4, letter or WIDTHxHEIGHT in mm, 10 to\n"
           "                     5080 each [a4]\n"
           "  --threads N        files: N threads each draw, encode and write whole rows,\n"
           "                     1 to 64 [one per core, up to 8]\n";
}

int runBatch(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err, bool showProgress) {
    DrawingArguments defaults;
    OutputSettings settings;
    std::string outputPath;
    std::optional<OutputFormat> namedFormat;
    std::optional<Grid> grid;
    PageSize page{210, 297};
    int threads = defaultThreads();
    bool toDocument = false, toNothing = false;
    std::ifstream inputFile;
    std::istream* input = &in;
    std::optional<TableReader> table;
    std::optional<std::size_t> rowTotal;
    try {
        std::vector<std::string_view> valued = outputOptionNames;
        valued.insert(valued.end(), {"-o", "--grid", "--page", "--threads"});
        valued.insert(valued.end(), drawingOptionNames.begin(), drawingOptionNames.end());
        std::vector<std::string_view> flags = outputFlagNames;
        flags.insert(flags.end(), {"--help", "-h"});
        const auto split = splitCommandLine(arguments, valued, flags);
        for (const auto& [name, value] : split.options) {
            if (name == "--help" || name == "-h") {
                out << batchHelp() << "\n" << outputOptionsHelp() << "\n" << drawingOptionsHelp();
                return 0;
            }
            if (name == "-o")
                outputPath = value;
            else if (name == "--grid")
                grid = parseGrid(value);
            else if (name == "--page")
                page = parsePage(value);
            else if (name == "--threads") {
                const auto [end, error] =
                    std::from_chars(value.data(), value.data() + value.size(), threads);
                if (error != std::errc() || end != value.data() + value.size() || threads < 1 ||
                    threads > maxBatchThreads)
                    throw UsageError("invalid value '" + value + "' for --threads: 1 to " +
                                     std::to_string(maxBatchThreads));
            } else if (applyOutputOption(name, value, settings)) {
                if (name == "--format") namedFormat = settings.format;
            } else {
                applyDrawingOption(name, value, defaults);
            }
        }
        if (split.positionals.size() != 1)
            throw UsageError("batch takes one FILE (see quillet batch --help)");
        if (outputPath.empty() || outputPath == "-")
            throw UsageError("batch needs -o OUT, a folder, a .pdf file or /dev/null");
        toNothing = outputPath == "/dev/null";
        const auto pathFormat = outputFormatOfPath(outputPath);
        toDocument = !toNothing && pathFormat && hasPages(*pathFormat);
        settings.format = toDocument ? *pathFormat : namedFormat.value_or(OutputFormat::png);
        if (grid && !toDocument) throw UsageError("--grid needs a .pdf or .ps output");
        if (!toDocument && !toNothing && isNamedLikeAFile(outputPath) &&
            !fs::is_directory(outputPath))
            throw UsageError("batch writes a folder of files (or one .pdf or .ps), and '" +
                             outputPath +
                             "' is named like a file: name the folder otherwise, or make it first");
        settings.creationTime = sourceDateEpoch();

        const std::string& inputPath = split.positionals[0];
        if (inputPath != "-") {
            inputFile.open(inputPath);
            if (!inputFile) throw UsageError("cannot read " + inputPath);
            input = &inputFile;
        } else if (in.rdbuf() == nullptr || !in.good()) {
            throw UsageError("standard input is closed: give the table's file, or pipe it in");
        }
        // Counted first, so that file names sort in row order and the bar knows its end.
        rowTotal = countRows(*input);
        table.emplace(*input);
        if (!toDocument && !toNothing) fs::create_directories(outputPath);
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
    } catch (const fs::filesystem_error& failure) {
        err << "quillet: cannot make the folder " << outputPath << ": " << failure.code().message()
            << "\n";
        return 1;
    }
    const std::size_t numberWidth =
        rowTotal ? std::to_string(*rowTotal).size() : uncountedNumberWidth;
    const auto& optionNames = table->optionNames();

    Progress progress(err, showProgress, rowTotal);
    std::size_t drawnCount = 0, failedCount = 0;
    const auto report = [&](std::size_t row, const std::string& message) {
        progress.clear();
        err << "quillet: row " << row << ": " << message << "\n";
        ++failedCount;
    };
    const auto finish = [&](int exitCode) {
        const std::size_t rowCount = table->rowsRead();
        progress.update(rowCount);
        progress.clear();
        if (input->bad()) {
            err << "quillet: reading the rows failed after row " << rowCount << "\n";
            exitCode = 1;
        }
        err << "quillet: " << rowCount << " rows: " << drawnCount << " drawn, " << failedCount
            << " failed\n";
        return failedCount == 0 ? exitCode : 1;
    };

    if (!toDocument) {
        // Each row is a file of its own, made whole by one worker: each takes the next row as
        // it finishes one, so that the threads stay busy whatever a row costs.
        RowReports reports([&](std::size_t number, const std::optional<std::string>& failure) {
            progress.update(number);
            if (failure)
                report(number, *failure);
            else
                ++drawnCount;
        });
        std::mutex reading;  // the table, and the first failure to read it
        std::string readingFailure;
        const auto nextRow = [&]() -> std::optional<Row> {
            std::lock_guard lock(reading);
            if (!readingFailure.empty()) return std::nullopt;
            try {
                return table->next();
            } catch (const std::exception& failure) {
                readingFailure = failure.what();
                return std::nullopt;
            }
        };
        const auto work = [&] {
            SymbolFiles files(settings);
            std::string bytes;
            while (const std::optional<Row> row = nextRow()) {
                std::optional<std::string> failure;
                try {
                    const RowDrawing drawing = parseRow(*row, optionNames, defaults);
                    const SymbolDrawing drawn = files.draw(drawing.type, drawing.arguments);
                    if (drawn.result != 0) {
                        failure = resultMessage(drawn.result);
                    } else {
                        files.encode(bytes);
                        const std::string name =
                            fileNameOf(row->number, numberWidth, drawn.code, settings.format);
                        if (!toNothing)
                            writeOutput((fs::path(outputPath) / name).string(), bytes, out);
                    }
                } catch (const RuntimeError& error) {
                    failure = errorMessage(error.number());
                } catch (const std::exception& error) {
                    failure = error.what();
                }
                reports.done(row->number, std::move(failure));
            }
        };
        std::vector<std::thread> helpers;
        try {
            for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
        } catch (const std::system_error&) {
            // The threads the system gives are enough: this one works as well.
        }
        work();
        for (auto& helper : helpers) helper.join();
        if (!readingFailure.empty()) {
            progress.clear();
            err << "quillet: " << readingFailure << "\n";
            return finish(1);
        }
        return finish(0);
    }

    // The document replaces OUT only once it is complete and holds a symbol.
    std::optional<OutputFile> documentFile;
    try {
        documentFile.emplace(outputPath);
    } catch (const std::exception& failure) {
        err << "quillet: " << failure.what() << "\n";
        return 1;
    }
    std::optional<Document> document;
    document.emplace(documentFile->stream(), settings);
    constexpr double pointsPerMillimetre = 72 / 25.4;
    const double pageWidth = page.width * pointsPerMillimetre;
    const double pageHeight = page.height * pointsPerMillimetre;
    std::size_t placed = 0;  // labels on the grid so far
    bool writeFailed = false;
    while (const std::optional<Row> row = table->next()) {
        progress.update(row->number - 1);
        try {
            const RowDrawing drawing = parseRow(*row, optionNames, defaults);
            if (!grid) {
                const SymbolDrawing drawn =
                    drawSymbolPage(*document, drawing.type, drawing.arguments, settings);
                if (drawn.result != 0) {
                    report(row->number, resultMessage(drawn.result));
                    continue;
                }
            } else {
                const SymbolDrawing measured =
                    measureSymbol(drawing.type, drawing.arguments, settings);
                if (measured.result != 0) {
                    report(row->number, resultMessage(measured.result));
                    continue;
                }
                const std::size_t perPage = static_cast<std::size_t>(grid->columns * grid->rows);
                if (placed % perPage == 0) {
                    document->endPage();
                    document->beginPage(pageWidth, pageHeight);
                }
                const double cellWidth = pageWidth / grid->columns;
                const double cellHeight = pageHeight / grid->rows;
                const std::size_t cell = placed % perPage;
                const double margin = measured.margin * settings.devicePerUnit();
                const double left = cellWidth * static_cast<double>(cell % grid->columns) +
                                    (cellWidth - measured.pageWidth) / 2 + margin;
                const double top = cellHeight * static_cast<double>(cell / grid->columns) +
                                   (cellHeight - measured.pageHeight) / 2 + margin;
                if (measured.pageWidth > cellWidth || measured.pageHeight > cellHeight) {
                    progress.clear();
                    err << "quillet: row " << row->number
                        << ": the symbol is larger than its label\n";
                }
                const std::int16_t result =
                    drawSymbolAt(document->page(), drawing.type, drawing.arguments, settings,
                                 measured, left, top);
                ++placed;
                if (result != 0) {
                    report(row->number, resultMessage(result));
                    continue;
                }
            }
            ++drawnCount;
        } catch (const WriteError& failure) {
            const std::string problem = documentFile->problem();
            report(row->number, problem.empty() ? failure.what() : problem);
            writeFailed = true;
            break;
        } catch (const UsageError& usage) {
            report(row->number, usage.what());
        } catch (const RuntimeError& failure) {
            report(row->number, errorMessage(failure.number()));
        } catch (const std::exception& failure) {
            report(row->number, failure.what());
        }
    }
    if (!writeFailed && drawnCount > 0) {
        try {
            document->finish();
            document.reset();
            documentFile->commit();
            return finish(0);
        } catch (const std::exception& failure) {
            const std::string problem = documentFile->problem();
            progress.clear();
            err << "quillet: " << (problem.empty() ? failure.what() : problem) << "\n";
        }
    }
    // Nothing reached OUT: whatever was there before stays.
    document.reset();
    documentFile->discard();
    progress.clear();
    err << "quillet: " << outputPath << " was not written"
        << (fs::exists(outputPath) ? ", and is left as it was" : "") << "\n";
    failedCount += drawnCount;
    drawnCount = 0;
    return finish(1);
}

Table readTable(std::istream& in, const DrawingArguments& defaults) {
    Table read;
    read.counted = countRows(in);
    TableReader table(in);
    while (std::optional<Row> row = table.next()) {
        TableRow& entry = read.rows.emplace_back();
        entry.number = row->number;
        entry.fields = row->fields;
        try {
            RowDrawing drawing = parseRow(*row, table.optionNames(), defaults);
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
