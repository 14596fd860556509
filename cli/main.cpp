// The quillet command.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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
    "quillet COMMAND --help explains a command, with an example; quillet --version names\n"
    "this version.\n"
#ifdef QUILLET_WITH_CAIRO
    "\n"
    "Example: quillet draw Code_39 CODE39 --chk 1 -o code39.png\n"
#endif
    ;

// A standard stream the caller closed ("<&-") is opened again on /dev/null, the wrong way round
// so that using it fails, before any file the command opens can take its number (and its role).
bool reopenIfClosed(int descriptor, int flags) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) return false;
    const int opened = open("/dev/null", flags);
    if (opened >= 0 && opened != descriptor) {
        dup2(opened, descriptor);
        close(opened);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool inputClosed = reopenIfClosed(STDIN_FILENO, O_WRONLY);
    reopenIfClosed(STDOUT_FILENO, O_RDONLY);
    reopenIfClosed(STDERR_FILENO, O_RDONLY);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        (arguments.empty() ? std::cerr : std::cout) << usage;
        return arguments.empty() ? quillet::cli::exitUsage : 0;
    }
    if (arguments[0] == "--version") {
        std::cout << "quillet " QUILLET_VERSION "\n";
        return 0;
    }
    const std::string command = arguments[0];
    arguments.erase(arguments.begin());
    if (command == "trace") return quillet::cli::runTrace(arguments, std::cout, std::cerr);
#ifdef QUILLET_WITH_CAIRO
    const bool outIsTerminal = isatty(STDOUT_FILENO) != 0;
    if (command == "draw")
        return quillet::cli::runDraw(arguments, std::cout, std::cerr, outIsTerminal);
    if (command == "sheet")
        return quillet::cli::runSheet(arguments, std::cout, std::cerr, outIsTerminal);
    if (command == "batch") {
        std::istream closed(nullptr);  // reads nothing and says so
        return quillet::cli::runBatch(arguments, inputClosed ? closed : std::cin, std::cout,
                                      std::cerr, isatty(STDERR_FILENO) != 0);
    }
#endif
    std::cerr << "quillet: unknown command '" << command << "'\n" << usage;
    return quillet::cli::exitUsage;
}
