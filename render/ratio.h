// The wide and narrow extras of the two-width symbologies, taken from pRatio ("3:1").
#pragma once

#include <cstdint>
#include <string_view>

namespace quillet {

struct Ratio {
    std::int16_t wideExtra;    // A: seven times the number before the colon
    std::int16_t narrowExtra;  // B: the number after the colon
};

// Runs before a method's trap is armed, so its failures reach the caller: no colon is the
// invalid-argument error (5), an extra outside the 16-bit range is an overflow (6).
Ratio parseRatio(std::string_view ratio);

}  // namespace quillet
