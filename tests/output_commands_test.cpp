// The draw and batch commands: exit codes, messages and what they write.
#ifdef QUILLET_WITH_CAIRO
#include "cli/output_commands.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <streambuf>
#include <utility>
#include <vector>

#include "cli/batch/workers.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

struct CommandRun {
    int exitCode;
    std::string out, err;
};

CommandRun draw(std::vector<std::string> arguments, bool outIsTerminal = false) {
    std::ostringstream out, err;
    const int exitCode = cli::runDraw(arguments, out, err, outIsTerminal);
    return {exitCode, out.str(), err.str()};
}

TEST(QuilletDrawCommand, ExitCodesAndMessages) {
    struct Row {
        std::vector<std::string> arguments;
        int exitCode;
        std::string errStarts;
        bool toTerminal = false;
    };
    const Row rows[] = {
        {{"Code_39", "CODE39", "-o", "-", "--format", "svg"}, 0, ""},
        {{"Code_39", "CODE39", "-o", "x.bmp"}, 64, "quillet: cannot tell the format of 'x.bmp'"},
        {{"Code_39", "CODE39", "-o", "-"}, 64, "quillet: cannot tell the format", true},
        {{"Code_39", "CODE39", "-o", "-"}, 0, ""},
        {{"Code_39", "CODE39"}, 64, "quillet: draw needs -o FILE"},
        {{"Code_39", "-o", "-", "--format", "png"}, 64, "quillet: draw takes SYMBOLOGY and CODE"},
        {{"Code_40", "X", "-o", "-", "--format", "png"}, 64, "quillet: unknown symbology"},
        {{"Code_39", "X", "-o", "-", "--format", "gif"}, 64, "quillet: unknown format 'gif'"},
        {{"Code_39", "X", "-o", "-", "--format", "png", "--dpi", "0"},
         64,
         "quillet: invalid value"},
        {{"Code_39", "X", "-o", "-.png", "--units", "cubits"}, 64, "quillet: unknown units"},
        {{"Code_39", "X", "-o", "-.png", "--bar-reduction", "-1"}, 64, "quillet: invalid value"},
        // Values that would make useless output, or more of it than memory holds.
        {{"Code_39", "X", "-o", "x.png", "--dpi", "1e-30"}, 64, "quillet: invalid value '1e-30'"},
        {{"Code_39", "X", "-o", "x.png", "--margin", "1e30"}, 64, "quillet: invalid value '1e30'"},
        {{"Code_39", "X", "-o", "x.png", "--rotate", "45"},
         64,
         "quillet: invalid value '45' for --rotate: expected 0, 90, 180 or 270"},
        {{"Code_39", "X", "-o", "-", "--format", "svg", "--rotate", "-90"}, 0, ""},
        {{"Code_39", "X", "-o", "x.png", "--bar-reduction", "30u"},
         64,
         "quillet: --bar-reduction takes 2 pixels off every bar, and the narrowest are 2 pixels"},
        {{"Code_39", "X", "-o", "x.pdf", "--bar-reduction", "1", "--dpi", "72", "--width", "20"},
         64,
         "quillet: --bar-reduction takes 1 points off every bar, and the narrowest are 1 points"},
        {{"Code_39", "X", "-o", "x.png", "--height", "31000", "--units", "pixels", "--width",
          "100"},
         64,
         "quillet: the image would be 5109 x 34627 pixels, more than 32767 a side or 64 million"},
        {{"Code_39", "X", "-o", "x.png", "--height", "20000", "--units", "pixels", "--width", "100",
          "--text", "0"},
         64,
         "quillet: the image would be 5109 x 22001 pixels"},
        {{"Code_39", "X", "-o", "x.svg", "--units", "inches", "--width", "300"},
         64,
         "quillet: the page would be"},
        // Binary output would scramble a terminal; text may go there.
        {{"Code_39", "X", "-o", "-", "--format", "png"},
         64,
         "quillet: not writing PNG to a terminal: name a file (-o file.png) or redirect standard "
         "output (-o - > file.png)\n",
         true},
        {{"Code_39", "X", "-o", "-", "--format", "pdf"}, 64, "quillet: not writing PDF", true},
        {{"Code_39", "X", "-o", "-", "--format", "svg"}, 0, "", true},
        {{"Code_39", "X", "-o", "-", "--format", "ps"}, 0, "", true},
        // A character without a pattern stops the drawing: nothing is written.
        {{"Code_39", "a", "-o", "-", "--format", "png", "--as-is"},
         1,
         "quillet: result 9 (Subscript out of range)\n"},
        {{"Code_39", "X", "-o", "-", "--format", "png", "--line", "0x80000005"},
         1,
         "quillet: result 380 (Invalid property value)\n"},
        // Data the checks refuse, and sizes of nothing.
        {{"ean13", "4006381333930", "-o", "x.png"},
         65,
         "quillet: the check digit should be 1, not 0\n"},
        {{"code128", "123", "-o", "x.png", "--set", "C"},
         65,
         "quillet: set C takes an even number of digits: 3 given (set B takes any number)\n"},
        {{"code128", "B123", "-o", "x.png", "--set", "B", "--as-is"}, 64, "quillet: --set and"},
        {{"Code_39", "X", "-o", "x.png", "--width", "0"}, 64, "quillet: invalid value '0'"},
        {{"Code_39", "X", "-o", "x.png", "--height", "-1mm"}, 64, "quillet: invalid value '-1mm'"},
        // Before the error trap: the ratio needs its colon.
        {{"Code_39", "X", "-o", "-", "--format", "png", "--ratio", "3"}, 2, "quillet: error 5"},
    };
    for (const auto& row : rows) {
        const CommandRun run = draw(row.arguments, row.toTerminal);
        std::string joined;
        for (const auto& argument : row.arguments) joined += argument + " ";
        EXPECT_EQ(run.exitCode, row.exitCode) << joined << run.err;
        EXPECT_EQ(run.err.substr(0, row.errStarts.size()), row.errStarts) << joined;
        if (row.exitCode != 0) {
            EXPECT_EQ(run.out, "") << joined;
        }
    }
}

