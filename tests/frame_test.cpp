// The drawing frame: 16-bit arithmetic, rounding, numeric values, ratios, text and the trap.
#include "render/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/arithmetic.h"
#include "render/errors.h"
#include "render/numeric.h"
#include "render/ratio.h"
#include "render/text.h"
#include "surfaces/recording_surface.h"

namespace quillet {
namespace {

std::int32_t errorOf(auto&& operation) {
    try {
        operation();
    } catch (const RuntimeError& failure) {
        return failure.number();
    }
    return 0;
}

TEST(Rounding, HalfToEvenIntoSixteenBits) {
    struct Row {
        double value;
        std::int32_t expected;  // the value, or -error when it fails
    };
    const Row rows[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {-3.5, -4},
        {100.5, 100},
        {101.5, 102},
        {0.49999999, 0},
        {0.5000001, 1},
        {-0.5, 0},
        {32767.4, 32767},
        {32767.5, -6},
        {-32768.5, -32768},
        {-32769.5, -6},
        {17.5, 18},
        {1e10, -6},
        {std::numeric_limits<double>::quiet_NaN(), -6},
        {std::numeric_limits<double>::infinity(), -6},
    };
    for (const auto& row : rows) {
        std::int32_t got = 0;
        if (const auto number = errorOf([&] { got = roundToInt16(row.value); })) got = -number;
        EXPECT_EQ(got, row.expected) << "value " << row.value;
    }
}

TEST(Arithmetic, OverflowIsErrorSix) {
    EXPECT_EQ(add16(32000, 767), 32767);
    EXPECT_EQ(errorOf([] { add16(32000, 768); }), error::overflow);
    EXPECT_EQ(errorOf([] { subtract16(-32768, 1); }), error::overflow);
    EXPECT_EQ(errorOf([] { multiply16(182, 181); }), error::overflow);
    EXPECT_EQ(divide16(-7, 2), -3);  // truncates toward zero
    EXPECT_EQ(divide16(-3, 2), -1);
    EXPECT_EQ(errorOf([] { divide16(-32768, -1); }), error::overflow);
    EXPECT_EQ(errorOf([] { divide16(1, 0); }), error::divisionByZero);
}

TEST(NumericValue, ReadsTheNumberAtTheStart) {
    struct Row {
        std::string_view text;
        double expected;
    };
    const Row rows[] = {
        {"3", 3},       {" 2.5", 2.5}, {"-4", -4},   {"+7", 7},   {"1 2 3", 123}, {"\t1\n5", 15},
        {"12abc", 12},  {"abc", 0},    {"", 0},      {".5", 0.5}, {"-", 0},       {".", 0},
        {"1.2.3", 1.2}, {"1e2", 100},  {"1D2", 100}, {"2e", 2},   {"2e+", 2},     {"- 5", -5},
        {"+-5", 0},     {"5A", 5},     {"A5", 0},    {"0x10", 0}, {"1e-400", 0},
    };
    for (const auto& row : rows) EXPECT_EQ(numericValue(row.text), row.expected) << row.text;
    EXPECT_EQ(errorOf([] { numericValue("1e400"); }), error::overflow);
}

TEST(NumericValue, DigitValueOfOneCharacter) {
    for (char32_t c = U'0'; c <= U'9'; ++c) EXPECT_EQ(digitValue(c), static_cast<int>(c - U'0'));
    for (char32_t c : {U'A', U' ', U'-', U'.', U'+', U'\u00e9'}) EXPECT_EQ(digitValue(c), 0);
}

TEST(Ratio, ParsesWideAndNarrowExtras) {
    struct Row {
        std::string_view text;
        std::int32_t wide, narrow;  // or -error in wide
    };
    const Row rows[] = {
        {"3:1", 21, 1},     {"2:1", 14, 1},       {"2.5:1", 18, 1},  {":", 0, 0},
        {"2:0", 14, 0},     {"3", -5, 0},         {"", -5, 0},       {"5000:1", -6, 0},
        {"1:40000", -6, 0}, {"1:2:3", 7, 2},      {"x:y", 0, 0},     {" 3 : 1.5 ", 21, 2},
        {"03:01", 21, 1},   {"4681:1", 32767, 1}, {"4682:1", -6, 0}, {"1:9999", 7, 9999},
        {"3:1 ", 21, 1},    {"+3:1", 21, 1},
    };
    for (const auto& row : rows) {
        Ratio ratio{};
        const auto number = errorOf([&] { ratio = parseRatio(row.text); });
        if (row.wide < 0) {
            EXPECT_EQ(number, -row.wide) << row.text;
        } else {
            EXPECT_EQ(number, 0) << row.text;
            EXPECT_EQ(ratio.wideExtra, row.wide) << row.text;
            EXPECT_EQ(ratio.narrowExtra, row.narrow) << row.text;
        }
    }
}

TEST(Text, CharactersNotBytes) {
    EXPECT_EQ(decodeUtf8("a\u00e9\u20ac"), U"a\u00e9\u20ac");
    EXPECT_EQ(encodeUtf8(U"a\u00e9\u20ac\U0001F600"), "a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(decodeUtf8("\xff"
                         "a\xc3"),
              U"\uFFFDa\uFFFD");
    EXPECT_EQ(decodeUtf8("\xed\xa0\x80"), U"\uFFFD\uFFFD\uFFFD");  // a surrogate is not text
    EXPECT_EQ(trimSpaces(U"  a b \t "), U"a b \t");
    EXPECT_EQ(trimSpaces(U"    "), U"");
    EXPECT_EQ(CharacterText(U'\u00e9').view(), "\u00e9");
}

TEST(Text, WrittenBackAsUtf8) {
    struct Row {
        std::string before;
        std::u32string_view data;
        std::string_view after;
    };
    const Row rows[] = {
        {"12345", U"12345", "12345"},
        {"12345", U"123455", "123455"},
        {"123455", U"12345", "12345"},
        {"\u00e91", U"\u00e912", "\u00e912"},
        {"a\xff", U"a\uFFFD", "a\uFFFD"},
        {"a\xc3\xa9", U"a\u00e9", "a\u00e9"},
        {"", U"978", "978"},
        {"abc", U"", ""},
    };
    for (const Row& row : rows) {
        std::string code = row.before;
        assignUtf8(code, row.data);
        EXPECT_EQ(code, row.after) << row.before;
    }
}

TEST(Text, SingleByteCodes) {
    struct Row {
        char32_t character;
        std::int32_t code;
    };
    const Row rows[] = {{U'A', 65},
                        {U'\0', 0},
                        {U'\x7f', 127},
                        {U'\u00e9', 233},
                        {U'\u00a0', 160},
                        {U'\u20ac', 128},
                        {U'\u0178', 159},
                        {U'\u0081', 129},
                        {U'\u0080', unmappedCode},
                        {U'\u4e2d', unmappedCode},
                        {U'\uFFFD', unmappedCode}};
    for (const auto& row : rows)
        EXPECT_EQ(singleByteCode(row.character), row.code)
            << std::hex << static_cast<std::uint32_t>(row.character);
}

TEST(Trap, TurnsErrorsIntoResultCodes) {
    EXPECT_EQ(trap([] {}), 0);
    EXPECT_EQ(trap([] { raise(error::subscriptOutOfRange); }), 9);
    EXPECT_EQ(trap([] { raise(-5); }), -5);
    EXPECT_EQ(trap([] { raise(32767); }), 32767);
    // A number the result cannot hold overflows in the handler, towards the caller.
    EXPECT_EQ(errorOf([] { trap([] { raise(0x800A0000 + 0); }); }), error::overflow);
    EXPECT_EQ(errorOf([] { trap([] { raise(40000); }); }), error::overflow);
}

TEST(Frame, BoxesAdvanceAndCheckTheRightEdge) {
    RecordingSurface surface;
    std::string code;
    const Arguments args{&surface, 32752.4f, 0, code, 15, 100,  0,
                         false,    "Arial",  0, 255,  "", false};
    Frame frame(args);
    frame.startAtX();
    EXPECT_EQ(frame.runningX(), 32752);
    // 32752 + 15 - 1 = 32766 fits; the next box's x + width already passes 32767.
    EXPECT_EQ(trap([&] { frame.paintModules("10", frame.normalBand()); }), error::overflow);
    ASSERT_EQ(surface.lines().size(), 1u);
    EXPECT_EQ(surface.lines()[0], "Line\t38\t32752\t0\t32766\t100\t255");
}

// A surface that moves the caller's running x by `shift` when it paints box number `at`.
class ShiftingSurface : public RecordingSurface {
  public:
    ShiftingSurface(int at, std::int16_t shift) : at_(at), shift_(shift) {}
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        RecordingSurface::line(flags, x1, y1, x2, y2, color);
        if (boxes_++ == at_) x1 = static_cast<std::int16_t>(x1 + shift_);
    }

