#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>

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

std::string comparable(std::string_view name) {
    std::string key;
    for (unsigned char c : name)
        if (c != '_' && c != '-' && c != ' ') key.push_back(static_cast<char>(std::tolower(c)));
    return key;
}

}  // namespace

Symbology parseSymbology(std::string_view name) {
    const std::string key = comparable(name);
    for (std::size_t i = 0; i < barcodeTypeNames.size(); ++i)
        if (comparable(barcodeTypeNames[i]) == key) return static_cast<tBarcodeType>(i);
    for (std::size_t i = 0; i < extendedTypeNames.size(); ++i)
        if (comparable(extendedTypeNames[i]) == key) return static_cast<ExtendedType>(i);
    for (const Spelling& spelling : otherSpellings)
        if (spelling.name == key) return spelling.type;
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
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool parseBool(std::string_view option, std::string_view text) {
    const std::string lower = lowered(text);
    if (lower == "1" || lower == "-1" || lower == "true" || lower == "yes") return true;
    if (lower == "0" || lower == "false" || lower == "no") return false;
    badValue(option, text, "true or false (1 or 0)");
}

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
        args.pText = parseInt16(name, value);
    else if (name == "--bold")
        args.pBold = parseBool(name, value);
    else if (name == "--font")
        args.pFont = value;
    else if (name == "--fore")
        args.pForeColor = parseInt32(name, value);
    else if (name == "--line")
        args.pLineColor = parseInt32(name, value);
    else if (name == "--ratio")
        args.pRatio = value;
    else if (name == "--chk")
        args.pChk = parseBool(name, value);
    else
        return false;
    return true;
}

std::string_view drawingOptionsHelp() {
    return "Drawing options (the method's arguments; defaults in brackets):\n"
           "  --x N        left edge of the symbol, pX [0]\n"
           "  --y N        top of the bars, pY [0]\n"
           "  --width N    module (narrow element) width, pWidth; font size is N \\ 2 [15]\n"
           "  --height N   bar height, pHeight [1200]\n"
           "  --text N     human-readable text, pText: 1 writes it, 0 does not [1]\n"
           "  --bold B     bold text, pBold: true/false or 1/0 [false]\n"
           "  --font NAME  text font, pFont [Arial]\n"
           "  --fore C     text colour, pForeColor, 0x00BBGGRR [0]\n"
           "  --line C     bar colour, pLineColor, 0x00BBGGRR [0]\n"
           "  --ratio W:N  wide and narrow extras of the two-width symbologies, pRatio [3:1]\n"
           "  --chk B      check character(s) where optional, pChk [false]\n"
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
           "Example: quillet trace Code_39 CODE39 --chk 1\n"
           "\n";
}

int runTrace(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    DrawingArguments args;
    Symbology type;
    try {
        const auto split = splitCommandLine(arguments, drawingOptionNames, {"--help", "-h"});
        for (const auto& [name, value] : split.options) {
            if (name == "--help" || name == "-h") {
                out << traceHelp() << symbologyHelp() << "\n" << drawingOptionsHelp();
                return 0;
            }
            applyDrawingOption(name, value, args);
        }
        if (split.positionals.size() != 2)
            throw UsageError("trace takes SYMBOLOGY and CODE (see quillet trace --help)");
        type = parseSymbology(split.positionals[0]);
        args.pCode = split.positionals[1];
    } catch (const UsageError& usage) {
        err << "quillet: " << usage.what() << "\n";
        return exitUsage;
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
