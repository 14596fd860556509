#ifdef QUILLET_WITH_CAIRO

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

#include "assist/labels.h"
#include "assist/units.h"
#include "cli/batch/file_names.h"
#include "cli/batch/label_content.h"
#include "cli/batch/table_reader.h"
#include "cli/batch/workers.h"
#include "cli/command_line.h"
#include "cli/messages.h"
#include "cli/output_commands.h"
#include "cli/progress.h"
#include "surfaces/cairo/cairo_surface.h"

namespace quillet::cli {
namespace {

namespace fs = std::filesystem;

struct BatchOptions {
    DrawingArguments defaults;
    OutputSettings settings;
    DataChoice data;
    std::string inputPath, outputPath;
    std::optional<assist::SheetLayout> sheet;  // labels on pages, with --grid or --template
    int threads = defaultThreads();
    bool toDocument = false, toNothing = false;
    bool fit = false;   // labels larger than their cell scaled down, not refused
    bool help = false;  // --help came before any bad option
};

// One length or two separated by a comma ("15", "15,7", "0.5in,0.1875in"), millimetres by
// default: the first for top and bottom or across, the second for the sides or down.
std::pair<double, double> parseMillimetrePair(std::string_view option, std::string_view text) {
    const auto comma = text.find(',');
    const auto one = [&](std::string_view part) {
        const auto length = assist::parseLength(part);
        if (!length || length->value < 0 || length->unit == assist::LengthUnit::pixels)
            throw UsageError("invalid value '" + std::string(text) + "' for " +
                             std::string(option) +
                             ": expected one or two sizes such as 5 or 5,3 (millimetres, or "
                             "with mm, in or pt)");
        return length->unit == assist::LengthUnit::surface ? length->value
                                                           : assist::inchesOf(*length, 1, 1) * 25.4;
    };
    if (comma == std::string_view::npos) {
        const double both = one(text);
        return {both, both};
    }
    return {one(text.substr(0, comma)), one(text.substr(comma + 1))};
}

// Throws UsageError.
BatchOptions parseBatchOptions(const std::vector<std::string>& arguments) {
    BatchOptions options;
    std::optional<OutputFormat> namedFormat;
    SizeOptions sizes;
    bool ratioGiven = false, unitsGiven = false, marginGiven = false;
    std::vector<std::string_view> valued = outputOptionNames;
    valued.insert(valued.end(),
                  {"-o", "--grid", "--page", "--threads", "--template", "--page-margin", "--gap"});
    std::optional<assist::Grid> grid;
    assist::PageSize page{210, 297};
    std::optional<std::string> templateName;
    std::pair<double, double> pageMargin{0, 0}, gap{0, 0};
    bool sheetSpacingGiven = false;
    valued.insert(valued.end(), drawingOptionNames.begin(), drawingOptionNames.end());
    valued.insert(valued.end(), dataOptionNames.begin(), dataOptionNames.end());
    valued.insert(valued.end(), sizeOptionNames.begin(), sizeOptionNames.end());
    std::vector<std::string_view> flags = outputFlagNames;
    flags.insert(flags.end(), {"--help", "-h", "--fit"});
    flags.insert(flags.end(), dataFlagNames.begin(), dataFlagNames.end());
    const auto split = splitCommandLine(arguments, valued, flags);
    for (const auto& [name, value] : split.options) {
        if (name == "--help" || name == "-h") {
            options.help = true;
            return options;
        }
        if (name == "--fit")
            options.fit = true;
        else if (name == "-o")
            options.outputPath = value;
        else if (name == "--grid") {
            grid = assist::parseGrid(value);
            if (!grid)
                throw UsageError("invalid value '" + value +
                                 "' for --grid: expected COLUMNSxROWS, such as 3x8, each from 1 "
                                 "to 200");
        } else if (name == "--page") {
            const auto size = assist::parsePage(value);
            if (!size)
                throw UsageError("invalid value '" + value +
                                 "' for --page: expected a4, letter or WIDTHxHEIGHT in "
                                 "millimetres, each from 10 to 5080");
            page = *size;
        } else if (name == "--template") {
            if (!assist::sheetTemplateNamed(value))
                throw UsageError("unknown label sheet '" + value + "': one of " +
                                 std::string(assist::sheetTemplateList()));
            templateName = value;
        } else if (name == "--page-margin") {
            pageMargin = parseMillimetrePair(name, value);
            sheetSpacingGiven = true;
        } else if (name == "--gap") {
            gap = parseMillimetrePair(name, value);
            sheetSpacingGiven = true;
        } else if (name == "--threads") {
            int& threads = options.threads;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), threads);
            if (error != std::errc() || end != value.data() + value.size() || threads < 1 ||
                threads > maxBatchThreads)
                throw UsageError("invalid value '" + value + "' for --threads: 1 to " +
                                 std::to_string(maxBatchThreads));
        } else if (applyOutputOption(name, value, options.settings)) {
            if (name == "--format") namedFormat = options.settings.format;
            unitsGiven |= name == "--units";
            marginGiven |= name == "--margin";
        } else if (!applyDataOption(name, value, options.data) &&
                   !applySizeOption(name, value, sizes)) {
            applyDrawingOption(name, value, options.defaults);
            ratioGiven |= name == "--ratio";
            if (name == "--chk") options.data.check = options.defaults.pChk;
        }
    }
    if (split.positionals.size() != 1)
        throw UsageError("batch takes one FILE (see quillet batch --help)");
    options.inputPath = split.positionals[0];
    const std::string& outputPath = options.outputPath;
    if (outputPath.empty() || outputPath == "-")
        throw UsageError("batch needs -o OUT, a folder, a .pdf file or /dev/null");
    options.toNothing = outputPath == "/dev/null";
    const auto pathFormat = outputFormatOfPath(outputPath);
    options.toDocument = !options.toNothing && pathFormat && hasPages(*pathFormat);
    options.settings.format =
        options.toDocument ? *pathFormat : namedFormat.value_or(OutputFormat::png);
    if (templateName && grid)
        throw UsageError("--template names the sheet's grid: leave out --grid");
    if (templateName) {
        options.sheet = assist::sheetTemplateNamed(*templateName);
    } else if (grid) {
        options.sheet = assist::gridLayout(*grid, page, pageMargin.first, pageMargin.second,
                                           gap.first, gap.second);
        if (!options.sheet)
            throw UsageError("--page-margin and --gap leave no room for the labels of --grid");
    } else if (sheetSpacingGiven) {
        throw UsageError("--page-margin and --gap go with --grid");
    }
    if (options.sheet && !options.toDocument)
        throw UsageError("--grid and --template need a .pdf or .ps output");
    if (options.fit && !options.sheet) throw UsageError("--fit needs --grid or --template");
    if (!options.toDocument && !options.toNothing && isNamedLikeAFile(outputPath) &&
        !fs::is_directory(outputPath))
        throw UsageError("batch writes a folder of files (or one .pdf or .ps), and '" + outputPath +
                         "' is named like a file: name the folder otherwise, or make it first");
    options.settings.creationTime = sourceDateEpoch(options.settings.format);
    // As draw: two-pixel modules at 96 dpi, quiet zones by each row's standard.
    if (!sizes.module && !unitsGiven) {
        options.defaults.pWidth = defaultDrawWidth;
        if (!ratioGiven) options.defaults.pRatio = defaultDrawRatio;
    }
    resolveSizes(sizes, ratioGiven, options.defaults, options.settings);
    checkPositions(options.defaults);
    if (!marginGiven) {
        options.settings.quietZones = standardQuietZones();
        // On a label the symbol needs its quiet zones beside it, not room above and below.
        if (options.sheet) options.settings.marginModules = 1;
    }
    return options;
}

