// Command-line handling shared by the quillet commands.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/quillet.h"

namespace quillet::cli {

inline constexpr int exitUsage = 64;
inline constexpr int exitDataError = 65;

// A bad option or value: the message is shown to the user and the command exits 64.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Data that no symbol should be drawn from: the messages say why, one per line; the command
// exits 65.
struct DataError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Writes each line of a message after "quillet: ".
void printMessage(std::ostream& err, std::string_view message);

struct SplitCommandLine {
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options;  // "--x" -> "10"; flags -> ""
};

// Options may stand before or after the positional arguments; "--name value" and "--name=value"
// both work; "--" ends the options so that data beginning with "-" can follow. Options named in
// flags take no value. Any other name must be one of valued.
SplitCommandLine splitCommandLine(const std::vector<std::string>& arguments,
                                  const std::vector<std::string_view>& valued,
                                  const std::vector<std::string_view>& flags = {});

// The options every drawing command shares, with their defaults (DrawingArguments):
// --x --y --width --height --text --bold --font --fore --line --ratio --chk.
extern const std::vector<std::string_view> drawingOptionNames;
// Applies one of them; false when the name is not a drawing option.
bool applyDrawingOption(std::string_view name, std::string_view value, DrawingArguments& args);

// How typed data reaches the method: checked first (assist::checkData) unless --as-is, with
// --set choosing Code 128's code set and --chk, when given, the check characters.
struct DataChoice {
    bool asIs = false;
    std::optional<char> codeSet;
    std::optional<bool> check;
    std::optional<std::string> bearers;  // ITF-14's bearer bars, "5:frame" unless given
};
// --set, --bearers and the flag --as-is.
extern const std::vector<std::string_view> dataOptionNames;
extern const std::vector<std::string_view> dataFlagNames;
// Applies --set or --as-is; false for any other name.
bool applyDataOption(std::string_view name, std::string_view value, DataChoice& choice);
// Checks the typed pCode unless the choice says --as-is, and puts in type and arguments what
// draws it (an ISBN beginning 979 becomes EAN-13; Code 128 gets the automatic sets, or the set
// letter that --set chooses; EAN-13, UPC-A and UPC-E data with "+05" its add-on). Throws
// DataError with the refusals; notes on how the data is drawn go to notes.
void checkTypedData(Symbology& type, DrawingArguments& arguments, const DataChoice& choice,
                    std::ostream& notes);

// A barcode type by its name or by the names other tools use; see symbologyHelp().
Symbology parseSymbology(std::string_view name);
std::string_view symbologyHelp();
float parseFloat(std::string_view option, std::string_view text);
std::int16_t parseInt16(std::string_view option, std::string_view text);
std::int32_t parseInt32(std::string_view option, std::string_view text);
bool parseBool(std::string_view option, std::string_view text);

// The text in lower case (ASCII letters only), for names and values given in any case.
std::string lowered(std::string_view text);

// The help text of the drawing options, for each command's --help.
std::string_view drawingOptionsHelp();

// `quillet trace SYMBOLOGY CODE [options]`: draws on a recording surface and prints the trace,
// "Result<TAB>n" and "pCode<TAB>...". The data goes to the method as typed unless --check asks
// for the checks draw makes. Returns the exit code (0, 2 for a failure towards the caller, 64
// for bad usage, 65 for data --check refuses).
int runTrace(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
std::string_view traceHelp();

}  // namespace quillet::cli
