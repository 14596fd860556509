// A weighted check sum kept reduced by its modulus as it runs.
//
// Only the sum modulo m is ever drawn, so the sum is kept as that residue: it cannot overflow
// however long the data, and it is the full sum's residue for data of any length. Each term is
// reduced before it is multiplied, so value and weight may be any 32-bit integers.
#pragma once

#include <cstdint>

namespace quillet {

class CheckSum {
  public:
    constexpr explicit CheckSum(std::int32_t modulus, std::int32_t start = 0) noexcept
        : modulus_(modulus), residue_(reduce(start)) {}

    constexpr void add(std::int32_t value, std::int32_t weight = 1) noexcept {
        residue_ = reduce(residue_ + reduce(value) * reduce(weight));
    }

    // In 0 .. modulus - 1; a sum that would be negative gives its non-negative residue.
    constexpr std::int32_t residue() const noexcept { return residue_; }

  private:
    constexpr std::int32_t reduce(std::int32_t value) const noexcept {
        const std::int32_t remainder = value % modulus_;
        return remainder < 0 ? remainder + modulus_ : remainder;
    }

    std::int32_t modulus_;
    std::int32_t residue_;
};

}  // namespace quillet
