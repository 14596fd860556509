// Code 39: "*", one character of nine elements (five bars, four spaces, three of them wide) per
// data character, an optional modulo-43 check character and "*", each character followed by a
// narrow space but the last; the text is the data (with its check character) centred below.
#include "symbologies/alnum/code39.h"

#include <array>
#include <string>

#include "render/check_sum.h"
#include "symbologies/symbologies.h"

namespace quillet::code39 {
namespace {

struct Character {
    char symbol;
    std::string_view elements;  // "1" wide, "0" narrow; bar, space, bar, ...
};

// In check-value order: the index of a character here is its check value (0..42); "*" last.
constexpr std::array<Character, 44> characters = {{
    {'0', "000110100"}, {'1', "100100001"}, {'2', "001100001"}, {'3', "101100000"},
    {'4', "000110001"}, {'5', "100110000"}, {'6', "001110000"}, {'7', "000100101"},
    {'8', "100100100"}, {'9', "001100100"}, {'A', "100001001"}, {'B', "001001001"},
    {'C', "101001000"}, {'D', "000011001"}, {'E', "100011000"}, {'F', "001011000"},
    {'G', "000001101"}, {'H', "100001100"}, {'I', "001001100"}, {'J', "000011100"},
    {'K', "100000011"}, {'L', "001000011"}, {'M', "101000010"}, {'N', "000010011"},
    {'O', "100010010"}, {'P', "001010010"}, {'Q', "000000111"}, {'R', "100000110"},
    {'S', "001000110"}, {'T', "000010110"}, {'U', "110000001"}, {'V', "011000001"},
    {'W', "111000000"}, {'X', "010010001"}, {'Y', "110010000"}, {'Z', "011010000"},
    {'-', "010000101"}, {'.', "110000100"}, {' ', "011000100"}, {'$', "010101000"},
    {'/', "010100010"}, {'+', "010001010"}, {'%', "000101010"}, {'*', "010010100"},
}};
constexpr std::size_t checkModulus = 43;
static_assert([] {
    for (std::size_t value = 0; value < checkModulus; ++value)
        if (characters[value].symbol != dataCharacters[value]) return false;
    return dataCharacters.size() == checkModulus && characters.back().symbol == '*';
}());

constexpr bool hasThreeWideElements(std::string_view elements) {
    int wide = 0;
    for (char element : elements) wide += element == '1';
    return elements.size() == 9 && wide == 3;
}
static_assert([] {
    for (const auto& character : characters)
        if (!hasThreeWideElements(character.elements)) return false;
    return true;
}());

// Indexed by character code 0..127; empty where Code 39 has no character.
constexpr std::array<std::string_view, 128> patternByCode = [] {
    std::array<std::string_view, 128> table{};
    for (const auto& character : characters)
        table[static_cast<unsigned char>(character.symbol)] = character.elements;
    return table;
}();

// Indexed by character code 0..127: the check value of a character of the set, -1 elsewhere.
constexpr std::array<std::int8_t, 128> checkValueByCode = [] {
    std::array<std::int8_t, 128> table{};
    table.fill(-1);
    for (std::size_t value = 0; value < checkModulus; ++value)
        table[static_cast<unsigned char>(characters[value].symbol)] =
            static_cast<std::int8_t>(value);
    return table;
}();

// A character of the set counts its value, any other character its own code.
std::int32_t checkValue(char32_t character) {
    if (character < checkValueByCode.size() && checkValueByCode[character] >= 0)
        return checkValueByCode[character];
    return singleByteCode(character);
}

constexpr std::array<PatternBlock, patternByCode.size()> blockByCode = patternBlocks(patternByCode);

// The characters before one without a pattern are painted before its index error.
const PatternBlock& patternOf(char32_t character, PatternRun& run) {
    const std::int32_t code = singleByteCode(character);
    if (code >= static_cast<std::int32_t>(blockByCode.size()) || blockByCode[code].size() == 0) {
        run.fail(error::subscriptOutOfRange);
    }
    return blockByCode[code];
}

// A character and the narrow space after it.
void addCharacter(PatternRun& run, char32_t character) {
    run.addWithNarrowSpace(patternOf(character, run));
}

}  // namespace

char checkCharacter(std::u32string_view data) {
    CheckSum<static_cast<std::int32_t>(checkModulus)> sum;
    for (char32_t character : data) sum.add(checkValue(character));
    return characters[static_cast<std::size_t>(sum.residue())].symbol;
}

void paintSymbol(Frame& frame, std::u32string_view data, const ElementWidths& widths) {
    const Band band = frame.normalBand();
    // Every character but the closing "*" is followed by its narrow space.
    PatternRun run(frame, widths, band);
    addCharacter(run, U'*');
    for (char32_t character : data) addCharacter(run, character);
    run.add(patternOf(U'*', run));
    run.paint();
}

}  // namespace quillet::code39

namespace quillet {

std::int16_t drawCode39(const Arguments& args) {
    const ElementWidths widths{args.pWidth, parseRatio(args.pRatio)};
    Frame frame(args);
    return trap([&] {
        frame.setUpFont();
        frame.startAtX();
        Characters data;
        decodeUtf8(args.pCode, data);
        if (args.pChk) {
            // The caller's variable carries the check character before anything is drawn.
            const char check = code39::checkCharacter(data);
            args.pCode.push_back(check);
            data.push_back(static_cast<char32_t>(check));
        }
        code39::paintSymbol(frame, data, widths);
        if (args.pText == 1) frame.centreText(args.pCode);
    });
}

}  // namespace quillet
