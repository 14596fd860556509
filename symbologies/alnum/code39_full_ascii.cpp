// Code 39 Full ASCII: every character 0..127 becomes one or two Code 39 characters (a shift
// character "$", "%", "/" or "+" and a letter), and that translation is drawn as Code 39. The
// check character is computed over the translation; the text is the caller's own data.
#include <array>
#include <string>

#include "symbologies/alnum/code39.h"
#include "symbologies/symbologies.h"

namespace quillet {
namespace {

constexpr std::array<std::string_view, 128> translation = {
    "%U", "$A", "$B", "$C", "$D", "$E", "$F", "$G",   // 0-7
    "$H", "$I", "$J", "$K", "$L", "$M", "$N", "$O",   // 8-15
    "$P", "$Q", "$R", "$S", "$T", "$U", "$V", "$W",   // 16-23
    "$X", "$Y", "$Z", "%A", "%B", "%C", "%D", "%E",   // 24-31
    " ",  "/A", "/B", "/C", "/D", "/E", "/F", "/G",   // 32-39
    "/H", "/I", "/J", "/K", "/L", "-",  ".",  "/O",   // 40-47
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",    // 48-55
    "8",  "9",  "/Z", "%F", "%G", "%H", "%I", "%J",   // 56-63
    "%V", "A",  "B",  "C",  "D",  "E",  "F",  "G",    // 64-71
    "H",  "I",  "J",  "K",  "L",  "M",  "N",  "O",    // 72-79
    "P",  "Q",  "R",  "S",  "T",  "U",  "V",  "W",    // 80-87
    "X",  "Y",  "Z",  "%K", "%L", "%M", "%N", "%O",   // 88-95
    "%W", "+A", "+B", "+C", "+D", "+E", "+F", "+G",   // 96-103
    "+H", "+I", "+J", "+K", "+L", "+M", "+N", "+O",   // 104-111
    "+P", "+Q", "+R", "+S", "+T", "+U", "+V", "+W",   // 112-119
    "+X", "+Y", "+Z", "%P", "%Q", "%R", "%S", "%T"};  // 120-127

// Every translation is one character of the Code 39 set or a shift character and a letter.
static_assert([] {
    for (auto entry : translation) {
        if (entry.empty() || entry.size() > 2) return false;
        for (char c : entry)
            if (!code39::inSet(static_cast<unsigned char>(c))) return false;
    }
    return true;
}());

}  // namespace

std::int16_t drawCode39FullAscii(const Arguments& args) {
    const ElementWidths widths{args.pWidth, parseRatio(args.pRatio)};
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        Characters data;
        decodeUtf8(args.pCode, data);
        Characters translated;
        for (char32_t character : data) {
            const std::int32_t code = singleByteCode(character);
            if (code >= static_cast<std::int32_t>(translation.size()))
                raise(error::subscriptOutOfRange);
            for (char part : translation[code]) translated.push_back(static_cast<char32_t>(part));
        }
        if (args.pChk) {
            const char check = code39::checkCharacter(translated);
            args.pCode.push_back(check);
            translated.push_back(static_cast<char32_t>(check));
        }
        code39::paintSymbol(frame, translated, widths);
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
