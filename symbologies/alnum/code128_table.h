// The Code 128 symbol characters, shared by Code 128 in one named set and by the symbologies that
// choose their sets themselves (automatic sets, GS1-128).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "render/errors.h"
#include "render/frame.h"

namespace quillet::code128 {

// Symbol character patterns of ISO/IEC 15417 table 1, one module a character ("1" bar), indexed
// by value: 0..102 data and function characters, 103..105 the start characters of sets A, B and
// C, 106 the stop character with its two-module termination bar.
constexpr std::array<std::string_view, 107> symbolCharacters = {
    "11011001100", "11001101100",  "11001100110", "10010011000", "10010001100",  // 0-4
    "10001001100", "10011001000",  "10011000100", "10001100100", "11001001000",  // 5-9
    "11001000100", "11000100100",  "10110011100", "10011011100", "10011001110",  // 10-14
    "10111001100", "10011101100",  "10011100110", "11001110010", "11001011100",  // 15-19
    "11001001110", "11011100100",  "11001110100", "11101101110", "11101001100",  // 20-24
    "11100101100", "11100100110",  "11101100100", "11100110100", "11100110010",  // 25-29
    "11011011000", "11011000110",  "11000110110", "10100011000", "10001011000",  // 30-34
    "10001000110", "10110001000",  "10001101000", "10001100010", "11010001000",  // 35-39
    "11000101000", "11000100010",  "10110111000", "10110001110", "10001101110",  // 40-44
    "10111011000", "10111000110",  "10001110110", "11101110110", "11010001110",  // 45-49
    "11000101110", "11011101000",  "11011100010", "11011101110", "11101011000",  // 50-54
    "11101000110", "11100010110",  "11101101000", "11101100010", "11100011010",  // 55-59
    "11101111010", "11001000010",  "11110001010", "10100110000", "10100001100",  // 60-64
    "10010110000", "10010000110",  "10000101100", "10000100110", "10110010000",  // 65-69
    "10110000100", "10011010000",  "10011000010", "10000110100", "10000110010",  // 70-74
    "11000010010", "11001010000",  "11110111010", "11000010100", "10001111010",  // 75-79
    "10100111100", "10010111100",  "10010011110", "10111100100", "10011110100",  // 80-84
    "10011110010", "11110100100",  "11110010100", "11110010010", "11011011110",  // 85-89
    "11011110110", "11110110110",  "10101111000", "10100011110", "10001011110",  // 90-94
    "10111101000", "10111100010",  "11110101000", "11110100010", "10111011110",  // 95-99
    "10111101110", "11101011110",  "11110101110", "11010000100", "11010010000",  // 100-104
    "11010011100", "1100011101011"};                                             // 105-106
constexpr std::int16_t stopValue = 106;
constexpr std::size_t characterModules = 11;  // every symbol character but the stop

// Function characters with the same value in sets A and B (set C has FNC1 only).
constexpr std::int16_t fnc1Value = 102;
constexpr std::int16_t startAValue = 103;

// Every character is eleven modules in three bars and three spaces, beginning with a bar, with
// an even number of bar modules; the stop character adds the two-module termination bar.
constexpr bool isSymbolCharacter(std::string_view modules) {
    int bars = 0;
    int barModules = 0;
    for (std::size_t i = 0; i < modules.size(); ++i) {
        bars += modules[i] == '1' && (i == 0 || modules[i - 1] == '0');
        barModules += modules[i] == '1';
    }
    return modules.size() == characterModules && modules.front() == '1' && modules.back() == '0' &&
           bars == 3 && barModules % 2 == 0;
}
static_assert([] {
    for (std::int16_t value = 0; value < stopValue; ++value)
        if (!isSymbolCharacter(symbolCharacters[static_cast<std::size_t>(value)])) return false;
    return symbolCharacters[stopValue] == "1100011101011";
}());

inline constexpr std::array<PatternBlock, symbolCharacters.size()> symbolBlocks =
    patternBlocks(symbolCharacters);

// A value that is not in the table, such as a set B control character, is the index error.
inline std::string_view symbolCharacter(std::int16_t value) {
    if (value < 0 || value > stopValue) raise(error::subscriptOutOfRange);
    return textOf(symbolBlocks[static_cast<std::size_t>(value)]);
}

// The same for a run, which paints what it holds before the index error.
inline const PatternBlock& symbolBlock(std::int16_t value, PatternRun& run) {
    if (value < 0 || value > stopValue) {
        run.fail(error::subscriptOutOfRange);
    }
    return symbolBlocks[static_cast<std::size_t>(value)];
}

}  // namespace quillet::code128