// fontconfig reads its configuration the first time any font is looked up, milliseconds in
// which no row could be drawn: a thread of its own looks up the rows' default font while the table
// is counted, and the workers find it ready.
class FontLookUp {
  public:
    explicit FontLookUp(const DrawingArguments& defaults) {
        try {
            thread_ = std::thread(findFontAhead, defaults.pFont, defaults.pBold);
        } catch (const std::system_error&) {
            // The first row looks it up instead.
        }
    }
    FontLookUp(const FontLookUp&) = delete;
    FontLookUp& operator=(const FontLookUp&) = delete;
    ~FontLookUp() { wait(); }

    void wait() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

// What the rows came to, told on err as it happens: each failed row with its number, a
// progress bar on a terminal, and a summary at the end.
class RowLog {
  public:
    RowLog(std::ostream& err, bool showProgress, std::optional<std::size_t> total,
           const TableReader& table, const std::istream& input)
        : err_(err), progress_(err, showProgress, total), table_(table), input_(input) {}

    void update(std::size_t done) { progress_.update(done); }
    void drawn() { ++drawnCount_; }
    std::size_t drawnCount() const noexcept { return drawnCount_; }
    // A row whose data the checks refused: with only such failures the batch exits 65.
    void refused(std::size_t row, const std::string& message) {
        failed(row, message);
        ++refusedCount_;
    }
    void failed(std::size_t row, const std::string& message) {
        say("row " + std::to_string(row) + ": " + message);
        ++failedCount_;
    }
    void say(const std::string& message) {
        progress_.clear();
        err_ << "quillet: " + message + "\n";  // in one write, on an unbuffered stream
    }
    // The rows drawn into an output that was not written count as failed.
    void lost() {
        failedCount_ += drawnCount_;
        drawnCount_ = 0;
    }
    // The summary; the exit code: 1 when a row failed or reading the table did, 65 when every
    // row that failed had data the checks refused.
    int finish(int exitCode) {
        const std::size_t rowCount = table_.rowsRead();
        progress_.update(rowCount);
        progress_.clear();
        if (input_.bad()) {
            err_ << "quillet: reading the rows failed after row " << rowCount << "\n";
            exitCode = 1;
        }
        err_ << "quillet: " + std::to_string(rowCount) + " rows: " + std::to_string(drawnCount_) +
                    " drawn, " + std::to_string(failedCount_) + " failed\n";
        if (failedCount_ == 0 || exitCode != 0) return exitCode;
        return failedCount_ == refusedCount_ ? exitDataError : 1;
    }

