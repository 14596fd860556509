// The quillet command.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace {

constexpr std::string_view usage =
    "usage: quillet COMMAND [arguments]\n"
    "\n"
    "Commands:\n"
    "  trace SYMBOLOGY CODE [options]   print the surface calls that draw one symbol\n"
    "\n"
    "quillet COMMAND --help explains a command.\n";

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
    std::cerr << "quillet: unknown command '" << command << "'\n" << usage;
    return quillet::cli::exitUsage;
}
