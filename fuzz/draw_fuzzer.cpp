// Feeds arbitrary arguments to every drawing method on a recording surface and checks what must
// hold whatever the input: a documented result; the four font properties set first; boxes side
// by side, of a width the method may use; nothing drawn once a surface member failed, nor by a
// call that fails towards the caller; UTF-8 texts and pCode; a missing surface giving 91 and a
// symbology outside 0-14 giving 5; and the same outcome from one control object used for every
// input as from a fresh one (nothing survives a call).
//
// Input layout (little-endian), read by make_corpus.py too:
//   0      symbology, taken modulo 22: the fifteen, then those beyond them
//   1      switches: bit 0 pBold, bit 1 pChk, bits 2-3 pText (0, 1, -1, or the field below),
//          bit 4 a surface member fails (the failure fields follow the header)
//   2..5   pX (float)        6..9   pY (float)
//   10..11 pWidth            12..13 pHeight           14..15 pText
//   [16 member, 17 on which call, 18..21 error number]   when bit 4 is set
//   then one length byte and that many bytes of pRatio; the rest is pCode.
// Missing bytes read as zero, so every input is a call.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/quillet.h"
#include "fuzz/fuzz_input.h"
#include "render/ratio.h"
#include "surfaces/recording_surface.h"

namespace quillet {
namespace {

constexpr std::int32_t lineColor = 0x00802040;

constexpr std::array<std::string_view, 10> memberNames = {
    "FontName", "ForeColor", "FontBold",   "FontSize", "CurrentX",
    "CurrentY", "TextWidth", "TextHeight", "Line",     "Print"};

// The numbers a drawing method may return by itself: 445 stands for a method not built yet.
constexpr std::array<std::int32_t, 8> documentedResults = {0, 5, 6, 9, 11, 13, 94, 445};
// A call fails towards the caller only from the steps before its trap: no colon in the ratio,
// or an overflow (ratio, pX, or an error number that a 16-bit result cannot hold).
constexpr std::array<std::int32_t, 2> documentedFailures = {5, 6};

constexpr bool isTwoWidth(Symbology symbology) {
    if (symbology.isExtended()) return false;
    const tBarcodeType type = symbology.barcodeType();
    return type == Codabar || type == Code_11 || type == Code_25 || type == Code_39 ||
           type == Code_39F || type == Code_MSI;
}

using quillet::fuzz::fail;
using quillet::fuzz::Reader;

struct SurfaceFailure {
    std::string_view member;
    int call;
    std::int32_t number;
};

struct Call {
    Symbology type;
    DrawingArguments args;
    std::optional<SurfaceFailure> failure;
};

Call readCall(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Call call;
    call.type = fuzz::symbologyOf(in.take<std::uint8_t>());
    const auto switches = in.take<std::uint8_t>();
    DrawingArguments& args = call.args;
    args.pX = in.take<float>();
    args.pY = in.take<float>();
    args.pWidth = in.take<std::int16_t>();
    args.pHeight = in.take<std::int16_t>();
    const auto text = in.take<std::int16_t>();
    constexpr std::array<std::int16_t, 3> commonTexts = {0, 1, -1};
    const unsigned textMode = (switches >> 2) & 3u;
    args.pText = textMode < commonTexts.size() ? commonTexts[textMode] : text;
    args.pBold = (switches & 1u) != 0;
    args.pChk = (switches & 2u) != 0;
    args.pLineColor = lineColor;
    if (switches & 16u) {
        const auto member = in.take<std::uint8_t>();
        const auto nth = in.take<std::uint8_t>();
        call.failure = SurfaceFailure{memberNames[member % memberNames.size()], nth == 0 ? 1 : nth,
                                      in.take<std::int32_t>()};
    }
    args.pRatio = in.text(in.take<std::uint8_t>());
    args.pCode = in.rest();
    return call;
}

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length;
        char32_t c;
        if (lead < 0x80)
            length = 1, c = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, c = lead & 0x1Fu;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, c = lead & 0x0Fu;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, c = lead & 0x07u;
        else
            return false;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3Fu);
        }
        constexpr std::array<char32_t, 5> smallest = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// Records like the recording surface, and counts every call made, the failing one included: a
// call after a member has failed is a fault.
class WatchedSurface final : public RecordingSurface {
  public:
    int attempts() const noexcept { return attempts_; }
    bool failed() const noexcept { return failed_; }