  private:
    std::ostream& err_;
    Progress progress_;
    const TableReader& table_;
    const std::istream& input_;
    std::size_t drawnCount_ = 0, failedCount_ = 0, refusedCount_ = 0;
};

// Each row a file of its own in the folder (or encoded and dropped, for /dev/null).
int drawIntoFolder(TableReader& table, const BatchOptions& options,
                   std::optional<std::size_t> rowTotal, RowLog& log) {
    const std::size_t numberWidth =
        rowTotal ? std::to_string(*rowTotal).size() : uncountedNumberWidth;
    // The folder as the files' paths begin, "/" added as a path joined to it would have it.
    std::optional<OutputFolder> folder;
    if (!options.toNothing)
        folder.emplace(options.outputPath.ends_with('/') ? options.outputPath
                                                         : options.outputPath + '/');
    const auto makeWorker = [&]() -> RowWork {
        auto files = std::make_shared<SymbolFiles>(options.settings);
        auto bytes = std::make_shared<std::string>();
        auto name = std::make_shared<std::string>();
        return [&, files, bytes, name](const Row& row) -> std::optional<RowFailure> {
            std::optional<RowDrawing> parsed;
            try {
                parsed = parseRow(row, table.optionNames(), options.defaults, options.data);
            } catch (const DataError& refused) {
                return RowFailure{refused.what(), true};
            }
            const RowDrawing& drawing = *parsed;
            const SymbolDrawing drawn = files->draw(drawing.type, drawing.arguments);
            if (drawn.result != 0) return RowFailure{resultMessage(drawn.result), false};
            files->encode(*bytes);
            if (folder) {
                fileNameOf(row.number, numberWidth, drawn.code, options.settings.format, *name);
                folder->write(*name, *bytes);
            }
            return std::nullopt;
        };
    };
    const std::string readingFailure =
        drawRows(table, options.threads, rowTotal, makeWorker,
                 [&](std::size_t number, const std::optional<RowFailure>& failure) {
                     log.update(number);
                     if (!failure)
                         log.drawn();
                     else if (failure->refused)
                         log.refused(number, failure->message);
                     else
                         log.failed(number, failure->message);
                 });
    if (!readingFailure.empty()) {
        log.say(readingFailure);
        return log.finish(1);
    }
    return log.finish(0);
}

// One document: a symbol a page, or labels on a grid. It replaces OUT only once it is complete
// and holds a symbol.
int drawIntoDocument(TableReader& table, const BatchOptions& options, RowLog& log) {
    const OutputSettings& settings = options.settings;
    std::optional<OutputFile> documentFile;
    try {
        documentFile.emplace(options.outputPath);
    } catch (const std::exception& failure) {
        log.say(failure.what());
        return 1;
    }
    std::optional<Document> document;
    document.emplace(documentFile->stream(), settings);
    const std::optional<assist::SheetLayout>& sheet = options.sheet;
    constexpr double pointsPerMillimetre = 72 / 25.4;
    std::size_t placed = 0, pagesBegun = 0;  // labels and pages on the sheets so far
    bool writeFailed = false;
    Row row;
    while (table.next(row)) {
        log.update(row.number - 1);
        try {
            const RowDrawing drawing =
                parseRow(row, table.optionNames(), options.defaults, options.data);
            if (!sheet) {
                if (!drawing.hasSymbol)
                    throw UsageError(
                        "a row without a symbol is a label's text: use --grid or "
                        "--template");
                const SymbolDrawing drawn =
                    drawSymbolPage(*document, drawing.type, drawing.arguments, settings);
                if (drawn.result != 0) {
                    log.failed(row.number, resultMessage(drawn.result));
                    continue;
                }
            } else {
                if (placed / sheet->perPage() == pagesBegun) {
                    document->endPage();
                    // The largest page, 5080 mm, is 14400 points to the last digit: a product a
                    // hair above it would be refused as a page beyond what readers show.
                    document->beginPage(
                        std::min(sheet->page.width * pointsPerMillimetre, maxPagePoints),
                        std::min(sheet->page.height * pointsPerMillimetre, maxPagePoints));
                    ++pagesBegun;
                }
                // A label refused before drawing stays free for the next row.
                const auto failure = drawLabel(document->page(), sheet->label(placed), drawing,
                                               settings, options.fit);
                if (failure) {
                    log.failed(row.number, *failure);
                    continue;
                }
                ++placed;
            }
            log.drawn();
        } catch (const WriteError& failure) {
            const std::string problem = documentFile->problem();
            log.failed(row.number, problem.empty() ? failure.what() : problem);
            writeFailed = true;
            break;
        } catch (const UsageError& usage) {
            log.failed(row.number, usage.what());
        } catch (const DataError& refused) {
            log.refused(row.number, refused.what());
        } catch (const RuntimeError& failure) {
            log.failed(row.number, errorMessage(failure.number()));
        } catch (const std::exception& failure) {
            log.failed(row.number, failure.what());
        }
    }
    if (!writeFailed && log.drawnCount() > 0) {
        try {
            document->finish();
            document.reset();
            documentFile->commit();
            return log.finish(0);
        } catch (const std::exception& failure) {
            const std::string problem = documentFile->problem();
            log.say(problem.empty() ? failure.what() : problem);
        }
    }
    // Nothing reached OUT: whatever was there before stays.
    document.reset();
    documentFile->discard();
    log.say(options.outputPath + " was not written" +
            (fs::exists(options.outputPath) ? ", and is left as it was" : ""));
    log.lost();
    return log.finish(1);
}

}  // namespace

