// The drawing methods for JavaScript: a Surface whose members are those of a JavaScript object.
//
// The module's JavaScript side (web/package/glue.js) keeps the caller's surface object and
// answers the imports below. Each returns 0, the run-time error number of a member that failed
// (438 for a member the object lacks), which is raised here so that the method's trap turns it
// into the result as it would for any other surface, or abandonDrawing: the JavaScript side has
// given the drawing up (its stack is exhausted, or draws nest too deep) and the call ends at once,
// past the trap. No JavaScript exception ever crosses into this side: the module's stack pointer
// would stay where the exception left it.
#include <emscripten.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "assist/checks.h"
#include "assist/quiet_zones.h"
#include "assist/units.h"
#include "assist/values.h"
#include "control/quillet.h"
#include "render/errors.h"
#include "render/surface.h"
#include "surfaces/png_encoder.h"
#include "symbologies/extended/extended.h"

namespace {

// The members by number, as the JavaScript side lists them.
enum Member : int {
    fontName,
    foreColor,
    fontBold,
    fontSize,
    currentX,
    currentY,
    textWidth,
    textHeight,
};

// How a number was passed, so that a recording surface can write it as the trace does.
enum NumberKind : int { int16Kind, floatKind, doubleKind, int32Kind, boolKind };

// The answer that ends a drawing without a result; no surface number is ever this one (the
// JavaScript side keeps them within -2147483647 ... 2147483647).
constexpr int abandonDrawing = INT32_MIN;
struct Abandoned {};

// Types cross as Symbology::index(): the fifteen methods' own, then those beyond them.
constexpr int methodCount = static_cast<int>(quillet::barcodeTypeNames.size());
quillet::Symbology symbologyOf(int type) {
    if (type < methodCount) return static_cast<quillet::tBarcodeType>(type);
    return static_cast<quillet::ExtendedType>(type - methodCount);
}

}  // namespace

// Texts cross as UTF-8 bytes with their length, so that a NUL in the data stays a character.
// The bodies are JavaScript, run with the loader's own variables (Module, HEAPF64) in scope; the
// bridge catches everything a surface throws, and what it cannot (its own stack exhausted) ends
// the drawing here (-2147483648 is abandonDrawing).
EM_JS(int, quillet_put_text, (int member, const char* text, int length), {
    try {
        return Module.quilletBridge.putText(member, Module.quilletBridge.text(text, length));
    } catch (escaped) {
        return -2147483648;
    }
});
EM_JS(int, quillet_put_number, (int member, double value, int kind), {
    try {
        return Module.quilletBridge.putNumber(member, value, kind);
    } catch (escaped) {
        return -2147483648;
    }
});
EM_JS(int, quillet_measure, (int member, const char* text, int length, double* value), {
    try {
        var answer = Module.quilletBridge.measure(member, Module.quilletBridge.text(text, length));
        HEAPF64[value >> 3] = answer.value;
        return answer.number;
    } catch (escaped) {
        return -2147483648;
    }
});
EM_JS(int, quillet_line, (int flags, int x1, float y1, int x2, float y2, int color), {
    try {
        return Module.quilletBridge.line(flags, x1, y1, x2, y2, color);
    } catch (escaped) {
        return -2147483648;
    }
});
EM_JS(int, quillet_print, (const char* text, int length), {
    try {
        return Module.quilletBridge.print(Module.quilletBridge.text(text, length));
    } catch (escaped) {
        return -2147483648;
    }
});

namespace {

void check(int number) {
    if (number == abandonDrawing) throw Abandoned{};
    if (number != 0) quillet::raise(number);
}

class ScriptSurface final : public quillet::Surface {
  public:
    void setFontName(std::string_view name) override { putText(fontName, name); }
    void setForeColor(std::int32_t color) override {
        check(quillet_put_number(foreColor, color, int32Kind));
    }
    void setFontBold(bool bold) override { check(quillet_put_number(fontBold, bold, boolKind)); }
    void setFontSize(std::int16_t size) override {
        check(quillet_put_number(fontSize, size, int16Kind));
    }
    void setCurrentX(quillet::Coordinate x) override {
        const int kind = x.index() == 0 ? int16Kind : x.index() == 1 ? floatKind : doubleKind;
        check(quillet_put_number(currentX, quillet::coordinateValue(x), kind));
    }
    void setCurrentY(float y) override { check(quillet_put_number(currentY, y, floatKind)); }
    double textWidth(std::string_view text) override { return measure(Member::textWidth, text); }
    double textHeight(std::string_view text) override { return measure(Member::textHeight, text); }
    void line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2, float y2,
              std::int32_t color) override {
        check(quillet_line(flags, x1, y1, x2, y2, color));
    }
    void print(std::string_view text) override { check(quillet_print(text.data(), length(text))); }

