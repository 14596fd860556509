// Run-time errors and the error trap.
//
// A failure anywhere in a drawing call is a RuntimeError carrying the number a host's runtime
// would report (6 for an overflow, 9 for an index outside a table, a surface's own number for a
// surface failure). A drawing method runs its armed part through trap(), which turns such an
// error into the 16-bit result code; anything thrown before the trap is armed reaches the caller.
#pragma once

#include <cstdint>
#include <exception>
#include <limits>
#include <string>

namespace quillet {

namespace error {
inline constexpr std::int32_t invalidArgument = 5;        // "Invalid procedure call or argument"
inline constexpr std::int32_t overflow = 6;               // "Overflow"
inline constexpr std::int32_t outOfMemory = 7;            // "Out of memory"
inline constexpr std::int32_t subscriptOutOfRange = 9;    // "Subscript out of range"
inline constexpr std::int32_t divisionByZero = 11;        // "Division by zero"
inline constexpr std::int32_t typeMismatch = 13;          // "Type mismatch"
inline constexpr std::int32_t objectVariableNotSet = 91;  // no surface object
inline constexpr std::int32_t invalidUseOfNull = 94;      // "Invalid use of Null"
inline constexpr std::int32_t invalidPropertyValue = 380; // a surface rejected a value
inline constexpr std::int32_t notImplemented = 445;       // "Object doesn't support this action"
inline constexpr std::int32_t noSuchMember = 438;  // "Object doesn't support this property or method"
}  // namespace error

// The runtime's own wording for a number, or "Application-defined or object-defined error".
const char* describeError(std::int32_t number) noexcept;

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(std::int32_t number) noexcept : number_(number) {}
    std::int32_t number() const noexcept { return number_; }
    const char* what() const noexcept override { return describeError(number_); }

private:
    std::int32_t number_;
};

[[noreturn]] inline void raise(std::int32_t number) { throw RuntimeError(number); }

// The handler's conversion of an error number into the result: a number outside the 16-bit
// range cannot be stored, and that conversion itself overflows towards the caller.
inline std::int16_t resultCodeOf(std::int32_t number) {
    if (number < std::numeric_limits<std::int16_t>::min() ||
        number > std::numeric_limits<std::int16_t>::max()) {
        raise(error::overflow);
    }
    return static_cast<std::int16_t>(number);
}

// Runs the armed part of a drawing method. Returns 0 when it completes, otherwise the number
// of the run-time error that stopped it; what was painted before the error stays painted.
template <class Armed>
std::int16_t trap(Armed&& armed) {
    std::int32_t number = 0;
    try {
        armed();
        return 0;
    } catch (const RuntimeError& failure) {
        number = failure.number();
    }
    return resultCodeOf(number);
}

}  // namespace quillet
