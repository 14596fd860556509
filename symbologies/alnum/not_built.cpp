// Placeholders until Code 93 and Code 128 are drawn: a clear "not supported" result, never 0.
#include "symbologies/symbologies.h"

namespace quillet {

std::int16_t drawCode93(const Arguments&) { return error::notImplemented; }
std::int16_t drawCode128(const Arguments&) { return error::notImplemented; }

}  // namespace quillet
