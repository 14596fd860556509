// Feeds arbitrary arguments to every drawing method on a recording surface and checks what must
// hold whatever the input: a documented result, boxes of a width the method may use, UTF-8
// texts and pCode, and the same outcome on a second identical call (nothing survives a call).
//
// Input layout (little-endian), read by make_corpus.py too:
//   0      symbology, taken modulo 15
//   1      switches: bit 0 pBold, bit 1 pChk, bits 2-3 pText (0, 1, -1, or the field below),
//          bit 4 a surface member fails (the failure fields follow the header)
//   2..5   pX (float)        6..9   pY (float)
//   10..11 pWidth            12..13 pHeight           14..15 pText
//   [16 member, 17 on which call, 18..21 error number]   when bit 4 is set
//   then one length byte and that many bytes of pRatio; the rest is pCode.
// Missing bytes read as zero, so every input is a call.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/quillet.h"
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

constexpr bool isTwoWidth(tBarcodeType type) {
    return type == Codabar || type == Code_11 || type == Code_25 || type == Code_39 ||
           type == Code_39F || type == Code_MSI;
}

[[noreturn]] void fail(const char* property, const std::string& detail) {
    std::fprintf(stderr, "property violated: %s: %s\n", property, detail.c_str());
    std::abort();
}

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class Value>
    Value take() {
        std::array<std::uint8_t, sizeof(Value)> bytes{};
        for (auto& byte : bytes) byte = pos_ < size_ ? data_[pos_++] : 0;
        Value value;
        std::memcpy(&value, bytes.data(), sizeof value);
        return value;
    }
    std::string text(std::size_t length) {
        length = std::min(length, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return out;
    }
    std::string rest() { return text(size_ - pos_); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct SurfaceFailure {
    std::string_view member;
    int call;
    std::int32_t number;
};

struct Call {
    tBarcodeType type;
    DrawingArguments args;
    std::optional<SurfaceFailure> failure;
};

Call readCall(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Call call;
    call.type = static_cast<tBarcodeType>(in.take<std::uint8_t>() % barcodeTypeNames.size());
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

struct Outcome {
    std::optional<std::int16_t> result;  // nothing when the call failed towards the caller
    std::int32_t thrown = 0;
    std::string code;
    RecordingSurface surface;
};

Outcome run(const Call& call) {
    Outcome outcome;
    if (call.failure)
        outcome.surface.failAt(call.failure->member, call.failure->number, call.failure->call);
    DrawingArguments args = call.args;
    Quillet control;
    try {
        outcome.result = control.Draw(call.type, &outcome.surface, args);
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
    for (const RecordedBox& box : outcome.surface.boxes()) {
        const std::int32_t boxWidth = std::int32_t{box.x2} - box.x1 + 1;
        bool known = false;
        for (std::int32_t allowed : widths) known = known || boxWidth == allowed;
        if (!known)
            fail("box width", std::to_string(box.x1) + ".." + std::to_string(box.x2) + " in " +
                                  std::string(barcodeTypeNames[call.type]));
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

void checkRepeatable(const Outcome& first, const Outcome& second) {
    if (first.result != second.result || first.thrown != second.thrown ||
        first.code != second.code || first.surface.lines() != second.surface.lines())
        fail("a second identical call draws the same", first.surface.trace());
}

}  // namespace
}  // namespace quillet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    const Call call = readCall(data, size);
    const Outcome outcome = run(call);
    checkResult(call, outcome);
    checkBoxes(call, outcome);
    checkText(call, outcome);
    checkRepeatable(outcome, run(call));
    return 0;
}
