#include "render/numeric.h"

#include <charconv>
#include <cmath>
#include <string>

#include "render/errors.h"
#include "render/small_buffer.h"

namespace quillet {
namespace {

constexpr bool isBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\n';
}
constexpr bool isDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

template <class Characters>
double readNumber(const Characters& text) {
    // Collect the characters that form the number, blanks dropped, in the form from_chars reads.
    SmallBuffer<char, 64> number;
    bool negative = false;
    enum class Stage { sign, integer, fraction, exponentSign, exponent } stage = Stage::sign;
    for (const auto raw : text) {
        const auto c = static_cast<char32_t>(raw);
        if (isBlank(c)) continue;
        if (stage == Stage::sign && (c == U'+' || c == U'-')) {
            negative = c == U'-';
            stage = Stage::integer;
        } else if (isDigit(c) && stage != Stage::exponentSign) {
            number.push_back(static_cast<char>(c));
            if (stage == Stage::sign) stage = Stage::integer;
        } else if (isDigit(c)) {
            number.push_back(static_cast<char>(c));
            stage = Stage::exponent;
        } else if (c == U'.' && (stage == Stage::sign || stage == Stage::integer)) {
            number.push_back('.');
            stage = Stage::fraction;
        } else if ((c == U'e' || c == U'E' || c == U'd' || c == U'D') &&
                   (stage == Stage::integer || stage == Stage::fraction) && !number.empty() &&
                   !(number.size() == 1 && number[0] == '.')) {
            number.push_back('e');
            stage = Stage::exponentSign;
        } else if ((c == U'+' || c == U'-') && stage == Stage::exponentSign) {
            number.push_back(static_cast<char>(c));
            stage = Stage::exponent;
        } else {
            break;
        }
    }
    // An exponent marker without digits does not belong to the number.
    while (!number.empty() &&
           (number.back() == 'e' || number.back() == '+' || number.back() == '-'))
        number.pop_back();
    const std::string_view digits(number.data(), number.size());
    if (digits.empty() || digits == ".") return 0.0;
    double value = 0.0;
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (status == std::errc::result_out_of_range) {
        // from_chars reports underflow the same way; only a large magnitude is an overflow.
        const auto marker = digits.find('e');
        if (marker != std::string_view::npos && digits[marker + 1] == '-') return 0.0;
        raise(error::overflow);
    }
    if (!std::isfinite(value)) raise(error::overflow);
    return negative ? -value : value;
}

}  // namespace

// Most texts are a few plain digits ("3", "1"): their value is exact without the general reader.
double numericValue(std::string_view text) {
    if (!text.empty() && text.size() <= 9) {
        std::int32_t value = 0;
        for (const char c : text) {
            if (c < '0' || c > '9') return readNumber(text);
            value = value * 10 + (c - '0');
        }
        return value;
    }
    return readNumber(text);
}
double numericValue(std::u32string_view text) {
    return readNumber(text);
}

}  // namespace quillet
