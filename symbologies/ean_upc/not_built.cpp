// Placeholders until the EAN/UPC family is drawn: a clear "not supported" result, never 0.
#include "symbologies/symbologies.h"

namespace quillet {

std::int16_t drawEan13(const Arguments&) { return error::notImplemented; }
std::int16_t drawEan8(const Arguments&) { return error::notImplemented; }
std::int16_t drawIsbn(const Arguments&) { return error::notImplemented; }
std::int16_t drawUpcA(const Arguments&) { return error::notImplemented; }
std::int16_t drawUpcAPlus(const Arguments&) { return error::notImplemented; }
std::int16_t drawUpcE(const Arguments&) { return error::notImplemented; }

}  // namespace quillet