  private:
    static int length(std::string_view text) { return static_cast<int>(text.size()); }
    void putText(Member member, std::string_view text) {
        check(quillet_put_text(member, text.data(), length(text)));
    }
    double measure(Member member, std::string_view text) {
        double value = 0;
        check(quillet_measure(member, text.data(), length(text), &value));
        return value;
    }
};

// What a call leaves besides its result, in memory the JavaScript side owns for that call, so
// that a draw nested inside a surface member never overwrites what its caller reads.
struct Outcome {
    std::int32_t thrown;     // the number of a failure towards the caller, else 0
    std::int32_t abandoned;  // 1 when the JavaScript side gave the drawing up
    char* code;  // the caller's variable as the method left it (malloc, the caller frees)
    std::int32_t codeLength;
};

// A copy of text the JavaScript side reads and frees.
char* copyOf(const std::string& text, std::int32_t* length) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    *length = static_cast<std::int32_t>(text.size());
    return copy;
}

}  // namespace

extern "C" {

// Draws one symbol onto the JavaScript side's current surface and returns the result (0 or the
// number that stopped the drawing), filling outcome.
EMSCRIPTEN_KEEPALIVE int quillet_draw(int type, float x, float y, const char* code, int codeLength,
                                      int width, int height, int text, int bold, const char* font,
                                      int foreColor, int lineColor, const char* ratio, int chk,
                                      Outcome* outcome) {
    *outcome = Outcome{};
    int result = 0;
    std::string written;
    try {
        quillet::DrawingArguments arguments;
        arguments.pX = x;
        arguments.pY = y;
        arguments.pCode.assign(code, static_cast<std::size_t>(codeLength));
        arguments.pWidth = static_cast<std::int16_t>(width);
        arguments.pHeight = static_cast<std::int16_t>(height);
        arguments.pText = static_cast<std::int16_t>(text);
        arguments.pBold = bold != 0;
        arguments.pFont = font;
        arguments.pForeColor = foreColor;
        arguments.pLineColor = lineColor;
        arguments.pRatio = ratio;
        arguments.pChk = chk != 0;
        ScriptSurface surface;
        quillet::Quillet control;
        try {
            result = control.Draw(symbologyOf(type), &surface, arguments);
        } catch (const quillet::RuntimeError& failure) {
            outcome->thrown = failure.number();
        }
        written = std::move(arguments.pCode);
    } catch (const Abandoned&) {
        outcome->abandoned = 1;
        return 0;
    } catch (const std::bad_alloc&) {
        outcome->thrown = quillet::error::outOfMemory;
        return 0;
    }
    try {
        outcome->code = copyOf(written, &outcome->codeLength);
    } catch (const std::bad_alloc&) {
        outcome->thrown = quillet::error::outOfMemory;
        return 0;
    }
    return result;
}

// A PNG file of width x height pixels (the encoder's layout: 0xAARRGGBB words, premultiplied
// when hasAlpha, else the alpha byte ignored) carrying dotsPerInch as its resolution. Returns the
// file (malloc, the caller frees) and its length in *length; null when it cannot be made.
EMSCRIPTEN_KEEPALIVE unsigned char* quillet_png(const unsigned char* pixels, int width, int height,
                                                int hasAlpha, double dotsPerInch, int* length) {
    std::string png;
    try {
        quillet::PngEncoder encoder;
        encoder.setResolution(dotsPerInch);
        encoder.encode(pixels, width, height, width * 4, png, hasAlpha != 0);
    } catch (const std::exception&) {
        return nullptr;
    }
    auto* file = static_cast<unsigned char*>(std::malloc(png.size()));
    if (file == nullptr) return nullptr;
    std::memcpy(file, png.data(), png.size());
    *length = static_cast<int>(png.size());
    return file;
}

// What checkData() says about typed data: the method and arguments that draw exactly it, and
// its findings, one a line: "id<TAB>position<TAB>1 for a refusal, 0 for a note<TAB>message".
struct Checked {
    std::int32_t accepted;
    std::int32_t type;
    std::int32_t chk;
    char* code;  // malloc, the caller frees
    std::int32_t codeLength;
    char* findings;  // malloc, the caller frees
    std::int32_t findingsLength;
};

}  // extern "C"

