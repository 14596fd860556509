// The command line options. Byte 0 picks a mode; the rest is the input:
//   0  arguments (separated by NUL bytes) for `quillet trace`, run in-process: it exits 0, 2,
//      64 or 65, a usage or data error is a "quillet: " message and nothing else, and a drawing
//      ends in its pCode line;
//   1  arguments for the options of draw, applied as draw applies them: the only failure is a
//      usage error, and the settings that come out are ones the output can use;
//   2  options and positionals (each a byte: bit 7 a positional, else which option and bits 5-6
//      how it is written, then a length byte and the value), written out as a command line:
//      they must come back as written, in order;
//   3  numbers (two bytes, then four) written in decimal and hexadecimal: they must read back.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/output_commands.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace quillet;

using quillet::fuzz::fail;

std::vector<std::string> splitAtNul(std::string_view text) {
    std::vector<std::string> arguments(1);
    for (char c : text) {
        if (c == '\0')
            arguments.emplace_back();
        else
            arguments.back() += c;
    }
    return arguments;
}

std::string joined(const std::vector<std::string>& arguments) {
    std::string out;
    for (const auto& argument : arguments) out += "[" + argument + "]";
    return out;
}

void checkTrace(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int exitCode = cli::runTrace(arguments, out, err);
    const std::string printed = out.str(), complained = err.str();
    if (exitCode == cli::exitUsage || exitCode == cli::exitDataError) {
        if (!printed.empty() || !complained.starts_with("quillet: ") || !complained.ends_with("\n"))
            fail("a usage or data error is a message on its own",
                 joined(arguments) + ": " + complained);
    } else if (exitCode == 0 || exitCode == 2) {
        const bool help = printed.starts_with("usage: ");
        if (!complained.empty() || (!help && printed.rfind("\npCode\t") == std::string::npos))
            fail("a trace ends with pCode", joined(arguments));
    } else {
        fail("trace exits 0, 2, 64 or 65", std::to_string(exitCode));
    }
}

void checkDrawOptions(const std::vector<std::string>& arguments) {
    std::vector<std::string_view> valued = cli::outputOptionNames;
    valued.push_back("-o");
    valued.insert(valued.end(), cli::drawingOptionNames.begin(), cli::drawingOptionNames.end());
    std::vector<std::string_view> flags = cli::outputFlagNames;
    flags.insert(flags.end(), {"--help", "-h"});
    OutputSettings settings;
    DrawingArguments drawing;
    try {
        for (const auto& [name, value] : cli::splitCommandLine(arguments, valued, flags).options)
            if (!cli::applyOutputOption(name, value, settings) && name != "-o" &&
                name != "--help" && name != "-h" && !cli::applyDrawingOption(name, value, drawing))
                fail("every option is applied", name);
    } catch (const cli::UsageError&) {
        return;
    }
    const bool usable = std::isfinite(settings.dpi) && settings.dpi > 0 &&
                        std::isfinite(settings.marginModules) && settings.marginModules >= 0 &&
                        std::isfinite(settings.barReduction) && settings.barReduction >= 0 &&
                        std::isfinite(drawing.pX) && std::isfinite(drawing.pY);
    if (!usable) fail("options give usable settings", joined(arguments));
}

constexpr std::array<std::string_view, 6> someOptions = {"--x",   "--ratio", "--format",
                                                         "--dpi", "--font",  "--margin"};
constexpr std::array<std::string_view, 2> someFlags = {"--gridfit", "--no-gridfit"};

void checkRoundTrip(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> positionals, afterEnd, arguments;
    std::vector<std::pair<std::string, std::string>> options;
    for (std::size_t at = 0; at < size;) {
        const std::uint8_t head = data[at++];
        const std::size_t wanted = at < size ? data[at++] : 0;
        const std::size_t length = std::min(wanted, size - at);
        std::string value(reinterpret_cast<const char*>(data + at), length);
        at += length;
        if ((head & 128u) != 0) {
            // A positional that looks like an option goes after "--".
            (value.size() >= 2 && value[0] == '-' ? afterEnd : positionals).push_back(value);
            continue;
        }
        const std::size_t pick = head & 31u;
        if (pick < someFlags.size()) {
            options.emplace_back(someFlags[pick], "");
            arguments.emplace_back(someFlags[pick]);
            continue;
        }
        const std::string name(someOptions[pick % someOptions.size()]);
        options.emplace_back(name, value);
        if ((head & 32u) != 0) {
            arguments.push_back(name + "=" + value);
        } else {
            arguments.push_back(name);
            arguments.push_back(value);
        }
    }
    // Positionals go where they may: those that do not look like options first.
    std::vector<std::string> line = positionals;
    line.insert(line.end(), arguments.begin(), arguments.end());
    std::vector<std::string> expectedPositionals = positionals;
    if (!afterEnd.empty()) {
        line.emplace_back("--");
        line.insert(line.end(), afterEnd.begin(), afterEnd.end());
        expectedPositionals.insert(expectedPositionals.end(), afterEnd.begin(), afterEnd.end());
    }
    std::vector<std::string_view> valued(someOptions.begin(), someOptions.end());
    std::vector<std::string_view> flags(someFlags.begin(), someFlags.end());
    cli::SplitCommandLine split;
    try {
        split = cli::splitCommandLine(line, valued, flags);
    } catch (const cli::UsageError& error) {
        fail("a well-formed command line splits", joined(line) + ": " + error.what());
    }
    if (split.options != options || split.positionals != expectedPositionals)
        fail("options and positionals come back as written", joined(line));
}

void checkNumbers(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, 6> bytes{};
    for (std::size_t i = 0; i < bytes.size() && i < size; ++i) bytes[i] = data[i];
    const auto small = static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
    const auto large = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(bytes[2]) | static_cast<std::uint32_t>(bytes[3]) << 8 |
        static_cast<std::uint32_t>(bytes[4]) << 16 | static_cast<std::uint32_t>(bytes[5]) << 24);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(large)));
    try {
        if (cli::parseInt16("--width", std::to_string(small)) != small ||
            cli::parseInt32("--line", std::to_string(large)) != large ||
            cli::parseInt32("--line", hex) != large)
            fail("numbers read back", std::to_string(small) + " " + std::to_string(large));
        float value;
        std::memcpy(&value, &large, sizeof value);
        if (std::isnormal(value) || value == 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
            if (cli::parseFloat("--x", text) != value) fail("floats read back", text);
        }
    } catch (const cli::UsageError& error) {
        fail("numbers read back", error.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0:
            checkTrace(splitAtNul(rest));
            break;
        case 1:
            checkDrawOptions(splitAtNul(rest));
            break;
        case 2:
            checkRoundTrip(data + 1, size - 1);
            break;
        default:
            checkNumbers(data + 1, size - 1);
            break;
    }
    return 0;
}
