// Values as people write them: colours and yes or no.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet::assist {

// "#RRGGBB" or "#RGB" as on the web, a CSS colour name ("black", "red", "navy", ...), or the
// methods' own 0x00BBGGRR as a number (0x..., &H..., decimal). The colour as 0x00BBGGRR;
// nothing for anything else.
std::optional<std::int32_t> parseColour(std::string_view text) noexcept;

// 1, true, yes, on (and -1, the true of the methods' hosts); 0, false, no, off. Any case.
std::optional<bool> parseYesNo(std::string_view text) noexcept;

}  // namespace quillet::assist
