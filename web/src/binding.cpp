// The drawing methods for JavaScript: a Surface whose members are those of a JavaScript object.
//
// The module's JavaScript side (web/package/quillet.js) keeps the caller's surface object and
// answers the imports below; each returns 0, or the run-time error number of a member that
// failed (438 for a member the object lacks), which is raised here so that the method's trap
// turns it into the result as it would for any other surface.
#include <emscripten.h>

#include <cstdint>
#include <string>

#include "control/quillet.h"
#include "render/errors.h"
#include "render/surface.h"

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

}  // namespace

// Texts cross as UTF-8 bytes with their length, so that a NUL in the data stays a character.
// The bodies are JavaScript, run with the loader's own variables (Module, HEAPF64) in scope.
EM_JS(int, quillet_put_text, (int member, const char* text, int length),
      { return Module.quilletBridge.putText(member, Module.quilletBridge.text(text, length)); });
EM_JS(int, quillet_put_number, (int member, double value, int kind),
      { return Module.quilletBridge.putNumber(member, value, kind); });
EM_JS(int, quillet_measure, (int member, const char* text, int length, double* value), {
    var answer = Module.quilletBridge.measure(member, Module.quilletBridge.text(text, length));
    HEAPF64[value >> 3] = answer.value;
    return answer.number;
});
EM_JS(int, quillet_line, (int flags, int x1, float y1, int x2, float y2, int color),
      { return Module.quilletBridge.line(flags, x1, y1, x2, y2, color); });
EM_JS(int, quillet_print, (const char* text, int length),
      { return Module.quilletBridge.print(Module.quilletBridge.text(text, length)); });

namespace {

void check(int number) {
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

// The caller's variable after the last call, and the number of a failure towards the caller.
std::string lastCode;
int lastThrown = 0;

}  // namespace

extern "C" {

// Draws one symbol onto the JavaScript side's current surface and returns the result (0 or the
// number that stopped the drawing). A failure towards the caller (a ratio without a colon, a pX
// outside the 16-bit range) is quillet_thrown() afterwards, else that is 0; the caller's
// variable as the method left it is quillet_code(), quillet_code_length() bytes long.
EMSCRIPTEN_KEEPALIVE int quillet_draw(int type, float x, float y, const char* code, int codeLength,
                                      int width, int height, int text, int bold, const char* font,
                                      int foreColor, int lineColor, const char* ratio, int chk) {
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
    lastThrown = 0;
    ScriptSurface surface;
    quillet::Quillet control;
    int result = 0;
    try {
        result = control.Draw(static_cast<quillet::tBarcodeType>(type), &surface, arguments);
    } catch (const quillet::RuntimeError& failure) {
        lastThrown = failure.number();
    }
    lastCode = std::move(arguments.pCode);
    return result;
}

EMSCRIPTEN_KEEPALIVE int quillet_thrown() {
    return lastThrown;
}
EMSCRIPTEN_KEEPALIVE const char* quillet_code() {
    return lastCode.data();
}
EMSCRIPTEN_KEEPALIVE int quillet_code_length() {
    return static_cast<int>(lastCode.size());
}

// The runtime's wording of a result or error number.
EMSCRIPTEN_KEEPALIVE const char* quillet_describe(int number) {
    return quillet::describeError(number);
}

}  // extern "C"