TEST(QuilletDrawCommand, BackgroundNoneLeavesThePageUnfilled) {
    const std::string pageFill = "<rect x=\"0\" y=\"0\"";
    const CommandRun white = draw({"Code_39", "A", "-o", "-", "--format", "svg"});
    EXPECT_NE(white.out.find(pageFill), std::string::npos);
    const CommandRun none =
        draw({"Code_39", "A", "-o", "-", "--format", "svg", "--background", "none"});
    EXPECT_EQ(none.out.find(pageFill), std::string::npos);
    EXPECT_EQ(
        draw({"Code_39", "A", "-o", "-", "--format", "svg", "--background", "#12345"}).exitCode,
        64);
}

TEST(QuilletDrawCommand, PrintsTheWrittenBackCode) {
    const auto path = fs::temp_directory_path() / "quillet-print-code.svg";
    const CommandRun toFile =
        draw({"Code_39", "CODE39", "--chk", "1", "--print-code", "-o", path.string()});
    EXPECT_EQ(toFile.exitCode, 0);
    EXPECT_EQ(toFile.out, "CODE39W\n");
    EXPECT_TRUE(fs::file_size(path) > 0);
    fs::remove(path);
    // With the image on standard output the code goes to standard error.
    const CommandRun toOut =
        draw({"Code_39", "CODE39", "--chk", "1", "--print-code", "-o", "-", "--format", "pdf"});
    EXPECT_EQ(toOut.err, "CODE39W\n");
    EXPECT_EQ(toOut.out.substr(0, 5), "%PDF-");
}

TEST(QuilletBatchCommand, ABadRowDoesNotStopTheOthers) {
    // On any number of threads, the same files and the same report in row order.
    for (const std::string threads : {"2", "1", "8"}) {
        SCOPED_TRACE("--threads " + threads);
        const fs::path folder = fs::temp_directory_path() / "quillet-batch-test";
        fs::remove_all(folder);
        std::istringstream rows(
            "symbology\tcode\tchk\twidth\n"
            "Code_39\tCODE39\t1\t\n"
            "# a comment\n"
            "Code_39\tA*B\t\t\n"
            "Code_40\tX\n"
            "EAN_13\t590123412345\t\t30\n"
            "Code_39\tA\t1\t2\textra\n"
            "Code_39\t\"A\tB\"\n");
        std::ostringstream out, err;
        EXPECT_EQ(cli::runBatch({"-", "-o", folder.string(), "--threads", threads}, rows, out, err,
                                false),
                  1);
        EXPECT_EQ(err.str(),
                  "quillet: row 2: '*' at position 2 is Code 39's start and stop character and "
                  "cannot be data (Code 39 Full ASCII carries it)\n"
                  "quillet: row 3: unknown symbology 'Code_40' (one of Codabar, Code_11, Code_128, "
                  "Code_25, Code_39, Code_39F, Code_93, EAN_13, EAN_8, ISBN, Code_MSI, PostNet, "
                  "UPC_A, UPC_A_Plus, UPC_E, Code_128_Auto, GS1_128, ITF_14, EAN_13_AddOn, "
                  "UPC_A_AddOn, UPC_E_AddOn, Intelligent_Mail)\n"
                  "quillet: row 5: expected the symbology, the code and options, found 5 fields\n"
                  "quillet: row 6: Code 39 has digits, capital letters, space and - . $ / + %: the "
                  "control character U+0009 at position 2 is not one of them (Code 39 Full ASCII "
                  "carries it)\n"
                  "quillet: 6 rows: 2 drawn, 4 failed\n");
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(folder))
            files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"1-CODE39W.png", "4-590123412345.png"}));
        fs::remove_all(folder);
    }
}