    void setFontName(std::string_view name) override {
        watch([&] { RecordingSurface::setFontName(name); });
    }
    void setForeColor(std::int32_t color) override {
        watch([&] { RecordingSurface::setForeColor(color); });
    }
    void setFontBold(bool bold) override {
        watch([&] { RecordingSurface::setFontBold(bold); });
    }
    void setFontSize(std::int16_t size) override {
        watch([&] { RecordingSurface::setFontSize(size); });
    }
    void setCurrentX(Coordinate x) override {
        watch([&] { RecordingSurface::setCurrentX(x); });
    }
    void setCurrentY(float y) override {
        watch([&] { RecordingSurface::setCurrentY(y); });
    }
    double textWidth(std::string_view text) override {
        return watch([&] { return RecordingSurface::textWidth(text); });
    }
    double textHeight(std::string_view text) override {
        return watch([&] { return RecordingSurface::textHeight(text); });
    }
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        watch([&] { RecordingSurface::line(flags, x1, y1, x2, y2, color); });
    }
    void print(std::string_view text) override {
        watch([&] { RecordingSurface::print(text); });
    }

  private:
    template <class Member>
    auto watch(Member member) -> decltype(member()) {
        if (failed_) fail("nothing drawn after a surface member failed", trace());
        ++attempts_;
        try {
            return member();
        } catch (...) {
            failed_ = true;
            throw;
        }
    }

    int attempts_ = 0;
    bool failed_ = false;
};

struct Outcome {
    std::optional<std::int16_t> result;  // nothing when the call failed towards the caller
    std::int32_t thrown = 0;
    std::string code;
    WatchedSurface surface;

    bool operator==(const Outcome& other) const {
        return result == other.result && thrown == other.thrown && code == other.code;
    }
};

// One call; the surface is left out (a null pointer) when surface is false.
Outcome run(Quillet& control, Symbology type, const DrawingArguments& arguments,
            const std::optional<SurfaceFailure>& failure, bool surface = true) {
    Outcome outcome;
    if (failure) outcome.surface.failAt(failure->member, failure->number, failure->call);
    DrawingArguments args = arguments;
    try {
        outcome.result = control.Draw(type, surface ? &outcome.surface : nullptr, args);
    } catch (const RuntimeError& error) {
        outcome.thrown = error.number();
    }
    outcome.code = std::move(args.pCode);
    return outcome;
}

template <std::size_t N>
bool contains(const std::array<std::int32_t, N>& numbers, std::int32_t number) {
    for (std::int32_t candidate : numbers)
        if (candidate == number) return true;
    return false;
}

void checkResult(const Call& call, const Outcome& outcome) {
    const bool injectedFits =
        call.failure && call.failure->number >= -32768 && call.failure->number <= 32767;
    if (outcome.result) {
        const std::int32_t result = *outcome.result;
        if (!contains(documentedResults, result) &&
            !(injectedFits && result == call.failure->number))
            fail("documented result", std::to_string(result));
    } else if (!contains(documentedFailures, outcome.thrown)) {
        fail("documented failure towards the caller", std::to_string(outcome.thrown));
    }
}

// Every box is one of the method's widths, x2 = x1 + width - 1, in the "Line" box form, and
// either a bar in the line colour or a white space.
void checkBoxes(const Call& call, const Outcome& outcome) {
    const std::int32_t width = call.args.pWidth;
    std::vector<std::int32_t> widths{width};
    if (isTwoWidth(call.type) && !outcome.surface.boxes().empty()) {
        const Ratio ratio = parseRatio(call.args.pRatio);
        widths = {width + ratio.narrowExtra, width + ratio.wideExtra};
    }
    // ITF-14's wide elements (2.5 modules, rounded), quiet zones and bearer bars (up to 10
    // modules), and the add-ons' gaps.
    if (call.type.isExtended())
        for (std::int32_t modules = 2; modules <= 10; ++modules) widths.push_back(width * modules);
    if (call.type == ExtendedType::ITF_14) widths.push_back(std::lrint(width * 2.5));
    const auto& boxes = outcome.surface.boxes();
    for (const RecordedBox& box : boxes) {
        const std::int32_t boxWidth = std::int32_t{box.x2} - box.x1 + 1;
        if (call.type == ExtendedType::ITF_14 && &box != &boxes.front() &&
            box.x1 == boxes.front().x1)
            continue;  // a bearer bar along the whole symbol
        bool known = false;
        for (std::int32_t allowed : widths) known = known || boxWidth == allowed;
        if (!known)
            fail("box width", std::to_string(box.x1) + ".." + std::to_string(box.x2) + " in " +
                                  std::string(call.type.name()));
        if (box.color != lineColor && box.color != white)
            fail("box colour", std::to_string(box.color));
    }
    for (const std::string& line : outcome.surface.lines())
        if (line.rfind("Line\t", 0) == 0 && line.rfind("Line\t38\t", 0) != 0)
            fail("box flags", line);
}

void checkText(const Call& call, const Outcome& outcome) {
    if (!isUtf8(call.args.pCode)) return;
    if (!isUtf8(outcome.code)) fail("pCode stays UTF-8", outcome.code);
    for (const std::string& line : outcome.surface.lines())
        if (!isUtf8(line)) fail("texts handed to the surface are UTF-8", line);
}

