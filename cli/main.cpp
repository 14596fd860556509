// The quillet command.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#ifdef QUILLET_WITH_CAIRO
#include "cli/output_commands.h"
#endif

namespace {

constexpr std::string_view usage =
    "usage: quillet COMMAND [arguments]\n"
    "\n"
    "Commands:\n"
    "  trace SYMBOLOGY CODE [options]   print the surface calls that draw one symbol\n"
#ifdef QUILLET_WITH_CAIRO
    "  draw SYMBOLOGY CODE -o FILE      draw one symbol as PNG, PDF, SVG or PostScript\n"
    "  sheet -o FILE                    draw every symbology on a sample sheet\n"
    "  batch FILE -o OUT                draw one symbol per row of a table\n"
#endif
    "\n"
    "quillet COMMAND --help explains a command, with an example.\n"
#ifdef QUILLET_WITH_CAIRO
    "\n"
    "Example: quillet draw Code_39 CODE39 --chk 1 -o code39.png\n"
#endif
    ;

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        (arguments.empty() ? std::cerr : std::cout) << usage;
        return arguments.empty() ? quillet::cli::exitUsage : 0;
    }
    const std::string command = arguments[0];
    arguments.erase(arguments.begin());
    if (command == "trace") return quillet::cli::runTrace(arguments, std::cout, std::cerr);
#ifdef QUILLET_WITH_CAIRO
    if (command == "draw") return quillet::cli::runDraw(arguments, std::cout, std::cerr);
    if (command == "sheet") return quillet::cli::runSheet(arguments, std::cout, std::cerr);
    if (command == "batch")
        return quillet::cli::runBatch(arguments, std::cin, std::cout, std::cerr,
                                      isatty(STDERR_FILENO) != 0);
#endif
    std::cerr << "quillet: unknown command '" << command << "'\n" << usage;
    return quillet::cli::exitUsage;
}