// Rows handed to the workers several at a time: failures anywhere among them are still told
// in row order, the same on any number of threads.
TEST(QuilletBatchCommand, RowsHandedOutTogetherReportInOrder) {
    const std::vector<std::size_t> bad{1, 17, 18, 64, 99, 100};
    std::string table, expected;
    for (std::size_t row = 1; row <= 100; ++row) {
        const bool fails = std::find(bad.begin(), bad.end(), row) != bad.end();
        table += fails ? "Code_39,A*\n" : "Code_39,A" + std::to_string(row) + "\n";
        if (fails)
            expected += "quillet: row " + std::to_string(row) +
                        ": '*' at position 2 is Code 39's start and stop character and cannot "
                        "be data (Code 39 Full ASCII carries it)\n";
    }
    expected += "quillet: 100 rows: 94 drawn, 6 failed\n";
    for (const std::string threads : {"1", "2", "3"}) {
        SCOPED_TRACE("--threads " + threads);
        std::istringstream rows(table);
        std::ostringstream out, err;
        EXPECT_EQ(
            cli::runBatch({"-", "-o", "/dev/null", "--threads", threads}, rows, out, err, false),
            65);
        EXPECT_EQ(err.str(), expected);
    }
}

// Rows drawn out of turn wait for those before them, whichever worker ends first.
TEST(QuilletBatchCommand, ReportsWaitForEarlierRows) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::size_t, std::size_t>> handedIn;  // first row, how many
    };
    const Row rows[] = {
        {"in turn", {{1, 3}, {4, 2}, {6, 1}}},
        {"a later hand-out first", {{4, 2}, {1, 3}, {6, 1}}},
        {"backwards", {{6, 1}, {4, 2}, {1, 3}}},
        {"the first one last", {{2, 2}, {6, 1}, {4, 2}, {1, 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::pair<std::size_t, std::string>> told;
        cli::RowReports reports(
            [&](std::size_t number, const std::optional<cli::RowFailure>& failure) {
                told.emplace_back(number, failure ? failure->message : "");
            });
        for (const auto& [first, count] : row.handedIn) {
            std::vector<std::optional<cli::RowFailure>> failures(count);
            for (std::size_t i = 0; i < count; ++i)
                if ((first + i) % 2 == 0)
                    failures[i] = cli::RowFailure{"row " + std::to_string(first + i), false};
            reports.done(first, failures);
        }
        EXPECT_EQ(told, (std::vector<std::pair<std::size_t, std::string>>{
                            {1, ""}, {2, "row 2"}, {3, ""}, {4, "row 4"}, {5, ""}, {6, "row 6"}}));
    }
}

// Files already in the folder are replaced as a whole: a file keeps its permissions, a link
// stays and the file it names is made.
TEST(QuilletBatchCommand, ReplacesFilesAlreadyThere) {
    const fs::path folder = fs::temp_directory_path() / "quillet-batch-again";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "1-A.png") << "old";
    fs::permissions(folder / "1-A.png", fs::perms(0640));
    fs::create_symlink("b.png", folder / "2-B.png");
    std::istringstream rows("Code_39,A\nCode_39,B\nCode_39,C\n");
    std::ostringstream out, err;
    EXPECT_EQ(cli::runBatch({"-", "-o", folder.string(), "--threads", "2"}, rows, out, err, false),
              0)
        << err.str();
    EXPECT_GT(fs::file_size(folder / "1-A.png"), 3u);
    EXPECT_EQ(fs::status(folder / "1-A.png").permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(folder / "2-B.png"));
    EXPECT_TRUE(fs::exists(folder / "b.png"));
    EXPECT_TRUE(fs::exists(folder / "3-C.png"));
    fs::remove_all(folder);
}

TEST(QuilletBatchCommand, LabelGridInOnePdf) {
    const fs::path pdf = fs::temp_directory_path() / "quillet-batch-grid.pdf";
    std::istringstream rows("Code_39,A\nCode_39,B\nCode_39,C\n");
    std::ostringstream out, err;
    EXPECT_EQ(cli::runBatch({"-", "-o", pdf.string(), "--grid", "2x1"}, rows, out, err, false), 0);
    EXPECT_EQ(err.str(), "quillet: 3 rows: 3 drawn, 0 failed\n");
    std::ifstream file(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("/Count 2"), std::string::npos) << "two pages of two labels";
    fs::remove(pdf);

    std::istringstream again("Code_39,A\n");
    EXPECT_EQ(cli::runBatch({"-", "-o", "folder", "--grid", "2x1"}, again, out, err, false), 64);
}

// Rows through a pipe: the stream cannot be rewound to count them first.
class PipeBuffer : public std::streambuf {
  public:
    explicit PipeBuffer(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

  private:
    std::string text_;
};

TEST(QuilletBatchCommand, DrawsToNothingAndFromPipes) {
    struct Row {
        const char* what;
        std::string rows;
        bool piped;
        std::vector<std::string> options;
        int exitCode;
        std::string err;
    };
    const Row rows[] = {
        {"refused data",
         "Code_39,A\nEAN_13,123\n",
         false,
         {"-o", "/dev/null"},
         65,
         "quillet: row 2: EAN-13 takes 12 digits, or 13 with its check digit: 3 given\n"
         "quillet: 2 rows: 1 drawn, 1 failed\n"},
        {"null output",
         "Code_39,A\nCode_39,a\n",
         false,
         {"-o", "/dev/null", "--as-is"},
         1,
         "quillet: row 2: result 9 (Subscript out of range)\n"
         "quillet: 2 rows: 1 drawn, 1 failed\n"},
        {"null output, SVG",
         "Code_39,A\n",
         true,
         {"-o", "/dev/null", "--format", "svg"},
         0,
         "quillet: 1 rows: 1 drawn, 0 failed\n"},
        {"a header and nothing else",
         "symbology,code,chk\n",
         false,
         {"-o", "/dev/null"},
         0,
         "quillet: 0 rows: 0 drawn, 0 failed\n"},
        {"no output",
         "Code_39,A\n",
         false,
         {"-o", "-"},
         64,
         "quillet: batch needs -o OUT, a folder, a .pdf file or /dev/null\n"},
        {"a UTF-8 byte-order mark before the header",
         "\xEF\xBB\xBFsymbology,code\r\nCode_39,A\r\n",
         true,
         {"-o", "/dev/null"},
         0,
         "quillet: 1 rows: 1 drawn, 0 failed\n"},
        {"a UTF-8 byte-order mark before a row",
         "\xEF\xBB\xBF"
         "Code_39,A\n",
         false,
         {"-o", "/dev/null"},
         0,
         "quillet: 1 rows: 1 drawn, 0 failed\n"},
        {"UTF-16, little-endian",
         std::string("\xFF\xFE"
                     "C\0o\0d\0e\0_\0"
                     "3\0"
                     "9\0,\0A\0\n\0",
                     22),
         false,
         {"-o", "/dev/null"},
         64,
         "quillet: the table is UTF-16 text: save it as UTF-8 (\"CSV UTF-8\" in a spreadsheet)\n"},
        {"UTF-16, big-endian, through a pipe",
         std::string("\xFE\xFF\0C\0o\0d\0e\0_\0"
                     "3\0"
                     "9\0,\0A\0\n",
                     22),
         true,
         {"-o", "/dev/null"},
         64,
         "quillet: the table is UTF-16 text: save it as UTF-8 (\"CSV UTF-8\" in a spreadsheet)\n"},
        {"a row beyond 1 MiB",
         "Code_39,A\nCode_39," + std::string(3 << 20, 'A') + "\nCode_39,B",
         true,
         {"-o", "/dev/null"},
         1,
         "quillet: row 2: the row is longer than 1048576 bytes\n"
         "quillet: 3 rows: 2 drawn, 1 failed\n"},
        {"a page beyond 200 inches",
         "Code_39,A\n",
         false,
         {"-o", "x.pdf", "--page", "1e30x1e30"},
         64,
         "quillet: invalid value '1e30x1e30' for --page: expected a4, letter or WIDTHxHEIGHT in "
         "millimetres, each from 10 to 5080\n"},
        {"a row's image beyond 64 million pixels",
         "symbology,code,height\nCode_39,A,20000\nCode_39,B,\n",
         false,
         {"-o", "/dev/null", "--units", "pixels", "--width", "100", "--text", "0"},
         1,
         "quillet: row 1: the image would be 5109 x 22001 pixels, more than 32767 a side or 64 "
         "million in all: lower --dpi or the symbol's size\n"
         "quillet: 2 rows: 1 drawn, 1 failed\n"},
        {"no threads",
         "Code_39,A\n",
         false,
         {"-o", "/dev/null", "--threads", "0"},
         64,
         "quillet: invalid value '0' for --threads: 1 to 64\n"},
        {"a folder named like an image",
         "Code_39,A\n",
         false,
         {"-o", (fs::temp_directory_path() / "quillet-labels.png").string()},
         64,
         "quillet: batch writes a folder of files (or one .pdf or .ps), and '" +
             (fs::temp_directory_path() / "quillet-labels.png").string() +
             "' is named like a file: name the folder otherwise, or make it first\n"},
    };
    for (const auto& row : rows) {
        PipeBuffer pipe(row.rows);
        std::istringstream file(row.rows);
        std::istream piped(&pipe);
        std::vector<std::string> arguments{"-"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        std::ostringstream out, err;
        EXPECT_EQ(cli::runBatch(arguments, row.piped ? piped : file, out, err, false), row.exitCode)
            << row.what;
        EXPECT_EQ(err.str(), row.err) << row.what;
        EXPECT_EQ(out.str(), "") << row.what;
    }
    EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "quillet-labels.png"));

    std::istream closed(nullptr);  // what the command reads after "<&-"
    std::ostringstream closedOut, closedErr;
    EXPECT_EQ(cli::runBatch({"-", "-o", "/dev/null"}, closed, closedOut, closedErr, false), 64);
    EXPECT_EQ(closedErr.str(),
              "quillet: standard input is closed: give the table's file, or pipe it in\n");

    // Rows that could not be counted first are numbered with six digits; the bar becomes a count.
    const fs::path folder = fs::temp_directory_path() / "quillet-batch-pipe";
    fs::remove_all(folder);
    PipeBuffer pipe("Code_39,A\nCode_39,B\n");
    std::istream piped(&pipe);
    std::ostringstream out, err;
    EXPECT_EQ(cli::runBatch({"-", "-o", folder.string()}, piped, out, err, true), 0);
    EXPECT_NE(err.str().find(" rows"), std::string::npos) << err.str();
    EXPECT_TRUE(err.str().ends_with("quillet: 2 rows: 2 drawn, 0 failed\n")) << err.str();
    EXPECT_TRUE(fs::exists(folder / "000001-A.png"));
    EXPECT_TRUE(fs::exists(folder / "000002-B.png"));
    fs::remove_all(folder);

    std::istringstream counted("Code_39,A\nCode_39,B\n");
    std::ostringstream countedErr;
    EXPECT_EQ(cli::runBatch({"-", "-o", "/dev/null"}, counted, out, countedErr, true), 0);
    EXPECT_NE(countedErr.str().find("] 2/2"), std::string::npos) << countedErr.str();
}

TEST(QuilletBatchCommand, ReadsFieldsAsWritten) {
    struct Row {
        const char* table;
        std::vector<std::string> fields;  // of its first row
    };
    const Row rows[] = {
        {"Code_39,\"A,B\"\n", {"Code_39", "A,B"}},
        {"Code_39,\"A\tB\"\n", {"Code_39", "A\tB"}},
        {"Code_39\t\"A\tB\"\n", {"Code_39", "A\tB"}},
        {"\"#1\",\"say \"\"hi\"\"\"\r\n", {"#1", "say \"hi\""}},
    };
    for (const Row& row : rows) {
        std::istringstream in(row.table);
        const cli::Table table = cli::readTable(in, DrawingArguments{});
        ASSERT_EQ(table.rows.size(), 1u) << row.table;
        EXPECT_EQ(table.rows[0].fields, row.fields) << row.table;
    }
}

// What a careless or hostile user gives the commands: the exit code, the message, and the files
// left (none half written, none wrong). "@" in an argument stands for the row's own folder.
TEST(QuilletOutputCommands, RefusalsAndFilesLeft) {
    std::string labels;
    for (int i = 0; i < 40; ++i) labels += "EAN_13,590123412345\n";
    const auto deadProcess = [] {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        waitpid(child, nullptr, 0);
        return std::to_string(child);
    };
    const std::string longName = std::string(250, 'n') + ".png";
    struct Row {
        const char* what;
        std::vector<std::string> arguments;  // batch when the first is "-"; draw otherwise
        std::string table;
        std::string sourceDateEpoch;
        std::function<void(const fs::path&)> before;
        int exitCode;
        std::string errHas;
        std::vector<std::string> present, absent;  // files in the folder afterwards
    };
    const Row rows[] = {
        {"a position beyond exact single precision",
         {"Code_39", "ABC", "--y", "1e20", "-o", "@y.png"},
         "",
         "",
         nullptr,
         64,
         "invalid value '1e+20' for --y: expected a position from -16000000 to 16000000",
         {},
         {"y.png"}},
        {"such a position in a row",
         {"-", "-o", "@out"},
         "symbology,code,y\nCode_39,A,1e9\nCode_39,B,\n",
         "",
         nullptr,
         1,
         "row 1: invalid value '1e+09' for --y",
         {"out/2-B.png"},
         {"out/1-A.png"}},
        {"labels larger than their cells",
         {"-", "-o", "@g.pdf", "--grid", "4x10", "--width", "30"},
         labels,
         "",
         nullptr,
         1,
         "row 1: the label's contents (59.8 x 29.3 mm) do not fit its label",
         {},
         {"g.pdf"}},
        {"scaled to fit",
         {"-", "-o", "@g.pdf", "--grid", "4x10", "--width", "30", "--fit"},
         labels,
         "",
         nullptr,
         0,
         "40 rows: 40 drawn, 0 failed",
         {"g.pdf"},
         {}},
        {"a quoted field holding a line break",
         {"-", "-o", "@out"},
         "Code_128,\"AB\nEAN_13,590123412345\"\r\nCode_39,X\n",
         "",
         nullptr,
         0,
         "2 rows: 2 drawn",
         {"out/2-X.png"},
         {"out/3-590123412345.png"}},
        {"a quote never closed",
         {"-", "-o", "@out"},
         "Code_39,A\nCode_128,\"AB\nCode_39,X\n",
         "",
         nullptr,
         1,
         "row 2: a field opened with a double quote is not closed",
         {"out/1-A.png"},
         {}},
        {"lines ended by CR alone",
         {"-", "-o", "@out"},
         "Code_39,A\rCode_39,B\r",
         "",
         nullptr,
         0,
         "2 rows: 2 drawn",
         {"out/1-A.png", "out/2-B.png"},
         {}},
        {"a zero byte in a comment",
         {"-", "-o", "/dev/null"},
         std::string("# a\0b\nCode_39,A\n", 16),
         "",
         nullptr,
         0,
         "1 rows: 1 drawn",
         {},
         {}},
        {"a stray zero byte",
         {"-", "-o", "/dev/null"},
         std::string("Code_39,A\nCode_39,B\0\n", 21),
         "",
         nullptr,
         1,
         "row 2: the row holds a zero byte",
         {},
         {}},
        {"UTF-16 without a mark, an empty line first",
         {"-", "-o", "/dev/null"},
         std::string("\n\0C\0o\0d\0e\0", 10),
         "",
         nullptr,
         64,
         "the table is UTF-16 text",
         {},
         {}},
        {"UTF-32",
         {"-", "-o", "/dev/null"},
         std::string("\xFF\xFE\0\0C\0\0\0", 8),
         "",
         nullptr,
         64,
         "the table is UTF-32 text",
         {},
         {}},
        {"the largest page",
         {"-", "-o", "@p.pdf", "--grid", "2x2", "--page", "5080x5080"},
         "Code_39,A\n",
         "",
         nullptr,
         0,
         "1 drawn",
         {"p.pdf"},
         {}},
        {"a grid of fractions",
         {"-", "-o", "@p.pdf", "--grid", "1.5x2"},
         "Code_39,A\n",
         "",
         nullptr,
         64,
         "'1.5x2' for --grid: expected COLUMNSxROWS, such as 3x8, each from 1 to 200",
         {},
         {"p.pdf"}},
        {"a bad date for a format without one",
         {"Code_39", "A", "-o", "@s.png"},
         "",
         "x",
         nullptr,
         0,
         "",
         {"s.png"},
         {}},
        {"a bad date for a format with one",
         {"Code_39", "A", "-o", "@s.pdf"},
         "",
         "x",
         nullptr,
         64,
         "invalid SOURCE_DATE_EPOCH 'x'",
         {},
         {"s.pdf"}},
        {"a name near the longest a folder allows",
         {"Code_39", "A", "-o", "@" + longName},
         "",
         "",
         nullptr,
         0,
         "",
         {longName},
         {}},
        {"a link to a file yet to be made",
         {"Code_39", "A", "-o", "@link.png"},
         "",
         "",
         [](const fs::path& folder) {
             fs::create_directory(folder / "sub");
             fs::create_symlink("sub/made.png", folder / "link.png");
         },
         0,
         "",
         {"sub/made.png"},
         {}},
        {"the temporary file of a process that has ended",
         {"Code_39", "A", "-o", "@a.png"},
         "",
         "",
         [&](const fs::path& folder) {
             std::ofstream(folder / (".quillet-" + deadProcess() + "-0.part")) << "half";
         },
         0,
         "",
         {"a.png"},
         {}},
    };
    const char* given = std::getenv("SOURCE_DATE_EPOCH");
    const std::optional<std::string> sourceDateEpoch =
        given != nullptr ? std::optional<std::string>(given) : std::nullopt;
    int rowNumber = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A folder of its own: a run sweeps a folder once.
        const fs::path folder =
            fs::temp_directory_path() / ("quillet-refusals-" + std::to_string(++rowNumber));
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (row.before) row.before(folder);
        std::vector<std::string> arguments = row.arguments;
        for (std::string& argument : arguments)
            if (argument.starts_with("@")) argument = (folder / argument.substr(1)).string();
        if (row.sourceDateEpoch.empty())
            unsetenv("SOURCE_DATE_EPOCH");
        else
            setenv("SOURCE_DATE_EPOCH", row.sourceDateEpoch.c_str(), 1);
        std::istringstream table(row.table);
        std::ostringstream out, err;
        const int exitCode = arguments[0] == "-" ? cli::runBatch(arguments, table, out, err, false)
                                                 : cli::runDraw(arguments, out, err);
        unsetenv("SOURCE_DATE_EPOCH");
        EXPECT_EQ(exitCode, row.exitCode) << err.str();
        EXPECT_NE(err.str().find(row.errHas), std::string::npos) << err.str();
        for (const std::string& name : row.present) EXPECT_TRUE(fs::exists(folder / name)) << name;
        for (const std::string& name : row.absent) EXPECT_FALSE(fs::exists(folder / name)) << name;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
        fs::remove_all(folder);
    }
    if (sourceDateEpoch) setenv("SOURCE_DATE_EPOCH", sourceDateEpoch->c_str(), 1);
}

