// Codabar: a start character, the data, a stop character, every character seven elements (four
// bars, three spaces) and a narrow space between characters. Missing start and stop characters
// are repaired with "A" in the caller's variable; the text is the data between them.
#include "symbologies/numeric/codabar.h"

#include <array>
#include <string>

#include "symbologies/symbologies.h"

namespace quillet {
namespace {

struct Character {
    char symbol;
    std::string_view elements;  // "1" wide, "0" narrow; bar, space, bar, ...
};

constexpr std::array<Character, 20> characters = {{
    {'0', "0000011"}, {'1', "0000110"}, {'2', "0001001"}, {'3', "1100000"}, {'4', "0010010"},
    {'5', "1000010"}, {'6', "0100001"}, {'7', "0100100"}, {'8', "0110000"}, {'9', "1001000"},
    {'-', "0001100"}, {'$', "0011000"}, {':', "1000101"}, {'/', "1010001"}, {'.', "1010100"},
    {'+', "0010101"}, {'A', "0011010"}, {'B', "0101001"}, {'C', "0001011"}, {'D', "0001110"},
}};

// Digits, "-" and "$" have two wide elements; the other punctuation and A to D have three.
static_assert([] {
    for (const auto& character : characters) {
        int wide = 0;
        for (char element : character.elements) wide += element == '1';
        const bool narrowSet = (character.symbol >= '0' && character.symbol <= '9') ||
                               character.symbol == '-' || character.symbol == '$';
        if (character.elements.size() != 7 || wide != (narrowSet ? 2 : 3)) return false;
    }
    return true;
}());

// Indexed by character code; "D" is the highest code with a pattern.
constexpr std::array<std::string_view, 69> patternByCode = [] {
    std::array<std::string_view, 69> table{};
    for (const auto& character : characters)
        table[static_cast<unsigned char>(character.symbol)] = character.elements;
    return table;
}();

// The data characters first, in the order the header lists them, then the four start and stop
// characters.
static_assert([] {
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const char symbol = characters[i].symbol;
        const bool expected = i < codabar::dataCharacters.size()
                                  ? symbol == codabar::dataCharacters[i]
                                  : codabar::isStartOrStop(static_cast<char32_t>(symbol));
        if (!expected) return false;
    }
    return true;
}());

constexpr std::array<PatternBlock, patternByCode.size()> blockByCode = patternBlocks(patternByCode);

// A character without a pattern (above "D", or a gap in the table such as a space, "*" or ",")
// ends the drawing with the index error rather than leaving a hole that would still scan; the
// characters before it are painted first.
const PatternBlock& patternOf(char32_t character, PatternRun& run) {
    const std::int32_t code = singleByteCode(character);
    if (code >= static_cast<std::int32_t>(blockByCode.size()) || blockByCode[code].size() == 0) {
        run.fail(error::subscriptOutOfRange);
    }
    return blockByCode[code];
}

}  // namespace

std::int16_t drawCodabar(const Arguments& args) {
    const ElementWidths widths{args.pWidth, parseRatio(args.pRatio)};
    Characters data;
    decodeTrimmed(args.pCode, data);
    Frame frame(args);
    frame.startAtX();
    return trap([&] {
        frame.setUpFont();
        // Empty data has no first character to look at: an invalid argument.
        if (data.empty()) raise(error::invalidArgument);
        const bool repairStart = !codabar::isStartOrStop(data.front());
        const bool repairStop = !codabar::isStartOrStop(data.back());
        if (repairStart) data.insertFront(U'A');
        if (repairStop) data.push_back(U'A');
        if (repairStart || repairStop) assignUtf8(args.pCode, data);

        const Band band = frame.normalBand();
        // A narrow space after every character but the last.
        PatternRun run(frame, widths, band);
        for (std::size_t i = 0; i + 1 < data.size(); ++i) {
            run.addWithNarrowSpace(patternOf(data[i], run));
        }
        run.add(patternOf(data.back(), run));
        run.paint();
        if (args.pText == 1) {
            // A lone start/stop character has no inner text: asking for it is an invalid
            // argument, after its bars are drawn.
            if (data.size() < 2) raise(error::invalidArgument);
            // The caller's variable is the data in UTF-8, so the inner text is its middle bytes.
            const std::string_view code = args.pCode;
            const std::size_t first = CharacterText(data.front()).view().size();
            const std::size_t last = CharacterText(data.back()).view().size();
            frame.centreText(code, code.substr(first, code.size() - first - last));
        }
    });
}

}  // namespace quillet