std::string describe(const Outcome& outcome) {
    return (outcome.result ? "result " + std::to_string(*outcome.result)
                           : "failure " + std::to_string(outcome.thrown)) +
           ", pCode '" + outcome.code + "'";
}

// A call that fails towards the caller does so before touching the surface, unless the surface
// raised a number that the result cannot hold; a surface failure ends the call with its number.
void checkFailures(const Call& call, const Outcome& outcome) {
    const bool injectedFits =
        call.failure && call.failure->number >= -32768 && call.failure->number <= 32767;
    if (outcome.surface.failed()) {
        const bool reported = injectedFits ? outcome.result == call.failure->number
                                           : !outcome.result && outcome.thrown == 6;
        if (!reported) fail("a surface failure is the call's result", describe(outcome));
    } else if (!outcome.result && outcome.surface.attempts() != 0) {
        fail("nothing drawn by a call that fails towards the caller", outcome.surface.trace());
    }
}

// "FontName", "ForeColor", "FontBold" and "FontSize", with the arguments' values, before
// anything else; all four unless one of them failed.
void checkFontFirst(const Call& call, const Outcome& outcome) {
    const auto& lines = outcome.surface.lines();
    if (outcome.surface.attempts() == 0) return;
    const DrawingArguments& args = call.args;
    const std::array<std::string, 4> expected = {
        "FontName\t" + escapeText(args.pFont), "ForeColor\t" + std::to_string(args.pForeColor),
        std::string("FontBold\t") + (args.pBold ? "True" : "False"),
        "FontSize\t" + std::to_string(args.pWidth / 2)};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i == lines.size()) {
            if (!outcome.surface.failed())
                fail("the four font properties are set", outcome.surface.trace());
            return;
        }
        if (lines[i] != expected[i])
            fail("the four font properties first", expected[i] + " expected, not " + lines[i]);
    }
}

// The running x moves only by whole boxes, or past a text it measured: a box starts where the
// one before it ended unless a text width was taken between them. ITF-14's bearer bars run
// along the symbol from where its first box began.
void checkSideBySide(const Call& call, const Outcome& outcome) {
    std::optional<std::int16_t> nextX;
    std::size_t box = 0;
    const bool bearers = call.type == ExtendedType::ITF_14;
    for (const std::string& line : outcome.surface.lines()) {
        if (line.rfind("TextWidth\t", 0) == 0) nextX.reset();
        if (line.rfind("Line\t", 0) != 0) continue;
        const RecordedBox& drawn = outcome.surface.boxes()[box++];
        if (bearers && drawn.x1 == outcome.surface.boxes().front().x1) continue;
        if (nextX && drawn.x1 != *nextX)
            fail("boxes side by side", line + " after a box ending at " +
                                           std::to_string(*nextX - 1) + "\n" +
                                           outcome.surface.trace());
        nextX = static_cast<std::int16_t>(drawn.x2 + 1);
    }
}

// A missing surface is the "object variable not set" error (91) where the surface is first
// used, that is where "FontName" would be set.
void checkNullSurface(Quillet& control, const Call& call) {
    const Outcome missing = run(control, call.type, call.args, std::nullopt, false);
    const Outcome expected = run(control, call.type, call.args, SurfaceFailure{"FontName", 1, 91});
    if (!(missing == expected))
        fail("a null surface gives 91", describe(missing) + " instead of " + describe(expected));
}

// A symbology outside 0-14 is the invalid-argument error (5), before anything happens.
void checkUnknownSymbology(Quillet& control, const Call& call, std::uint8_t seed) {
    const auto type = static_cast<tBarcodeType>(seed % 2 == 0 ? 15 + seed / 2 : -1 - seed / 2);
    const Outcome outcome = run(control, type, call.args, std::nullopt);
    if (outcome.result || outcome.thrown != 5 || outcome.surface.attempts() != 0 ||
        outcome.code != call.args.pCode)
        fail("a symbology outside 0-14 gives 5",
             std::to_string(static_cast<int>(type)) + ": " + describe(outcome));
}

void checkRepeatable(const Outcome& first, const Outcome& second) {
    if (!(first == second) || first.surface.lines() != second.surface.lines())
        fail("a fresh control draws as the one used for every input", first.surface.trace());
}

}  // namespace
}  // namespace quillet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    static Quillet shared;  // one object for every input, as a host keeps its control
    const Call call = readCall(data, size);
    const Outcome outcome = run(shared, call.type, call.args, call.failure);
    checkResult(call, outcome);
    checkFailures(call, outcome);
    checkFontFirst(call, outcome);
    checkBoxes(call, outcome);
    checkSideBySide(call, outcome);
    checkText(call, outcome);
    checkNullSurface(shared, call);
    checkUnknownSymbology(shared, call, size > 0 ? data[0] : 0);
    Quillet fresh;
    checkRepeatable(outcome, run(fresh, call.type, call.args, call.failure));
    return 0;
}