std::string_view batchHelp() {
    return "usage: quillet batch FILE -o OUT [options]\n"
           "\n"
           "Draws one symbol per row of FILE (- reads standard input). A row holds the\n"
           "symbology and the code, separated by tabs or commas (fields in double quotes may hold\n"
           "the separator and line breaks; the symbology named as quillet draw --help lists),\n"
           "and then the values of the options a header row names:\n"
           "\n"
           "    symbology,code,chk,width\n"
           "    Code_39,CODE39,1,\n"
           "    EAN_13,590123412345,,30\n"
           "\n"
           "An empty field keeps the option's value from the command line. Without a header a\n"
           "row has just the two fields. Lines starting with # and empty lines are skipped.\n"
           "Rows are read, drawn and written one at a time, so a table of any length fits.\n"
           "Each code is checked as quillet draw checks it; a row it refuses fails with the\n"
           "reason (--as-is passes the codes untouched).\n"
           "\n"
           "Labels: with --template or --grid, columns of the header that name no option are the\n"
           "label's text, one line each, printed below the symbol (beside it on a low label) in\n"
           "the row's --font and --font-size; a row may leave the symbology and the code empty\n"
           "for a label of text only. A label whose contents do not fit fails its row.\n"
           "\n"
           "    symbology,code,name,street,city\n"
           "    code128,C1001,Ada Lovelace,12 Example Road,Springfield IL 62701\n"
           "    ,,Charles Babbage,1 Engine Lane,Springfield IL 62702\n"
           "\n"
           "    quillet batch addresses.csv -o labels.pdf --template 5160 --module 0.25mm\n"
           "            --height 6mm --font-size 7\n"
           "\n"
           "OUT is a folder, which gets one file per row named from the row number and the code\n"
           "(0001-CODE39W.png; --format picks the format, PNG by default; the number has as many\n"
           "digits as the last row's, six when the rows come through a pipe), or a .pdf, which\n"
           "gets one symbol per page, or labels with --template or --grid, or /dev/null, which\n"
           "draws and encodes every row in the --format and writes nothing (to time a batch\n"
           "without the disk). A row that fails is reported with its number and why, and the\n"
           "other rows are still drawn. A summary line ends the run; on a terminal a progress bar\n"
           "shows how far it is (a running count for a pipe). Exits 0 when every row was drawn, "
           "65\n"
           "when the rows that failed all had data the checks refused, 1 otherwise.\n"
           "\n"
           "Every file is written under a temporary name and takes its own name only when it is\n"
           "complete. A .pdf or .ps OUT replaces an existing file only when at least one row was\n"
           "drawn and the whole document was written; if writing fails the batch stops there.\n"
           "\n"
           "Example: quillet batch labels.csv -o labels.pdf --template L7160\n"
           "\n"
           "  --template NAME    a label sheet by its name, with its page, margins and label\n"
           "                     size: "
           "Avery 5160, 5163, 5167 (letter), L7160, L7163, L7651\n"
           "                     (A4)\n"
           "  --grid CxR         C columns and R rows of labels per page, for other sheets\n"
           "  --page P           the grid's page: a4, letter or WIDTHxHEIGHT in mm, 10 to\n"
           "                     5080 each [a4]\n"
           "  --page-margin M    the grid's page margins: top and bottom, then the sides\n"
           "                     (\"12,7\"; mm, or with mm, in or pt) [0]\n"
           "  --gap G            space between the grid's labels: across, then down [0]\n"
           "  --fit              a label larger than its cell is scaled down to fit it (without,\n"
           "                     the row fails)\n"
           "  --threads N        files: N threads each draw, encode and write whole rows,\n"
           "                     1 to 64 [one per core, up to 8]\n"
           "  --as-is, --set, --bearers, --module, --height, --font-size  as quillet draw takes\n"
           "                      them\n";
}

