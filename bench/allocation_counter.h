// Counts every heap allocation in the process (malloc, calloc, realloc and, through them,
// operator new), in Quillet and in libzint alike.
#pragma once

#include <cstdint>

namespace quillet::bench {

std::uint64_t allocationCount() noexcept;

}  // namespace quillet::bench
