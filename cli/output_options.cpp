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

#include "assist/quiet_zones.h"
#include "assist/values.h"
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

// "none" (or "transparent"), or a colour as --fore takes it.
std::optional<std::int32_t> parseBackground(std::string_view text) {
    if (const std::string lower = lowered(text); lower == "none" || lower == "transparent")
        return std::nullopt;
    if (const auto colour = assist::parseColour(text)) return *colour;
    throw UsageError("invalid value '" + std::string(text) +
                     "' for --background: expected none, #RRGGBB, a name such as white or a "
                     "colour 0x00BBGGRR");
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

OutputFormat formatFor(std::string_view path, const std::optional<OutputFormat>& named,
                       bool outIsTerminal) {
    if (named) return *named;
    if (const auto format = outputFormatOfPath(path)) return *format;
    if (path == "-" && !outIsTerminal) return OutputFormat::png;
    throw UsageError("cannot tell the format of '" + std::string(path) +
                     "': name it .png, .pdf, .svg or .ps, or use --format");
}

std::array<QuietZone, symbologyCount> standardQuietZones() {
    std::array<QuietZone, symbologyCount> zones;
    const auto keep = [&](Symbology type) {
        const auto zone = assist::quietZone(type);
        zones[type.index()] = {zone.left, zone.right};
    };
    for (std::size_t type = 0; type < barcodeTypeNames.size(); ++type)
        keep(static_cast<tBarcodeType>(type));
    for (std::size_t type = 0; type < extendedTypeNames.size(); ++type)
        keep(static_cast<ExtendedType>(type));
    return zones;
}

const std::vector<std::string_view> sizeOptionNames = {"--width", "--module", "--height",
                                                       "--font-size"};

bool applySizeOption(std::string_view name, std::string_view value, SizeOptions& sizes) {
    std::optional<assist::Length>* size = nullptr;
    if (name == "--width" || name == "--module")
        size = &sizes.module;
    else if (name == "--height")
        size = &sizes.height;
    else if (name == "--font-size")
        size = &sizes.fontSize;
    else
        return false;
    *size = assist::parseLength(value);
    if (!*size)
        throw UsageError("invalid value '" + std::string(value) + "' for " + std::string(name) +
                         ": expected a size such as 15 (surface units), 0.33mm, 0.5in, 10pt "
                         "or 2px");
    if (!((*size)->value > 0))
        throw UsageError("invalid value '" + std::string(value) + "' for " + std::string(name) +
                         ": it must be more than 0");
    return true;
}

namespace {

std::int16_t wholeUnits(std::string_view option, double units) {
    const double rounded = std::round(units);
    if (!(rounded >= 1 && rounded <= 32767))
        throw UsageError(
            std::string(option) + " comes to " +
            std::to_string(static_cast<long long>(std::clamp(rounded, -1e15, 1e15))) +
            " surface units, and the methods take 1 to 32767: make it smaller, or the module "
            "larger");
    return static_cast<std::int16_t>(rounded);
}

bool isWhole(double value) {
    return value == std::round(value);
}

}  // namespace

void resolveSizes(const SizeOptions& sizes, bool ratioGiven, DrawingArguments& arguments,
                  OutputSettings& settings) {
    const double surfacePerInch = unitsPerInch(settings.units, settings.dpi);
    const auto inches = [&](const assist::Length& length) {
        return assist::inchesOf(length, settings.dpi, surfacePerInch);
    };
    const auto& module = sizes.module;
    if (module && (module->unit != assist::LengthUnit::surface || !isWhole(module->value))) {
        settings.unitsPerInch = assist::unitsPerInchForModule(
            inches(*module),
            isRaster(settings.format) ? std::optional<double>(settings.dpi) : std::nullopt);
        arguments.pWidth = assist::unitsPerModule;
        if (!ratioGiven) arguments.pRatio = assist::threeToOne;
        // The default height keeps its size in twips, the units the defaults are given in.
        if (!sizes.height)
            arguments.pHeight = wholeUnits(
                "--height", arguments.pHeight / unitsPerInch(ScaleMode::twips, settings.dpi) *
                                *settings.unitsPerInch);
    } else if (module) {
        arguments.pWidth = wholeUnits("--width", module->value);
    }
    const double perInch = settings.unitsPerInch.value_or(surfacePerInch);
    if (sizes.height) arguments.pHeight = wholeUnits("--height", inches(*sizes.height) * perInch);
    if (sizes.fontSize) {
        // A bare number is in points, as font sizes are.
        settings.fontPoints = assist::inchesOf(*sizes.fontSize, settings.dpi, 72) * 72;
    }
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
    file.write(bytes);
    file.commit();
}

}  // namespace quillet::cli
#endif
