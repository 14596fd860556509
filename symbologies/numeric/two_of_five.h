// Interleaved 2 of 5 digit patterns, shared by Code 2 of 5 and ITF-14.
#pragma once

#include <array>
#include <string_view>

namespace quillet::two_of_five {

// Digit patterns of ISO/IEC 16390 table 1: five elements, two of them wide; "1" wide, "0"
// narrow. A pair's first digit is drawn in the widths of five bars, its second in the five
// spaces between them.
constexpr std::array<std::string_view, 10> patterns = {"00110", "10001", "01001", "11000", "00101",
                                                       "10100", "01100", "00011", "10010", "01010"};

static_assert([] {
    for (auto elements : patterns) {
        int wide = 0;
        for (char element : elements) wide += element == '1';
        if (elements.size() != 5 || wide != 2) return false;
    }
    return true;
}());

// The ten elements of a pair, bar and space alternating: the first digit's pattern in the bars,
// the second's in the spaces.
constexpr std::array<char, 10> interleave(std::string_view bars, std::string_view spaces) {
    std::array<char, 10> pair{};
    for (std::size_t k = 0; k < 5; ++k) {
        pair[2 * k] = bars[k];
        pair[2 * k + 1] = spaces[k];
    }
    return pair;
}

constexpr std::string_view startElements = "0000";  // bar, space, bar, space
constexpr std::string_view stopElements = "100";    // bar, space, bar

}  // namespace quillet::two_of_five
