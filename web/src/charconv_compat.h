// Floating-point std::from_chars for the libc++ that Debian's Emscripten ships, which has only
// the integer forms. Included ahead of every source of the WebAssembly build (web/CMakeLists.txt)
// so that the core compiles there unchanged; the numbers it reads are plain decimal text
// (digits, a point, an exponent) put together by the core, which strtod reads the same way.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 200000
namespace std {
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
    const string text(first, last);
    char* end = nullptr;
    errno = 0;
    const double read = strtod(text.c_str(), &end);
    const char* stop = first + (end - text.c_str());
    if (stop == first) return {first, errc::invalid_argument};
    if (errno == ERANGE) return {stop, errc::result_out_of_range};
    value = read;
    return {stop, errc{}};
}
}  // namespace std
#endif
