#include "render/errors.h"

namespace quillet {

const char* describeError(std::int32_t number) noexcept {
    switch (number) {
        case 0: return "no error";
        case error::invalidArgument: return "Invalid procedure call or argument";
        case error::overflow: return "Overflow";
        case error::outOfMemory: return "Out of memory";
        case error::subscriptOutOfRange: return "Subscript out of range";
        case error::divisionByZero: return "Division by zero";
        case error::typeMismatch: return "Type mismatch";
        case error::objectVariableNotSet: return "Object variable or With block variable not set";
        case error::invalidUseOfNull: return "Invalid use of Null";
        case error::invalidPropertyValue: return "Invalid property value";
        case error::noSuchMember: return "Object doesn't support this property or method";
        case error::notImplemented: return "Object doesn't support this action";
        default: return "Application-defined or object-defined error";
    }
}

}  // namespace quillet
