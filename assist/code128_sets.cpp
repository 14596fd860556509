#include "assist/code128_sets.h"

#include <algorithm>

#include "symbologies/alnum/code128.h"

namespace quillet::assist {

bool fitsCodeSet(char set, std::u32string_view data) noexcept {
    const auto all = [&](bool (*inSet)(std::int32_t) noexcept) {
        return std::all_of(data.begin(), data.end(), [&](char32_t character) {
            return character < 0x80 && inSet(static_cast<std::int32_t>(character));
        });
    };
    switch (set) {
        case 'A':
            return all(code128::inSetA);
        case 'B':
            return all(code128::inSetB);
        case 'C':
            return data.size() % 2 == 0 && all(code128::inSetC);
        default:
            return false;
    }
}

std::optional<char> chooseCodeSet(std::u32string_view data) noexcept {
    // Data of digits only is half as wide in set C; text stays in B, which has the lower case,
    // and only control characters (which B lacks) call for A.
    if (!data.empty() && fitsCodeSet('C', data)) return 'C';
    for (const char set : {'B', 'A'})
        if (fitsCodeSet(set, data)) return set;
    return std::nullopt;
}

}  // namespace quillet::assist
