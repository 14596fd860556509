#ifdef QUILLET_WITH_CAIRO
#include <cmath>
#include <fstream>
#include <ostream>

#include "cli/command_line.h"
#include "cli/output_commands.h"

namespace quillet::cli {

const std::vector<std::string_view> outputOptionNames = {"--format", "--dpi", "--units",
                                                         "--bar-reduction", "--margin"};
const std::vector<std::string_view> outputFlagNames = {"--no-gridfit", "--gridfit"};

namespace {

double parsePositive(std::string_view option, std::string_view text, bool zeroAllowed) {
    const double value = parseFloat(option, text);
    if (value < 0 || (!zeroAllowed && value == 0))
        throw UsageError("invalid value '" + std::string(text) + "' for " + std::string(option) +
                         (zeroAllowed ? ": expected a number of at least 0"
                                      : ": expected a number greater than 0"));
    return value;
}

}  // namespace

bool applyOutputOption(std::string_view name, std::string_view value, OutputSettings& settings) {
    if (name == "--format") {
        const auto format = outputFormatNamed(value);
        if (!format)
            throw UsageError("unknown format '" + std::string(value) + "' (png, pdf, svg or ps)");
        settings.format = *format;
    } else if (name == "--dpi") {
        settings.dpi = parsePositive(name, value, false);
        // Beyond this a page of a few inches no longer fits in a cairo image.
        if (settings.dpi > 4800) throw UsageError("--dpi must be at most 4800");
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
        settings.barReduction = parsePositive(name, amount, true);
    } else if (name == "--margin") {
        settings.marginModules = parsePositive(name, value, true);
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
           "  -o FILE            the file to write; - writes to standard output\n"
           "  --format F         png, pdf, svg or ps [from the file's extension]\n"
           "  --units U          the surface's units: twips, points, pixels, millimetres or\n"
           "                     inches [twips, 1440 per inch]\n"
           "  --dpi N            resolution of PNG output, and of the pixels unit [96]\n"
           "  --no-gridfit       anti-aliased box edges instead of whole pixels (PNG)\n"
           "  --gridfit          box edges on whole pixels, also in vector output\n"
           "  --bar-reduction R  draw every bar R narrower, centred, against print gain: R in\n"
           "                     pixels at --dpi (\"2\" or \"2px\") or in units (\"10u\") [0]\n"
           "  --margin M         quiet zone round the symbol, in modules (--width) [10]\n";
}

OutputFormat formatFor(std::string_view path, const std::optional<OutputFormat>& named) {
    if (named) return *named;
    if (const auto format = outputFormatOfPath(path)) return *format;
    throw UsageError("cannot tell the format of '" + std::string(path) +
                     "': name it .png, .pdf, .svg or .ps, or use --format");
}

void writeOutput(std::string_view path, const std::string& bytes, std::ostream& out) {
    if (path == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) throw std::runtime_error("cannot write to standard output");
        return;
    }
    std::ofstream file{std::string(path), std::ios::binary | std::ios::trunc};
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + std::string(path));
}

}  // namespace quillet::cli
#endif