// A replaced file keeps its permissions but not the right to run as its owner or group.
TEST(QuilletOutputCommands, ReplacingDropsSetuidAndSetgid) {
    const fs::path file = fs::temp_directory_path() / "quillet-setuid.png";
    ASSERT_EQ(draw({"Code_39", "A", "-o", file.string()}).exitCode, 0);
    fs::permissions(file, fs::perms(06750));
    ASSERT_EQ(draw({"Code_39", "B", "-o", file.string()}).exitCode, 0);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0750));
    fs::remove(file);
}

// A link to a file on another file system (/dev/shm is one of its own where it is there): the
// file is replaced where it is, keeping its permissions, and the link stays.
TEST(QuilletOutputCommands, ALinkToAnotherFileSystemReplacesTheFileItNames) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    const std::string name = "quillet-far-" + std::to_string(::getpid()) + ".png";
    const fs::path target = fs::path("/dev/shm") / name;
    const fs::path link = fs::temp_directory_path() / ("link-" + name);
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms(0604));
    fs::create_symlink(target, link);
    EXPECT_EQ(draw({"Code_39", "A", "-o", link.string()}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(fs::file_size(target), 3u);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0604));
    fs::remove(link);
    fs::remove(target);
}

}  // namespace
}  // namespace quillet
#endif