int runBatch(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err, bool showProgress) {
    BatchOptions options;
    std::ifstream inputFile;
    std::istream* input = &in;
    std::optional<TableReader> table;
    std::optional<std::size_t> rowTotal;
    std::optional<FontLookUp> fontLookUp;
    try {
        options = parseBatchOptions(arguments);
        if (options.help) {
            out << batchHelp() << "\n" << outputOptionsHelp() << "\n" << drawingOptionsHelp();
            return 0;
        }
        if (options.inputPath != "-") {
            inputFile.open(options.inputPath);
            if (!inputFile) throw UsageError("cannot read " + options.inputPath);
            input = &inputFile;
        } else if (in.rdbuf() == nullptr || !in.good()) {
            throw UsageError("standard input is closed: give the table's file, or pipe it in");
        }
        // Not for rows without text, which need no font (a row that asks for text in a column
        // of its own finds the font then).
        if (options.defaults.pText != 0 || options.sheet) fontLookUp.emplace(options.defaults);
        // Counted first, so that file names sort in row order and the bar knows its end.
        rowTotal = countRows(*input);
        table.emplace(*input);
        if (!options.toDocument && !options.toNothing) fs::create_directories(options.outputPath);
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
    } catch (const fs::filesystem_error& failure) {
        err << "quillet: cannot make the folder " << options.outputPath << ": "
            << failure.code().message() << "\n";
        return 1;
    }
    if (fontLookUp) fontLookUp->wait();  // the first row's text needs it anyway
    RowLog log(err, showProgress, rowTotal, *table, *input);
    if (options.toDocument) return drawIntoDocument(*table, options, log);
    return drawIntoFolder(*table, options, rowTotal, log);
}

}  // namespace quillet::cli
#endif
