#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>

#include "assist/checks.h"
#include "assist/values.h"
#include "surfaces/recording_surface.h"

namespace quillet::cli {
namespace {

bool contains(const std::vector<std::string_view>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

[[noreturn]] void badValue(std::string_view option, std::string_view text, std::string_view want) {
    throw UsageError("invalid value '" + std::string(text) + "' for " + std::string(option) +
                     ": expected " + std::string(want));
}

template <class Integer>
Integer parseInteger(std::string_view option, std::string_view text, std::string_view want) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    } else if (digits.size() > 2 && digits[0] == '&' && (digits[1] == 'H' || digits[1] == 'h')) {
        base = 16;
        digits.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size())
        badValue(option, text, want);
    if (negative) value = -value;
    // Colours are often written as unsigned hexadecimal: 0xFFFFFFFF is -1.
    if (base == 16 && sizeof(Integer) == 4 && value > 0x7FFFFFFFLL && value <= 0xFFFFFFFFLL)
        value -= 0x100000000LL;
    if (value < std::numeric_limits<Integer>::min() || value > std::numeric_limits<Integer>::max())
        badValue(option, text, want);
    return static_cast<Integer>(value);
}

}  // namespace

SplitCommandLine splitCommandLine(const std::vector<std::string>& arguments,
                                  const std::vector<std::string_view>& valued,
                                  const std::vector<std::string_view>& flags) {
    SplitCommandLine split;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-' || argument == "-") {
            split.positionals.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (contains(flags, name)) {
            if (hasValue) throw UsageError("option " + name + " takes no value");
            split.options.emplace_back(name, "");
        } else if (contains(valued, name)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    throw UsageError("option " + name + " needs a value");
                value = arguments[++i];
            }
            split.options.emplace_back(name, value);
        } else {
            throw UsageError("unknown option " + name);
        }
    }
    return split;
}

const std::vector<std::string_view> drawingOptionNames = {
    "--x",    "--y",    "--width", "--height", "--text", "--bold",
    "--font", "--fore", "--line",  "--ratio",  "--chk"};

namespace {

// The names other barcode tools use, as they compare: lower case, without "_", "-" or spaces.
// The type names themselves compare the same way ("code_39" is "code39").
struct Spelling {
    std::string_view name;
    Symbology type;
};
constexpr Spelling otherSpellings[] = {
    {"i2of5", Code_25},
    {"itf", Code_25},
    {"interleaved2of5", Code_25},
    {"i25", Code_25},
    {"code3of9", Code_39},
    {"code39ext", Code_39F},
    {"code39extended", Code_39F},
    {"code39full", Code_39F},
    {"code39fullascii", Code_39F},
    {"extcode39", Code_39F},
    {"msi", Code_MSI},
    {"msiplessey", Code_MSI},
    {"ean128", ExtendedType::GS1_128},
    {"ucc128", ExtendedType::GS1_128},
    {"imb", ExtendedType::Intelligent_Mail},
    {"uspsimb", ExtendedType::Intelligent_Mail},
    {"onecode", ExtendedType::Intelligent_Mail},
};

constexpr char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether two names compare the same: in any case, "_", "-" and spaces left out. Compared in
// place, as a batch names a symbology on every row.
bool sameName(std::string_view one, std::string_view other) noexcept {
    const auto skipped = [](char c) { return c == '_' || c == '-' || c == ' '; };
    std::size_t i = 0, j = 0;
    for (;; ++i, ++j) {
        while (i < one.size() && skipped(one[i])) ++i;
        while (j < other.size() && skipped(other[j])) ++j;
        if (i == one.size() || j == other.size()) return i == one.size() && j == other.size();
        if (lowerAscii(one[i]) != lowerAscii(other[j])) return false;
    }
}

std::optional<Symbology> symbologyNamed(std::string_view name) {
    for (std::size_t i = 0; i < barcodeTypeNames.size(); ++i)
        if (sameName(barcodeTypeNames[i], name)) return static_cast<tBarcodeType>(i);
    for (std::size_t i = 0; i < extendedTypeNames.size(); ++i)
        if (sameName(extendedTypeNames[i], name)) return static_cast<ExtendedType>(i);
    for (const Spelling& spelling : otherSpellings)
        if (sameName(spelling.name, name)) return spelling.type;
    return std::nullopt;
}

}  // namespace

Symbology parseSymbology(std::string_view name) {
    // A batch names the same symbology row after row: the name found last is kept.
    thread_local std::string lastName;
    thread_local std::optional<Symbology> lastFound;
    if (lastFound && name == lastName) return *lastFound;
    if (const auto found = symbologyNamed(name)) {
        lastName = name;
        lastFound = found;
        return *found;
    }
    std::string known;
    for (auto member : barcodeTypeNames) known += std::string(known.empty() ? "" : ", ") += member;
    for (auto member : extendedTypeNames) known += std::string(", ") += member;
    throw UsageError("unknown symbology '" + std::string(name) + "' (one of " + known + ")");
}