  private:
    int boxes_ = 0;
    int at_;
    std::int16_t shift_;
};

TEST(Frame, RunsOfBoxesStopAtTheBoxThatOverflows) {
    struct Row {
        const char* name;
        float pX;
        std::int16_t pWidth;
        // Elements when set, modules as bits for "bits", as two runs proven at once for
        // "proven", else as text.
        std::string_view ratio;
        std::string_view pattern;
        int shiftAt;
        std::int16_t shift;
        std::size_t boxes;
        std::int32_t error;
        std::int16_t runningX;  // after the run, when it completes
        bool firstIsBar = true;
    };
    const Row rows[] = {
        {"modules fit", 100, 3, "", "1010", -1, 0, 4, 0, 112},
        {"modules reach the edge", 32755, 3, "", "1010", -1, 0, 4, 0, 32767},
        {"modules pass the edge", 32756, 3, "", "1010", -1, 0, 3, error::overflow, 0},
        {"negative width", -32760, -2, "", "111", -1, 0, 3, 0, -32766},
        {"negative width passes the edge", -32760, -2, "", "1111", -1, 0, 3, error::overflow, 0},
        {"surface moves x", 100, 3, "", "1010", 1, 5, 4, 0, 117},
        {"moved x then overflows", 32700, 3, "", "1010", 0, 60, 2, error::overflow, 0},
        {"moved x back", 32760, 3, "", "101", 0, -100, 3, 0, 32669},
        {"elements fit", 0, 2, "2:1", "0101", -1, 0, 4, 0, 38},
        {"elements pass the edge", 32730, 2, "2:1", "0101", -1, 0, 3, error::overflow, 0},
        {"elements from a space", 0, 2, "2:1", "10100", 2, 1, 5, 0, 42, false},
        {"narrow too wide", 0, 32767, "0:1", "10", -1, 0, 1, error::overflow, 0},
        {"bits fit", 100, 3, "bits", "1100", -1, 0, 4, 0, 112},
        {"bits pass the edge", 32756, 3, "bits", "1100", -1, 0, 3, error::overflow, 0},
        {"bits: surface moves x", 100, 3, "bits", "0110", 0, 5, 4, 0, 117},
        {"bits: moved x then overflows", 32700, 3, "bits", "0110", 0, 60, 2, error::overflow, 0},
        {"proven runs fit", 32755, 3, "proven", "1010", -1, 0, 4, 0, 32767},
        {"proven runs: moved x then overflows", 32700, 3, "proven", "1010", 0, 60, 2,
         error::overflow, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShiftingSurface surface(row.shiftAt, row.shift);
        std::string code;
        const Arguments args{&surface, row.pX,  0, code, row.pWidth, 10,   0,
                             false,    "Arial", 0, 1,    row.ratio,  false};
        Frame frame(args);
        frame.startAtX();
        const auto result = trap([&] {
            if (row.ratio.empty()) {
                frame.paintModules(row.pattern, frame.normalBand());
            } else if (row.ratio == "proven") {
                frame.proveModules(row.pattern.size());
                frame.paintModules(row.pattern.substr(0, 2), frame.normalBand());
                frame.paintModules(row.pattern.substr(2), frame.normalBand());
            } else if (row.ratio == "bits") {
                std::uint32_t bits = 0;
                for (std::size_t k = 0; k < row.pattern.size(); ++k)
                    bits |= (row.pattern[k] == '1' ? 1U : 0U) << k;
                frame.paintModuleBits<4>(bits, frame.normalBand());
                const auto& lines = surface.lines();
                for (std::size_t k = 0; k < lines.size(); ++k)
                    EXPECT_EQ(lines[k].back() == '1', row.pattern[k] == '1') << k;
            } else {
                frame.paintElements(row.pattern, ElementWidths(row.pWidth, parseRatio(row.ratio)),
                                    frame.normalBand(), row.firstIsBar);
                const auto& lines = surface.lines();
                // Spaces are white, bars in pLineColor, alternating from the first element's kind.
                for (std::size_t k = 0; k < lines.size(); ++k)
                    EXPECT_EQ(lines[k].back() == '1', (k % 2 == 0) == row.firstIsBar) << k;
            }
        });
        EXPECT_EQ(result, row.error);
        EXPECT_EQ(surface.lines().size(), row.boxes);
        if (row.error == 0) {
            EXPECT_EQ(frame.runningX(), row.runningX);
        }
    }
}

// Height-modulated bars, each followed by its space: "1" a bar from the top, "0" from the middle.
TEST(Frame, HeightBarsStopAtTheBoxThatOverflows) {
    struct Row {
        const char* name;
        float pX;
        int shiftAt;
        std::int16_t shift;
        std::string_view tops;  // y1 of every box painted, bars and spaces
        std::int32_t error;
        std::int16_t runningX;  // after the run, when it completes
    };
    const Row rows[] = {
        {"bars fit", 100, -1, 0, "0 0 5 0", 0, 112},
        {"bars pass the edge", 32756, -1, 0, "0 0 5", error::overflow, 0},
        {"surface moves x at a bar", 100, 0, 5, "0 0 5 0", 0, 117},
        {"surface moves x at a space", 100, 1, 5, "0 0 5 0", 0, 117},
        {"moved x then overflows", 32700, 0, 60, "0 0", error::overflow, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShiftingSurface surface(row.shiftAt, row.shift);
        std::string code;
        const Arguments args{&surface, row.pX, 0, code, 3, 10, 0, false, "Arial", 0, 1, "", false};
        Frame frame(args);
        frame.startAtX();
        const auto result =
            trap([&] { frame.paintHeightBars("10", frame.normalBand(), frame.halfBand()); });
        EXPECT_EQ(result, row.error);
        std::string tops;
        for (const std::string& line : surface.lines()) {
            std::size_t field = 0;
            for (int skip = 0; skip < 3; ++skip) field = line.find('\t', field) + 1;
            tops += (tops.empty() ? "" : " ") + line.substr(field, line.find('\t', field) - field);
        }
        EXPECT_EQ(tops, row.tops);
        if (row.error == 0) {
            EXPECT_EQ(frame.runningX(), row.runningX);
        }
    }
}

// A run gathers patterns and paints them at once: the boxes, the error and the running x are
// those of painting each pattern on its own, across the flushes of a run longer than it holds.
TEST(Frame, PatternRunsPaintAsOnePatternAtATime) {
    enum class Kind { modules, elements, heights };
    struct Row {
        const char* name;
        Kind kind;
        float pX;
        std::vector<std::string_view> patterns;
        std::size_t repeat;  // the patterns this many times
    };
    const Row rows[] = {
        {"modules", Kind::modules, 100, {"1011", "00110"}, 1},
        {"modules past what a run holds", Kind::modules, -32000, {"11011001100"}, 60},
        {"modules overflow in a later flush", Kind::modules, 31500, {"10011101100"}, 60},
        {"elements of odd length", Kind::elements, 0, {"00110", "0", "101"}, 1},
        {"odd elements across flushes", Kind::elements, -32000, {"000110100", "0", "1"}, 40},
        {"elements overflow", Kind::elements, 31000, {"100100001", "0"}, 30},
        {"heights", Kind::heights, 0, {"11000", "00101"}, 40},
        {"heights overflow", Kind::heights, 32000, {"10"}, 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto paint = [&](bool gathered, RecordingSurface& surface, std::int16_t& runningX) {
            std::string code;
            const Arguments args{&surface, row.pX,  0, code, 3,     10,   0,
                                 false,    "Arial", 0, 1,    "2:1", false};
            Frame frame(args);
            frame.startAtX();
            const ElementWidths widths(3, parseRatio(args.pRatio));
            const Band band = frame.normalBand();
            const Band low = frame.halfBand();
            bool firstIsBar = true;
            const auto result = trap([&] {
                PatternRun run = row.kind == Kind::modules    ? PatternRun(frame, band)
                                 : row.kind == Kind::elements ? PatternRun(frame, widths, band)
                                                              : PatternRun(frame, band, low);
                for (std::size_t k = 0; k < row.repeat; ++k) {
                    for (const std::string_view pattern : row.patterns) {
                        if (gathered) {
                            run.add(pattern);
                        } else if (row.kind == Kind::modules) {
                            frame.paintModules(pattern, band);
                        } else if (row.kind == Kind::elements) {
                            frame.paintElements(pattern, widths, band, firstIsBar);
                            if (pattern.size() % 2 != 0) firstIsBar = !firstIsBar;
                        } else {
                            frame.paintHeightBars(pattern, band, low);
                        }
                    }
                }
                run.paint();
            });
            runningX = frame.runningX();
            return result;
        };
        RecordingSurface oneByOne, gathered;
        std::int16_t xOneByOne = 0, xGathered = 0;
        const std::int32_t result = paint(false, oneByOne, xOneByOne);
        EXPECT_EQ(paint(true, gathered, xGathered), result);
        EXPECT_EQ(gathered.lines(), oneByOne.lines());
        // After an error the method ends, and its running x with it.
        if (result == 0) {
            EXPECT_EQ(xGathered, xOneByOne);
        }
    }
}

TEST(Frame, YCoordinatesAreSinglePrecision) {
    RecordingSurface surface;
    std::string code;
    const Arguments args{&surface, 0, 0.1f, code, 15, 1199, 0, false, "Arial", 0, 0, "", false};
    Frame frame(args);
    EXPECT_EQ(frame.textRow(), 1199.0f + 0.1f + 59.0f);
    EXPECT_EQ(frame.longBand().bottom, 1199.0f + 0.1f + 199.0f);
    EXPECT_EQ(frame.normalBand().top, 0.1f);
}

}  // namespace
}  // namespace quillet
