// A weighted check sum kept reduced by its modulus as it runs.
//
// Only the sum modulo m is ever drawn, so the sum is kept as that residue: it cannot overflow
// however long the data, and it is the full sum's residue for data of any length. Each term is
// reduced before it is multiplied, so value and weight may be any 32-bit integers.
#pragma once

#include <cstdint>

namespace quillet {

template <std::int32_t Modulus>
class CheckSum {
    static_assert(Modulus > 0 && Modulus < 46341, "a reduced product must fit in 32 bits");

  public:
    constexpr explicit CheckSum(std::int32_t start = 0) noexcept : residue_(reduce(start)) {}

    constexpr void add(std::int32_t value, std::int32_t weight = 1) noexcept {
        // Values and weights already below the modulus, the usual case, are multiplied as they
        // are: the sum then stays below Modulus * Modulus and is never negative.
        if (isResidue(value) && isResidue(weight)) {
            residue_ = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(residue_ + value * weight) % Modulus);
        } else {
            residue_ = reduce(residue_ + reduce(value) * reduce(weight));
        }
    }

    // In 0 .. modulus - 1; a sum that would be negative gives its non-negative residue.
    constexpr std::int32_t residue() const noexcept { return residue_; }

  private:
    static constexpr bool isResidue(std::int32_t value) noexcept {
        return static_cast<std::uint32_t>(value) < static_cast<std::uint32_t>(Modulus);
    }
    static constexpr std::int32_t reduce(std::int32_t value) noexcept {
        const std::int32_t remainder = value % Modulus;
        return remainder < 0 ? remainder + Modulus : remainder;
    }

    std::int32_t residue_;
};

}  // namespace quillet
