// A weighted check sum of which only the residue modulo m is ever drawn.
//
// Every term is reduced by the modulus before it is added, so each is below m * m < 2^31, and
// the terms are summed unreduced in 64 bits: more terms than would overflow that (2^33) would
// take far more data than a drawing method can hold. The residue of the sum is the full sum's
// for data of any length; value and weight may be any 32-bit integers.
#pragma once

#include <cstdint>

namespace quillet {

template <std::int32_t Modulus>
class CheckSum {
    static_assert(Modulus > 0 && Modulus < 46341, "a reduced product must fit in 32 bits");

  public:
    constexpr explicit CheckSum(std::int32_t start = 0) noexcept
        : sum_(static_cast<std::uint64_t>(reduce(start))) {}

    constexpr void add(std::int32_t value, std::int32_t weight = 1) noexcept {
        // Values and weights already below the modulus, the usual case, are multiplied as they
        // are.
        if (isResidue(value) && isResidue(weight)) {
            sum_ += static_cast<std::uint32_t>(value * weight);
        } else {
            sum_ += static_cast<std::uint32_t>(reduce(value) * reduce(weight));
        }
    }

    // In 0 .. modulus - 1; a sum that would be negative gives its non-negative residue.
    constexpr std::int32_t residue() const noexcept {
        return static_cast<std::int32_t>(sum_ % static_cast<std::uint64_t>(Modulus));
    }

  private:
    static constexpr bool isResidue(std::int32_t value) noexcept {
        return static_cast<std::uint32_t>(value) < static_cast<std::uint32_t>(Modulus);
    }
    static constexpr std::int32_t reduce(std::int32_t value) noexcept {
        const std::int32_t remainder = value % Modulus;
        return remainder < 0 ? remainder + Modulus : remainder;
    }

    std::uint64_t sum_;
};

}  // namespace quillet
