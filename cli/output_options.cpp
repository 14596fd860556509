#ifdef QUILLET_WITH_CAIRO
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <utility>

#include "cli/command_line.h"
#include "cli/output_commands.h"

namespace quillet::cli {

const std::vector<std::string_view> outputOptionNames = {
    "--format", "--dpi", "--units", "--bar-reduction", "--margin", "--rotate", "--background"};
const std::vector<std::string_view> outputFlagNames = {"--no-gridfit", "--gridfit"};

namespace {

double parseBetween(std::string_view option, std::string_view text, double low, double high) {
    const double value = parseFloat(option, text);
    if (value < low || value > high) {
        std::ostringstream want;
        want << "a number from " << low << " to " << high;
        throw UsageError("invalid value '" + std::string(text) + "' for " + std::string(option) +
                         ": expected " + want.str());
    }
    return value;
}

// "none" (or "transparent"), "#RRGGBB" as on the web, or a 0x00BBGGRR number as --fore takes.
std::optional<std::int32_t> parseBackground(std::string_view text) {
    const std::string lower = lowered(text);
    if (lower == "none" || lower == "transparent") return std::nullopt;
    const auto bad = [&] {
        return UsageError("invalid value '" + std::string(text) +
                          "' for --background: expected none, #RRGGBB or a colour 0x00BBGGRR");
    };
    if (lower.starts_with("#")) {
        std::uint32_t rgb = 0;
        const auto [end, status] =
            std::from_chars(lower.data() + 1, lower.data() + lower.size(), rgb, 16);
        if (lower.size() != 7 || status != std::errc() || end != lower.data() + lower.size())
            throw bad();
        return static_cast<std::int32_t>((rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16);
    }
    std::int32_t colour = 0;
    try {
        colour = parseInt32("--background", text);
    } catch (const UsageError&) {
        throw bad();
    }
    if (colour < 0 || colour > 0xFFFFFF) throw bad();
    return colour;
}

// Beyond these a page of a few inches no longer fits in an image, or shows nothing useful.
constexpr double lowestDpi = 10, highestDpi = 4800;
// A quiet zone wider than this only makes the page large.
constexpr double widestMargin = 1000;

}  // namespace

bool applyOutputOption(std::string_view name, std::string_view value, OutputSettings& settings) {
    if (name == "--format") {
        const auto format = outputFormatNamed(value);
        if (!format)
            throw UsageError("unknown format '" + std::string(value) + "' (png, pdf, svg or ps)");
        settings.format = *format;
    } else if (name == "--dpi") {
        settings.dpi = parseBetween(name, value, lowestDpi, highestDpi);
    } else if (name == "--units") {
        const auto mode = scaleModeNamed(value);
        if (!mode)
            throw UsageError("unknown units '" + std::string(value) +
                             "' (twips, points, pixels, millimetres or inches)");
        settings.units = *mode;
    } else if (name == "--bar-reduction") {
        std::string_view amount = value;
        settings.barReductionInUnits = false;
        if (amount.ends_with("px")) {
            amount.remove_suffix(2);
        } else if (amount.ends_with("u")) {
            amount.remove_suffix(1);
            settings.barReductionInUnits = true;
        }
        // Measured against each symbol's module width when it is drawn.
        settings.barReduction = parseBetween(name, amount, 0, 1e6);
    } else if (name == "--margin") {
        settings.marginModules = parseBetween(name, value, 0, widestMargin);
    } else if (name == "--background") {
        settings.background = parseBackground(value);
    } else if (name == "--rotate") {
        const int degrees = parseInt16(name, value);
        if (degrees % 90 != 0 || degrees < -270 || degrees > 270)
            throw UsageError("invalid value '" + std::string(value) +
                             "' for --rotate: expected 0, 90, 180 or 270");
        settings.rotation = (degrees + 360) % 360;
    } else if (name == "--no-gridfit") {
        settings.gridFit = false;
    } else if (name == "--gridfit") {
        settings.gridFit = true;
    } else {
        return false;
    }
    return true;
}

std::string_view outputOptionsHelp() {
    return "Output options:\n"
           "  -o FILE            the file to write; - writes to standard output (PNG and\n"
           "                     PDF only when it is not a terminal)\n"
           "  --format F         png, pdf, svg or ps [from the file's extension]\n"
           "  --units U          the surface's units: twips, points, pixels, millimetres or\n"
           "                     inches [twips, 1440 per inch]\n"
           "  --dpi N            resolution of PNG output, and of the pixels unit, 10 to\n"
           "                     4800 [96]\n"
           "  --no-gridfit       anti-aliased box edges instead of whole pixels (PNG)\n"
           "  --gridfit          box edges on whole pixels, also in vector output\n"
           "  --bar-reduction R  draw every bar R narrower, centred, against print gain: R in\n"
           "                     pixels at --dpi (\"2\" or \"2px\") or in units (\"10u\"), less\n"
           "                     than the module width [0]\n"
           "  --background C     the page's colour: #RRGGBB, 0x00BBGGRR as --fore takes, or\n"
           "                     none for a transparent PNG and a PDF or SVG without a page\n"
           "                     fill [white]\n"
           "  --rotate D         turn the symbol clockwise by 0, 90, 180 or 270 degrees [0]\n"
           "  --margin M         quiet zone round the symbol, in modules (--width), up to 1000\n"
           "                     [10]\n"
           "\n"
           "An image holds at most 64 million pixels, a PDF, SVG or PostScript page 200 inches\n"
           "a side.\n";
}

OutputFormat formatFor(std::string_view path, const std::optional<OutputFormat>& named) {
    if (named) return *named;
    if (const auto format = outputFormatOfPath(path)) return *format;
    throw UsageError("cannot tell the format of '" + std::string(path) +
                     "': name it .png, .pdf, .svg or .ps, or use --format");
}

void refuseBinaryOnTerminal(std::string_view path, OutputFormat format, bool outIsTerminal) {
    if (path != "-" || !outIsTerminal || format == OutputFormat::svg || format == OutputFormat::ps)
        return;
    const std::string extension(extensionOf(format));
    std::string name = extension;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    throw UsageError("not writing " + name + " to a terminal: name a file (-o file." + extension +
                     ") or redirect standard output (-o - > file." + extension + ")");
}

std::optional<std::int64_t> sourceDateEpoch(OutputFormat format) {
    if (format != OutputFormat::pdf && format != OutputFormat::ps) return std::nullopt;
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr || *text == '\0') return std::nullopt;
    std::int64_t seconds = 0;
    const auto [end, failure] = std::from_chars(text, text + std::strlen(text), seconds);
    if (failure != std::errc() || *end != '\0' || seconds < 0 || seconds > 253402300799)
        throw UsageError("invalid SOURCE_DATE_EPOCH '" + std::string(text) +
                         "': expected seconds since 1970");
    return seconds;
}

void checkPositions(const DrawingArguments& args) {
    // Whole units stay exact in single precision up to 2^24; this leaves room for a symbol's
    // 32767 units of width or height beyond the position.
    constexpr float farthest = 16000000;
    for (const auto& [name, value] : {std::pair{"--x", args.pX}, std::pair{"--y", args.pY}})
        if (!(std::fabs(value) <= farthest)) {
            std::ostringstream text;
            text << value;
            throw UsageError("invalid value '" + text.str() + "' for " + name +
                             ": expected a position from -16000000 to 16000000 (farther out, "
                             "positions cannot hold the bars' edges exactly)");
        }
}

void writeOutput(std::string_view path, const std::string& bytes, std::ostream& out) {
    if (path == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) throw std::runtime_error("cannot write to standard output");
        return;
    }
    OutputFile file{std::string(path)};
    file.stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.commit();
}

}  // namespace quillet::cli
#endif
