// glibc's allocator stays in charge: these definitions take the place of malloc, calloc and
// realloc for the whole process (the shared libraries included), count the call and hand it on.
// free is left alone. The count is not atomic: the benchmarks run on one thread.
#include "bench/allocation_counter.h"

#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
}

namespace {
std::uint64_t allocations = 0;
}

extern "C" {
void* malloc(std::size_t size) {
    ++allocations;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    ++allocations;
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    ++allocations;
    return __libc_realloc(pointer, size);
}
}

namespace quillet::bench {

std::uint64_t allocationCount() noexcept {
    return allocations;
}

}  // namespace quillet::bench
