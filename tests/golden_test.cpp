// Golden traces: tests/golden/NAME.trace holds the arguments of one `quillet trace` run on its
// first line ("#" and the arguments, tab-separated) and the expected output after it.
// QUILLET_UPDATE_GOLDEN=1 rewrites the files from the current output, to be reviewed as a diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/command_line.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, '\t')) parts.push_back(part);
    return parts;
}

// Arguments are stored with \t, \n and \\ escaped, like texts in the trace.
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

TEST(Golden, TracesMatch) {
    const bool update = std::getenv("QUILLET_UPDATE_GOLDEN") != nullptr;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(QUILLET_GOLDEN_DIR))
        if (entry.path().extension() == ".trace") files.push_back(entry.path());
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string header;
        std::getline(in, header);
        std::stringstream rest;
        rest << in.rdbuf();
        auto parts = splitTabs(header);
        ASSERT_FALSE(parts.empty()) << file;
        ASSERT_EQ(parts[0], "#") << file << ": the first line is # and the arguments";
        std::vector<std::string> arguments;
        for (std::size_t i = 1; i < parts.size(); ++i) arguments.push_back(unescape(parts[i]));
        std::ostringstream out, err;
        cli::runTrace(arguments, out, err);
        if (update) {
            std::ofstream(file, std::ios::binary) << header << "\n" << out.str();
        } else {
            EXPECT_EQ(out.str(), rest.str()) << file.filename() << "\n" << err.str();
        }
    }
}

}  // namespace
}  // namespace quillet