namespace {

// The symbologies beyond the fifteen check their data by planning the symbol: the data is
// drawn as typed, or refused with the one problem found.
void checkExtended(quillet::Symbology type, std::string_view typed, Checked* out) {
    const auto problem = quillet::checkExtendedData(type.extendedType(), typed);
    std::string findings;
    if (problem) {
        findings.append(problem->id).append("\t0\t1\t").append(type.name());
        findings.append(": ").append(problem->message) += '\n';
    }
    out->accepted = problem ? 0 : 1;
    out->type = static_cast<std::int32_t>(type.index());
    out->code = copyOf(std::string(typed), &out->codeLength);
    out->findings = copyOf(findings, &out->findingsLength);
}

}  // namespace

extern "C" {

// check: -1 for the symbology's usual choice, else 0 or 1; codeSet: 0, or 'A', 'B', 'C'.
EMSCRIPTEN_KEEPALIVE void quillet_check(int type, const char* typed, int typedLength, int check,
                                        int codeSet, Checked* out) {
    *out = Checked{};
    const std::string_view text(typed, static_cast<std::size_t>(typedLength));
    const quillet::Symbology served =
        quillet::assist::servedBetter(symbologyOf(type), text, codeSet != 0);
    if (served.isExtended()) return checkExtended(served, text, out);
    quillet::assist::Request request;
    if (check >= 0) request.check = check != 0;
    if (codeSet != 0) request.codeSet = static_cast<char>(codeSet);
    const auto checked = quillet::assist::checkData(served.barcodeType(), text, request);
    std::string findings;
    for (const auto& finding : checked.findings) {
        findings.append(finding.id).append("\t").append(std::to_string(finding.position));
        findings.append(finding.refusal ? "\t1\t" : "\t0\t").append(finding.message) += '\n';
    }
    out->accepted = checked.accepted() ? 1 : 0;
    out->type = checked.type;
    out->chk = checked.pChk ? 1 : 0;
    out->code = copyOf(checked.pCode, &out->codeLength);
    out->findings = copyOf(findings, &out->findingsLength);
}

// The quiet zones the symbology's standard asks for, in modules: left, then right.
EMSCRIPTEN_KEEPALIVE void quillet_quiet_zone(int type, double* leftAndRight) {
    const auto zone = quillet::assist::quietZone(symbologyOf(type));
    leftAndRight[0] = zone.left;
    leftAndRight[1] = zone.right;
}

// A colour as people write it ("#RRGGBB", "#RGB", a CSS name, 0x00BBGGRR) as 0x00BBGGRR; -1 for
// anything else (no colour of the methods is -1 unless written so, which reads as a number).
EMSCRIPTEN_KEEPALIVE int quillet_colour(const char* text, int length, int* colour) {
    const auto parsed = quillet::assist::parseColour(std::string_view(text, length));
    if (!parsed) return 0;
    *colour = *parsed;
    return 1;
}

// A length as people write it ("0.33mm", "0.013in", "1pt", "2px" at dotsPerInch) in inches; 0
// for anything else, a bare number included (the caller has no surface unit to offer).
EMSCRIPTEN_KEEPALIVE double quillet_inches(const char* text, int length, double dotsPerInch) {
    const auto parsed =
        quillet::assist::parseLength(std::string_view(text, static_cast<std::size_t>(length)));
    if (!parsed || parsed->unit == quillet::assist::LengthUnit::surface) return 0;
    const double inches = quillet::assist::inchesOf(*parsed, dotsPerInch, 1);
    return std::isfinite(inches) && inches > 0 ? inches : 0;
}

// Surface units per inch that make a module of moduleInches exactly unitsPerModule units, the
// module first made whole pixels at rasterDotsPerInch unless that is 0 (vector output).
EMSCRIPTEN_KEEPALIVE double quillet_units_per_inch(double moduleInches, double rasterDotsPerInch) {
    return quillet::assist::unitsPerInchForModule(
        moduleInches,
        rasterDotsPerInch > 0 ? std::optional<double>(rasterDotsPerInch) : std::nullopt);
}

// The name of type (numbered as quillet_draw takes it), null past the last.
EMSCRIPTEN_KEEPALIVE const char* quillet_type_name(int type) {
    if (type < 0 || type >= static_cast<int>(quillet::symbologyCount)) return nullptr;
    return symbologyOf(type).name().data();
}

EMSCRIPTEN_KEEPALIVE int quillet_units_per_module() {
    return quillet::assist::unitsPerModule;
}

// The runtime's wording of a result or error number.
EMSCRIPTEN_KEEPALIVE const char* quillet_describe(int number) {
    return quillet::describeError(number);
}

}  // extern "C"