std::string_view symbologyHelp() {
    return "SYMBOLOGY is named as a barcode type or as other tools name it, in any case, with or\n"
           "without \"_\" and \"-\" (EAN_13, ean13 and EAN-13 are one):\n"
           "  Codabar                                    Code_11 (code11)\n"
           "  Code_128 (code128)                         Code_39 (code39, code3of9)\n"
           "  Code_25 (i2of5, itf, interleaved2of5, i25)\n"
           "  Code_39F (code39ext, code39extended, code39fullascii, code39full, extcode39)\n"
           "  Code_93 (code93)                           EAN_13 (ean13)\n"
           "  EAN_8 (ean8)                               ISBN (isbn)\n"
           "  Code_MSI (msi, msiplessey)                 PostNet (postnet)\n"
           "  UPC_A (upca)                               UPC_A_Plus (upcaplus)\n"
           "  UPC_E (upce)\n"
           "Beyond those fifteen, checking their data before they draw:\n"
           "  Code_128_Auto (code128auto)                GS1_128 (gs1-128, gs1128, ean128)\n"
           "  ITF_14 (itf14)                             Intelligent_Mail (imb, intelligent-mail)\n"
           "  EAN_13_AddOn, UPC_A_AddOn, UPC_E_AddOn (ean13addon, upcaaddon, upceaddon)\n";
}

float parseFloat(std::string_view option, std::string_view text) {
    float value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        badValue(option, text, "a number");
    return value;
}

std::int16_t parseInt16(std::string_view option, std::string_view text) {
    return parseInteger<std::int16_t>(option, text, "an integer from -32768 to 32767");
}

std::int32_t parseInt32(std::string_view option, std::string_view text) {
    return parseInteger<std::int32_t>(option, text, "a 32-bit integer");
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}

bool parseBool(std::string_view option, std::string_view text) {
    if (const auto value = assist::parseYesNo(text)) return *value;
    badValue(option, text, "yes or no (1/0, true/false, yes/no)");
}

namespace {

// A colour as people write it, or any 32-bit number as the methods take it (which refuse what
// is no colour with their own error).
std::int32_t parseColourOption(std::string_view option, std::string_view text) {
    if (const auto colour = assist::parseColour(text)) return *colour;
    try {
        return parseInt32(option, text);
    } catch (const UsageError&) {
        badValue(option, text, "a colour: #RRGGBB, a name such as black or red, or 0x00BBGGRR");
    }
}

// pText is a number to the methods (only 1 writes the text in some); yes and no are 1 and 0.
std::int16_t parseTextOption(std::string_view option, std::string_view text) {
    try {
        return parseInt16(option, text);
    } catch (const UsageError&) {
        if (const auto value = assist::parseYesNo(text)) return *value ? 1 : 0;
        badValue(option, text, "1 or 0 (yes/no, true/false), or the method's number");
    }
}

}  // namespace

bool applyDrawingOption(std::string_view name, std::string_view value, DrawingArguments& args) {
    if (name == "--x")
        args.pX = parseFloat(name, value);
    else if (name == "--y")
        args.pY = parseFloat(name, value);
    else if (name == "--width")
        args.pWidth = parseInt16(name, value);
    else if (name == "--height")
        args.pHeight = parseInt16(name, value);
    else if (name == "--text")
        args.pText = parseTextOption(name, value);
    else if (name == "--bold")
        args.pBold = parseBool(name, value);
    else if (name == "--font")
        args.pFont = value;
    else if (name == "--fore")
        args.pForeColor = parseColourOption(name, value);
    else if (name == "--line")
        args.pLineColor = parseColourOption(name, value);
    else if (name == "--ratio")
        args.pRatio = value;
    else if (name == "--chk")
        args.pChk = parseBool(name, value);
    else
        return false;
    return true;
}

void printMessage(std::ostream& err, std::string_view message) {
    while (true) {
        const std::size_t end = message.find('\n');
        err << "quillet: " << message.substr(0, end) << "\n";
        if (end == std::string_view::npos) return;
        message.remove_prefix(end + 1);
    }
}

const std::vector<std::string_view> dataOptionNames = {"--set", "--bearers"};
const std::vector<std::string_view> dataFlagNames = {"--as-is"};

bool applyDataOption(std::string_view name, std::string_view value, DataChoice& choice) {
    if (name == "--as-is") {
        choice.asIs = true;
    } else if (name == "--set") {
        if (value != "A" && value != "B" && value != "C" && value != "a" && value != "b" &&
            value != "c")
            badValue(name, value, "A, B or C");
        choice.codeSet = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
    } else if (name == "--bearers") {
        choice.bearers = std::string(value);
    } else {
        return false;
    }
    return true;
}

