// What the draw and batch commands leave on disk when the text is one cairo refuses, when a
// write fails and when the command is interrupted: whole files that scan, or nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "cli/output_commands.h"
#include "tests/decode/zbar_reader.h"

extern char** environ;

namespace quillet {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder of its own for each test and process.
fs::path freshFolder(const std::string& name) {
    const fs::path folder =
        fs::temp_directory_path() / ("quillet-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// One cell of a page of labels.
testing::GreyImage cellOf(const testing::GreyImage& page, int columns, int rows, int cell) {
    testing::GreyImage image;
    image.width = page.width / columns;
    image.height = page.height / rows;
    const int left = cell % columns * image.width, top = cell / columns * image.height;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.pixels.push_back(page.at(left + x, top + y));
    return image;
}

// The Code 39 texts zbar finds in a PDF or PostScript document, label by label as ghostscript
// draws the pages (at 200 dpi, narrow bars of 2.2 pixels fall on the pixel grid so that zbar
// misreads some); nothing when ghostscript is missing.
std::optional<std::multiset<std::string>> scanDocument(const fs::path& document, int columns,
                                                       int rows) {
    if (std::system("command -v gs >/dev/null 2>&1") != 0) return std::nullopt;
    const fs::path pages = document.string() + "-pages";
    fs::remove_all(pages);
    fs::create_directories(pages);
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -o '" +
                                (pages / "%03d.png").string() + "' '" + document.string() + "'";
    std::multiset<std::string> texts;
    if (std::system(command.c_str()) != 0) return texts;
    for (const auto& page : fs::directory_iterator(pages)) {
        const testing::GreyImage image = testing::readPng(readFile(page.path()));
        for (int cell = 0; cell < columns * rows; ++cell)
            for (const auto& found : testing::decode(cellOf(image, columns, rows, cell)))
                if (found.symbology == "CODE-39") texts.insert(found.text);
    }
    fs::remove_all(pages);
    return texts;
}

// The noncharacters: the ones at the end of the first and the last plane and of another, and
// the first and the last of the block in the middle.
const std::pair<const char*, const char*> noncharacters[] = {
    {"U+FFFE", "\xef\xbf\xbe"}, {"U+FFFF", "\xef\xbf\xbf"},      {"U+FDD0", "\xef\xb7\x90"},
    {"U+FDEF", "\xef\xb7\xaf"}, {"U+1FFFE", "\xf0\x9f\xbf\xbe"}, {"U+10FFFF", "\xf4\x8f\xbf\xbf"},
};

// Good rows that scan (ROW1, ROW2, ...) around rows whose text holds a noncharacter.
struct Table {
    std::string csv;
    std::vector<std::string> good;
    std::size_t rows = 0;
};
Table tableWithNoncharacters() {
    Table table;
    const auto good = [&] {
        table.good.push_back("ROW" + std::to_string(table.good.size() + 1));
        table.csv += "Code_39," + table.good.back() + "\n";
        ++table.rows;
    };
    good();
    bool ean = true;
    for (const auto& [name, bytes] : noncharacters) {
        table.csv += ean ? "EAN_13,12345678901" + std::string(bytes) + "\n"
                         : "Code_MSI,123" + std::string(bytes) + "4\n";
        ean = !ean;
        ++table.rows;
        good();
    }
    return table;
}

TEST(TextCairoRefuses, DrawnInEveryFormat) {
    for (const auto& [name, bytes] : noncharacters)
        for (const char* format : {"png", "pdf", "svg", "ps"})
            for (const char* type : {"EAN_13", "Code_MSI", "PostNet"}) {
                std::ostringstream out, err;
                const std::vector<std::string> arguments = {
                    type,       "1234567" + std::string(bytes),
                    "--text",   "1",
                    "--font",   "Arial" + std::string(bytes),
                    "-o",       "-",
                    "--format", format,
                    "--as-is"};
                EXPECT_EQ(cli::runDraw(arguments, out, err), 0)
                    << name << " " << format << " " << type << ": " << err.str();
                EXPECT_GT(out.str().size(), 100u) << name << " " << format << " " << type;
            }
}

TEST(TextCairoRefuses, BatchKeepsTheRowsAroundIt) {
    const Table table = tableWithNoncharacters();
    const fs::path folder = freshFolder("noncharacters");
    const std::string summary = "quillet: " + std::to_string(table.rows) +
                                " rows: " + std::to_string(table.rows) + " drawn, 0 failed\n";
    struct Run {
        std::string what;
        std::vector<std::string> options;
        bool document;
        int columns = 1, rows = 1;
    };
    const Run runs[] = {
        {"png folder", {"-o", (folder / "png").string()}, false},
        {"svg folder", {"-o", (folder / "svg").string(), "--format", "svg"}, false},
        {"pdf folder", {"-o", (folder / "pdf").string(), "--format", "pdf"}, false},
        {"ps folder", {"-o", (folder / "ps").string(), "--format", "ps"}, false},
        {"one pdf", {"-o", (folder / "one.pdf").string()}, true},
        {"pdf grid", {"-o", (folder / "grid.pdf").string(), "--grid", "2x3"}, true, 2, 3},
        {"one ps", {"-o", (folder / "one.ps").string()}, true},
        {"ps grid", {"-o", (folder / "grid.ps").string(), "--grid", "3x2"}, true, 3, 2},
    };
    for (const auto& run : runs) {
        std::istringstream rows(table.csv);
        std::vector<std::string> arguments{"-", "--as-is"};
        arguments.insert(arguments.end(), run.options.begin(), run.options.end());
        std::ostringstream out, err;
        ASSERT_EQ(cli::runBatch(arguments, rows, out, err, false), 0) << run.what << err.str();
        EXPECT_EQ(err.str(), summary) << run.what;
        const fs::path output = run.options[1];
        if (run.document) {
            const auto scanned = scanDocument(output, run.columns, run.rows);
            if (!scanned) continue;  // no ghostscript to draw the pages
            EXPECT_EQ(*scanned, std::multiset<std::string>(table.good.begin(), table.good.end()))
                << run.what;
            continue;
        }
        // Each good row's file is the one drawing it alone gives; PNG files scan.
        const std::string format = run.options.size() > 2 ? run.options[3] : "png";
        for (std::size_t i = 0; i < table.good.size(); ++i) {
            const std::size_t number = 1 + 2 * i;
            const std::string name = (number < 10 ? "0" : "") + std::to_string(number) + "-" +
                                     table.good[i] + "." + format;
            std::ostringstream alone, unused;
            ASSERT_EQ(cli::runDraw({"Code_39", table.good[i], "-o", "-", "--format", format}, alone,
                                   unused),
                      0);
            const std::string bytes = readFile(output / name);
            EXPECT_TRUE(bytes == alone.str()) << run.what << " " << name;
            if (format == "png") {
                EXPECT_EQ(testing::decode(testing::readPng(bytes)),
                          (std::vector<testing::Decoded>{{"CODE-39", table.good[i]}}))
                    << run.what << " " << name;
            }
        }
    }
    fs::remove_all(folder);
}

TEST(ReproducibleOutput, SameInputSameBytes) {
    for (const char* format : {"png", "pdf", "svg", "ps"}) {
        std::string first;
        for (int run = 0; run < 2; ++run) {
            std::ostringstream out, err;
            ASSERT_EQ(
                cli::runDraw({"Code_128", "BQuillet", "-o", "-", "--format", format}, out, err), 0);
            if (run == 0)
                first = out.str();
            else
                EXPECT_TRUE(first == out.str()) << format;
            // Time enough for a clock in seconds to move on.
            if (run == 0 && format[1] != 'n') std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
}

// The quillet command as its own process, for what only a process can show: signals and file
// size limits.
struct Process {
    pid_t pid;
    int wait() const {
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
};

Process start(const std::string& shellCommand) {
    const std::string script = shellCommand;
    const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
    pid_t pid = 0;
    posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return {pid};
}

std::string quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string command() {
    return quote(QUILLET_COMMAND);
}

// Temporary files left in a folder: their names start with a dot.
std::vector<std::string> leftovers(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".")) names.push_back(entry.path());
    return names;
}

TEST(WholeFilesOnly, FailedWritesLeaveTheTargetAsItWas) {
    const fs::path folder = freshFolder("failed-writes");
    const std::string old = "the file that was there before";
    std::string rows;
    for (int i = 1; i <= 200; ++i) rows += "Code_128,BROW" + std::to_string(i) + "\n";
    writeFile(folder / "rows.csv", rows);
    writeFile(folder / "bad.csv", "QR,1\nCode_39,lower\n");
    struct Row {
        const char* what;
        std::string arguments;
        std::string target;
        std::string errHas;
    };
    // ulimit -f counts blocks of 512 bytes.
    const Row table[] = {
        {"a batch that draws nothing", "batch bad.csv -o old.pdf", "old.pdf", "was not written"},
        {"a document past the size limit", "batch rows.csv -o old.pdf", "old.pdf",
         "File too large"},
        // PostScript pages go through a working file of cairo's own first.
        {"a grid past the size limit", "batch rows.csv -o old.ps --grid 3x8", "old.ps",
         "was not written"},
        {"a drawing past the size limit", "draw Code_39 CODE39 --dpi 600 -o old.png", "old.png",
         "File too large"},
        {"a file in a folder that is not there", "draw Code_39 CODE39 -o nowhere/x.svg",
         "nowhere/x.svg", "No such file or directory"},
    };
    for (const auto& row : table) {
        if (row.target.find('/') == std::string::npos) writeFile(folder / row.target, old);
        const std::string line = "cd " + quote(folder) + " && ulimit -f 8 && exec " + command() +
                                 " " + row.arguments + " 2>err.txt";
        const int status = start(line).wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << row.what << ": " << status;
        const std::string err = readFile(folder / "err.txt");
        EXPECT_NE(err.find(row.errHas), std::string::npos) << row.what << ": " << err;
        if (row.target.find('/') == std::string::npos) {
            EXPECT_EQ(readFile(folder / row.target), old) << row.what;
        } else {
            EXPECT_FALSE(fs::exists(folder / row.target)) << row.what;
        }
        EXPECT_EQ(leftovers(folder), std::vector<std::string>{}) << row.what;
    }
    fs::remove_all(folder);
}

// A batch stopped at random moments: every file under its own name is complete (the bytes a
// whole run gives, and it scans), an existing document is either as it was or complete, and no
// temporary file is left.
TEST(WholeFilesOnly, InterruptedBatchesLeaveNothingHalfWritten) {
    const fs::path folder = freshFolder("interrupted");
    std::string rows;
    constexpr int rowCount = 150;
    for (int i = 1; i <= rowCount; ++i) rows += "Code_39,ROW" + std::to_string(i) + "\n";
    writeFile(folder / "rows.csv", rows);

    // Whole runs first: the files every interrupted run must match, and how long a run takes.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(start(command() + " batch " + quote(folder / "rows.csv") + " -o " +
                    quote(folder / "whole") + " 2>/dev/null")
                  .wait(),
              0);
    const auto runTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(start(command() + " batch " + quote(folder / "rows.csv") + " -o " +
                    quote(folder / "whole.pdf") + " 2>/dev/null")
                  .wait(),
              0);
    std::map<std::string, std::string> whole;
    for (const auto& entry : fs::directory_iterator(folder / "whole"))
        whole[entry.path().filename().string()] = readFile(entry.path());
    ASSERT_EQ(whole.size(), static_cast<std::size_t>(rowCount));
    for (const auto& [name, text] :
         {std::pair{"001-ROW1.png", "ROW1"}, {"150-ROW150.png", "ROW150"}})
        ASSERT_EQ(testing::decode(testing::readPng(whole[name])),
                  (std::vector<testing::Decoded>{{"CODE-39", text}}));
    const std::string wholePdf = readFile(folder / "whole.pdf");
    const std::string old = "the document that was there before";

    std::mt19937 random(11);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGPIPE};
    const auto longest = std::chrono::duration_cast<std::chrono::microseconds>(runTime * 1.2);
    for (int run = 0; run < 12; ++run) {
        const bool toDocument = run % 2 == 1;
        const fs::path output = folder / (toDocument ? "run.pdf" : "run");
        fs::remove_all(output);
        if (toDocument) writeFile(output, old);
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<long>(0, longest.count())(random));
        const int signal = signals[run % std::size(signals)];
        const std::string what = "run " + std::to_string(run) + ", signal " +
                                 std::to_string(signal) + " after " +
                                 std::to_string(delay.count()) + " us";
        const Process batch = start("exec " + command() + " batch " + quote(folder / "rows.csv") +
                                    " -o " + quote(output) + " 2>/dev/null");
        std::this_thread::sleep_for(delay);
        kill(batch.pid, signal);
        const int status = batch.wait();
        EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                    (WIFSIGNALED(status) && WTERMSIG(status) == signal))
            << what << ": " << status;
        EXPECT_EQ(leftovers(folder), std::vector<std::string>{}) << what;
        if (toDocument) {
            const std::string bytes = readFile(output);
            EXPECT_TRUE(bytes == old || bytes == wholePdf) << what;
            continue;
        }
        if (!fs::exists(output)) continue;
        for (const auto& entry : fs::directory_iterator(output)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(whole.count(name) == 1 && readFile(entry.path()) == whole[name])
                << what << ": " << name;
        }
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace quillet
