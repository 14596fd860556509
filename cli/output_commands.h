// The commands that write real output through the cairo surface: draw, sheet and batch.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "assist/units.h"
#include "cli/command_line.h"
#include "surfaces/cairo/symbol_output.h"

namespace quillet::cli {

// --format --dpi --units --no-gridfit --gridfit --bar-reduction --margin, shared by the three.
extern const std::vector<std::string_view> outputOptionNames;
extern const std::vector<std::string_view> outputFlagNames;
// Applies one of them; false when the name is not an output option.
bool applyOutputOption(std::string_view name, std::string_view value, OutputSettings& settings);
std::string_view outputOptionsHelp();

// The format named by --format, else by the file's extension, else PNG for standard output that
// is not a terminal; a usage error when none says.
OutputFormat formatFor(std::string_view path, const std::optional<OutputFormat>& named,
                       bool outIsTerminal = true);

// The quiet zone each symbology's standard asks for, for settings.quietZones.
std::array<QuietZone, symbologyCount> standardQuietZones();

// --width (or --module), --height and --font-size as people write them ("0.33mm", "15mm",
// "10pt", or whole surface units as the methods take them), kept until the output settings
// are known.
// draw's and batch's module when none is given: two pixels at 96 dpi, with wide elements 2.25
// times the narrow ones as the methods' defaults make them at 15 twips.
inline constexpr std::int16_t defaultDrawWidth = 30;
inline constexpr std::string_view defaultDrawRatio = "6:2";

struct SizeOptions {
    std::optional<assist::Length> module;
    std::optional<assist::Length> height;
    std::optional<assist::Length> fontSize;
};
extern const std::vector<std::string_view> sizeOptionNames;
bool applySizeOption(std::string_view name, std::string_view value, SizeOptions& sizes);
// Sets pWidth and pHeight, and where a size needs it the surface's unit (settings.unitsPerInch)
// and a ratio of exactly 3:1 unless ratioGiven; a usage error for sizes of 0 or less or beyond
// the methods' 16 bits.
void resolveSizes(const SizeOptions& sizes, bool ratioGiven, DrawingArguments& arguments,
                  OutputSettings& settings);

// A usage error for PNG or PDF bytes to standard output ("-") when it is a terminal, which they
// would scramble; SVG and PostScript are text and may go there.
void refuseBinaryOnTerminal(std::string_view path, OutputFormat format, bool outIsTerminal);

// The creation date that reproducible builds ask for in SOURCE_DATE_EPOCH (seconds since 1970),
// if set and the format carries a date (PDF, PostScript); a value that is not such a number is
// a usage error for those formats only.
std::optional<std::int64_t> sourceDateEpoch(OutputFormat format);

// A usage error for a pX or pY so far out that a position in single precision can no longer
// hold the edges of what is drawn there exactly (the drawing would lose its bars).
void checkPositions(const DrawingArguments& args);

// The most threads a batch draws with, each writing one file at a time.
constexpr int maxBatchThreads = 64;

// A file that appears under its name only once it is complete: it is written without a name and
// linked in place by commit() (where the file system makes unnamed files), else under a temporary
// name beside it and renamed over it, so that an existing file stays as it was until then. The
// temporary file is removed when writing fails, when the OutputFile goes without a commit, and
// when the command is ended by SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU or
// SIGPIPE (which still end it); those a killed process left are removed by the next run that
// writes into their folder. A link is followed, also to a file yet to be made; a device or a pipe
// is written in place. Throws std::runtime_error saying why.
class OutputFile {
  public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& stream();
    // The bytes written as they are, after what went through stream(): for a file made whole in
    // memory, one call and no stream.
    void write(std::string_view bytes);
    void commit();
    void discard() noexcept;
    // Why writing failed, "" while it has not.
    std::string problem() const;

  private:
    class Buffer;
    std::string path_;    // as given, for messages
    std::string target_;  // the file it names, links followed
    std::string temporary_;
    int slot_ = -1;         // where the signal handler finds the temporary name
    bool unnamed_ = false;  // a new file without a name until it is linked in place whole
    int descriptor_ = -1;
    int writeError_ = 0;  // the first write's errno
    std::unique_ptr<Buffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
};

// A folder that many files are written into, as OutputFile writes each of them (whole or not at
// all, an existing file replaced and its permissions kept), opened once: each file is made and
// named relative to it, without its path being looked up again. Several threads may write
// through one.
class OutputFolder {
  public:
    // The folder as the files' paths begin ("out/"), for messages and the files written by path.
    explicit OutputFolder(std::string path);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Throws std::runtime_error saying why.
    void write(const std::string& name, std::string_view bytes) const;

  private:
    std::string path_;
    int descriptor_ = -1;  // -1: every file written by its path
    mutable std::atomic<bool> unnamedRefused_{false};
};

// Writes bytes to the file (whole or not at all), or to out when the path is "-". Throws
// std::runtime_error.
void writeOutput(std::string_view path, const std::string& bytes, std::ostream& out);

// `quillet draw SYMBOLOGY CODE -o FILE [options]`: 0 drawn, 1 a non-zero result or an output
// failure, 2 a failure towards the caller, 64 bad usage, 65 data the checks refuse.
// outIsTerminal: whether out is one.
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
    Symbology type;
    DrawingArguments arguments;
    std::optional<std::string> failure;
};
struct Table {
    std::optional<std::size_t> counted;
    std::vector<TableRow> rows;
};
Table readTable(std::istream& in, const DrawingArguments& defaults);

}  // namespace quillet::cli