void checkTypedData(Symbology& type, DrawingArguments& arguments, const DataChoice& choice,
                    std::ostream& notes) {
    if (choice.codeSet && type != Code_128)
        throw UsageError("--set chooses the code set of Code 128 only");
    if (choice.bearers && type != ExtendedType::ITF_14)
        throw UsageError("--bearers gives the bearer bars of ITF-14 only");
    // ITF-14 takes its bearer bars where the two-width symbologies take their ratio; as it is,
    // the ratio given stands.
    if (type == ExtendedType::ITF_14 && (choice.bearers || !choice.asIs))
        arguments.pRatio = choice.bearers.value_or("5:frame");
    if (choice.asIs) {
        if (choice.codeSet)
            throw UsageError(
                "--set and --as-is do not go together: as it is, Code 128 data "
                "begins with its set letter");
        return;
    }
    type = assist::servedBetter(type, arguments.pCode, choice.codeSet.has_value());
    if (type.isExtended()) {
        if (const auto problem = checkExtendedData(type.extendedType(), arguments.pCode))
            throw DataError(std::string(type.name()) + ": " + problem->message);
        return;
    }
    const assist::Checked checked =
        assist::checkData(type.barcodeType(), arguments.pCode, {choice.check, choice.codeSet});
    if (!checked.accepted()) throw DataError(checked.refusals());
    for (const assist::Finding& finding : checked.findings) printMessage(notes, finding.message);
    type = checked.type;
    arguments.pCode = checked.pCode;
    arguments.pChk = checked.pChk;
}

std::string_view drawingOptionsHelp() {
    return "Drawing options (the method's arguments; defaults in brackets):\n"
           "  --x N        left edge of the symbol, pX [0]\n"
           "  --y N        top of the bars, pY [0]\n"
           "  --width N    module (narrow element) width, pWidth; font size is N \\ 2 [15]\n"
           "  --height N   bar height, pHeight [1200]\n"
           "  --text N     human-readable text, pText: 1 (yes) writes it, 0 (no) does not [1]\n"
           "  --bold B     bold text, pBold: yes/no, true/false or 1/0 [no]\n"
           "  --font NAME  text font, pFont [Arial]\n"
           "  --fore C     text colour, pForeColor: #RRGGBB, a name (black, red, navy ...)\n"
           "               or 0x00BBGGRR (so 0xFF0000 is blue) [black]\n"
           "  --line C     bar colour, pLineColor, as --fore [black]\n"
           "  --ratio W:N  wide and narrow extras of the two-width symbologies, pRatio [3:1]\n"
           "  --chk B      check character(s) where optional, pChk: yes/no [no; in draw and\n"
           "               batch yes for Code 128 and Code 93, whose standards require them]\n"
           "  --           ends the options (for data beginning with \"-\")\n";
}

std::string_view traceHelp() {
    return "usage: quillet trace SYMBOLOGY CODE [options]\n"
           "\n"
           "Draws one symbol on a recording surface and prints every surface call, one per line,\n"
           "tab-separated, then \"Result<TAB>n\" and \"pCode<TAB>\" with the caller's variable as\n"
           "the method left it. The recording surface measures a text as FontSize x 12 units\n"
           "per character and FontSize x 24 units high. A failure before the method's error\n"
           "trap prints \"Error<TAB>n\" and exits 2.\n"
           "\n"
           "The data goes to the method as typed, as library and COM callers pass it;\n"
           "--check first applies the checks of quillet draw (exit 65 with the message for\n"
           "data they refuse; --set as in draw).\n"
           "\n"
           "Example: quillet trace Code_39 CODE39 --chk 1\n"
           "\n";
}

int runTrace(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    DrawingArguments args;
    Symbology type;
    try {
        std::vector<std::string_view> valued = drawingOptionNames;
        valued.insert(valued.end(), dataOptionNames.begin(), dataOptionNames.end());
        const auto split = splitCommandLine(arguments, valued, {"--help", "-h", "--check"});
        DataChoice choice;
        choice.asIs = true;
        for (const auto& [name, value] : split.options) {
            if (name == "--help" || name == "-h") {
                out << traceHelp() << symbologyHelp() << "\n" << drawingOptionsHelp();
                return 0;
            }
            if (name == "--check")
                choice.asIs = false;
            else if (!applyDataOption(name, value, choice))
                applyDrawingOption(name, value, args);
            if (name == "--chk") choice.check = args.pChk;
        }
        if (split.positionals.size() != 2)
            throw UsageError("trace takes SYMBOLOGY and CODE (see quillet trace --help)");
        type = parseSymbology(split.positionals[0]);
        args.pCode = split.positionals[1];
        if (choice.codeSet && choice.asIs) throw UsageError("--set needs --check in trace");
        checkTypedData(type, args, choice, err);
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
    } catch (const DataError& refused) {
        printMessage(err, refused.what());
        return exitDataError;
    }

    RecordingSurface surface;
    Quillet control;
    int exitCode = 0;
    std::string ending;
    try {
        ending = "Result\t" + std::to_string(control.Draw(type, &surface, args)) + "\n";
    } catch (const RuntimeError& failure) {
        ending = "Error\t" + std::to_string(failure.number()) + "\n";
        exitCode = 2;
    }
    out << surface.trace() << ending << "pCode\t" << escapeText(args.pCode) << "\n";
    return exitCode;
}

}  // namespace quillet::cli
